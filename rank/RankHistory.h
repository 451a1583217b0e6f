#pragma once
// A ranking run's results in the rank history (history/HistoryStore.h): the window's runs and the
// command's share this. The run never waits for the history and never fails because of it: a
// history that cannot be written leaves the run unrecorded, with one reason to tell the user.

#include "history/HistoryStore.h"
#include "rank/RankRun.h"
#include "rank/RunChanges.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace rank {

// The engine name a slot's results are recorded under: the slot's label (the engine its source
// asks, "Bing" for a column ranked on Bing).
std::string HistoryEngineName(SearchEngine engine);
// Where an entry is ranked, as the history tells its histories apart: the entry's own device and
// location, else the defaults ("desktop" when none is set).
tw::EntryWhere HistoryWhere(const datafile::EntryOptions& entry, const std::string& defaultDevice,
                            const std::string& defaultLocation);
// A written result as the history keeps it.
tw::HistoryResult HistoryResultOf(const WrittenResult& written);

class CRunHistory {
public:
    CRunHistory() = default;
    ~CRunHistory(); // a run not finished is dropped
    CRunHistory(const CRunHistory&) = delete;
    CRunHistory& operator=(const CRunHistory&) = delete;

    // Opens the history of the data file and starts a run that began at started. On failure
    // the run goes on unrecorded and Error() says why.
    bool Begin(const QString& dataFilePath, const QDateTime& started);
    // Opens the history only to read the previous results (a run that records nothing). No
    // history yet, or one that cannot be read, leaves Previous() finding nothing.
    void OpenForReading(const QString& dataFilePath);

    // Makes the run report its results here (settings.resultWritten). Nothing when Begin failed.
    void Attach(RankRunSettings& settings);
    // From the run's pump, on the thread that called Begin: writes what the workers handed in.
    void Flush();
    // After the run: makes it permanent. False when recording failed at any point (Error()).
    bool Finish();
    // After the run: drops it unrecorded (the list it belongs to was not saved).
    void Drop();

    // Why the run is not recorded; empty while all goes well.
    QString Error() const;
    // The slot's latest result recorded before this run, or before run beforeRunId when it is
    // not 0. withSites loads its sites above and kept results too.
    std::optional<tw::HistoryRecord> Previous(const std::string& url, const std::string& keywords,
                                              const tw::EntryWhere& where, int slot,
                                              bool withSites = false, qint64 beforeRunId = 0);
    // Of a desktop entry without a location.
    std::optional<tw::HistoryRecord> Previous(const std::string& url, const std::string& keywords,
                                              int slot) {
        return Previous(url, keywords, tw::EntryWhere{}, slot);
    }

    // How current, a result this run wrote, moved against the entry's results before this run.
    ResultChange Compare(int row, const std::string& url, const std::string& keywords,
                         const tw::HistoryResult& current);

private:
    // On any thread: the first failure is kept, the rest of the run records nothing.
    void Failed(const QString& reason);
    void Record(const WrittenResult& written);

    tw::HistoryStore m_store;
    qint64 m_runId = 0; // 0: no run being recorded
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_errorLock;
    QString m_error;
};

} // namespace rank
