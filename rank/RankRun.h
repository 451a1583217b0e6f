#pragma once
// A ranking run: one worker thread per entry, never more at once than the thread limit, each
// running the enabled engines' scans for its entry and writing the outcome into the entry's row.
// The window and the command-line tool run the same code; they differ only in how a row is
// changed (IRankRows), how progress is shown (IRankProgress) and how the waiting thread passes
// its time (the pump).

#include "base/RankTypes.h"
#include "data/EntryOptions.h"
#include "sources/SourceSettings.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class IRankProgress;

// Held by a worker while it changes a row (its cells or its results record), so that each group
// of changes (an engine column with its record update, the URL restore with the worker count)
// is one step for the other workers.
extern std::mutex g_hListLock;
// Workers started and not yet finished.
extern std::atomic<int> g_nRunningWorkers;
// Cleared when a run starts; set by a worker when an enabled engine missed its target.
extern std::atomic<bool> g_bNotAllFound;

// Column texts of an engine that came to no rank. "error": the engine could not be asked (a page
// failed on every try, the engine blocked us), so nothing is known about the target there.
inline constexpr const char* kNotFoundText = "not found";
inline constexpr const char* kErrorText = "error";

// Bounds the run keeps to whatever the settings or options say: depth 1..100 result pages,
// 1..64 entries at once.
inline constexpr int kMaxDepth = 100;
inline constexpr int kMaxRunThreads = 64;
int ClampDepth(int setting);

// A page that could not be downloaded.
struct PageError {
    std::string url;
    std::string text;
};

// What one engine's scan of one entry came to.
struct EngineOutcome {
    int row = -1;
    SearchEngine engine = SearchEngine(0);
    bool enabled = false;
    bool found = false;
    int rank = 0;
    int page = 0;
    int pagesFetched = 0;
    std::vector<PageError> errors; // pages that failed on every try
    std::string error;             // not empty: the column reads "error"; why
    bool cancelled = false;        // cut short by cancel: the column got its old text back
    bool overBudget = false;       // cut short (cancelled) because the run's budget was spent
    bool written = false;          // the column and the record were written for this engine
    int calls = 0;                 // result-service calls billed for it; 0 for classic
    // Every result the scan counted, in order (at most tw::kHistoryMaxResults), found or not;
    // for an "error", those counted before the failing page, with resultsPartial set.
    std::vector<std::string> results;
    bool resultsPartial = false;
    std::vector<int> pageSizes; // results counted on each page read, in order
    std::string rankingUrl;     // the result that matched the target; empty when not found
};

// An engine result a run has just written into its column: a rank, "not found" or "error". Not
// one: a scan cut short by cancel, and a switched-off engine (even where its column is written).
struct WrittenResult {
    const std::string& url;
    const std::string& keywords;
    const EngineOutcome& outcome;
    const std::string& text;                    // the column's new text
    const std::vector<std::string>& sitesAbove; // empty unless the target was found
    const std::string& source;                  // "classic" or "PROVIDER:ENGINE"
    // Where the entry was ranked: "desktop" or "mobile", and its location (empty: none); with
    // URL and keywords they tell the entry's history apart.
    const std::string& device;
    const std::string& location;
};

// The rows a run writes into. Workers call these while they hold g_hListLock; each change must
// be complete when the call returns.
class IRankRows {
public:
    virtual ~IRankRows() = default;
    virtual void SetCell(int row, int col, const std::string& text) = 0;
    // Gives the row a fresh results record; the record it held before is freed, except that the
    // lists of the engines flagged in keepOld move from it into the fresh one.
    virtual void AttachResults(int row, std::unique_ptr<EntryResults> record,
                               const std::array<bool, kEngineCount>& keepOld) = 0;
    // Replaces the engine's list of the record the row holds.
    virtual void SetEngineResults(int row, SearchEngine engine, std::vector<std::string> sites) = 0;
    // An engine of an entry has ended and its column is written. For reports; called on the
    // worker's thread, under g_hListLock.
    virtual void EngineFinished(const EngineOutcome& outcome) { (void)outcome; }
};

// Download record of a whole run.
struct RankRunStats {
    int pagesFetched = 0;
    int failedPages = 0;
    int errorColumns = 0; // engine columns that read "error"
    int overBudget = 0;   // entries with a scan the run's budget of calls cut short
    PageError firstError; // of the first failed page met
};

// Everything one worker needs. Owned by the worker from its start.
struct RankJob {
    std::string m_strUrl;      // the entry's target (column 1 when the run started)
    std::string m_strKeywords; // the entry's keywords (column 6 when the run started)
    // The entry's own options; what it leaves empty comes from the sources' provider settings.
    datafile::EntryOptions m_options;
    IRankRows* m_pRows = nullptr;
    IRankProgress* m_pProgressDlg = nullptr; // may be null: no progress, no cancel
    int m_nRow = 0;
    int m_nMaxPages = 20;
    bool m_bReadWholeDepth = false; // read on past the target to the depth
    std::string m_strPageFile;      // scratch file of this job
    std::array<std::string, kEngineCount> m_hosts;
    // Asked when the worker reaches each engine, so a switch changed meanwhile counts.
    std::function<bool(SearchEngine)> m_engineOn;
    // The engine columns' texts before the run: a scan cut short by cancel puts its back.
    std::array<std::string, kEngineCount> m_previous;
    // A switched-off engine leaves its column and list alone instead of writing "not found".
    bool m_bKeepOffColumns = false;
    RankRunStats* m_pStats = nullptr; // added to under g_hListLock
    // Where each column's results come from; null: every column classic.
    std::shared_ptr<const tw::sources::SourceSettings> m_pSources;
    std::function<void(const WrittenResult&)> m_resultWritten; // may be empty
    // The run's pace, budget and call counts of the result services; null: none kept.
    std::shared_ptr<tw::sources::ServiceGates> m_pGates;
};

// The worker: marks the row, scans the enabled engines in order, writes each engine's column and
// the record, restores the row's URL and lowers g_nRunningWorkers as its last step. Returns 0.
int RankEntryProc(std::unique_ptr<RankJob> job);

// A thread setting below 1 counts as 1, above kMaxRunThreads as kMaxRunThreads.
int ThreadLimit(int setting);

// Scratch file of job number n: "tempgoogle.html" followed by n, in the current folder.
std::string ScratchFileName(int jobNumber);

// The text an engine's column gets.
std::string RankText(int rank, int page);

struct RankTarget {
    int row = 0;
    std::string url;
    std::string keywords;
    // The engine columns' texts before the run (the caller may have emptied the cells since):
    // what a cancelled scan, or a row the run never reached, gets back.
    std::array<std::string, kEngineCount> previous;
    // The entry's country, language, device and location; empty ones are the run's defaults
    // (the sources' provider settings).
    datafile::EntryOptions options;
};

// The provider settings an entry is ranked with: the run's, with the entry's own options in
// place of the defaults they replace.
tw::sources::ProviderConfig EntryConfig(const tw::sources::ProviderConfig& run,
                                        const datafile::EntryOptions& entry);

struct RankRunSettings {
    int maxPages = 20;
    int maxThreads = 3;
    // Every scan reads to the depth, past its target, so that the results below it are kept too
    // (more pages, and more billed calls through a result service).
    bool readWholeDepth = false;
    std::array<std::string, kEngineCount> hosts; // empty: the built-in host
    std::function<bool(SearchEngine)> engineOn;  // empty: every engine
    // The window writes "not found" for a switched-off engine; the command leaves columns of
    // engines it was not asked to rank as they are.
    bool keepOffColumns = false;
    // Each column's source and the providers' settings; the pause range spaces the requests to
    // each host, classic pages and provider calls alike, for the run.
    tw::sources::SourceSettings sources;
    // Called on the worker's thread, outside g_hListLock, for each result as it is written.
    std::function<void(const WrittenResult&)> resultWritten;
};

// What a run spent at the result services.
struct RunCalls {
    std::array<int, tw::sources::kProviderCount> billed{}; // per providerIndex
    std::array<bool, tw::sources::kProviderCount> used{};  // a column ranked through it
    std::array<int, tw::sources::kProviderCount> mostInFlight{};
    long sent = 0;   // calls sent, refused ones included (what the budget counts)
    long budget = 0; // 0: none
    bool budgetReached = false;
    std::vector<std::string> notices; // each said once: settings a provider does not take
    int total() const;
};

// "serper.dev: 90 calls, the Brave Search API: 1 call" for the services the run used; empty when
// it used none.
std::string CallsSummary(const RunCalls& calls);
// "call budget of 100 reached: 7 entries not ranked"
std::string BudgetMessage(const RunCalls& calls, int entriesNotRanked);

// The most and the fewest calls a run of entries can take per service (providerIndex): each
// ranked column through it takes mostCallsPerScan calls at most and one at least (read to the
// whole depth: as many as at most, unless the service runs out of results).
struct CallEstimate {
    std::array<long, tw::sources::kProviderCount> most{};
    std::array<long, tw::sources::kProviderCount> least{};
    std::array<bool, tw::sources::kProviderCount> used{};
};
CallEstimate EstimateCalls(int entries, int depth, const tw::sources::SourceSettings& sources,
                           const std::function<bool(SearchEngine)>& engineOn,
                           bool readWholeDepth = false);

struct RankRunResult {
    bool cancelled = false;
    bool notAllFound = false;
    int workersStarted = 0;
    int notRanked = 0;  // targets the run never started, cancelled or not
    int maxRunning = 0; // largest number of workers in progress the run saw
    RankRunStats stats;
    RunCalls calls;
    std::string startError; // a worker could not be started; later entries were left alone
};

// Ranks the targets in order and returns when every worker it started has ended; the rows it did
// not reach get their previous texts back. pump is called
// while the run waits; it must let the rows' and the progress's updates through and return
// within about 50 ms. Only one run can be in progress in a process: a second one returns at once
// with startError set.
RankRunResult RunRanking(const std::vector<RankTarget>& targets, IRankRows& rows,
                         IRankProgress* progress, const RankRunSettings& settings,
                         const std::function<void()>& pump);

// True while RunRanking is in progress.
bool RankingInProgress();

// Handles the calling thread's events for ms milliseconds, or until a worker of the run ends: a
// pump for RunRanking that passes a worker's update on as soon as it arrives and lets the run
// start the next entry without waiting out the rest of the step.
void WaitAndPump(int ms = 50);
