#pragma once
// The main window: the entry list and the buttons that reach every command. Its slots are thin:
// each command's substance lives in its subsystem. The window owns the list, the search settings
// and the upgrade check state; its dialogs are handed them.
// Initialisation (loading the list, anchors, ...) runs when the window is first shown;
// closing it (Quit, Escape, the close box) saves the list and the upgrade check date.

#include "data/EntryListModel.h"
#include "exchange/ImportUndo.h"
#include "history/HistoryCellTips.h"
#include "rank/RankRun.h"
#include "settings/SearchSettings.h"
#include "settings/SettingsDlg.h"
#include "ui/ResizableDlg.h"
#include "upgrade/UpgradeCheck.h"
#include "upgrade/UpgradeCheckDlg.h"

#include <QAbstractItemView>
#include <QList>
#include <QPoint>
#include <QString>

#include <memory>
#include <optional>

namespace datafile {
class CDataFileSession;
}
class CEntryListView;
class CRankProgressDlg;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

class CMainDlg : public CResizableDlg {
    Q_OBJECT
public:
    enum { IDD = 102 };
    enum ControlId {
        IDC_RANKALL = 1002,
        IDC_ADD = 1003,
        IDC_REMOVE = 1004,
        IDC_EDIT = 1006,
        IDC_UPGRADE = 6,
        IDC_HELP = 1005,
        IDC_QUIT = 2,
        IDC_LIST = 1001,
        IDC_VIEWPAGE = 1007,
        IDC_RESULTS = 1008,
        IDC_SAVE = 1009,
        IDC_SETTINGS_HIDDEN = 1010,
        IDC_RANK = 1011,
        IDC_SETTINGS = 7,
        IDC_HISTORY = 1012,
        IDC_IMPORT = 1020,
        IDC_EXPORT = 1021,
        IDC_LISTS = 1022,
        IDC_FILTER = 1023,
        IDC_FILTER_NOTE = 1024,
        IDC_COMPETITORS = 1030,
    };

    // dataFile: the list to open; empty: "tallowick.dat" in the folder the program starts in.
    explicit CMainDlg(QWidget* parent = nullptr, const QString& dataFile = QString());
    ~CMainDlg() override;

    EntryListModel& entries() { return m_model; }
    const EntryListModel& entries() const { return m_model; }
    QAbstractItemView* listView() const;
    // Selected rows in ascending order.
    QList<int> selectedRows() const;
    // The lowest selected row, or -1.
    int selectedEntry() const;
    // The folder the program started in; the default data file lives there.
    const QString& startDir() const { return m_strStartDir; }
    // The list that is open; its history, options and background image live beside it.
    QString dataFilePath() const;
    // The lists' menu: Open list... and the recent lists (the Lists button and the list's
    // context menu show it).
    void AddListActions(QMenu& menu);
    // Saves the open list (asking as at close) and opens path in its place. False when the
    // user keeps the open list, or during a run.
    bool OpenList(const QString& path);
    // Shows only the entries with the tag or holding the text; empty shows all.
    void SetFilter(const QString& text);
    QLineEdit* filterEdit() const { return m_filter; }
    // The rows the filter shows, ascending; Rank All ranks these.
    QList<int> shownRows() const;
    // Another program or window had the data file when this one started: the list is shown
    // but never saved.
    bool IsReadOnly() const { return m_bReadOnly; }
    int entryCount() const { return m_model.rowCount(); }
    QPushButton* button(int id) const;
    // The window's menu (window commands, then a separator and the About item last).
    QMenu* systemMenu() const { return m_systemMenu; }
    // History, in the list's context menu; its shortcut (Ctrl+H) works anywhere in the window.
    QAction* historyAction() const { return m_historyAction; }

    // The search settings in effect (read when the window is constructed); the settings dialog
    // edits a copy and the window stores them on OK.
    const CSearchSettings& searchSettings() const { return m_settings; }
    CSettingsDlg& settingsDlg() { return m_settingsDlg; }
    // The upgrade check and its dialog; the date of the last check is stored at exit.
    CUpgradeCheck& upgradeCheck() { return m_upgrade; }
    CUpgradeCheckDlg& upgradeDlg() { return m_upgradeDlg; }
    // What the window stores when it closes: the date of the last upgrade check or reminder.
    void SaveStateAtExit();

    // Handles every waiting event, so the window stays usable during long work.
    void PumpMessages();

    // True while a ranking run is in progress; the list cannot be changed meanwhile.
    bool IsRanking() const { return m_bRanking; }
    // True while a run over the selected rows only (Rank) is in progress.
    bool IsRankingSelectedOnly() const { return m_bRanking && m_bRunOnSelection; }
    // What the latest ranking run came to.
    const RankRunResult& lastRankRun() const { return m_lastRankRun; }

public slots:
    void OnRankAll();
    void OnRank();
    void OnAddEntry();
    void OnRemoveEntry();
    void OnEditEntry();
    void OnViewPage();
    void OnResults();
    void OnSave();
    void OnHistory();
    // Alerts..., in the list's context menu: the open list's alert rules and channels.
    void OnAlerts();
    // The list's competitors: editing them, and the view that compares the list's ranks with
    // theirs.
    void OnCompetitors();
    void OnCompetitorsView();
    void OnSettings();
    void ApplySources();
    void OpenSources(QWidget* parent);
    void OnHelp();
    void OnUpgrade();
    void OnAbout();
    // Many entries at once: from a file, taken back in one step, to a CSV table.
    void OnImport();
    void OnUndoImport();
    void OnExport();
    // The client report (HTML or PDF) of the list or of its tagged entries.
    void OnReport();
    void OnOpenList();
    void OnLists();
    void OnSchedule();
    // Saves the list and closes; stays open when saving fails and the user does not
    // want to close anyway.
    virtual void OnCancel();

public:
    void reject() override;

    // Adds Import, Export and Undo import (enabled while the latest import can still be taken
    // back) to a menu of the list.
    void AddExchangeActions(QMenu& menu);
    bool CanUndoImport() const;

protected:
    void OnInitDialog() override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControls();
    // Takes the data file's lock and reads the list.
    void LoadEntries();
    // "Tallowick!", marked when the list is read-only.
    QString windowCaption() const;
    // Writes the list at close, unless it is read-only or the user keeps a version changed on
    // disk meanwhile. False keeps the window open.
    // switching: another list is to be opened in its place (the question says so).
    bool SaveEntriesOnClose(bool switching = false);
    // Start-up extras of other subsystems (splash window, upgrade reminder).
    void ShowSplash();
    void RunUpgradeReminder();
    // Rank All (no rows) and Rank (the selected rows).
    void RankRows(const std::optional<QList<int>>& rows);
    // Locks the list's commands during a run (progress: the run's dialog) and unlocks them.
    void SetRankingState(bool ranking, CRankProgressDlg* progress);
    // The list's context menu.
    void ShowListMenu(const QPoint& pos);
    // Import and Export in the window; refused during a run, import also when read-only.
    void ImportEntries();
    void ExportEntries();
    // Closing during a run: cancels it and closes once it has ended. False when no run is on.
    bool CancelRunBeforeClose();
    // Shows and hides rows for the filter, the Where column for the options, and the note.
    void ApplyFilter();
    // Everything that follows the open list: history tips, background image, caption.
    void ShowOpenList();

    // Declared before the list it gives tooltips to, so that it outlives it.
    tw::HistoryCellTips m_historyTips;
    CSearchSettings m_settings;
    CSettingsDlg m_settingsDlg{this};
    CUpgradeCheck m_upgrade;
    CUpgradeCheckDlg m_upgradeDlg{m_upgrade, this};
    QString m_strStartDir;
    QString m_strDataFile; // absolute; empty until the window opens its list
    QLineEdit* m_filter = nullptr;
    QLabel* m_filterNote = nullptr;
    bool m_bFiltered = false; // some rows may be hidden by the filter
    EntryListModel m_model;
    tw::exchange::ImportUndo m_importUndo{m_model};
    CEntryListView* m_list = nullptr;
    QMenu* m_systemMenu = nullptr;
    QAction* m_historyAction = nullptr;
    // The data file, its lock and what it held when read.
    std::unique_ptr<datafile::CDataFileSession> m_dataFile;
    bool m_bReadOnly = false;
    // The data file existed but could not be read: never replace it without asking.
    bool m_bLoadFailed = false;
    QString m_strLoadError;
    bool m_bRanking = false;
    bool m_bRunOnSelection = false;
    bool m_bCloseAfterRun = false;
    CRankProgressDlg* m_pRankProgress = nullptr;
    RankRunResult m_lastRankRun;
};
