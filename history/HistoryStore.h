#pragma once
// The rank history: every engine result a ranking run writes, kept per run in an SQLite
// database beside the data file ("tallowick.dat" -> "tallowick.history.sqlite"). One
// transaction per run, so a run that dies half way leaves no trace and the runs before it whole.
// A file that is not a history database, or a damaged one, is refused and left exactly as it is.
// Free of widgets: the window, the ranking command and the History dialog share it.

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QIODevice;
class QSqlQuery;

namespace tw {

inline constexpr int kHistorySlots = 4;
// Sites above the target kept per result; the rest of a long list is dropped.
inline constexpr int kHistoryMaxSites = 100;
// Schema version of the files this build writes (PRAGMA user_version).
inline constexpr int kHistorySchemaVersion = 6;
// Results kept per scan, in the order counted; the rest of a longer scan is dropped.
inline constexpr int kHistoryMaxResults = 100;

// Where an entry is ranked; with its URL and keywords it names one history, so that a keyword
// ranked on a phone and on a desktop keeps two.
struct EntryWhere {
    std::string device = "desktop"; // "desktop" or "mobile"
    std::string location;           // empty: none
    bool operator==(const EntryWhere&) const = default;
};
// The history of an entry ranked with this device (empty: desktop) and location.
inline EntryWhere entryWhere(const std::string& device, const std::string& location) {
    return {device.empty() ? std::string("desktop") : device, location};
}

// One engine result as a run writes it. Texts are bytes, as the data file holds them.
struct HistoryResult {
    int slot = 0;            // 0..3: the engine column
    std::string engine;      // "Google"
    std::string source;      // how the result was obtained, "classic"
    std::string text;        // the column text: "Rank 3 / Page 1", "not found", "error"
    std::optional<int> rank; // empty when the target was not ranked
    std::optional<int> page;
    std::string error;                   // why the column reads "error"; empty otherwise
    std::vector<std::string> sitesAbove; // only the first kHistoryMaxSites are kept
    int calls = 0;                       // result-service calls billed for it; 0 for classic
    EntryWhere where;                    // the entry's history it belongs to
    // Every result the scan counted, in order, found or not (only the first kHistoryMaxResults);
    // for an "error", what was counted before the failing page, with resultsPartial set.
    std::vector<std::string> results;
    bool resultsPartial = false;
    // Results counted on each page read, in order: the page a kept result was on.
    std::vector<int> pageSizes;
    std::string rankingUrl; // the result that matched the target; empty when not found
};

// A result as loaded back, with the start time of its run.
struct HistoryRecord {
    qint64 runId = 0;
    QDateTime time; // the run's start, in the offset it was recorded with
    HistoryResult result;
};

// One run of one entry: the results of the slots it recorded (a switched-off engine records
// nothing, so a slot may be empty).
struct HistoryRun {
    qint64 runId = 0;
    QDateTime time;
    std::array<std::optional<HistoryResult>, kHistorySlots> bySlot;
};

// Everything recorded for one entry, newest run first.
struct EntryHistory {
    std::string url;
    std::string keywords;
    EntryWhere where;
    std::vector<HistoryRun> runs;
};

// An entry as the reads of many entries at once name it.
struct EntryKey {
    std::string url;
    std::string keywords;
    EntryWhere where;
};

// A run's id and start.
struct HistoryRunTime {
    qint64 runId = 0;
    QDateTime time; // in the offset it was recorded with
};

// Per slot, an entry's latest result from before a time; empty where there is none.
using LatestResults = std::array<std::optional<HistoryRecord>, kHistorySlots>;

// "tallowick.dat" -> "tallowick.history.sqlite" in the same folder; "list" ->
// "list.history.sqlite".
QString historyPathFor(const QString& dataFilePath);

// Each store has a connection of its own, so several stores (a run, a History window) may be open
// on the same file at once. Every call but record() belongs to the thread that opened the store,
// destruction included.
class HistoryStore {
public:
    HistoryStore();
    ~HistoryStore(); // a run not committed is rolled back
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    enum class Mode {
        ReadWrite, // creates the file when there is none; brings an older schema up to date
        ReadOnly,  // a missing file fails; an older schema is read as it is not (fails)
    };

    // Opens the database at path. Fails with a reason for the user when the file cannot be
    // opened or made, is held by another program for longer than the busy time-out, is no
    // history database or is damaged, or was written by a newer version. A refused file is
    // never written to.
    bool open(const QString& path, Mode mode, QString* error);
    // Opens an existing history to read it: read-only, except that a file in an older format is
    // brought up to date first (which writes it).
    bool openForReading(const QString& path, QString* error);
    bool isOpen() const;
    QString path() const { return m_path; }
    // Rolls back a run not committed.
    void close();

    // How long a call waits for another program's lock before it gives up.
    static constexpr int kBusyTimeoutMs = 2000;

    // --- Recording a run -------------------------------------------------------------------
    // Starts a run at its start time and takes the database's write lock for the run.
    bool beginRun(const QDateTime& started, QString* error);
    bool runInProgress() const;
    qint64 currentRunId() const;
    // Records one result of the run in progress for the entry (URL and keywords bytes, and
    // result.where). May be
    // called from any thread: a call off the thread that opened the store is queued and written
    // by the next flush() or commitRun() on the opening thread.
    bool record(const std::string& url, const std::string& keywords, const HistoryResult& result,
                QString* error);
    bool record(const std::string& url, const std::string& keywords, HistoryResult&& result,
                QString* error);
    // Writes queued results (opening thread only). Cheap when nothing is queued.
    bool flush(QString* error);
    // Writes what is queued and makes the run permanent. A run whose writing failed part way
    // was rolled back whole when it failed: every later call of it, this one included, fails
    // with that reason.
    bool commitRun(QString* error);
    // Drops the run in progress.
    void rollbackRun();

    // --- Reading -----------------------------------------------------------------------------
    // Each names the entry by URL, keywords and where it is ranked; without where, a desktop
    // entry without a location.
    // The entry's runs, newest first. withSites loads the sites above and the kept results too.
    bool loadEntry(const std::string& url, const std::string& keywords, const EntryWhere& where,
                   EntryHistory* out, QString* error, bool withSites = false);
    bool loadEntry(const std::string& url, const std::string& keywords, EntryHistory* out,
                   QString* error, bool withSites = false) {
        return loadEntry(url, keywords, EntryWhere{}, out, error, withSites);
    }
    // The slot's latest result recorded before run beforeRunId (0: before the run in progress,
    // or the latest of all when none is). *found is false when there is none.
    // withSites loads the sites above and the kept results too.
    bool previousResult(const std::string& url, const std::string& keywords,
                        const EntryWhere& where, int slot, qint64 beforeRunId, HistoryRecord* out,
                        bool* found, QString* error, bool withSites = false);
    bool previousResult(const std::string& url, const std::string& keywords, int slot,
                        qint64 beforeRunId, HistoryRecord* out, bool* found, QString* error) {
        return previousResult(url, keywords, EntryWhere{}, slot, beforeRunId, out, found, error);
    }
    // The engine cell's tooltip: the slot's result before its latest one and the change,
    // "was Rank 9 / Page 1 on 2026-12-01: up 2". Empty when the slot has fewer than two results.
    bool cellTip(const std::string& url, const std::string& keywords, const EntryWhere& where,
                 int slot, QString* tip, QString* error);
    bool cellTip(const std::string& url, const std::string& keywords, int slot, QString* tip,
                 QString* error) {
        return cellTip(url, keywords, EntryWhere{}, slot, tip, error);
    }
    // The best (lowest) rank ever recorded per slot; empty where never ranked.
    bool bestRanks(const std::string& url, const std::string& keywords, const EntryWhere& where,
                   std::array<std::optional<int>, kHistorySlots>* out, QString* error);
    bool bestRanks(const std::string& url, const std::string& keywords,
                   std::array<std::optional<int>, kHistorySlots>* out, QString* error) {
        return bestRanks(url, keywords, EntryWhere{}, out, error);
    }
    // --- Reading many entries at once ------------------------------------------------------
    // For a long list, one query each instead of one per entry. Entries without a history are
    // no error; an entry named twice gets the same results twice.
    // The runs that recorded a result of any of the entries, oldest (lowest id) first.
    bool runsOf(const std::vector<EntryKey>& entries, std::vector<HistoryRunTime>* out,
                QString* error);
    // out[i]: entries[i]'s runs started at or after since (invalid: every run), newest first, as
    // loadEntry gives them. withSites loads the sites above and the kept results too.
    bool loadEntriesSince(const std::vector<EntryKey>& entries, const QDateTime& since,
                          std::vector<EntryHistory>* out, QString* error, bool withSites = false);
    // out[i]: per slot, entries[i]'s latest result from a run started before before.
    bool latestBefore(const std::vector<EntryKey>& entries, const QDateTime& before,
                      std::vector<LatestResults>* out, QString* error, bool withSites = false);

    // Every recorded result as CSV, oldest first (see writeCsvHeader).
    bool exportCsv(QIODevice* out, QString* error);
    bool exportEntryCsv(const std::string& url, const std::string& keywords,
                        const EntryWhere& where, QIODevice* out, QString* error);
    bool exportEntryCsv(const std::string& url, const std::string& keywords, QIODevice* out,
                        QString* error) {
        return exportEntryCsv(url, keywords, EntryWhere{}, out, error);
    }

    int schemaVersion() const { return m_schemaVersion; }
    // The version the file had when open() looked at it, also when open() failed (0: none).
    int fileSchemaVersion() const { return m_fileVersion; }
    // Runs SQLite's integrity check (reads the whole file). open() for writing runs it too,
    // unless it passed before and the file has not changed since.
    bool checkIntegrity(QString* error);

private:
    struct Pending {
        std::string url;
        std::string keywords;
        HistoryResult result;
    };
    bool openChecked(const QString& path, Mode mode, QString* error);
    bool recordable(const HistoryResult& result, QString* error);
    // Brings the file to the current format and marks it as this program's (marked: it is).
    bool migrate(bool marked, QString* error);
    bool entryId(const std::string& url, const std::string& keywords, const EntryWhere& where,
                 bool create, qint64* id, QString* error);
    // An entry's id in an open store, 0 when it has no history; false when the store is not open
    // or cannot be read.
    bool findEntry(const std::string& url, const std::string& keywords, const EntryWhere& where,
                   qint64* id, QString* error);
    // The entries' ids as an SQL list of numbers, and the indexes of entries per id (entries
    // without a history left out; no entry has one: an empty list).
    bool entryIdList(const std::vector<EntryKey>& entries, QString* list,
                     std::unordered_map<qint64, std::vector<int>>* indexes, QString* error);
    // One result row of a read of many entries: entry id, run id, start, offset, then the
    // columns loadEntry reads from the slot on (with the kept ones when withSites).
    bool bulkRow(const QSqlQuery& q, bool withSites, HistoryRecord* out, QString* error);
    // Runs q, a read of many entries, and hands take each row's record, its slot and the places
    // of its entry in the entries asked for.
    bool bulkRows(QSqlQuery& q, bool withSites,
                  const std::unordered_map<qint64, std::vector<int>>& indexes, QString* error,
                  const std::function<void(HistoryRecord&, int, const std::vector<int>&)>& take);
    bool writePending(std::vector<Pending>& pending, QString* error);
    bool writeOne(const std::string& url, const std::string& keywords, const HistoryResult& result,
                  QString* error);
    // The sites' ids, packed as a result keeps them; sites not in the site table yet are added.
    // With numbers, the ids go there instead (ids is left empty).
    bool siteIdList(const std::vector<std::string>& sites, QByteArray* ids, QString* error,
                    std::vector<qint64>* numbers = nullptr);
    // The texts of packed site ids.
    bool siteTexts(const QByteArray& packed, std::vector<std::string>* sites, QString* error);
    bool siteTextsOf(const std::vector<qint64>& ids, std::vector<std::string>* sites,
                     QString* error);
    // The sites above, kept results, page sizes and ranking URL read from q's columns first..
    bool keptTexts(const QSqlQuery& q, int first, HistoryResult* r, QString* error);
    bool exportWhere(const QString& where, qint64 entry, QIODevice* out, QString* error);
    QString fail(const QString& what, const QString& reason) const;
    // A read of the store that failed: says so in error; false, for the caller to return.
    bool readFailed(const QSqlQuery& q, QString* error) const;
    // A write of the run failed: the run is rolled back whole, and every later call of the run
    // reports reason.
    void abandonRun(const QString& reason);
    QString noRunError(const QString& what);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    QString m_path;
    QString m_connection;
    int m_schemaVersion = 0;
    int m_fileVersion = 0;
    // Opened for writing after its checks passed: its state at close is remembered as sound.
    bool m_rememberAtClose = false;
    qint64 m_runId = 0;
    Qt::HANDLE m_ownerThread = nullptr;
    std::mutex m_pendingLock;
    std::vector<Pending> m_pending;
    QString m_runError; // under m_pendingLock
};

// Convenience for the History command: the entry's history from the data file's history, opened
// read-only for the call. No history file yet is no error: *out is then empty.
bool loadEntryHistory(const QString& dataFilePath, const std::string& url,
                      const std::string& keywords, const EntryWhere& where, EntryHistory* out,
                      QString* error);
inline bool loadEntryHistory(const QString& dataFilePath, const std::string& url,
                             const std::string& keywords, EntryHistory* out, QString* error) {
    return loadEntryHistory(dataFilePath, url, keywords, EntryWhere{}, out, error);
}

// Sites above as format 2 kept them per result (at most kHistoryMaxSites, compressed) and back;
// read when such a file is brought up to date.
QByteArray packSites(const std::vector<std::string>& sites);
bool unpackSites(const QByteArray& packed, std::vector<std::string>* sites);

} // namespace tw
