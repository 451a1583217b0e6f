// Cost of scanning one 100 KB result page per engine, the scratch file write and read-back
// included, and the rate of the link extraction alone.

#include "base/Engines.h"
#include "base/PageFetcher.h"
#include "base/ResultLinks.h"
#include "rank/RankSearch.h"
#include "sim/EngineSim.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Processor time of this thread, kernel time for the scratch file included: unlike the wall
// clock it does not count the time other processes held the processor.
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Serves the same page for every request, written to the scratch file as the fetcher does.
class CBenchSearch : public CRankSearch {
public:
    explicit CBenchSearch(const LineList& lines) : m_lines(lines) {}

protected:
    bool DownloadPage(const std::string&, const std::string& pageFile, std::string&) override {
        std::FILE* f = std::fopen(pageFile.c_str(), "wb");
        if (!f)
            return false;
        for (const auto& line : m_lines) {
            std::fwrite(line.data(), 1, line.size(), f);
            std::fwrite("\r\n", 1, 2, f);
        }
        std::fclose(f);
        return true;
    }

private:
    const LineList& m_lines;
};

// A result page of the engine, at least `bytes` long: successive simulator pages one after
// another, as one long page of results.
std::string BigPage(const sim::CEngineSim& engines, SearchEngine e, std::size_t bytes) {
    std::string page;
    for (int i = 0; page.size() < bytes; ++i) {
        switch (e) {
        case Google:
            page += engines.GooglePage("blue widgets", i * 10);
            break;
        case AltaVista:
            page += engines.AltaVistaPage("blue widgets", i * 10);
            break;
        case Lycos:
            page += engines.LycosPage("blue widgets", i * 10 + 1);
            break;
        case LookSmart:
            page += engines.LookSmartPage("blue widgets", i * 15);
            break;
        }
    }
    return page;
}

} // namespace

int main(int argc, char* argv[]) {
    int pages = argc > 1 ? std::atoi(argv[1]) : 200;
    if (pages < 1)
        pages = 1;
    const std::size_t pageBytes = 100 * 1024;
    sim::CResultModel model(1, 1000000);
    sim::CEngineSim engines(model);
    const std::string scratch = "bench_scan_scratch.html";

    std::printf("%-10s %8s %6s %13s %13s %10s %14s\n", "engine", "page KB", "links", "ms/page wall",
                "ms/page cpu", "MB/s cpu", "extract MB/s");
    for (int e = 0; e < kEngineCount; ++e) {
        const auto engine = SearchEngine(e);
        const std::string page = BigPage(engines, engine, pageBytes);
        const LineList lines = SplitLines(page);
        const std::size_t links = rank::CountedLinks(engine, page).size();

        CBenchSearch search(lines);
        search.m_nMaxPages = pages;
        const auto t0 = Clock::now();
        const double c0 = CpuSeconds();
        search.Scan(engine, "www.nowhere-to-be-found.example", "blue widgets", scratch);
        const double scanCpu = CpuSeconds() - c0;
        const double scanSec = std::chrono::duration<double>(Clock::now() - t0).count();

        const int rounds = pages;
        std::size_t sink = 0;
        const double c1 = CpuSeconds();
        for (int i = 0; i < rounds; ++i)
            sink += rank::CountedLinks(engine, page).size();
        const double extractSec = CpuSeconds() - c1;

        const double mb = double(page.size()) * pages / (1024.0 * 1024.0);
        std::printf("%-10s %8.1f %6zu %13.3f %13.3f %10.1f %14.1f\n",
                    engines::Info(SearchEngine(e)).name, page.size() / 1024.0, links,
                    scanSec * 1000.0 / pages, scanCpu * 1000.0 / pages, mb / scanCpu,
                    double(page.size()) * rounds / (1024.0 * 1024.0) / extractSec);
        if (sink != links * size_t(rounds))
            return 1;
    }
    std::remove(scratch.c_str());
    return 0;
}
