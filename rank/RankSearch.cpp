#include "rank/RankSearch.h"

#include "base/Engines.h"
#include "base/PageFetcher.h"
#include "base/QueryUrls.h"
#include "base/ResultLinks.h"
#include "base/TextUtil.h"
#include "rank/RankProgress.h"
#include "settings/ServiceAddresses.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace {
std::mutex g_retryLock;
PageRetry g_retry;

bool IsSuccess(long status) {
    return status >= 200 && status <= 299;
}
} // namespace

CRankSearch::CRankSearch() {
    for (int e = 0; e < kEngineCount; ++e)
        m_hosts[e] = engines::Info(SearchEngine(e)).defaultHost;
}

CRankSearch::~CRankSearch() = default;

void CRankSearch::SetRetry(const PageRetry& retry) {
    std::lock_guard<std::mutex> lock(g_retryLock);
    g_retry = retry;
}

PageRetry CRankSearch::Retry() {
    std::lock_guard<std::mutex> lock(g_retryLock);
    return g_retry;
}

bool CRankSearch::ScanGoogle(std::string targetUrl, std::string keywords, std::string pageFile) {
    return Scan(Google, targetUrl, keywords, pageFile);
}

bool CRankSearch::ScanAltaVista(std::string targetUrl, std::string keywords, std::string pageFile) {
    return Scan(AltaVista, targetUrl, keywords, pageFile);
}

bool CRankSearch::ScanLycos(std::string targetUrl, std::string keywords, std::string pageFile) {
    return Scan(Lycos, targetUrl, keywords, pageFile);
}

bool CRankSearch::ScanLookSmart(std::string targetUrl, std::string keywords, std::string pageFile) {
    return Scan(LookSmart, targetUrl, keywords, pageFile);
}

bool CRankSearch::IsCancelled() const {
    return m_pProgressDlg && m_pProgressDlg->IsCancelled();
}

bool CRankSearch::PauseUnlessCancelled(int ms) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (!IsCancelled()) {
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
    }
    return false;
}

bool CRankSearch::DownloadPage(const std::string& url, const std::string& pageFile,
                               std::string& error) {
    CPageFetcher fetcher;
    if (m_pProgressDlg)
        fetcher.SetCancelCheck([progress = m_pProgressDlg] { return progress->IsCancelled(); });
    const LineList* lines = fetcher.FetchPage(url);
    const long status = fetcher.LastStatus();
    const bool blockedRedirect = !fetcher.RedirectTarget().empty() &&
                                 rank::IsBlockRedirect(m_eScanning, fetcher.RedirectTarget());
    if (status == 429 || status == 503 || blockedRedirect) {
        error = rank::kBlockedText;
        return false;
    }
    if (!fetcher.LastError().empty())
        error = fetcher.LastReason().empty() ? fetcher.LastError()
                                             : "No complete answer: " + fetcher.LastReason() + ".";
    if (error.empty() && !lines)
        error = fetcher.NoPageReason().empty() ? "The request could not be sent."
                                               : fetcher.NoPageReason();
    if (error.empty() && !IsSuccess(status))
        error = "The engine answered HTTP " + std::to_string(status) + ".";
    if (!error.empty())
        return false;
    fetcher.SaveLines(pageFile);
    return !lines->empty();
}

bool CRankSearch::Scan(SearchEngine engine, const std::string& targetUrl,
                       const std::string& keywords, const std::string& pageFile) {
    m_nRank = 0;
    m_nPage = 0;
    m_strScanError.clear();
    m_bCancelled = false;
    m_eScanning = engine;
    m_results.clear();
    m_pageSizes.clear();
    m_bResultsPartial = false;
    m_strRankingUrl.clear();
    int counted = 0;
    bool found = false;
    int foundPage = 0; // 0-based page of the target

    const std::string lowerTarget = text::AsciiLower(targetUrl);
    std::vector<std::string>& above = m_sitesAbove[engine];
    rank::CResultLinks picker(engine);
    const PageRetry retry = Retry();
    std::string piece;
    std::vector<std::string> pageSites;
    std::vector<std::string> pageResults;
    // The engine's pages are read in one run: the next page goes out before other workers'.
    const CKeepTurn keepTurn;

    for (int i = 0; i < m_nMaxPages && (!found || m_bReadWholeDepth); ++i) {
        if (IsCancelled()) {
            m_bCancelled = true;
            break;
        }
        const std::string url = rank::ScanQueryUrl(engine, m_hosts[engine], keywords, i, counted);

        if (m_pProgressDlg) {
            const int percent = static_cast<int>(double(i) * 100.0 / double(m_nMaxPages));
            const std::string pageLine = std::string(rank::PageLabel(engine)) +
                                         std::to_string(i + 1) + "/" + std::to_string(m_nMaxPages);
            std::lock_guard<std::mutex> lock(g_hProgressLock);
            m_pProgressDlg->ReportPage(percent, pageLine, targetUrl);
        }

        m_nPage = i;
        ++m_nPagesFetched;
        // Read whole before it counts: a page that fails halfway, or turns out to be a block
        // page, is tried again from its start and must not have counted anything.
        int pageCount = 0;
        bool pageFound = false; // the target's first match is on this page
        int pageRank = 0;       // its place among the page's counted links
        std::string pageMatch;
        std::string error;
        for (std::size_t attempt = 0;; ++attempt) {
            if (attempt > 0 && !PauseUnlessCancelled(retry.delaysMs[attempt - 1])) {
                m_bCancelled = true;
                break;
            }
            // A page that cannot be saved must not leave the previous page behind to be read.
            std::remove(pageFile.c_str());
            error.clear();
            pageCount = 0;
            pageSites.clear();
            pageResults.clear();
            pageFound = false;
            pageRank = 0;
            pageMatch.clear();
            bool haveLines = DownloadPage(url, pageFile, error);
            if (!error.empty() && IsCancelled()) {
                m_bCancelled = true; // the page was lost to the cancel, not to the engine
                break;
            }
            std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, &std::fclose);
            if (error.empty() && haveLines) {
                file.reset(std::fopen(pageFile.c_str(), "rb"));
                if (!file)
                    error = "The result page could not be kept in the scratch file \"" + pageFile +
                            "\".";
            }
            if (file) {
                picker.StartPage();
                rank::CPieceReader reader(file.get());
                bool blockSign = false;
                // Reading on past the target only when asked to; then the target is a result
                // like the others, and only its first match ranks.
                const auto stopHere = [&] { return pageFound && !m_bReadWholeDepth; };
                const std::size_t roomForResults =
                    std::size_t(kMaxResultsKept) -
                    std::min(m_results.size(), std::size_t(kMaxResultsKept));
                while (!stopHere() && reader.Next(piece)) {
                    if (!blockSign && pageCount == 0)
                        blockSign = rank::IsBlockLine(engine, piece);
                    picker.ScanLine(piece, [&](std::string_view link) {
                        ++pageCount;
                        if (pageResults.size() < roomForResults)
                            pageResults.emplace_back(link.substr(0, kMaxSiteText));
                        if (!found && !pageFound && rank::LinkMatches(link, lowerTarget)) {
                            pageFound = true;
                            pageRank = pageCount;
                            pageMatch = link.substr(0, kMaxSiteText);
                            return m_bReadWholeDepth;
                        }
                        if (!found && !pageFound && int(pageSites.size()) < kMaxKeptPerPage)
                            pageSites.emplace_back(link.substr(0, kMaxSiteText));
                        return true;
                    });
                }
                // Results on the page outweigh a chance phrase; a page without any is blocked.
                if (blockSign && pageCount == 0)
                    error = rank::kBlockedText;
            }
            if (error.empty())
                break;
            if (attempt >= retry.delaysMs.size())
                break;
        }
        if (m_bCancelled) {
            m_bResultsPartial = true;
            break;
        }
        if (!error.empty()) {
            if (m_nFailedPages++ == 0) {
                m_strFirstError = error;
                m_strFirstErrorUrl = url;
            }
            PageFailed(url, error);
            m_strScanError = error;
            m_bResultsPartial = true;
            break;
        }
        m_pageSizes.push_back(pageCount);
        m_results.insert(m_results.end(), std::make_move_iterator(pageResults.begin()),
                         std::make_move_iterator(pageResults.end()));
        if (!found) {
            above.insert(above.end(), std::make_move_iterator(pageSites.begin()),
                         std::make_move_iterator(pageSites.end()));
            if (pageFound) {
                found = true;
                foundPage = i;
                m_nRank = counted + pageRank;
                m_strRankingUrl = std::move(pageMatch);
            }
        }
        counted += pageCount;
    }

    std::remove(pageFile.c_str());
    m_nPage = found ? foundPage + 1 : 0;
    if (!found) {
        m_nRank = 0;
        m_nPage = 0;
        return false;
    }
    return true;
}
