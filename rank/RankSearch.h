#pragma once
// One entry's scans of the four engines: asks each engine for the keywords, reads its result
// pages up to the depth, counts the result links and stops at the first that matches the target.

#include "app/RankTypes.h"

#include <array>
#include <string>
#include <vector>

class IRankProgress;

class CRankSearch {
public:
    CRankSearch();
    virtual ~CRankSearch();

    // Each returns true when the target was found; m_nRank and m_nPage then hold its position
    // (both 0 otherwise) and the engine's m_sitesAbove list the links counted before it.
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

    // Search host of each engine, the built-in ones at first; a host may carry a port.
    std::array<std::string, kEngineCount> m_hosts;

    // Download record over all scans of this object, for telling the user.
    int m_nPagesFetched = 0;     // pages requested
    int m_nFailedPages = 0;      // of those, pages whose download failed
    std::string m_strFirstError; // what went wrong with the first failed page
    std::string m_strFirstErrorUrl;

protected:
    // Downloads url and writes its lines into pageFile. Returns true when the page has lines to
    // read; error gets a text when the download failed. Tests and benchmarks serve pages here.
    virtual bool DownloadPage(const std::string& url, const std::string& pageFile,
                              std::string& error);
};
