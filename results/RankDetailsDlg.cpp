#include "results/RankDetailsDlg.h"

#include "base/Engines.h"
#include "base/ShownText.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include <algorithm>

namespace {
// Column widths in pixels: the rank, each engine, and the last engine, which is wider.
constexpr int kRankWidth = 40;
constexpr int kEngineWidth = 160;
constexpr int kLastEngineWidth = 260;

// Visit buttons: one per engine, 54 dialog units apart, ids from IDC_VISIT_FIRST on.
constexpr int kVisitStep = 54;
int visitId(int engine) {
    return CRankDetailsDlg::IDC_VISIT_FIRST + engine;
}

// A listed site as the browser should get it, or empty when it is not a web address. Links cut
// from a result page may still carry their attribute quotes; anything else (a local file, a
// program, a mail address) is page content the user's system must not be made to open.
QString webAddressOf(QString text) {
    text = text.trimmed();
    if (!text.isEmpty() &&
        (text.front() == QLatin1Char('"') || text.front() == QLatin1Char('\''))) {
        const QChar quote = text.front();
        text.remove(0, 1);
        const qsizetype close = text.indexOf(quote);
        if (close >= 0)
            text.truncate(close);
        text = text.trimmed();
    }
    return tw::isWebAddress(text) ? text : QString();
}
} // namespace

CRankDetailsDlg::CRankDetailsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ranking Details"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(this);
    setFixedSize(du.size(349, 175));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    du.place(ok, 292, 154, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_heading = new QLabel(QStringLiteral("The following web sites are ranked above "), this);
    m_heading->setObjectName(QString::number(IDC_HEADING));
    m_heading->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_heading->setTextFormat(Qt::PlainText);
    du.place(m_heading, 7, 7, 335, 17);

    m_listSites = new QTreeWidget(this);
    m_listSites->setObjectName(QString::number(IDC_LIST));
    m_listSites->setRootIsDecorated(false);
    m_listSites->setItemsExpandable(false);
    m_listSites->setUniformRowHeights(true);
    m_listSites->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listSites->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listSites->setAllColumnsShowFocus(true);
    m_listSites->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listSites->header()->setSectionsMovable(false);
    m_listSites->header()->setStretchLastSection(false);
    du.place(m_listSites, 7, 29, 335, 120);

    for (const engines::EngineInfo& e : engines::All()) {
        const int engine = e.id;
        auto* visit = new QPushButton(
            QString::fromStdString(engines::SlotCaption(e.id, e.visitCaption, "Visit ")), this);
        visit->setObjectName(QString::number(visitId(engine)));
        visit->setAutoDefault(false);
        du.place(visit, 7 + kVisitStep * engine, 154, 50, 14);
        connect(visit, &QPushButton::clicked, this, [this, engine] { OnVisit(engine); });
    }
    ok->setAutoDefault(true);

    // Tab order of the template: OK, heading, list, then the Visit buttons.
    setTabOrder(ok, m_listSites);
    QWidget* previous = m_listSites;
    for (int engine = 0; engine < kEngineCount; ++engine) {
        QWidget* visit = findChild<QWidget*>(QString::number(visitId(engine)));
        setTabOrder(previous, visit);
        previous = visit;
    }
}

void CRankDetailsDlg::SetEngineSites(const EntryResults& results) {
    m_engineSites = results.sites;
}

void CRankDetailsDlg::showEvent(QShowEvent* event) {
    if (!m_bInitialized && !event->spontaneous()) {
        m_bInitialized = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CRankDetailsDlg::OnInitDialog() {
    QStringList captions{QStringLiteral("Rank")};
    for (const engines::EngineInfo& e : engines::All())
        captions << QString::fromStdString(engines::SlotLabel(e.id));
    m_listSites->setColumnCount(static_cast<int>(captions.size()));
    m_listSites->setHeaderLabels(captions);
    QHeaderView* header = m_listSites->header();
    header->setMinimumSectionSize(1);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->resizeSection(0, kRankWidth);
    for (int col = 1; col <= kEngineCount; ++col)
        header->resizeSection(col, col == kEngineCount ? kLastEngineWidth : kEngineWidth);

    // The target and the phrase come from the data file, the sites from result pages: shown as
    // text, their controls as escapes, so none draws markup, breaks a line or turns text round.
    m_strHeading = QStringLiteral("The following web sites are ranked above ") +
                   tw::shownText(m_strTargetUrl) + QStringLiteral("\nSearch phrase: ") +
                   tw::shownText(m_strSearchPhrase);

    std::size_t rows = 0;
    for (const auto& sites : m_engineSites)
        rows = std::max(rows, sites.size());
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows));
    for (std::size_t k = 0; k < rows; ++k) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::number(k + 1));
        for (int engine = 0; engine < kEngineCount; ++engine) {
            const auto& sites = m_engineSites[engine];
            if (k < sites.size()) {
                const QString text = tw::shownText(sites[k]);
                item->setText(1 + engine, text);
                // Long addresses are cut in their column; the tip shows them whole.
                item->setToolTip(1 + engine, tw::plainToolTip(text));
            }
        }
        items.append(item);
    }
    m_listSites->addTopLevelItems(items);

    m_heading->setText(m_strHeading);
    m_heading->setToolTip(tw::plainToolTip(m_strHeading));
}

void CRankDetailsDlg::OnVisit(int engine) {
    if (engine < 0 || engine >= kEngineCount)
        return;
    const QList<QTreeWidgetItem*> selected = m_listSites->selectedItems();
    if (selected.isEmpty()) {
        tw::messageBox(this, QStringLiteral("Please select an entry visit."));
        return;
    }
    int row = -1;
    for (QTreeWidgetItem* item : selected) {
        const int index = m_listSites->indexOfTopLevelItem(item);
        if (index >= 0 && (row < 0 || index < row))
            row = index;
    }
    if (row < 0)
        return;
    // The site as read, not as shown: the escapes are for the eye only.
    const auto& sites = m_engineSites[engine];
    const QString address = std::size_t(row) < sites.size()
                                ? webAddressOf(QString::fromStdString(sites[std::size_t(row)]))
                                : QString();
    if (address.isEmpty()) {
        tw::messageBox(this,
                       QStringLiteral("Please select a valid %1 entry to visit.")
                           .arg(QString::fromStdString(engines::SlotLabel(SearchEngine(engine)))));
        return;
    }
    tw::openInBrowser(this, address);
}
