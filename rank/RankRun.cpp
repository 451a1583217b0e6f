#include "rank/RankRun.h"

#include "base/BlockingCall.h"
#include "base/PageFetcher.h"
#include "base/ResultLinks.h"
#include "rank/RankProgress.h"
#include "rank/RankSearch.h"
#include "sources/ProviderScan.h"

#include <QAbstractEventDispatcher>
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

// The run's thread, woken when a worker ends so that its pump returns and the next entry starts
// at once rather than at the end of the pump's wait.
std::atomic<QAbstractEventDispatcher*> g_runDispatcher{nullptr};
std::atomic<bool> g_bWorkerEnded{false};

void WakeRun() {
    g_bWorkerEnded = true;
    if (QAbstractEventDispatcher* dispatcher = g_runDispatcher.load())
        dispatcher->wakeUp();
}

bool Cancelled(const IRankProgress* progress) {
    return progress && progress->IsCancelled();
}

// Keeps the pages of one engine's scan that failed on every try.
class CRecordingSearch : public CRankSearch {
public:
    std::vector<PageError> m_errors; // of the engine being scanned

protected:
    void PageFailed(const std::string& url, const std::string& error) override {
        m_errors.push_back({url, error});
    }
};

// A worker thread and whether it has made its last change, so the run can join it as soon as it
// ends and a long run does not keep every finished thread's stack until the end.
struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

// Scans the engine's column through its result service instead of the classic scan: the same
// outcome, sites above, progress line, cancel and retry rule.
void ScanThroughProvider(const RankJob& job, const tw::sources::Source& source,
                         EngineOutcome& outcome, std::vector<std::string>& sitesAbove) {
    tw::sources::ProviderScan scan;
    IRankProgress* progress = job.m_pProgressDlg;
    if (progress) {
        scan.m_cancelled = [progress] { return progress->IsCancelled(); };
        const std::string label = rank::PageLabel(outcome.engine);
        const std::string target = job.m_strUrl;
        scan.m_pageStarted = [progress, label, target](int page, int pages) {
            const int percent = static_cast<int>(double(page - 1) * 100.0 / double(pages));
            const std::string line = label + std::to_string(page) + "/" + std::to_string(pages);
            std::lock_guard<std::mutex> lock(g_hProgressLock);
            progress->ReportPage(percent, line, target);
        };
    }
    scan.m_retryDelaysMs = CRankSearch::Retry().delaysMs;
    scan.m_gates = job.m_pGates.get();
    tw::sources::ScanInput input{job.m_strUrl, job.m_strKeywords, job.m_nMaxPages, source,
                                 EntryConfig(job.m_pSources->config, job.m_options)};
    input.readWholeDepth = job.m_bReadWholeDepth;
    tw::sources::ScanResult result = scan.run(input);
    outcome.found = result.ok && result.rank > 0;
    outcome.rank = result.rank;
    outcome.page = result.page;
    outcome.pagesFetched = result.requests;
    outcome.cancelled = result.cancelled;
    outcome.overBudget = result.overBudget;
    outcome.calls = result.calls;
    if (!result.ok && !result.cancelled) {
        outcome.error = result.error;
        outcome.errors.push_back({result.lastUrl, result.error});
    }
    sitesAbove = std::move(result.sitesAbove);
    outcome.results = std::move(result.results);
    outcome.resultsPartial = result.resultsPartial;
    outcome.pageSizes = std::move(result.pageSizes);
    outcome.rankingUrl = std::move(result.rankingUrl);
}

void JoinFinished(std::vector<Worker>& workers) {
    for (auto it = workers.begin(); it != workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
}
} // namespace

int RunCalls::total() const {
    int sum = 0;
    for (int n : billed)
        sum += n;
    return sum;
}

std::string CallsSummary(const RunCalls& calls) {
    std::string text;
    for (int i = 0; i < tw::sources::kProviderCount; ++i) {
        if (!calls.used[i] && calls.billed[i] == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += std::string(tw::sources::providerSite(tw::sources::providerAt(i))) + ": " +
                std::to_string(calls.billed[i]) + (calls.billed[i] == 1 ? " call" : " calls");
    }
    return text;
}

std::string BudgetMessage(const RunCalls& calls, int entriesNotRanked) {
    return "call budget of " + std::to_string(calls.budget) +
           " reached: " + std::to_string(entriesNotRanked) +
           (entriesNotRanked == 1 ? " entry not ranked" : " entries not ranked");
}

CallEstimate EstimateCalls(int entries, int depth, const tw::sources::SourceSettings& sources,
                           const std::function<bool(SearchEngine)>& engineOn, bool readWholeDepth) {
    CallEstimate estimate;
    const int pages = ClampDepth(depth);
    for (int e = 0; e < kEngineCount; ++e) {
        const tw::sources::Source& source = sources.columns[e];
        if (source.isClassic() || (engineOn && !engineOn(SearchEngine(e))))
            continue;
        const int i = tw::sources::providerIndex(source.provider);
        estimate.used[i] = true;
        const long most = tw::sources::mostCallsPerScan(source.provider, pages);
        estimate.most[i] += long(entries) * most;
        // Read to the depth, a scan stops early only where the service runs out of results.
        estimate.least[i] += long(entries) * (readWholeDepth ? most : 1);
    }
    return estimate;
}

tw::sources::ProviderConfig EntryConfig(const tw::sources::ProviderConfig& run,
                                        const datafile::EntryOptions& entry) {
    tw::sources::ProviderConfig config = run;
    if (!entry.country.empty())
        config.country = entry.country;
    if (!entry.language.empty())
        config.language = entry.language;
    if (!entry.device.empty())
        config.device = entry.device;
    if (!entry.location.empty())
        config.location = entry.location;
    if (config.device.empty())
        config.device = datafile::kDesktop;
    return config;
}

int ThreadLimit(int setting) {
    return std::clamp(setting, 1, kMaxRunThreads);
}

int ClampDepth(int setting) {
    return std::clamp(setting, 1, kMaxDepth);
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
    const tw::sources::ProviderConfig where = EntryConfig(
        job->m_pSources ? job->m_pSources->config : tw::sources::ProviderConfig(), job->m_options);
    {
        std::lock_guard<std::mutex> lock(g_hListLock);
        rows.SetCell(row, ColUrl, job->m_strUrl + " *");
    }

    CRecordingSearch search;
    search.m_nMaxPages = job->m_nMaxPages;
    search.m_bReadWholeDepth = job->m_bReadWholeDepth;
    search.m_pProgressDlg = job->m_pProgressDlg;
    for (int e = 0; e < kEngineCount; ++e) {
        if (!job->m_hosts[e].empty())
            search.m_hosts[e] = job->m_hosts[e];
    }
    bool recordMade = false;
    std::vector<PageError> errors;
    int pagesFetched = 0;
    int errorColumns = 0;
    bool overBudget = false;
    std::string failure; // the search could not run at all (out of memory)

    for (int e = 0; e < kEngineCount; ++e) {
        const SearchEngine engine = SearchEngine(e);
        EngineOutcome outcome;
        outcome.row = row;
        outcome.engine = engine;
        outcome.enabled = !job->m_engineOn || job->m_engineOn(engine);
        const tw::sources::Source* source =
            job->m_pSources ? &job->m_pSources->columns[e] : nullptr;
        if (outcome.enabled && !failure.empty()) {
            outcome.error = failure;
        } else if (outcome.enabled && source && !source->isClassic()) {
            try {
                ScanThroughProvider(*job, *source, outcome, search.m_sitesAbove[e]);
            } catch (const std::exception& ex) {
                failure = std::string("The search could not run: ") + ex.what();
                outcome = EngineOutcome();
                outcome.row = row;
                outcome.engine = engine;
                outcome.enabled = true;
                outcome.error = failure;
                outcome.errors.push_back({job->m_strUrl, failure});
            }
        } else if (outcome.enabled) {
            const int fetchedBefore = search.m_nPagesFetched;
            search.m_errors.clear();
            try {
                outcome.found =
                    search.Scan(engine, job->m_strUrl, job->m_strKeywords, job->m_strPageFile);
                outcome.error = search.m_strScanError;
                outcome.cancelled = search.m_bCancelled;
            } catch (const std::exception& ex) {
                failure = std::string("The search could not run: ") + ex.what();
                outcome.found = false;
                outcome.error = failure;
                search.m_errors.push_back({job->m_strUrl, failure});
            }
            outcome.rank = outcome.found ? search.m_nRank : 0;
            outcome.page = outcome.found ? search.m_nPage : 0;
            outcome.pagesFetched = search.m_nPagesFetched - fetchedBefore;
            outcome.errors = search.m_errors;
            outcome.results = std::move(search.m_results);
            outcome.resultsPartial = search.m_bResultsPartial;
            outcome.pageSizes = std::move(search.m_pageSizes);
            outcome.rankingUrl = outcome.found ? std::move(search.m_strRankingUrl) : std::string();
        }
        if (outcome.found) {
            outcome.cancelled = false;
            outcome.error.clear();
        }
        pagesFetched += outcome.pagesFetched;
        overBudget = overBudget || outcome.overBudget;
        errors.insert(errors.end(), outcome.errors.begin(), outcome.errors.end());
        // Reported before the column is written, while the sites above are still at hand, and
        // outside the lock, so that the other workers do not wait for it.
        if (job->m_resultWritten && outcome.enabled && (outcome.found || !outcome.cancelled)) {
            static const std::vector<std::string> kNoSites;
            const std::string text = outcome.found           ? RankText(outcome.rank, outcome.page)
                                     : outcome.error.empty() ? std::string(kNotFoundText)
                                                             : std::string(kErrorText);
            const std::string sourceName = source && !source->isClassic()
                                               ? tw::sources::sourceText(*source).toStdString()
                                               : std::string("classic");
            job->m_resultWritten({job->m_strUrl, job->m_strKeywords, outcome, text,
                                  outcome.found ? search.m_sitesAbove[e] : kNoSites, sourceName,
                                  where.device, where.location});
        }

        std::lock_guard<std::mutex> lock(g_hListLock);
        if (outcome.found) {
            rows.SetCell(row, EngineColumn(e), RankText(outcome.rank, outcome.page));
            if (!recordMade) {
                auto record = std::make_unique<EntryResults>();
                record->sites[e] = std::move(search.m_sitesAbove[e]);
                // The engines still to come keep their old lists until their own scans end;
                // so do the ones whose columns this run leaves alone.
                std::array<bool, kEngineCount> keepOld{};
                for (int later = e + 1; later < kEngineCount; ++later)
                    keepOld[later] = true;
                if (job->m_bKeepOffColumns) {
                    for (int before = 0; before < e; ++before)
                        keepOld[before] = job->m_engineOn && !job->m_engineOn(SearchEngine(before));
                }
                rows.AttachResults(row, std::move(record), keepOld);
                recordMade = true;
            } else {
                rows.SetEngineResults(row, engine, std::move(search.m_sitesAbove[e]));
            }
            outcome.written = true;
        } else if (outcome.cancelled) {
            // Cut short: no answer, so the column and the list stay as they were.
            rows.SetCell(row, EngineColumn(e), job->m_previous[e]);
        } else if (!outcome.enabled && job->m_bKeepOffColumns) {
            // Not asked: left alone.
        } else {
            const bool failed = !outcome.error.empty();
            rows.SetCell(row, EngineColumn(e), failed ? kErrorText : kNotFoundText);
            if (recordMade)
                rows.SetEngineResults(row, engine, {});
            if (outcome.enabled)
                g_bNotAllFound = true;
            if (failed)
                ++errorColumns;
            outcome.written = true;
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
        stats->errorColumns += errorColumns;
        if (overBudget)
            ++stats->overBudget;
    }
    // The last use of the rows and the progress: the run may end as soon as the count drops.
    --g_nRunningWorkers;
    WakeRun();
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
        result.notRanked = int(targets.size());
        return result;
    }

    // The rows and the progress belong to this thread: workers hand their changes to it.
    tw::PrepareBlockingCalls();
    g_runDispatcher = QAbstractEventDispatcher::instance();
    const int limit = ThreadLimit(settings.maxThreads);
    const int depth = ClampDepth(settings.maxPages);
    std::vector<Worker> workers;
    g_bNotAllFound = false;
    const auto sources = std::make_shared<const tw::sources::SourceSettings>(settings.sources);
    const FetchLimits limitsBefore = CPageFetcher::Limits();
    FetchLimits paced = limitsBefore;
    paced.pauseMinMs = sources->pauseMinMs;
    paced.pauseMaxMs = sources->pauseMaxMs;
    tw::sources::clampPause(&paced.pauseMinMs, &paced.pauseMaxMs);
    CPageFetcher::SetLimits(paced);
    const auto gates =
        std::make_shared<tw::sources::ServiceGates>(sources->pace, sources->maxCallsPerRun);
    if (progress)
        gates->m_onBilled = [progress](int total) { progress->ReportCalls(total); };
    for (int e = 0; e < kEngineCount; ++e) {
        const tw::sources::Source& source = sources->columns[e];
        if (!source.isClassic() && (!settings.engineOn || settings.engineOn(SearchEngine(e))))
            result.calls.used[tw::sources::providerIndex(source.provider)] = true;
    }
    int jobNumber = 0;
    std::size_t next = 0;

    for (; next < targets.size(); ++next) {
        if (Cancelled(progress))
            break;
        const RankTarget& target = targets[next];
        auto job = std::make_unique<RankJob>();
        job->m_strUrl = target.url;
        job->m_strKeywords = target.keywords;
        job->m_options = target.options;
        job->m_pRows = &rows;
        job->m_pProgressDlg = progress;
        job->m_nRow = target.row;
        job->m_nMaxPages = depth;
        job->m_bReadWholeDepth = settings.readWholeDepth;
        job->m_strPageFile = ScratchFileName(jobNumber++);
        job->m_hosts = settings.hosts;
        job->m_engineOn = settings.engineOn;
        job->m_previous = target.previous;
        job->m_bKeepOffColumns = settings.keepOffColumns;
        job->m_pStats = &result.stats;
        job->m_pSources = sources;
        job->m_resultWritten = settings.resultWritten;
        job->m_pGates = gates;

        // Raised before the start, so the count never dips below the workers in progress.
        const int running = ++g_nRunningWorkers;
        auto done = std::make_shared<std::atomic<bool>>(false);
        bool started = false;
        for (;;) {
            try {
                RankJob* handed = job.get();
                workers.push_back({std::thread([handed, done] {
                                       RankEntryProc(std::unique_ptr<RankJob>(handed));
                                       done->store(true);
                                   }),
                                   done});
                job.release();
                started = true;
                break;
            } catch (const std::system_error& ex) {
                // Out of threads for now: wait for a running worker to end and try again; with
                // none running there is nothing to wait for.
                if (g_nRunningWorkers.load() <= 1) {
                    result.startError = ex.what();
                    break;
                }
                const int before = g_nRunningWorkers.load();
                while (g_nRunningWorkers.load() >= before)
                    pump();
                JoinFinished(workers);
            }
        }
        if (!started) {
            --g_nRunningWorkers;
            break;
        }
        ++result.workersStarted;
        result.maxRunning = std::max(result.maxRunning, running);

        while (g_nRunningWorkers > limit - 1)
            pump();
        JoinFinished(workers);
    }
    while (g_nRunningWorkers > 0)
        pump();
    // Every worker has made its last change; what is left of each is its return.
    for (Worker& worker : workers)
        worker.thread.join();

    // Rows the run never reached keep what they had.
    for (std::size_t i = next; i < targets.size(); ++i) {
        const RankTarget& target = targets[i];
        for (int e = 0; e < kEngineCount; ++e)
            rows.SetCell(target.row, EngineColumn(e), target.previous[e]);
    }
    result.notRanked = int(targets.size() - next);
    result.cancelled = Cancelled(progress);
    result.notAllFound = g_bNotAllFound;
    for (int i = 0; i < tw::sources::kProviderCount; ++i) {
        const tw::sources::Provider p = tw::sources::providerAt(i);
        result.calls.billed[i] = gates->calls(p);
        result.calls.mostInFlight[i] = gates->mostInFlight(p);
    }
    result.calls.sent = gates->sent();
    result.calls.budget = gates->budget();
    result.calls.budgetReached = gates->budgetReached();
    result.calls.notices = gates->notices();
    CPageFetcher::SetLimits(limitsBefore);
    g_runDispatcher = nullptr;
    g_bRunInProgress = false;
    return result;
}

void WaitAndPump(int ms) {
    QEventLoop loop;
    if (g_bWorkerEnded.exchange(false)) {
        loop.processEvents();
        return;
    }
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    // Checked each time the thread wakes: a worker's end, a timer or any other event.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &loop,
                     [&loop] {
                         if (g_bWorkerEnded.exchange(false))
                             loop.quit();
                     });
    loop.exec();
}
