// Time to read one 100-result answer of each result service (the JSON parse and the picking
// of the result addresses), on answers in the services' shapes from the simulator.

#include "sim/EngineSim.h"
#include "sim/ProviderSim.h"
#include "sim/SimServer.h"
#include "sources/ProviderScan.h"
#include "sources/Providers.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

using namespace tw::sources;
using json = nlohmann::json;

namespace {

// Processor time of this thread: unlike the wall clock it leaves out other processes' turns.
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

sim::ProviderRequest Get(const std::string& path, sim::Params params) {
    return {"GET", path, std::move(params), {}, {}};
}

// Pages one after another, their result lists joined into the first page's answer.
std::string Joined(sim::CProviderSim& services,
                   const std::function<sim::ProviderRequest(int)>& page,
                   const std::function<json&(json&)>& list, int pages) {
    json first = json::parse(services.Respond(page(1))->body);
    for (int p = 2; p <= pages; ++p) {
        json next = json::parse(services.Respond(page(p))->body);
        for (json& item : list(next))
            list(first).push_back(std::move(item));
    }
    return first.dump();
}

} // namespace

int main() {
    sim::CResultModel model(1, 1000);
    sim::CEngineSim engines(model);
    sim::CProviderSim services(model, {});
    const std::string kw = "blue widgets";

    struct Case {
        const char* name;
        Source source;
        std::string body;
    };
    std::vector<Case> cases;
    const auto add = [&cases](const char* name, Provider provider, const char* engine,
                              std::string body) {
        Case c;
        c.name = name;
        c.source.provider = provider;
        c.source.engine = engine;
        c.body = std::move(body);
        cases.push_back(std::move(c));
    };
    add("serper", Provider::Serper, "google",
        services.Respond({"POST", "/search", {}, {}, json{{"q", kw}, {"num", 100}}.dump()})->body);
    add("serpapi", Provider::SerpApi, "google",
        Joined(
            services,
            [&](int p) {
                return Get(
                    "/search.json",
                    {{"engine", "google"}, {"q", kw}, {"start", std::to_string((p - 1) * 10)}});
            },
            [](json& j) -> json& { return j["organic_results"]; }, 10));
    add("dataforseo", Provider::DataForSeo, "google",
        services
            .Respond({"POST",
                      "/v3/serp/google/organic/live/regular",
                      {},
                      {},
                      json::array({{{"keyword", kw}, {"depth", 100}}}).dump()})
            ->body);
    add("brave", Provider::Brave, "brave",
        Joined(
            services,
            [&](int p) {
                return Get("/res/v1/web/search",
                           {{"q", kw}, {"count", "20"}, {"offset", std::to_string(p - 1)}});
            },
            [](json& j) -> json& { return j["web"]["results"]; }, 5));
    add("searxng", Provider::Searxng, "google",
        Joined(
            services,
            [&](int p) {
                return Get("/search", {{"q", kw},
                                       {"format", "json"},
                                       {"engines", "google"},
                                       {"pageno", std::to_string(p)}});
            },
            [](json& j) -> json& { return j["results"]; }, 10));

    std::printf("%-11s %9s %8s %12s   (target < 0.2 ms)\n", "provider", "bytes", "results",
                "ms/answer");
    for (const Case& c : cases) {
        const PageAnswer check = readAnswer(c.source, 200, c.body);
        int rounds = 0;
        const double start = CpuSeconds();
        double spent = 0;
        while (spent < 1.0) {
            for (int i = 0; i < 50; ++i) {
                const PageAnswer a = readAnswer(c.source, 200, c.body);
                if (a.urls.size() != check.urls.size())
                    return 1;
            }
            rounds += 50;
            spent = CpuSeconds() - start;
        }
        std::printf("%-11s %9zu %8zu %12.4f\n", c.name, c.body.size(), check.urls.size(),
                    spent * 1000.0 / rounds);
    }

    // End to end: entries scanned by several threads through one provider on one simulator (one
    // host), every request delayed; requests to one host go one at a time, so the ideal is the
    // number of requests times the delay.
    const int entries = 24, depth = 3, threads = 4, latencyMs = 20;
    sim::ServerOptions options;
    options.latencyMs = latencyMs;
    sim::CSimServer server(engines, options);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ProviderConfig config;
    config.keys.serpapiKey = "bench-key";
    config.serpapiUrl = "http://" + server.HostPort();
    std::atomic<int> next{0}, requests{0}, failed{0};
    const auto wallStart = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int e; (e = next++) < entries;) {
                ProviderScan scan;
                ScanInput input;
                input.targetUrl = "never-found.example";
                input.keywords = "entry " + std::to_string(e);
                input.depthPages = depth;
                input.source.provider = Provider::SerpApi;
                input.source.engine = "bing";
                input.config = config;
                const ScanResult r = scan.run(input);
                requests += r.requests;
                failed += r.ok ? 0 : 1;
            }
        });
    }
    for (std::thread& w : workers)
        w.join();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double ideal = requests.load() * latencyMs / 1000.0;
    std::printf(
        "\nend to end, serpapi:bing, %d entries x %d pages, %d threads, %d ms per request\n",
        entries, depth, threads, latencyMs);
    std::printf(
        "requests %d (failed scans %d), wall %.3f s, one-per-host limit %.3f s, ratio %.2f\n",
        requests.load(), failed.load(), wall, ideal, wall / ideal);
    return 0;
}
