#include "rank/RankRun.h"

#include "rank/BlockingCall.h"
#include "rank/RankProgress.h"
#include "rank/RankSearch.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

std::mutex g_hListLock;
std::atomic<int> g_nRunningWorkers{0};
std::atomic<bool> g_bNotAllFound{false};

namespace {
std::atomic<bool> g_bRunInProgress{false};

bool Cancelled(const IRankProgress* progress) {
    return progress && progress->IsCancelled();
}

// Links the download record of one engine's scan to the worker: how many pages the scan asked
// for and which of them failed.
class CRecordingSearch : public CRankSearch {
public:
    std::vector<PageError> m_errors; // of the engine being scanned

protected:
    bool DownloadPage(const std::string& url, const std::string& pageFile,
                      std::string& error) override {
        const bool haveLines = CRankSearch::DownloadPage(url, pageFile, error);
        if (!error.empty())
            m_errors.push_back({url, error});
        return haveLines;
    }
};
} // namespace

int ThreadLimit(int setting) {
    return std::max(1, setting);
}

std::string ScratchFileName(int jobNumber) {
    return "tempgoogle.html" + std::to_string(jobNumber);
}

std::string RankText(int rank, int page) {
    return "Rank " + std::to_string(rank) + " / Page " + std::to_string(page);
}

int RankEntryProc(std::unique_ptr<RankJob> job) {
    IRankRows& rows = *job->m_pRows;
    const int row = job->m_nRow;
    {
        std::lock_guard<std::mutex> lock(g_hListLock);
        rows.SetCell(row, ColUrl, job->m_strUrl + " *");
    }

    CRecordingSearch search;
    search.m_nMaxPages = job->m_nMaxPages;
    search.m_pProgressDlg = job->m_pProgressDlg;
    for (int e = 0; e < kEngineCount; ++e) {
        if (!job->m_hosts[e].empty())
            search.m_hosts[e] = job->m_hosts[e];
    }
    bool recordMade = false;
    std::vector<PageError> errors;
    int pagesFetched = 0;
    std::string failure; // a scan that could not run at all (out of memory)

    for (int e = 0; e < kEngineCount; ++e) {
        const SearchEngine engine = SearchEngine(e);
        EngineOutcome outcome;
        outcome.row = row;
        outcome.engine = engine;
        outcome.enabled = !job->m_engineOn || job->m_engineOn(engine);
        if (outcome.enabled && failure.empty()) {
            const int fetchedBefore = search.m_nPagesFetched;
            search.m_errors.clear();
            try {
                outcome.found =
                    search.Scan(engine, job->m_strUrl, job->m_strKeywords, job->m_strPageFile);
            } catch (const std::exception& ex) {
                failure = ex.what();
                outcome.found = false;
            }
            outcome.rank = outcome.found ? search.m_nRank : 0;
            outcome.page = outcome.found ? search.m_nPage : 0;
            outcome.pagesFetched = search.m_nPagesFetched - fetchedBefore;
            outcome.errors = search.m_errors;
            if (!failure.empty())
                outcome.errors.push_back({job->m_strUrl, "The search could not run: " + failure});
        }
        pagesFetched += outcome.pagesFetched;
        errors.insert(errors.end(), outcome.errors.begin(), outcome.errors.end());

        std::lock_guard<std::mutex> lock(g_hListLock);
        if (outcome.found) {
            rows.SetCell(row, EngineColumn(e), RankText(outcome.rank, outcome.page));
            if (!recordMade) {
                auto record = std::make_unique<EntryResults>();
                record->sites[e] = search.m_sitesAbove[e];
                rows.AttachResults(row, std::move(record));
                recordMade = true;
            } else {
                rows.AppendResults(row, engine, search.m_sitesAbove[e]);
            }
        } else {
            rows.SetCell(row, EngineColumn(e), "not found");
            if (outcome.enabled)
                g_bNotAllFound = true;
        }
        rows.EngineFinished(outcome);
    }

    std::lock_guard<std::mutex> lock(g_hListLock);
    rows.SetCell(row, ColUrl, job->m_strUrl);
    if (RankRunStats* stats = job->m_pStats) {
        stats->pagesFetched += pagesFetched;
        if (!errors.empty() && stats->failedPages == 0)
            stats->firstError = errors.front();
        stats->failedPages += int(errors.size());
    }
    // The last use of the rows and the progress: the run may end as soon as the count drops.
    --g_nRunningWorkers;
    return 0;
}

bool RankingInProgress() {
    return g_bRunInProgress.load();
}

RankRunResult RunRanking(const std::vector<RankTarget>& targets, IRankRows& rows,
                         IRankProgress* progress, const RankRunSettings& settings,
                         const std::function<void()>& pump) {
    RankRunResult result;
    if (g_bRunInProgress.exchange(true)) {
        result.startError = "A ranking run is already in progress.";
        return result;
    }

    // The rows and the progress belong to this thread: workers hand their changes to it.
    tw::PrepareBlockingCalls();
    const int limit = ThreadLimit(settings.maxThreads);
    std::vector<std::thread> workers;
    workers.reserve(targets.size());
    g_bNotAllFound = false;
    int jobNumber = 0;

    for (const RankTarget& target : targets) {
        if (Cancelled(progress))
            break;
        auto job = std::make_unique<RankJob>();
        job->m_strUrl = target.url;
        job->m_strKeywords = target.keywords;
        job->m_pRows = &rows;
        job->m_pProgressDlg = progress;
        job->m_nRow = target.row;
        job->m_nMaxPages = settings.maxPages;
        job->m_strPageFile = ScratchFileName(jobNumber++);
        job->m_hosts = settings.hosts;
        job->m_engineOn = settings.engineOn;
        job->m_pStats = &result.stats;

        // Raised before the start, so the count never dips below the workers in progress.
        const int running = ++g_nRunningWorkers;
        try {
            workers.emplace_back(RankEntryProc, std::move(job));
        } catch (const std::system_error& ex) {
            --g_nRunningWorkers;
            result.startError = ex.what();
            break;
        }
        ++result.workersStarted;
        result.maxRunning = std::max(result.maxRunning, running);

        while (g_nRunningWorkers > limit - 1)
            pump();
    }
    while (g_nRunningWorkers > 0)
        pump();
    // Every worker has made its last change; what is left of each is its return.
    for (std::thread& worker : workers)
        worker.join();

    result.cancelled = Cancelled(progress);
    result.notAllFound = g_bNotAllFound;
    g_bRunInProgress = false;
    return result;
}

void WaitAndPump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
