#include "sources/ProviderScan.h"

#include "base/PageFetcher.h"
#include "base/ResultLinks.h"
#include "base/TextUtil.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tw::sources {

bool ProviderScan::pauseUnlessCancelled(int ms) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (!isCancelled()) {
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
    }
    return false;
}

HttpAnswer ProviderScan::send(const HttpRequest& request) {
    CPageFetcher fetcher;
    if (m_cancelled)
        fetcher.SetCancelCheck(m_cancelled);
    RequestOptions options;
    options.method = request.method;
    options.headers = request.headers;
    options.body = request.body;
    options.basicAuth = request.basicAuth;
    options.user = request.user;
    options.password = request.password;
    fetcher.SetRequestOptions(std::move(options));
    const LineList* lines = fetcher.FetchPage(request.url);
    HttpAnswer a;
    a.cancelled = fetcher.Cancelled();
    a.status = fetcher.LastStatus();
    a.body = fetcher.Body();
    if (!lines || !fetcher.LastError().empty()) {
        // The fetcher's own text names the address, which may hold a key: only the reason.
        a.error = !fetcher.LastReason().empty()     ? "no complete answer: " + fetcher.LastReason()
                  : !fetcher.NoPageReason().empty() ? fetcher.NoPageReason()
                                                    : "the request could not be sent";
        // A status with a complete body is an answer all the same (a 401 with its message).
        a.answered = a.status != 0 && fetcher.LastReason().empty();
        return a;
    }
    a.answered = true;
    return a;
}

ProviderScan::PageOutcome ProviderScan::askPage(const Source& source, const ProviderConfig& config,
                                                const PageQuery& query) {
    PageOutcome out;
    const Credentials& keys = config.keys;
    HttpRequest request;
    QString configError;
    if (!buildRequest(source, config, query, &request, &configError)) {
        out.error = providerMessage(configError.toStdString(), keys);
        return out;
    }
    out.url = redactSecrets(request.url, keys);
    const AskedFor asked = askedFor(source, config, query.keywords);
    const std::string where =
        asked.host.empty() ? std::string(providerSite(source.provider)) : asked.host;
    std::string error;
    for (std::size_t attempt = 0;; ++attempt) {
        if (attempt > 0 && !pauseUnlessCancelled(m_retryDelaysMs[attempt - 1])) {
            out.cancelled = true;
            return out;
        }
        const HttpAnswer http = send(request);
        if (http.cancelled || (!http.answered && isCancelled())) {
            out.cancelled = true;
            return out;
        }
        bool again = true;
        if (!http.answered) {
            error = "no answer from " + where + ": " + http.error;
        } else {
            PageAnswer answer = readAnswer(source, http.status, http.body, asked);
            if (answer.kind == AnswerKind::Results) {
                out.ok = true;
                // The addresses are the provider's text too: shown, listed and stored.
                out.urls.reserve(answer.urls.size());
                for (const std::string& url : answer.urls)
                    out.urls.push_back(redactSecrets(url, keys));
                return out;
            }
            error = std::move(answer.error);
            again = answer.retryable();
        }
        if (!again || attempt >= m_retryDelaysMs.size())
            break;
    }
    out.error = providerMessage(error, keys);
    return out;
}

ScanResult ProviderScan::run(const ScanInput& in) {
    ScanResult r;
    const auto fail = [&](std::string error) {
        r.ok = false;
        r.error = std::move(error);
        r.text = "error";
        r.rank = r.page = 0;
        return r;
    };
    const auto cancel = [&] {
        r.ok = false;
        r.cancelled = true;
        r.text.clear();
        r.rank = r.page = 0;
        return r;
    };

    const int depth = std::max(1, in.depthPages);
    int pages = depth;
    if (in.source.provider == Provider::DataForSeo)
        pages = 1;
    else if (in.source.provider == Provider::Brave)
        pages = std::min(depth, kBraveMaxPages);
    const int maxCounted = in.source.provider == Provider::DataForSeo
                               ? std::min(depth * kResultsPerPage, kDataForSeoMaxDepth)
                               : depth * kResultsPerPage;
    const std::string lowerTarget = text::AsciiLower(in.targetUrl);

    int counted = 0;
    // The pages are read in one run: the next page goes out before other workers'.
    const CKeepTurn keepTurn;
    for (int page = 1; page <= pages && counted < maxCounted; ++page) {
        if (isCancelled())
            return cancel();
        if (m_pageStarted)
            m_pageStarted(page, pages);
        PageOutcome outcome = askPage(in.source, in.config, {in.keywords, page, counted, depth});
        if (!outcome.url.empty()) {
            r.lastUrl = outcome.url;
            ++r.requests;
        }
        if (outcome.cancelled)
            return cancel();
        if (!outcome.ok)
            return fail(std::move(outcome.error));
        if (outcome.urls.empty())
            break; // past the last result
        for (std::string& url : outcome.urls) {
            if (counted >= maxCounted)
                break;
            ++counted;
            if (rank::LinkMatches(url, lowerTarget)) {
                r.ok = true;
                r.rank = counted;
                r.page = (counted - 1) / kResultsPerPage + 1;
                r.text = "Rank " + std::to_string(r.rank) + " / Page " + std::to_string(r.page);
                return r;
            }
            if (int(r.sitesAbove.size()) < kMaxSitesKept)
                r.sitesAbove.push_back(url.substr(0, kMaxSiteText));
        }
    }
    r.ok = true;
    r.text = "not found";
    return r;
}

} // namespace tw::sources
