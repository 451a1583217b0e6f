#include "rank/RankSearch.h"

#include "app/TextUtil.h"
#include "rank/PageFetcher.h"
#include "rank/QueryUrls.h"
#include "rank/RankProgress.h"
#include "rank/ResultLinks.h"
#include "settings/ServiceAddresses.h"

#include <cstdio>
#include <memory>

CRankSearch::CRankSearch() {
    for (int e = 0; e < kEngineCount; ++e)
        m_hosts[e] = settings::kDefaultEngineHosts[e];
}

CRankSearch::~CRankSearch() = default;

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

bool CRankSearch::DownloadPage(const std::string& url, const std::string& pageFile,
                               std::string& error) {
    CPageFetcher fetcher;
    const LineList* lines = fetcher.FetchPage(url);
    fetcher.SaveLines(pageFile);
    error = fetcher.LastError();
    if (!lines && error.empty())
        error = "The request could not be sent.";
    return lines && !lines->empty();
}

bool CRankSearch::Scan(SearchEngine engine, const std::string& targetUrl,
                       const std::string& keywords, const std::string& pageFile) {
    m_nRank = 0;
    m_nPage = 0;
    int counted = 0;
    bool found = false;

    const std::string lowerTarget = text::AsciiLower(targetUrl);
    std::vector<std::string>& above = m_sitesAbove[engine];
    rank::CResultLinks picker(engine);
    std::string piece;

    for (int i = 0; i < m_nMaxPages; ++i) {
        if (m_pProgressDlg && m_pProgressDlg->IsCancelled())
            break;
        const std::string url = rank::ScanQueryUrl(engine, m_hosts[engine], keywords, i, counted);

        if (m_pProgressDlg) {
            const int percent = static_cast<int>(double(i) * 100.0 / double(m_nMaxPages));
            const std::string pageLine = std::string(rank::PageLabel(engine)) +
                                         std::to_string(i + 1) + "/" + std::to_string(m_nMaxPages);
            std::lock_guard<std::mutex> lock(g_hProgressLock);
            m_pProgressDlg->ReportPage(percent, pageLine, targetUrl);
        }

        m_nPage = i;
        // A page that cannot be saved must not leave the previous page behind to be read again.
        std::remove(pageFile.c_str());
        std::string error;
        ++m_nPagesFetched;
        const bool haveLines = DownloadPage(url, pageFile, error);
        if (!error.empty()) {
            if (m_nFailedPages++ == 0) {
                m_strFirstError = error;
                m_strFirstErrorUrl = url;
            }
        }
        if (!haveLines)
            continue;

        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(pageFile.c_str(), "rb"),
                                                             &std::fclose);
        if (!file)
            continue;
        picker.StartPage();
        rank::CPieceReader reader(file.get());
        while (!found && reader.Next(piece)) {
            picker.ScanLine(piece, [&](std::string_view link) {
                ++counted;
                if (rank::LinkMatches(link, lowerTarget)) {
                    m_nRank = counted;
                    found = true;
                    return false;
                }
                above.emplace_back(link);
                return true;
            });
        }
        if (found)
            break;
    }

    std::remove(pageFile.c_str());
    ++m_nPage;
    if (m_nRank == 0) {
        m_nPage = 0;
        return false;
    }
    return true;
}
