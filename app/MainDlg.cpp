#include "app/MainDlg.h"

#include "alerts/AlertsDlg.h"
#include "app/EntryListView.h"
#include "base/Maker.h"
#include "data/DataFile.h"
#include "data/DataFileSession.h"
#include "history/CompetitorsCommand.h"
#include "history/HistoryCommand.h"
#include "rank/RankCommand.h"
#include "rank/RankProgressDlg.h"
#include "rank/RankSources.h"
#include "reports/ReportLogo.h"
#include "results/ResultsCommands.h"
#include "settings/RecentLists.h"
#include "settings/RegistrySettings.h"
#include "settings/ServiceAddresses.h"
#include "sources/SourcesDlg.h"
#include "ui/AboutDlg.h"
#include "ui/AuthPrompt.h"
#include "ui/DialogUnits.h"
#include "ui/HelpDlg.h"
#include "ui/MessageBox.h"
#include "ui/Resources.h"
#include "ui/SplashDlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <algorithm>

namespace {
struct ControlDef {
    int id;
    const char* text;
    int x, y, w, h;
};

// Template 102, in tab order.
const ControlDef kControls[] = {
    {CMainDlg::IDC_RANKALL, "&Rank All", 7, 207, 39, 14},
    {CMainDlg::IDC_ADD, "&Add", 410, 18, 39, 14},
    {CMainDlg::IDC_REMOVE, "&Remove", 410, 35, 39, 14},
    {CMainDlg::IDC_EDIT, "&Edit", 410, 52, 39, 14},
    {CMainDlg::IDC_UPGRADE, "Upgrade", 95, 207, 39, 14},
    {CMainDlg::IDC_HELP, "&Help", 363, 207, 39, 14},
    {CMainDlg::IDC_QUIT, "&Quit", 410, 207, 39, 14},
    // Below the filter, which takes the strip above it.
    {CMainDlg::IDC_LIST, nullptr, 7, 22, 395, 178},
    {CMainDlg::IDC_VIEWPAGE, "&View Page", 410, 86, 39, 14},
    {CMainDlg::IDC_RESULTS, "Re&sults", 410, 103, 39, 14},
    {CMainDlg::IDC_SAVE, "&Save", 410, 120, 39, 14},
    {CMainDlg::IDC_SETTINGS_HIDDEN, "S&ettings", 410, 185, 39, 14},
    {CMainDlg::IDC_RANK, "R&ank", 410, 69, 39, 14},
    {CMainDlg::IDC_SETTINGS, "Se&ttings", 51, 207, 39, 14},
    // Ours, after the others so that their tab order stays; Alt+H stays Help's.
    {CMainDlg::IDC_HISTORY, "H&istory", 410, 137, 39, 14},
    {CMainDlg::IDC_IMPORT, "&Import...", 410, 154, 39, 14},
    {CMainDlg::IDC_EXPORT, "E&xport...", 410, 171, 39, 14},
    {CMainDlg::IDC_LISTS, "&Lists", 410, 188, 39, 14},
    // The right-hand column is full: in the bottom row, after Upgrade.
    {CMainDlg::IDC_COMPETITORS, "Co&mpetitors...", 139, 207, 54, 14},
};

struct TipDef {
    int id;
    const char* text;
};

const TipDef kTips[] = {
    {CMainDlg::IDC_LIST, "Your list of URLs to be ranked."},
    {CMainDlg::IDC_RANKALL, "Query the Google web site (www.google.com) for rank of all urls."},
    {CMainDlg::IDC_ADD, "Add a new entry to the list."},
    {CMainDlg::IDC_REMOVE, "Remove an entry from the list."},
    {CMainDlg::IDC_HELP, "View online help."},
    {CMainDlg::IDC_EDIT, "Edit an entry in the list."},
    {CMainDlg::IDC_VIEWPAGE, "View the Google result page containing this URL."},
    {CMainDlg::IDC_RESULTS, "View a list of URLs ranked above yours by Google."},
    {CMainDlg::IDC_SAVE, "Save the rankings of the list to a text file for printing."},
    {CMainDlg::IDC_RANK, "Query the Google web site (www.google.com) for rank of selected urls."},
    {CMainDlg::IDC_UPGRADE, "Check for any updates."},
    {CMainDlg::IDC_HISTORY, "View the ranks of an entry over time (Ctrl+H)."},
    {CMainDlg::IDC_IMPORT, "Add many entries at once from a CSV or text file."},
    {CMainDlg::IDC_EXPORT, "Save the list with its ranks as a CSV table for a spreadsheet "
                           "(right click: a report for a client, HTML or PDF)."},
    {CMainDlg::IDC_LISTS, "Open another list, or one of the lists opened last."},
    {CMainDlg::IDC_COMPETITORS, "Choose the sites to compare your ranks with."},
    {CMainDlg::IDC_FILTER, "Show only the entries with this tag or holding this text."},
};

struct AnchorDef {
    int id;
    unsigned flags;
};

// Registration order matters: entries are applied in this order.
const AnchorDef kAnchors[] = {
    {CMainDlg::IDC_RANKALL, CResizableDlg::ANCHOR_MOVE_Y},
    {CMainDlg::IDC_SETTINGS, CResizableDlg::ANCHOR_MOVE_Y},
    {CMainDlg::IDC_ADD, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_REMOVE, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_EDIT, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_UPGRADE, CResizableDlg::ANCHOR_MOVE_Y},
    {CMainDlg::IDC_COMPETITORS, CResizableDlg::ANCHOR_MOVE_Y},
    {CMainDlg::IDC_VIEWPAGE, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_RESULTS, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_SAVE, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_RANK, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_HISTORY, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_IMPORT, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_EXPORT, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_LISTS, CResizableDlg::ANCHOR_MOVE_X},
    {CMainDlg::IDC_FILTER_NOTE, CResizableDlg::ANCHOR_SIZE_X},
    {CMainDlg::IDC_HELP, CResizableDlg::ANCHOR_MOVE_X | CResizableDlg::ANCHOR_MOVE_Y},
    {CMainDlg::IDC_QUIT, CResizableDlg::ANCHOR_MOVE_X | CResizableDlg::ANCHOR_MOVE_Y},
    {CMainDlg::IDC_LIST, CResizableDlg::ANCHOR_SIZE_X | CResizableDlg::ANCHOR_SIZE_Y},
};
} // namespace

CMainDlg::CMainDlg(QWidget* parent, const QString& dataFile) : CResizableDlg(IDD, parent) {
    if (!dataFile.isEmpty())
        m_strDataFile = QFileInfo(dataFile).absoluteFilePath();
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Tallowick!"));
    CreateControls();
    SetTemplateSize(456, 233);

    m_settings.Load();
    ApplySources();
    m_settingsDlg.m_openSources = [this](QWidget* parent) { OpenSources(parent); };

    // A server that asks for a password gets one from the user, whichever thread downloads.
    tw::installAuthPrompt(this);
}

CMainDlg::~CMainDlg() {
    tw::removeAuthPrompt();
}

void CMainDlg::CreateControls() {
    const DialogUnits du(this);
    for (const ControlDef& def : kControls) {
        QWidget* widget = nullptr;
        if (def.id == IDC_LIST) {
            m_list = new CEntryListView(this);
            m_list->setModel(&m_model);
            widget = m_list;
        } else {
            auto* button = new QPushButton(QString::fromLatin1(def.text), this);
            widget = button;
        }
        SetControlId(widget, def.id);
        du.place(widget, def.x, def.y, def.w, def.h);
    }
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(QStringLiteral("Filter: a tag or any text"));
    m_filter->setClearButtonEnabled(true);
    SetControlId(m_filter, IDC_FILTER);
    du.place(m_filter, 7, 6, 150, 13);
    m_filterNote = new QLabel(this);
    SetControlId(m_filterNote, IDC_FILTER_NOTE);
    du.place(m_filterNote, 162, 8, 240, 10);
    connect(m_filter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    // The filter and the Where column follow the rows as they come and go and change.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_model, signal, this, [this] { ApplyFilter(); });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { ApplyFilter(); });
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                if (to.column() >= ColTags) {
                    ApplyFilter();
                    return;
                }
                const QString text = m_filter->text().trimmed();
                if (text.isEmpty() || (from.column() > ColUrl && to.column() < ColKeywords))
                    return;
                for (int row = from.row(); row <= to.row(); ++row)
                    m_list->setRowHidden(row, QModelIndex(), !m_model.matchesFilter(row, text));
            });
    for (const TipDef& tip : kTips)
        control(tip.id)->setToolTip(QString::fromLatin1(tip.text));

    QPushButton* rankAll = button(IDC_RANKALL);
    rankAll->setDefault(true);
    button(IDC_SETTINGS_HIDDEN)->hide();

    connect(rankAll, &QPushButton::clicked, this, &CMainDlg::OnRankAll);
    connect(button(IDC_ADD), &QPushButton::clicked, this, &CMainDlg::OnAddEntry);
    connect(button(IDC_REMOVE), &QPushButton::clicked, this, &CMainDlg::OnRemoveEntry);
    connect(button(IDC_EDIT), &QPushButton::clicked, this, &CMainDlg::OnEditEntry);
    connect(button(IDC_UPGRADE), &QPushButton::clicked, this, &CMainDlg::OnUpgrade);
    connect(button(IDC_HELP), &QPushButton::clicked, this, &CMainDlg::OnHelp);
    connect(button(IDC_QUIT), &QPushButton::clicked, this, &CMainDlg::OnCancel);
    connect(button(IDC_VIEWPAGE), &QPushButton::clicked, this, &CMainDlg::OnViewPage);
    connect(button(IDC_RESULTS), &QPushButton::clicked, this, &CMainDlg::OnResults);
    connect(button(IDC_SAVE), &QPushButton::clicked, this, &CMainDlg::OnSave);
    connect(button(IDC_SETTINGS_HIDDEN), &QPushButton::clicked, this, &CMainDlg::OnSettings);
    connect(button(IDC_RANK), &QPushButton::clicked, this, &CMainDlg::OnRank);
    connect(button(IDC_SETTINGS), &QPushButton::clicked, this, &CMainDlg::OnSettings);
    connect(m_list, &CEntryListView::listDoubleClicked, this, &CMainDlg::OnEditEntry);
    connect(button(IDC_HISTORY), &QPushButton::clicked, this, &CMainDlg::OnHistory);
    connect(button(IDC_IMPORT), &QPushButton::clicked, this, &CMainDlg::OnImport);
    connect(button(IDC_EXPORT), &QPushButton::clicked, this, &CMainDlg::OnExport);
    // A click exports as ever; the button's own menu (right click) offers the report beside it.
    button(IDC_EXPORT)->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button(IDC_EXPORT), &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("E&xport..."), this, &CMainDlg::OnExport);
        menu.addAction(QStringLiteral("&Report..."), this, &CMainDlg::OnReport)
            ->setEnabled(!m_bRanking);
        menu.exec(button(IDC_EXPORT)->mapToGlobal(pos));
    });
    connect(button(IDC_LISTS), &QPushButton::clicked, this, &CMainDlg::OnLists);
    connect(button(IDC_COMPETITORS), &QPushButton::clicked, this, &CMainDlg::OnCompetitors);
    // In the list's menu, and on Ctrl+H anywhere in the window.
    m_historyAction = new QAction(QStringLiteral("&History"), this);
    m_historyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    m_historyAction->setShortcutVisibleInContextMenu(true);
    connect(m_historyAction, &QAction::triggered, this, &CMainDlg::OnHistory);
    addAction(m_historyAction);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CMainDlg::ShowListMenu);

    m_systemMenu = new QMenu(this);
    QAction* restore =
        m_systemMenu->addAction(QStringLiteral("&Restore"), this, [this] { showNormal(); });
    QAction* minimize =
        m_systemMenu->addAction(QStringLiteral("Mi&nimize"), this, [this] { showMinimized(); });
    QAction* maximize =
        m_systemMenu->addAction(QStringLiteral("Ma&ximize"), this, [this] { showMaximized(); });
    m_systemMenu->addSeparator();
    m_systemMenu->addAction(QStringLiteral("&Close"), this, [this] { OnCancel(); });
    connect(m_systemMenu, &QMenu::aboutToShow, this, [this, restore, minimize, maximize] {
        restore->setEnabled(isMaximized() || isMinimized());
        minimize->setEnabled(!isMinimized());
        maximize->setEnabled(!isMaximized());
    });
}

void CMainDlg::OnInitDialog() {
    CResizableDlg::OnInitDialog();

    m_systemMenu->addSeparator();
    m_systemMenu->addAction(QStringLiteral("&About Tallowick!..."), this, &CMainDlg::OnAbout);
    setWindowIcon(tw::programIcon());

    ShowSplash();

    QHeaderView* header = m_list->header();
    header->setMinimumSectionSize(1);
    for (int col = 0; col < kShownColumnCount; ++col)
        header->resizeSection(col, EntryListModel::columnWidth(col));

    // The default data file is named relative to the start-up folder.
    m_strStartDir = QDir::currentPath();
    // A list named on the command line counts as opened; the start folder's own list is
    // remembered only once another is opened.
    if (m_strDataFile.isEmpty())
        m_strDataFile = QDir(m_strStartDir).filePath(QString::fromLatin1(datafile::kFileName));
    else
        tw::RememberRecentList(m_strDataFile);
    LoadEntries();
    m_historyTips.attach(m_model);
    ShowOpenList();

    for (const AnchorDef& anchor : kAnchors)
        AnchorControl(anchor.id, anchor.flags);

    RunUpgradeReminder();
    button(IDC_UPGRADE)->setText(QStringLiteral("Upgrade"));

    setWindowTitle(windowCaption());
    button(IDC_RANKALL)->setFocus();
}

QString CMainDlg::windowCaption() const {
    // The start folder's own list is the program's; any other is named.
    const QString start = QDir(m_strStartDir.isEmpty() ? QDir::currentPath() : m_strStartDir)
                              .filePath(QString::fromLatin1(datafile::kFileName));
    QString caption = QStringLiteral("Tallowick!");
    if (QDir::cleanPath(dataFilePath()) != QDir::cleanPath(start))
        caption += QStringLiteral(" - ") + QFileInfo(dataFilePath()).completeBaseName();
    if (m_bReadOnly)
        caption += QStringLiteral(" (read-only)");
    return caption;
}

QString CMainDlg::dataFilePath() const {
    if (!m_strDataFile.isEmpty())
        return m_strDataFile;
    const QString dir = m_strStartDir.isEmpty() ? QDir::currentPath() : m_strStartDir;
    return QDir(dir).filePath(QString::fromLatin1(datafile::kFileName));
}

void CMainDlg::LoadEntries() {
    m_dataFile = std::make_unique<datafile::CDataFileSession>(dataFilePath());
    QStringList notes;
    if (std::string problem; !CRegistrySettings::CheckStore(maker::kProduct, &problem))
        notes << QString::fromStdString(problem) +
                     QStringLiteral(" Tallowick! uses the built-in settings, and changed settings "
                                    "are not saved.");
    QString inUse;
    // Held from here until the window closes, so that no other window or ranking command
    // writes the list meanwhile, nor has its results overwritten by this one.
    if (m_dataFile->Lock(&inUse) == datafile::CDataFileSession::LockResult::InUse) {
        m_bReadOnly = true;
        notes << inUse
              << QStringLiteral("Tallowick! shows the list read-only: changes made in this "
                                "window are not saved.");
    }
    QString error;
    if (!m_dataFile->Load(m_model, &error)) {
        m_bLoadFailed = true;
        m_strLoadError = error;
        notes << error;
        if (!m_bReadOnly)
            notes << QStringLiteral("The list starts empty. The file will not be replaced "
                                    "unless you confirm it.");
    }
    if (!m_dataFile->optionsError().isEmpty())
        notes << m_dataFile->optionsError();
    if (const int kept = m_dataFile->keptOptionRows(); kept > 0)
        notes << (kept == 1 ? QStringLiteral("%1 row of the entry options \"%2\" matches no "
                                             "entry of the list; it is kept in the file.")
                            : QStringLiteral("%1 rows of the entry options \"%2\" match no "
                                             "entry of the list; they are kept in the file."))
                     .arg(kept)
                     .arg(datafile::DisplayPath(m_dataFile->optionsPath()));
    if (notes.isEmpty())
        return;
    // Told once the window is up, not while it is being built.
    const QString text = notes.join(QStringLiteral("\n\n"));
    QTimer::singleShot(0, this, [this, text] { tw::messageBox(this, text); });
}

bool CMainDlg::SaveEntriesOnClose(bool switching) {
    // Nothing was read (the window never opened), or another program has the list: the file
    // stays as it is, as the user was told at start-up.
    if (!m_dataFile || m_bReadOnly)
        return true;
    const QString path = dataFilePath();
    if (m_bLoadFailed) {
        const auto answer = tw::messageBox(
            this,
            QStringLiteral("The entry list \"%1\" could not be read when Tallowick! started.\n\n"
                           "Replace it with the %2 entries shown now?\n\n"
                           "Yes replaces the file, No closes without saving, Cancel keeps "
                           "Tallowick! open.")
                .arg(datafile::DisplayPath(path))
                .arg(m_model.rowCount()),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
        if (answer == QMessageBox::No)
            return true;
        if (answer != QMessageBox::Yes)
            return false;
    } else if (QString changed; m_dataFile->ChangedOnDisk(&changed)) {
        const auto answer = tw::messageBox(
            this,
            changed + QStringLiteral("\n\nReplace it with the %1 entries shown now?\n\n"
                                     "Yes replaces the other version. No keeps the other "
                                     "version and discards the changes made in this window.")
                          .arg(m_model.rowCount()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Warning);
        if (answer != QMessageBox::Yes)
            return true;
    }
    QString error;
    if (m_dataFile->Save(m_model, &error)) {
        m_bLoadFailed = false;
        return true;
    }
    const QString question =
        switching ? QStringLiteral("\n\nOpen the other list anyway? Every change made to this "
                                   "one since it was opened will be lost.")
                  : QStringLiteral("\n\nClose Tallowick! anyway? Every change made since it "
                                   "started will be lost.");
    const auto answer = tw::messageBox(this, error + question, QMessageBox::Yes | QMessageBox::No,
                                       QMessageBox::Warning);
    return answer == QMessageBox::Yes;
}

void CMainDlg::SaveStateAtExit() {
    m_upgrade.SaveCheckDate();
}

void CMainDlg::OnCancel() {
    if (CancelRunBeforeClose())
        return;
    if (!SaveEntriesOnClose())
        return;
    SaveStateAtExit();
    if (m_dataFile)
        m_dataFile->Unlock();
    for (int row = 0; row < m_model.rowCount(); ++row)
        m_model.setResults(row, nullptr);
    CResizableDlg::reject();
}

void CMainDlg::reject() {
    OnCancel();
}

QAbstractItemView* CMainDlg::listView() const {
    return m_list;
}

QList<int> CMainDlg::selectedRows() const {
    QList<int> rows;
    const QModelIndexList selected = m_list->selectionModel()->selectedRows();
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CMainDlg::selectedEntry() const {
    const QList<int> rows = selectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

QPushButton* CMainDlg::button(int id) const {
    return qobject_cast<QPushButton*>(control(id));
}

void CMainDlg::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    m_systemMenu->exec(event->globalPos());
}

void CMainDlg::ShowListMenu(const QPoint& pos) {
    QMenu menu(this);
    menu.addAction(m_historyAction);
    menu.addAction(QStringLiteral("&Alerts..."), this, &CMainDlg::OnAlerts)
        ->setEnabled(!m_bRanking);
    menu.addAction(QStringLiteral("Co&mpetitors..."), this, &CMainDlg::OnCompetitors);
    menu.addAction(QStringLiteral("Competitors &View"), this, &CMainDlg::OnCompetitorsView);
    menu.addAction(QStringLiteral("S&chedule..."), this, &CMainDlg::OnSchedule);
    menu.addSeparator();
    AddExchangeActions(menu);
    menu.addSeparator();
    AddListActions(menu);
    menu.exec(m_list->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------------------------------------------
// Commands handed to their subsystems.

namespace {
// Changing the list under a run's feet would send results into the wrong rows.
const int kLockedDuringRun[] = {
    CMainDlg::IDC_ADD,     CMainDlg::IDC_EDIT, CMainDlg::IDC_REMOVE,         CMainDlg::IDC_SETTINGS,
    CMainDlg::IDC_RANKALL, CMainDlg::IDC_RANK, CMainDlg::IDC_SETTINGS_HIDDEN};

void setUpgradeTarget(CUpgradeCheck& check) {
    check.SetTarget(maker::kProduct, maker::kVersion, UpgradePageUrl());
}
} // namespace

void CMainDlg::OnRank() {
    RankRows(selectedRows());
}

void CMainDlg::OnRankAll() {
    // A filter narrows Rank All to the entries it shows, as its note says.
    if (m_filter->text().trimmed().isEmpty()) {
        RankRows(std::nullopt);
        return;
    }
    const QList<int> shown = shownRows();
    if (shown.isEmpty()) {
        tw::messageBox(this, QStringLiteral("No entry matches the filter: there is nothing to "
                                            "rank."));
        return;
    }
    RankRows(shown);
}

void CMainDlg::RankRows(const std::optional<QList<int>>& rows) {
    if (m_bRanking)
        return;
    rank::CRankCommand command(this, m_model, m_settings);
    command.SetHistoryFile(m_bReadOnly ? QString() : dataFilePath());
    m_bRunOnSelection = rows.has_value();
    const bool ran = command.Run(rows, [this](CRankProgressDlg* progress) {
        SetRankingState(progress != nullptr, progress);
    });
    m_bRunOnSelection = false;
    if (!ran)
        return;
    m_historyTips.forget();
    m_lastRankRun = command.Result();
    if (m_bCloseAfterRun) {
        // Quit during the run: the run is over, now close as usual.
        m_bCloseAfterRun = false;
        OnCancel();
        return;
    }
    command.ShowOutcome();
}

void CMainDlg::SetRankingState(bool ranking, CRankProgressDlg* progress) {
    m_bRanking = ranking;
    m_pRankProgress = progress;
    for (int id : kLockedDuringRun) {
        if (QPushButton* b = button(id))
            b->setEnabled(!ranking);
    }
    // Rows added under a run's feet would shift the rows it writes into; a read-only window
    // never imports (nothing of it is saved).
    button(IDC_IMPORT)->setEnabled(!ranking && !m_bReadOnly);
}

bool CMainDlg::CancelRunBeforeClose() {
    if (!m_bRanking)
        return false;
    // The workers still write into rows and records: stop them first, close when the run ends.
    m_bCloseAfterRun = true;
    if (m_pRankProgress)
        m_pRankProgress->OnCancel();
    return true;
}

void CMainDlg::OnResults() {
    results::ShowRankDetails(this, m_model, selectedRows());
}

void CMainDlg::OnViewPage() {
    results::ViewResultPage(this, m_model, selectedRows());
}

void CMainDlg::OnSave() {
    results::SaveReportAs(this, m_model, m_strStartDir);
}

void CMainDlg::OnAlerts() {
    tw::alerts::EditAlerts(this, dataFilePath(), m_bReadOnly);
}

void CMainDlg::OnHistory() {
    tw::ShowEntryHistory(this, m_model, selectedRows(), dataFilePath());
}

void CMainDlg::OnCompetitors() {
    tw::EditCompetitors(this, m_model, dataFilePath(), m_bReadOnly);
}

void CMainDlg::OnCompetitorsView() {
    tw::ShowCompetitors(this, m_model, dataFilePath());
}

void CMainDlg::OnSettings() {
    // A ranking run reads the settings while it goes on.
    if (IsRanking())
        return;
    CReportSettings report;
    report.Load();
    const CReportSettings before = report;
    m_settingsDlg.m_checkLogo = [](const QString& path, QString* error) {
        tw::reports::Logo logo;
        return tw::reports::readLogo(path, &logo, error);
    };
    if (m_settingsDlg.DoModal(m_settings, report) == QDialog::Accepted) {
        m_settings.Save();
        // Stored once changed, so that a first OK writes only the search values.
        if (report != before)
            report.Save();
    }
    ApplySources();
}

void CMainDlg::OpenSources(QWidget* parent) {
    CSourcesDlg dlg(parent);
    dlg.m_entriesAtOnce = m_settings.m_MaxThreads;
    // Test asks for the first entry's keywords.
    if (m_model.rowCount() > 0)
        dlg.m_testKeywords = m_model.cell(0, ColKeywords);
    if (dlg.DoModal() == QDialog::Accepted)
        ApplySources();
}

void CMainDlg::ApplySources() {
    // Names the columns after the engines their sources ask ("Bing" in a slot ranked through a
    // result service).
    rank::ReadRunSources(false);
    emit m_model.headerDataChanged(Qt::Horizontal, ColFirstEngine, ColKeywords - 1);
}

void CMainDlg::RunUpgradeReminder() {
    setUpgradeTarget(m_upgrade);
    if (!m_upgrade.IsCheckDue())
        return;
    // Asked once the main window is on screen rather than from inside its first showing.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            return;
        setUpgradeTarget(m_upgrade);
        m_upgradeDlg.DoModal();
    });
}

void CMainDlg::OnUpgrade() {
    setUpgradeTarget(m_upgrade);
    m_upgradeDlg.DoModal();
}

void CMainDlg::OnHelp() {
    CHelpDlg dlg(this);
    dlg.exec();
}

void CMainDlg::OnAbout() {
    HandleSysCommand(this, CAboutDlg::IDM_ABOUTBOX);
}

void CMainDlg::ShowSplash() {
    // Owned by the main window, which destroys it; hidden after a moment or by a click.
    auto* splash = new CSplashDlg(this);
    splash->ShowSplash();
}
