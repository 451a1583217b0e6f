// One engine's scan over one hostile result page. First byte: the engine; second byte: length
// of the target text that follows; the rest is the page as the engine sent it.

#include "base/ResultLinks.h"
#include "rank/RankSearch.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

// Serves the fuzz input as every page the scan asks for, the way a download would save it.
class CServedSearch : public CRankSearch {
public:
    std::string_view page;

protected:
    bool DownloadPage(const std::string&, const std::string& pageFile, std::string&) override {
        std::FILE* f = std::fopen(pageFile.c_str(), "wb");
        if (!f)
            std::abort();
        std::fwrite(page.data(), 1, page.size(), f);
        std::fclose(f);
        return !page.empty();
    }
};

std::string ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tallowick-fuzz-scan-" +
           std::to_string(getpid()) + ".html";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 2)
        return 0;
    const auto engine = static_cast<SearchEngine>(data[0] % kEngineCount);
    const std::size_t targetLen = std::min<std::size_t>(data[1] % 64, size - 2);
    const std::string target(reinterpret_cast<const char*>(data + 2), targetLen);
    const std::string_view page(reinterpret_cast<const char*>(data + 2 + targetLen),
                                size - 2 - targetLen);

    // The extraction alone: every counted link is a piece of the page and never skipped.
    for (const std::string& link : rank::CountedLinks(engine, page)) {
        if (link.size() > rank::kMaxPiece || page.find(link) == std::string_view::npos ||
            rank::CResultLinks::IsSkipped(engine, link))
            std::abort();
    }

    // The whole scan, two pages deep, through the scratch file.
    static const std::string scratch = ScratchFile();
    // A page read as a block page is tried again; the pauses in between would only slow the run.
    static const bool noPauses = [] {
        CRankSearch::SetRetry({{0, 0}});
        return true;
    }();
    (void)noPauses;
    CServedSearch search;
    search.page = page;
    search.m_nMaxPages = 2;
    const bool found = search.Scan(engine, target, "fuzz words", scratch);
    if (found != (search.m_nRank > 0))
        std::abort();
    if (found && (search.m_nPage < 1 || search.m_nPage > 2 ||
                  search.m_sitesAbove[engine].size() + 1 != std::size_t(search.m_nRank)))
        std::abort();
    if (access(scratch.c_str(), F_OK) == 0)
        std::abort(); // the scan must not leave its scratch file behind
    return 0;
}
