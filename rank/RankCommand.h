#pragma once
// Rank All and Rank in a window: checks what is asked, runs the ranking behind the progress
// dialog and tells the user how it went. The window only says which rows and keeps its buttons
// locked while the run goes on.

#include "alerts/AlertRun.h"
#include "rank/RankRun.h"
#include "rank/RunChanges.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class CRankProgressDlg;
class CSearchSettings;
class EntryListModel;
class QWidget;

namespace rank {

class CRankCommand {
public:
    CRankCommand(QWidget* parent, EntryListModel& model, const CSearchSettings& settings);

    // Ranks rows (all rows when there are none given), after telling the user why not when
    // there is nothing to rank or a host setting is wrong: then returns false and nothing
    // changed. runState is called with the progress dialog when the run starts and with null
    // when it has ended, before the end sound.
    bool Run(const std::optional<QList<int>>& rows,
             const std::function<void(CRankProgressDlg*)>& runState);

    const RankRunResult& Result() const { return m_result; }
    // What changed in the run, against each entry's previous result in the history.
    const RunChanges& Changes() const { return m_changes; }

    // Records the run in the rank history of the data file at dataFilePath; empty (a list shown
    // read-only): the run records nothing.
    void SetHistoryFile(const QString& dataFilePath) { m_historyFile = dataFilePath; }
    // Why the run could not be recorded; empty when it was, or was not to be.
    const QString& HistoryError() const { return m_historyError; }
    // What the list's alert rules found after the run and how each channel went.
    const tw::alerts::AlertsOutcome& Alerts() const { return m_alerts; }

    // Tells the user how the run went: rows that could not be ranked, the completion dialog or
    // message (with "Changes..." for the What changed dialog), pages that failed (none of these
    // three after a cancel), a history that could not be written, and alerts that could not be
    // sent.
    void ShowOutcome() const;

private:
    void ShowHistoryError() const;
    void ShowAlertFailures() const;
    void ShowChanges(QWidget* parent) const;

    QWidget* m_parent;
    EntryListModel& m_model;
    const CSearchSettings& m_settings;
    RankRunResult m_result;
    RunChanges m_changes;
    std::size_t m_targets = 0;
    QString m_historyFile;
    QString m_historyError;
    tw::alerts::AlertsOutcome m_alerts;
};

} // namespace rank
