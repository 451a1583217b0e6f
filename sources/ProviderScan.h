#pragma once
// One entry's scan of one column through a result service: asks the provider page after page up
// to the depth, counts the result addresses in the provider's order and stops at the first that
// matches the target (the classic matching rule).

#include "sources/Providers.h"
#include "sources/ServiceGates.h"
#include "sources/Source.h"

#include <functional>
#include <string>
#include <vector>

namespace tw::sources {

struct ScanInput {
    std::string targetUrl;
    std::string keywords;
    int depthPages = 20; // pages of ten; DataForSEO takes depthPages * 10 results in one call
    Source source;
    ProviderConfig config;
    // Asks on past the target to the depth, so that the results below it are kept too; every
    // further page is a call the provider bills.
    bool readWholeDepth = false;
};

struct ScanResult {
    bool ok = false;        // the scan came to an answer (found or not found)
    bool cancelled = false; // it was cancelled before it came to one
    int rank = 0;           // 1-based; 0 when not found
    int page = 0;           // (rank - 1) / 10 + 1; 0 when not found
    std::string text;       // "Rank N / Page P", "not found" or "error" (empty when cancelled)
    std::vector<std::string> sitesAbove; // the result addresses before the target
    std::string error;                   // what went wrong, keys removed; empty when ok
    int requests = 0;        // requests the scan made (a request tried again counts once)
    int calls = 0;           // calls the provider bills: those it answered 2xx
    bool overBudget = false; // cancelled because the run's budget of calls was spent
    std::string lastUrl;     // the last request's address, keys removed, for messages
    // Every result counted, in order (at most kMaxResultsKept, each cut to kMaxSiteText bytes),
    // found or not; for an "error" (or a read past the target cut short), what the pages
    // answered before counted, with resultsPartial set.
    std::vector<std::string> results;
    bool resultsPartial = false;
    // Results counted per page of ten, the pages rank and page are given in, whatever the
    // provider's own page size.
    std::vector<int> pageSizes;
    std::string rankingUrl; // the result that matched the target; empty when not found
};

// What one request brought back.
struct HttpAnswer {
    bool answered = false; // an answer with a status was read
    bool cancelled = false;
    long status = 0;
    std::string body;
    std::string retryAfter; // the answer's Retry-After header
    std::string error;      // why there was no (complete) answer
};

class ProviderScan {
public:
    ProviderScan() = default;
    virtual ~ProviderScan() = default;
    ProviderScan(const ProviderScan&) = delete;
    ProviderScan& operator=(const ProviderScan&) = delete;

    // Asked before every request and during every pause; true stops the scan.
    std::function<bool()> m_cancelled;
    // Called before each page is asked for: page (1-based) and the pages the scan may take.
    std::function<void(int page, int pages)> m_pageStarted;

    // After each failed try of a page, the next waits this long (cancel cuts the wait); the
    // ranking run passes the classic scan's rule (CRankSearch::Retry().delaysMs).
    std::vector<int> m_retryDelaysMs = {1000, 3000};

    // The run's pace and budget for every service; null: calls go out as they come (the
    // Sources dialog's Test).
    ServiceGates* m_gates = nullptr;
    // A call the service turned away as too many ("429") waits its Retry-After (at most
    // m_rateWaitMaxMs) or, without one, m_rateWaitFirstMs doubled at each wait, and is sent
    // again without counting as a failed try; after m_maxRateWaits waits it is a failed page.
    int m_rateWaitFirstMs = 2000;
    int m_rateWaitMaxMs = 60000;
    int m_maxRateWaits = 10;

    // Runs the scan. Pages that fail are tried again (m_retryDelaysMs), except refused keys,
    // other client errors and the provider's own error messages.
    ScanResult run(const ScanInput& input);

    // One page of results (the whole depth for DataForSEO), tried again like a scan's page:
    // what the Sources dialog's Test shows. True with the page's addresses (keys removed) in
    // urls; false with the error (keys removed, cut to one line) or cancelled set.
    struct PageOutcome {
        bool ok = false;
        bool cancelled = false;
        std::vector<std::string> urls;
        std::string error;
        std::string url;         // the request's address, keys removed
        std::string notice;      // a setting the provider does not take (HttpRequest::notice)
        int calls = 0;           // calls the provider bills
        bool overBudget = false; // cancelled set too: the run's budget is spent
        bool quotaGone = false;  // the service's quota is used up; error says so
    };
    PageOutcome askPage(const Source& source, const ProviderConfig& config, const PageQuery& query);

    // At most this many sites above are kept, each cut to kMaxSiteText bytes.
    static constexpr int kMaxSitesKept = 10000;
    static constexpr int kMaxResultsKept = 100;
    static constexpr std::size_t kMaxSiteText = 2048;

protected:
    // Sends one request through the project's fetcher (its time-outs, size limit and per-server
    // turn). Tests and benchmarks may answer here instead.
    virtual HttpAnswer send(const HttpRequest& request);

private:
    bool isCancelled() const { return m_cancelled && m_cancelled(); }
    bool pauseUnlessCancelled(int ms) const;
    // How long the wait number waits (0-based) is, with the answer's Retry-After.
    int rateWaitMs(const std::string& retryAfter, int wait) const;
};

} // namespace tw::sources
