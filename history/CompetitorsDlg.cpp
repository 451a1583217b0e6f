#include "history/CompetitorsDlg.h"

#include "base/ShownText.h"
#include "data/Competitors.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBox.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

namespace tw {

CompetitorsDlg::CompetitorsDlg(const QString& path, QWidget* parent)
    : CResizableDlg(IDD, parent), m_path(path) {
    setWindowTitle(QStringLiteral("Competitors"));
    const DialogUnits du(this);

    auto* sitesNote = new QLabel(
        QStringLiteral("The list's competitors, one site (a domain or part of a URL) per line. "
                       "\"#\" starts a comment."),
        this);
    sitesNote->setWordWrap(true);
    SetControlId(sitesNote, IDC_SITES_NOTE);
    du.place(sitesNote, 7, 7, 170, 18);

    m_sites = new QPlainTextEdit(this);
    m_sites->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_sites->setTabChangesFocus(true);
    SetControlId(m_sites, IDC_SITES);
    du.place(m_sites, 7, 28, 170, 167);
    sitesNote->setBuddy(m_sites);
    connect(m_sites, &QPlainTextEdit::textChanged, this, &CompetitorsDlg::refreshOffered);

    m_offeredNote =
        new QLabel(QStringLiteral("Sites most often above your targets in the latest run:"), this);
    m_offeredNote->setWordWrap(true);
    SetControlId(m_offeredNote, IDC_OFFERED_NOTE);
    du.place(m_offeredNote, 185, 7, 208, 18);

    m_offered = new QTableWidget(0, 3, this);
    m_offered->setHorizontalHeaderLabels(
        {QStringLiteral("Site"), QStringLiteral("Above you in"), QString()});
    m_offered->verticalHeader()->hide();
    m_offered->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_offered->setSelectionMode(QAbstractItemView::NoSelection);
    m_offered->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_offered->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_offered->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_offered->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    m_offered->verticalHeader()->setDefaultSectionSize(du.y(13));
    SetControlId(m_offered, IDC_OFFERED);
    du.place(m_offered, 185, 28, 208, 167);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    SetControlId(m_ok, IDC_OK);
    du.place(m_ok, 289, 201, 50, 14);
    connect(m_ok, &QPushButton::clicked, this, &CompetitorsDlg::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    SetControlId(cancel, IDC_CANCEL);
    du.place(cancel, 343, 201, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(m_sites, m_offered);
    setTabOrder(m_offered, m_ok);
    setTabOrder(m_ok, cancel);
    SetTemplateSize(400, 222);
}

void CompetitorsDlg::OnInitDialog() {
    CResizableDlg::OnInitDialog();
    AnchorControl(IDC_SITES, ANCHOR_SIZE_Y);
    AnchorControl(IDC_OFFERED_NOTE, ANCHOR_SIZE_X);
    AnchorControl(IDC_OFFERED, ANCHOR_SIZE_X | ANCHOR_SIZE_Y);
    AnchorControl(IDC_OK, ANCHOR_MOVE_X | ANCHOR_MOVE_Y);
    AnchorControl(IDC_CANCEL, ANCHOR_MOVE_X | ANCHOR_MOVE_Y);
    m_sites->setFocus();
}

void CompetitorsDlg::setText(const QByteArray& text) {
    m_sites->setPlainText(QString::fromUtf8(text));
}

QByteArray CompetitorsDlg::text() const {
    return m_sites->toPlainText().toUtf8();
}

void CompetitorsDlg::setOffered(const std::vector<SiteCount>& sites, int scans) {
    m_offer = sites;
    m_offered->setRowCount(int(sites.size()));
    for (int row = 0; row < int(sites.size()); ++row) {
        const SiteCount& site = sites[std::size_t(row)];
        m_offered->setItem(row, 0, new QTableWidgetItem(shownText(site.site)));
        auto* count = new QTableWidgetItem(QStringLiteral("%1 of %2").arg(site.count).arg(scans));
        count->setToolTip(QStringLiteral("Above your target in %1 of the %2 results of the "
                                         "latest run (entries and engine columns).")
                              .arg(site.count)
                              .arg(scans));
        m_offered->setItem(row, 1, count);
        auto* add = new QPushButton(QStringLiteral("Add"), m_offered);
        add->setAutoDefault(false);
        const std::string name = site.site;
        connect(add, &QPushButton::clicked, this, [this, name] { addSite(name); });
        m_offered->setCellWidget(row, 2, add);
    }
    if (sites.empty())
        setOfferNote(QStringLiteral("No site was above your targets in the latest run."));
    refreshOffered();
}

void CompetitorsDlg::setOfferNote(const QString& note) {
    m_offeredNote->setText(note);
}

void CompetitorsDlg::setReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    m_sites->setReadOnly(readOnly);
    // As the list it belongs to: another window or program has it.
    setWindowTitle(readOnly ? QStringLiteral("Competitors (read-only)")
                            : QStringLiteral("Competitors"));
    refreshOffered();
}

QPushButton* CompetitorsDlg::addButton(int row) const {
    return qobject_cast<QPushButton*>(m_offered->cellWidget(row, 2));
}

void CompetitorsDlg::addSite(const std::string& site) {
    std::vector<std::string> listed;
    datafile::ParseCompetitors(text(), &listed, nullptr);
    if (m_readOnly || std::find(listed.begin(), listed.end(), site) != listed.end())
        return;
    QString all = m_sites->toPlainText();
    if (!all.isEmpty() && !all.endsWith(QLatin1Char('\n')))
        all += QLatin1Char('\n');
    all += QString::fromStdString(site) + QLatin1Char('\n');
    m_sites->setPlainText(all);
}

void CompetitorsDlg::refreshOffered() {
    std::vector<std::string> listed;
    // A line with a blank makes the whole text fail to parse: then nothing counts as listed.
    datafile::ParseCompetitors(text(), &listed, nullptr);
    for (int row = 0; row < int(m_offer.size()); ++row) {
        QPushButton* add = addButton(row);
        if (!add)
            continue;
        const bool has =
            std::find(listed.begin(), listed.end(), m_offer[std::size_t(row)].site) != listed.end();
        add->setText(has ? QStringLiteral("Listed") : QStringLiteral("Add"));
        add->setEnabled(!has && !m_readOnly);
    }
}

void CompetitorsDlg::accept() {
    if (m_readOnly) {
        reject();
        return;
    }
    QString error;
    if (!saveCompetitorsText(m_path, text(), &error)) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    CResizableDlg::accept();
}

} // namespace tw
