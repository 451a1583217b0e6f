#include "settings/SettingsDlg.h"

#include "base/Engines.h"
#include "base/TextUtil.h"
#include "ui/DialogUnits.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>

namespace {
// Height of the template's combo boxes, their dropped lists included, in dialog units.
constexpr int kComboDropHeight = 155;

// Control id of the first engine switch; the others follow in engine order.
constexpr int kFirstCheckId = 1018;

QCheckBox* makeCheck(QWidget* parent, const char* id, const char* text) {
    auto* check = new QCheckBox(QString::fromLatin1(text), parent);
    check->setObjectName(QString::fromLatin1(id));
    return check;
}

QComboBox* makeCombo(QWidget* parent, const char* id, std::initializer_list<const char*> items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(id));
    for (const char* item : items)
        combo->addItem(QString::fromLatin1(item));
    return combo;
}

// Selects the first item, from the top, that begins with the value's decimal text; a value
// that is not among the items leaves the combo box without a selection.
void selectPrefix(QComboBox* combo, int value) {
    combo->setCurrentIndex(combo->findText(QString::number(value), Qt::MatchStartsWith));
}

// Keeps value when the combo box has no selection.
void takeSelection(const QComboBox* combo, int& value) {
    if (combo->currentIndex() >= 0)
        value = text::LeadingInt(combo->currentText().toStdString());
}
} // namespace

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(this);
    // The template's 199 units high, and the reports' group below it.
    setFixedSize(du.size(174, 199 + 76));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    du.place(ok, 34, 160, 50, 14);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    du.place(cancel, 88, 160, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Below the template's controls, which keep their places.
    m_sourcesButton = new QPushButton(QStringLiteral("So&urces..."), this);
    m_sourcesButton->setObjectName(QStringLiteral("sources"));
    du.place(m_sourcesButton, 34, 178, 104, 14);
    connect(m_sourcesButton, &QPushButton::clicked, this, [this] {
        if (m_openSources)
            m_openSources(this);
    });

    // Below the template's controls: how the client reports present themselves.
    auto* reports = new QGroupBox(QStringLiteral("Reports"), this);
    reports->setObjectName(QStringLiteral("reports"));
    du.place(reports, 7, 198, 160, 70);
    const auto field = [&](const char* label, const char* name, int y, int width) {
        auto* text = new QLabel(QString::fromLatin1(label), this);
        du.place(text, 14, y + 2, 34, 9);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        du.place(edit, 50, y, width, 12);
        text->setBuddy(edit);
        return edit;
    };
    m_reportTitle = field("T&itle:", "ReportTitle", 210, 110);
    m_reportSender = field("Se&nder:", "ReportSender", 225, 110);
    m_reportLogo = field("&Logo:", "ReportLogo", 240, 92);
    m_reportLogo->setPlaceholderText(QStringLiteral("PNG or SVG"));
    auto* logoBrowse = new QPushButton(QStringLiteral("..."), this);
    logoBrowse->setObjectName(QStringLiteral("ReportLogoBrowse"));
    du.place(logoBrowse, 144, 240, 16, 12);
    connect(logoBrowse, &QPushButton::clicked, this, [this] {
        const QString name = tw::openFileName(this, QStringLiteral("Report logo"),
                                              QFileInfo(m_reportLogo->text()).absolutePath(),
                                              QStringLiteral("Images (*.png *.svg)"));
        if (!name.isEmpty())
            m_reportLogo->setText(name);
    });
    m_reportCharts = makeCheck(this, "ReportEntryCharts", "A rank &chart per entry (up to 50)");
    du.place(m_reportCharts, 14, 255, 146, 10);
    // Reached by a click or their mnemonics; Tab keeps the template's order.
    for (QWidget* w : {static_cast<QWidget*>(m_reportTitle), static_cast<QWidget*>(m_reportSender),
                       static_cast<QWidget*>(m_reportLogo), static_cast<QWidget*>(logoBrowse),
                       static_cast<QWidget*>(m_reportCharts)})
        w->setFocusPolicy(Qt::ClickFocus);

    auto* engines = new QGroupBox(QStringLiteral("Search Engines"), this);
    du.place(engines, 7, 7, 160, 70);
    auto* threads = new QGroupBox(QStringLiteral("Search Threads"), this);
    du.place(threads, 7, 81, 160, 70);

    auto* depthLabel = new QLabel(QStringLiteral("Max pages to search (depth):"), this);
    du.place(depthLabel, 14, 92, 140, 9);
    // The template's combo height includes the dropped list; the closed box is one line.
    m_depthCombo = makeCombo(
        this, "1013",
        {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "15", "20", "25", "30", "40"});
    du.place(m_depthCombo, 14, 103, 31, 12);
    // Beside the depth it extends, in the room the template leaves right of the combo box.
    m_wholeDepthCheck = makeCheck(this, "readWholeDepth", "Read the &whole depth");
    m_wholeDepthCheck->setToolTip(
        QStringLiteral("Read on past the target to the depth, so that the results below it are "
                       "kept too. Costs the extra pages (and billed calls of result services)."));
    du.place(m_wholeDepthCheck, 50, 104, 110, 10);
    auto* threadLabel =
        new QLabel(QStringLiteral("Max number of web pages to search at once:"), this);
    du.place(threadLabel, 14, 122, 143, 9);
    m_threadCombo = makeCombo(this, "1014", {"1", "2", "3", "4", "5", "6", "7", "8"});
    du.place(m_threadCombo, 14, 132, 31, 12);

    // The template was drawn for another font: where a label's text needs more room than the
    // group box leaves it, widen the dialog and its frames rather than clip the text.
    const int room = du.x(7 + 160 - 4) - depthLabel->x();
    const int need = std::max(depthLabel->sizeHint().width(), threadLabel->sizeHint().width());
    if (need > room) {
        const int extra = need - room;
        setFixedSize(width() + extra, height());
        m_sourcesButton->resize(m_sourcesButton->width() + extra, m_sourcesButton->height());
        engines->resize(engines->width() + extra, engines->height());
        reports->resize(reports->width() + extra, reports->height());
        threads->resize(threads->width() + extra, threads->height());
        depthLabel->resize(need, depthLabel->height());
        threadLabel->resize(need, threadLabel->height());
    }

    // One switch per engine, 13 units apart, with ids from kFirstCheckId on.
    for (const engines::EngineInfo& e : engines::All()) {
        QCheckBox* check =
            makeCheck(this, std::to_string(kFirstCheckId + e.id).c_str(), e.enableCaption);
        du.place(check, 14, 21 + 13 * e.id, 144, 10);
        m_checks[e.id] = check;
    }

    // Tab goes through the controls in the template's order: the buttons, the two numbers,
    // then the engine switches.
    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_depthCombo);
    setTabOrder(m_depthCombo, m_threadCombo);
    QWidget* previous = m_threadCombo;
    for (QCheckBox* check : m_checks) {
        setTabOrder(previous, check);
        previous = check;
    }
    setTabOrder(previous, m_wholeDepthCheck);
    m_firstControl = ok;

    // A dropped list is as long as the template's combo box height leaves below the closed box.
    for (QComboBox* combo : {m_depthCombo, m_threadCombo}) {
        const int listHeight = du.y(kComboDropHeight) - combo->height();
        int itemHeight = combo->view()->sizeHintForRow(0);
        if (itemHeight <= 0)
            itemHeight = combo->fontMetrics().height();
        combo->setMaxVisibleItems(std::max(1, listHeight / itemHeight));
    }
}

int CSettingsDlg::DoModal(CSearchSettings& settings) {
    m_edit = settings;
    const int result = exec();
    if (result == QDialog::Accepted)
        settings = m_edit;
    return result;
}

int CSettingsDlg::DoModal(CSearchSettings& settings, CReportSettings& report) {
    m_report = report;
    const int result = DoModal(settings);
    if (result == QDialog::Accepted)
        report = m_report;
    return result;
}

void CSettingsDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CSettingsDlg::OnInitDialog() {
    for (const engines::EngineInfo& e : engines::All())
        m_checks[e.id]->setChecked(m_edit.EngineEnabled(e.id));
    selectPrefix(m_threadCombo, m_edit.m_MaxThreads);
    selectPrefix(m_depthCombo, m_edit.m_MaxPages);
    m_wholeDepthCheck->setChecked(m_edit.m_ReadWholeDepth != 0);
    // As the dialog opens, the focus is on the first control of the tab order.
    m_sourcesButton->setEnabled(bool(m_openSources));
    m_reportTitle->setText(QString::fromStdString(m_report.title));
    m_reportSender->setText(QString::fromStdString(m_report.sender));
    m_reportLogo->setText(QString::fromStdString(m_report.logoPath));
    m_reportCharts->setChecked(m_report.entryCharts);
    m_firstControl->setFocus();
}

void CSettingsDlg::accept() {
    OnOK();
}

void CSettingsDlg::OnOK() {
    const QString logo = m_reportLogo->text().trimmed();
    if (QString error; !logo.isEmpty() && m_checkLogo && !m_checkLogo(logo, &error)) {
        tw::messageBox(this, error, QMessageBox::Ok, QMessageBox::Warning);
        m_reportLogo->setFocus();
        return;
    }
    m_report.title = m_reportTitle->text().toStdString();
    m_report.sender = m_reportSender->text().toStdString();
    m_report.logoPath = logo.toStdString();
    m_report.entryCharts = m_reportCharts->isChecked();
    for (const engines::EngineInfo& e : engines::All())
        m_edit.SetEngineEnabled(e.id, m_checks[e.id]->isChecked());
    takeSelection(m_threadCombo, m_edit.m_MaxThreads);
    takeSelection(m_depthCombo, m_edit.m_MaxPages);
    m_edit.m_ReadWholeDepth = m_wholeDepthCheck->isChecked() ? 1 : 0;
    QDialog::accept();
}
