#pragma once
// One entry's scans of the four engines: asks each engine for the keywords, reads its result
// pages up to the depth, counts the result links and stops at the first that matches the target.

#include "base/RankTypes.h"

#include <array>
#include <string>
#include <vector>

class IRankProgress;

// How a page that could not be had is tried again: after each failed try, the next waits this
// long (cancel cuts the wait); when every try failed, the scan ends in an error.
struct PageRetry {
    std::vector<int> delaysMs = {1000, 3000};
};

class CRankSearch {
public:
    CRankSearch();
    virtual ~CRankSearch();

    // Each returns true when the target was found; m_nRank and m_nPage then hold its position
    // (both 0 otherwise) and the engine's m_sitesAbove list the links counted before it. A scan
    // that did not come to an answer (a page that could not be had, cancel) returns false with
    // m_strScanError or m_bCancelled set; its sites above are then not to be used.
    bool ScanGoogle(std::string targetUrl, std::string keywords, std::string pageFile);
    bool ScanAltaVista(std::string targetUrl, std::string keywords, std::string pageFile);
    bool ScanLycos(std::string targetUrl, std::string keywords, std::string pageFile);
    bool ScanLookSmart(std::string targetUrl, std::string keywords, std::string pageFile);
    bool Scan(SearchEngine engine, const std::string& targetUrl, const std::string& keywords,
              const std::string& pageFile);

    int m_nRank = 0; // 1-based position among the counted links; 0 when not found
    int m_nPage = 0; // 1-based result page of the target; 0 when not found
    std::array<std::vector<std::string>, kEngineCount> m_sitesAbove;
    int m_nMaxPages = 20;
    IRankProgress* m_pProgressDlg = nullptr; // not owned
    // Reads on past the target to m_nMaxPages, so that the results below it are kept too; the
    // rank is still the first match.
    bool m_bReadWholeDepth = false;

    // What the last scan counted, found or not: the results in order (at most kMaxResultsKept,
    // each cut to kMaxSiteText bytes), the results counted on each page read whole, and the
    // result that matched the target (empty when not found). A scan that ended at a page it
    // could not have, or at cancel, keeps what the pages before counted with m_bResultsPartial.
    std::vector<std::string> m_results;
    std::vector<int> m_pageSizes;
    bool m_bResultsPartial = false;
    std::string m_strRankingUrl;
    static constexpr int kMaxResultsKept = 100;

    // Search host of each engine, the built-in ones at first; a host may carry a port.
    std::array<std::string, kEngineCount> m_hosts;

    // How the last scan ended when it found nothing: a page failed on every try (the text of
    // its last failure), or the run was cancelled before the scan came to an answer.
    std::string m_strScanError;
    bool m_bCancelled = false;

    // Download record over all scans of this object, for telling the user.
    int m_nPagesFetched = 0;     // pages requested (a page tried again counts once)
    int m_nFailedPages = 0;      // of those, pages that could not be had on any try
    std::string m_strFirstError; // what went wrong with the first failed page
    std::string m_strFirstErrorUrl;

    // At most this many sites are kept per result page, each cut to kMaxSiteText bytes, so a
    // page of bare links cannot fill the memory; every link is still counted and matched.
    static constexpr int kMaxKeptPerPage = 1000;
    static constexpr std::size_t kMaxSiteText = 2048;

    // Process-wide retry rule for scans that start after the call.
    static void SetRetry(const PageRetry& retry);
    static PageRetry Retry();

protected:
    // Downloads url and writes its lines into pageFile. Returns true when the page has lines to
    // read. error gets a text when the page could not be had (no answer, a time-out, a status
    // other than 2xx, a block by the engine). Tests and benchmarks serve pages here.
    virtual bool DownloadPage(const std::string& url, const std::string& pageFile,
                              std::string& error);

    // Called once for each page that could not be had on any try, with its last error.
    virtual void PageFailed(const std::string& url, const std::string& error) {
        (void)url;
        (void)error;
    }

    SearchEngine m_eScanning = SearchEngine(0); // the engine of the scan in progress

private:
    bool IsCancelled() const;
    // Sleeps ms milliseconds unless the run is cancelled meanwhile; false when it was.
    bool PauseUnlessCancelled(int ms) const;
};
