#pragma once
// One ranking run of a list with everything around it, for the window and tallowick-rank alike:
// the run recorded in the list's rank history, then the list saved, and only then the history's
// run made permanent, so the two never disagree. Free of widgets: the window shows the outcome,
// the command turns it into its exit status.

#include "alerts/AlertRun.h"
#include "history/HistoryStore.h"
#include "rank/RankRun.h"
#include "rank/RunChanges.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rank {

class CRunHistory;

struct RunRequest {
    // The list's data file; its history is beside it. Empty: no history is read or written.
    QString dataFilePath;
    // False: the run is not recorded ("previous" results are still read).
    bool record = true;
    // The run's start as the history keeps it; invalid: when the run starts.
    QDateTime started;
    // Saves the list once the run has ended; empty when the caller saves it later (the window
    // saves at close). The history's run is kept only when this succeeded. False with the
    // reason for the user.
    std::function<bool(QString* error)> saveList;
    // After the run, the list's alert rules (beside the data file) are checked and their
    // message sent, only composed (DryRun), or not looked at (Off).
    enum class Alerts { Send, DryRun, Off };
    Alerts alerts = Alerts::Send;
    // How long and how often each alert channel is tried.
    tw::alerts::SendLimits alertLimits;
    // Writes the list's PDF report, mailed after the run when its rule file says mail_report=yes
    // (also on a dry run, to show its size). Empty: no report.
    tw::alerts::CAlertCheck::ReportWriter writeReport;
};

struct RunOutcome {
    RankRunResult run;
    bool saveTried = false; // saveList was called
    bool saved = false;
    QString saveError;                // why the list was not saved
    bool recorded = false;            // the run is in the history
    QString historyError;             // why it is not, when it was to be; empty otherwise
    bool keptForTheList = false;      // not recorded only because the list was not saved
    tw::alerts::AlertsOutcome alerts; // what the rules found and how each channel went
    // What changed: each result the run wrote against the entry's result before the run.
    RunChanges changes;
};

class CRunPipeline {
public:
    explicit CRunPipeline(RunRequest request);
    ~CRunPipeline();
    CRunPipeline(const CRunPipeline&) = delete;
    CRunPipeline& operator=(const CRunPipeline&) = delete;

    // Runs the ranking of targets (RunRanking with rows, progress and settings; pump is the
    // caller's wait between worker updates), then saves the list, settles the history and
    // sends the alerts the run triggered.
    RunOutcome Run(const std::vector<RankTarget>& targets, IRankRows& rows, IRankProgress* progress,
                   RankRunSettings settings, const std::function<void()>& pump);

    // Without a run: opens the list's history for Previous alone; nothing is written.
    void OpenForReading();

    // After Run or OpenForReading: the slot's latest result recorded in the history before this
    // run, or before run beforeRunId when it is not 0. withSites loads its sites above and kept
    // results too.
    std::optional<tw::HistoryRecord> Previous(const std::string& url, const std::string& keywords,
                                              const tw::EntryWhere& where, int slot,
                                              bool withSites = false, qint64 beforeRunId = 0);
    std::optional<tw::HistoryRecord> Previous(const std::string& url, const std::string& keywords,
                                              int slot) {
        return Previous(url, keywords, tw::EntryWhere{}, slot);
    }

private:
    // Saves the list and makes the history's run permanent, or drops it.
    void Settle(bool recording, RunOutcome& outcome);

    RunRequest m_request;
    std::unique_ptr<CRunHistory> m_history;
};

} // namespace rank
