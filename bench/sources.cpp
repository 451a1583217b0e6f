// Time to read one 100-result answer of each result service (the JSON parse and the picking
// of the result addresses), on answers in the services' shapes from the simulator; then
// tallowick-rank end to end against the simulator as serper.dev, with many calls in flight.
//
//   bench/sources [--entries N] [--latency MS] [--parallel N] [--skip-e2e]
//
// The end-to-end figure (default: 1,000 entries never found, depth 3, 1,000 ms per answer,
// --parallel serper=20 and 20 entries at once) compares the wall time with the limit the pace
// allows (calls x latency / parallel), once with every call answered and once with one call in
// ten turned away with 429 and Retry-After: 1.

#include "sim/EngineSim.h"
#include "sim/ProviderSim.h"
#include "sim/SimServer.h"
#include "sources/ProviderScan.h"
#include "sources/Providers.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// Runs tallowick-rank with args and the environment's additions; its exit status, or -1.
int RunRank(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        const std::string program = TW_BINARY_DIR "/cli/tallowick-rank";
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// One end-to-end run; prints its line. False when it could not run.
bool EndToEnd(const sim::CEngineSim& engines, int entries, int latencyMs, int parallel,
              int rateLimitEvery) {
    char folder[] = "/tmp/tallowick-bench-XXXXXX";
    if (!mkdtemp(folder))
        return false;
    const std::string dir = folder;
    {
        std::ofstream data(dir + "/bench.dat", std::ios::binary);
        for (int i = 0; i < entries; ++i)
            data << "www.never-found-" << i << ".example\r\nentry " << i
                 << "\r\n-\r\n-\r\n-\r\n-\r\n";
    }
    sim::ServerOptions options;
    options.keepAlive = true;
    options.providers.latencyMs = latencyMs;
    options.providers.maxParallel = parallel;
    options.providers.rateLimitEvery = rateLimitEvery;
    sim::CSimServer server(engines, options);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const std::string json = dir + "/out.json";
    const auto start = std::chrono::steady_clock::now();
    const int status = RunRank({"--data",
                                dir + "/bench.dat",
                                "--depth",
                                "3",
                                "--threads",
                                std::to_string(parallel),
                                "--engines",
                                "google",
                                "--source",
                                "google=serper:google",
                                "--provider-url",
                                "serper=http://" + server.HostPort(),
                                "--parallel",
                                "serper=" + std::to_string(parallel),
                                "--pause",
                                "0-0",
                                "--no-history",
                                "--no-save",
                                "--quiet",
                                "--json",
                                json},
                               {"XDG_CONFIG_HOME=" + dir, "TALLOWICK_SERPER_KEY=bench-key"});
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    server.Stop();
    long reported = -1;
    try {
        std::ifstream in(json);
        reported = json::parse(in).at("calls").at("serper").get<long>();
    } catch (const std::exception&) {
    }
    const int calls = server.BilledCalls();
    const int turnedAway = int(server.Requests().size()) - calls;
    const double limit = double(calls) * latencyMs / 1000.0 / parallel;
    std::printf("%-22s exit %d, calls %d (JSON %ld), turned away %d, most in flight %d, wall "
                "%.1f s, limit %.1f s, ratio %.3f\n",
                rateLimitEvery > 0 ? "1 in 10 answered 429:" : "every call answered:", status,
                calls, reported, turnedAway, server.MostCallsInFlight(), wall, limit,
                limit > 0 ? wall / limit : 0.0);
    std::remove(json.c_str());
    std::remove((dir + "/bench.dat").c_str());
    std::remove((dir + "/Tallowick!/Tallowick!.ini").c_str());
    rmdir((dir + "/Tallowick!").c_str());
    rmdir(dir.c_str());
    return status == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    int e2eEntries = 1000, e2eLatency = 1000, e2eParallel = 20;
    bool e2e = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool value = i + 1 < argc;
        if (arg == "--entries" && value)
            e2eEntries = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--latency" && value)
            e2eLatency = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--parallel" && value)
            e2eParallel = std::clamp(std::atoi(argv[++i]), 1, 64);
        else if (arg == "--skip-e2e")
            e2e = false;
        else
            return std::fprintf(stderr, "bench/sources: unknown option %s\n", arg.c_str()), 2;
    }
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

    // Entries scanned by several threads through one provider on one simulator, every request
    // delayed; without a run's pace each thread's calls go out as they come, so the ideal is the
    // number of requests times the delay over the threads.
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
    const double ideal = requests.load() * latencyMs / 1000.0 / threads;
    std::printf(
        "\nend to end, serpapi:bing, %d entries x %d pages, %d threads, %d ms per request\n",
        entries, depth, threads, latencyMs);
    std::printf("requests %d (failed scans %d), wall %.3f s, limit %.3f s, ratio %.2f\n",
                requests.load(), failed.load(), wall, ideal, wall / ideal);
    if (!e2e)
        return 0;

    std::printf("\ntallowick-rank end to end, serper:google, %d entries never found x 3 pages, "
                "%d ms per answer, --parallel serper=%d, --threads %d\n",
                e2eEntries, e2eLatency, e2eParallel, e2eParallel);
    bool ok = EndToEnd(engines, e2eEntries, e2eLatency, e2eParallel, 0);
    ok = EndToEnd(engines, e2eEntries, e2eLatency, e2eParallel, 10) && ok;
    return ok ? 0 : 1;
}
