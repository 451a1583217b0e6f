// Download rate of the page fetcher against local servers that answer after a fixed latency.
// Usage: fetch [pages per thread]

#include "base/PageFetcher.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr auto kLatency = std::chrono::milliseconds(20);
constexpr std::size_t kPageBytes = 50 * 1000;

struct SlowServer {
    httplib::Server svr;
    std::thread thread;
    int port = 0;

    explicit SlowServer(const std::string& page) {
        svr.Get("/page", [&page](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(kLatency);
            res.set_content(page, "text/html");
        });
        port = svr.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { svr.listen_after_bind(); });
        while (!svr.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~SlowServer() {
        svr.stop();
        thread.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/page"; }
};

// Each thread fetches `pages` pages from its URL; returns pages per second over all threads.
double Run(const std::vector<std::string>& urls, int pages, int& failures) {
    std::vector<std::thread> threads;
    std::vector<int> failed(urls.size(), 0);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < urls.size(); ++i)
        threads.emplace_back([&, i] {
            for (int n = 0; n < pages; ++n) {
                CPageFetcher fetcher;
                const LineList* lines = fetcher.FetchPage(urls[i]);
                if (!lines || !fetcher.LastError().empty() || lines->empty())
                    ++failed[i];
            }
        });
    for (auto& t : threads)
        t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int f : failed)
        failures += f;
    return double(pages) * double(urls.size()) / seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    std::string page;
    for (int i = 0; page.size() < kPageBytes; ++i)
        page += "<a href=\"http://www.site" + std::to_string(i) + ".example/\">result</a>\r\n";
    page.resize(kPageBytes);

    std::vector<std::unique_ptr<SlowServer>> servers;
    for (int i = 0; i < 4; ++i)
        servers.push_back(std::make_unique<SlowServer>(page));
    std::vector<std::string> urls;
    for (const auto& s : servers)
        urls.push_back(s->url());

    int failures = 0;
    Run(urls, 2, failures); // warm-up
    const double limit = 1000.0 / double(kLatency.count());
    std::printf("server latency %lld ms, page %zu bytes, %d pages per thread; limit %.1f "
                "pages/s per server\n",
                static_cast<long long>(kLatency.count()), kPageBytes, pages, limit);

    const double one = Run({urls[0]}, pages, failures);
    std::printf("1 thread, 1 server:    %7.1f pages/s (%5.1f %% of the limit)\n", one,
                100.0 * one / limit);
    const double four = Run(urls, pages, failures);
    std::printf("4 threads, 4 servers:  %7.1f pages/s, %5.1f per server (%5.1f %% of the limit)\n",
                four, four / 4, 100.0 * four / 4 / limit);
    const double shared = Run({urls[0], urls[0], urls[0], urls[0]}, pages / 4 + 1, failures);
    std::printf("4 threads, 1 server:   %7.1f pages/s (one at a time per server)\n", shared);
    std::printf("failed downloads: %d\n", failures);
    return failures == 0 ? 0 : 1;
}
