#include "sources/ProviderScan.h"

#include "base/PageFetcher.h"
#include "base/ResultLinks.h"
#include "base/TextUtil.h"

#include <QDateTime>

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

int ProviderScan::rateWaitMs(const std::string& retryAfter, int wait) const {
    const int most = std::max(0, m_rateWaitMaxMs);
    if (!retryAfter.empty() && retryAfter.size() <= 9 &&
        retryAfter.find_first_not_of("0123456789") == std::string::npos)
        return int(std::min<long long>(std::stoll(retryAfter) * 1000, most));
    // The other form of the header: an HTTP date.
    const QDateTime at =
        QDateTime::fromString(QString::fromStdString(retryAfter).trimmed(), Qt::RFC2822Date);
    if (!retryAfter.empty() && at.isValid())
        return int(std::clamp<qint64>(QDateTime::currentDateTimeUtc().msecsTo(at), 0, most));
    long long ms = std::max(0, m_rateWaitFirstMs);
    for (int i = 0; i < wait && ms < most; ++i)
        ms *= 2;
    return int(std::min<long long>(ms, most));
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
    // Paced by the run's gates, not by the classic engines' one request at a time.
    options.ownPace = true;
    fetcher.SetRequestOptions(std::move(options));
    const LineList* lines = fetcher.FetchPage(request.url);
    HttpAnswer a;
    a.cancelled = fetcher.Cancelled();
    a.status = fetcher.LastStatus();
    a.body = fetcher.Body();
    a.retryAfter = fetcher.RetryAfter();
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
    out.notice = request.notice;
    if (m_gates && !request.notice.empty())
        m_gates->notice(request.notice);
    const Provider provider = source.provider;
    const AskedFor asked = askedFor(source, config, query.keywords);
    const std::string where = asked.host.empty() ? std::string(providerSite(provider)) : asked.host;
    std::string error;
    int rateWaits = 0;
    std::size_t attempt = 0;
    for (;;) {
        if (m_gates) {
            std::string quotaMessage;
            switch (m_gates->acquire(provider, m_cancelled, &quotaMessage)) {
            case ServiceGates::Admit::Go:
                break;
            case ServiceGates::Admit::Budget:
                out.overBudget = true;
                out.cancelled = true;
                return out;
            case ServiceGates::Admit::Cancelled:
                out.cancelled = true;
                return out;
            case ServiceGates::Admit::QuotaGone:
                out.quotaGone = true;
                out.error = quotaMessage;
                return out;
            }
        }
        const HttpAnswer http = send(request);
        if (m_gates)
            m_gates->release(provider);
        if (http.answered && http.status >= 200 && http.status <= 299) {
            ++out.calls;
            if (m_gates)
                m_gates->billed(provider);
        }
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
            if (answer.kind == AnswerKind::RateLimited && rateWaits < m_maxRateWaits) {
                // Waited out, and the service's other calls with it; not a failed try.
                const int wait = rateWaitMs(http.retryAfter, rateWaits++);
                if (m_gates)
                    m_gates->holdBack(provider, wait);
                else if (!pauseUnlessCancelled(wait)) {
                    out.cancelled = true;
                    return out;
                }
                continue;
            }
            if (answer.kind == AnswerKind::QuotaUsed) {
                out.quotaGone = true;
                error = redactSecrets(error, keys);
                if (m_gates)
                    m_gates->quotaGone(provider, error);
            }
            again = answer.retryable() && answer.kind != AnswerKind::RateLimited;
        }
        if (!again || attempt >= m_retryDelaysMs.size())
            break;
        if (!pauseUnlessCancelled(m_retryDelaysMs[attempt++])) {
            out.cancelled = true;
            return out;
        }
    }
    out.error = providerMessage(error, keys);
    return out;
}

namespace {
// The results counted, as pages of ten.
std::vector<int> pagesOfTen(int counted) {
    std::vector<int> sizes;
    for (; counted > 0; counted -= kResultsPerPage)
        sizes.push_back(std::min(counted, kResultsPerPage));
    return sizes;
}
} // namespace

ScanResult ProviderScan::run(const ScanInput& in) {
    ScanResult r;
    int counted = 0;
    const auto found = [&] { return r.rank > 0; };
    const auto fail = [&](std::string error) {
        r.pageSizes = pagesOfTen(counted);
        r.resultsPartial = true;
        // Found before a page past it failed: the rank stands.
        if (found())
            return r;
        r.ok = false;
        r.error = std::move(error);
        r.text = "error";
        r.rank = r.page = 0;
        return r;
    };
    const auto cancel = [&] {
        r.pageSizes = pagesOfTen(counted);
        r.resultsPartial = true;
        if (found()) {
            r.overBudget = false;
            return r;
        }
        r.ok = false;
        r.cancelled = true;
        r.text.clear();
        r.rank = r.page = 0;
        return r;
    };

    const int depth = std::max(1, in.depthPages);
    int pages = depth;
    if (in.source.provider == Provider::DataForSeo || in.source.provider == Provider::Brave)
        pages = mostCallsPerScan(in.source.provider, depth);
    int maxCounted = depth * kResultsPerPage;
    if (in.source.provider == Provider::DataForSeo)
        maxCounted = std::min(maxCounted, kDataForSeoMaxDepth);
    else if (in.source.provider == Provider::Brave)
        maxCounted = std::min(maxCounted, kBraveMaxPages * kBravePageSize);
    const std::string lowerTarget = text::AsciiLower(in.targetUrl);

    for (int page = 1; page <= pages && counted < maxCounted && (!found() || in.readWholeDepth);
         ++page) {
        if (isCancelled())
            return cancel();
        if (m_pageStarted)
            m_pageStarted(page, pages);
        PageOutcome outcome = askPage(in.source, in.config, {in.keywords, page, counted, depth});
        if (!outcome.url.empty()) {
            r.lastUrl = outcome.url;
            ++r.requests;
        }
        r.calls += outcome.calls;
        if (outcome.cancelled) {
            r.overBudget = outcome.overBudget;
            return cancel();
        }
        if (!outcome.ok)
            return fail(std::move(outcome.error));
        if (outcome.urls.empty())
            break; // past the last result
        for (std::string& url : outcome.urls) {
            if (counted >= maxCounted)
                break;
            ++counted;
            if (int(r.results.size()) < kMaxResultsKept)
                r.results.push_back(url.substr(0, kMaxSiteText));
            if (found())
                continue;
            if (rank::LinkMatches(url, lowerTarget)) {
                r.ok = true;
                r.rank = counted;
                r.page = (counted - 1) / kResultsPerPage + 1;
                r.text = "Rank " + std::to_string(r.rank) + " / Page " + std::to_string(r.page);
                r.rankingUrl = url.substr(0, kMaxSiteText);
                if (!in.readWholeDepth)
                    break;
                continue;
            }
            if (int(r.sitesAbove.size()) < kMaxSitesKept)
                r.sitesAbove.push_back(url.substr(0, kMaxSiteText));
        }
    }
    r.pageSizes = pagesOfTen(counted);
    if (found())
        return r;
    r.ok = true;
    r.text = "not found";
    return r;
}

} // namespace tw::sources
