// tallowick-engines: a local stand-in for the four search engines and the upgrade page.

#include "sim/EngineSim.h"
#include "sim/SimServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

namespace {

const char* const kUsage =
    "Usage: tallowick-engines [options]\n"
    "Serves made-up result pages of the four search engines on 127.0.0.1.\n"
    "\n"
    "  --port N             port to listen on; 0 (default) picks a free one\n"
    "  --plant FILE         place chosen sites at chosen ranks (format below)\n"
    "  --seed N             seed of the made-up result lists (default 1)\n"
    "  --results N          results per engine and keywords (default 1000)\n"
    "  --latency MS         delay every answer by MS milliseconds\n"
    "  --keep-alive         keep connections open for further requests (HTTP/1.1\n"
    "                       persistent connections, closed after 5 s idle); without it\n"
    "                       every answer closes its connection\n"
    "  --connect-latency MS delay the first answer on each new connection by MS more\n"
    "                       milliseconds, as the handshakes of a distant server would\n"
    "  --fail-rate R        share 0..1 of requests that fail: status 500 or a connection\n"
    "                       dropped after the headers (half each)\n"
    "  --hang ENGINE        never answer ENGINE (google, altavista, lycos, looksmart)\n"
    "  --log FILE           append one line per request to FILE\n"
    "  --upgrade-version V  serve /tallowick_upgrade_check.html announcing version V\n"
    "  --api-key K          the key the result services want (DataForSEO: the password);\n"
    "                       a wrong or missing key gets the service's refusal\n"
    "  --hostile MODE       make the result services lie: echo-key, echo-key-lower or\n"
    "                       echo-basic (an error echoing the key, lower-cased, or\n"
    "                       DataForSEO's Basic credentials), redirect (302 elsewhere),\n"
    "                       other-query (results for another query), doubled-keys (the\n"
    "                       result list twice in one object, made-up results first),\n"
    "                       markup (HTML in the first results' titles and addresses)\n"
    "  --echo-offset N      where the echoed key starts in the error message (default 0)\n"
    "  --quota N            after the first N result-service calls, answer each as its\n"
    "                       provider does once the account is used up (SearXNG: 429)\n"
    "  --max-parallel N     answer HTTP 429 (Retry-After: 1) to a result-service call while\n"
    "                       N others are in flight, as a provider does\n"
    "  --provider-latency MS  delay every result-service answer by MS more milliseconds\n"
    "  --rate-limit-every N answer every Nth result-service call with HTTP 429 and\n"
    "                       Retry-After: 1\n"
    "  --help               show this text\n"
    "\n"
    "On start it prints \"listening on 127.0.0.1:PORT\" and stops on SIGINT or SIGTERM.\n"
    "\n"
    "Paths: Google /search (q, start), AltaVista /sites/search/web (q, stq),\n"
    "Lycos /default.asp (query, first), LookSmart /r_search (key, skip).\n"
    "Result services (JSON): serper.dev POST /search, SerpApi GET /search.json,\n"
    "DataForSEO POST /v3/serp/ENGINE/organic/live/regular, Brave GET /res/v1/web/search,\n"
    "SearXNG GET /search?format=json; their engines bing, yahoo, duckduckgo and brave\n"
    "have result lists of their own (plant names as for --hang, or those four).\n"
    "Pages hold 10 results (LookSmart 15). Between the results each page carries the\n"
    "engine's own links (further searches, /url? redirects, cached copies, links into\n"
    "google.com) that a scan must not count. Every LookSmart page starts with one\n"
    "navigation line whose first anchor a LookSmart scan counts, so a LookSmart result at\n"
    "position r is counted as r + p, p being its page (p = (r - 1) / 15 + 1).\n"
    "\n"
    "Plant file: one line per plant, \"ENGINE RANK URL KEYWORDS...\", ENGINE as for --hang\n"
    "or * for all four; RANK is the 1-based position in the engine's result list; KEYWORDS\n"
    "are compared without letter case and with blanks collapsed; a URL without \"://\" gets\n"
    "\"http://\" in front. Lines starting with # are comments. Example:\n"
    "  google 25 http://www.my-target.example/ blue widgets\n"
    "  *      3  www.other-target.example      red widgets\n";

bool NeedValue(int i, int argc, const char* name) {
    if (i + 1 < argc)
        return true;
    std::fprintf(stderr, "tallowick-engines: %s needs a value\n", name);
    return false;
}

bool ToInt(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == 0 && end != text && out >= lo && out <= hi;
}

} // namespace

int main(int argc, char* argv[]) {
    sim::ServerOptions options;
    std::string plantFile;
    std::string upgradeVersion;
    long seed = 1;
    long results = 1000;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--port") {
            if (!NeedValue(i, argc, "--port") || !ToInt(argv[++i], 0, 65535, n))
                return std::fputs("tallowick-engines: bad --port\n", stderr), 2;
            options.port = int(n);
        } else if (arg == "--latency") {
            if (!NeedValue(i, argc, "--latency") || !ToInt(argv[++i], 0, 600000, n))
                return std::fputs("tallowick-engines: bad --latency\n", stderr), 2;
            options.latencyMs = int(n);
        } else if (arg == "--keep-alive") {
            options.keepAlive = true;
        } else if (arg == "--connect-latency") {
            if (!NeedValue(i, argc, "--connect-latency") || !ToInt(argv[++i], 0, 600000, n))
                return std::fputs("tallowick-engines: bad --connect-latency\n", stderr), 2;
            options.connectLatencyMs = int(n);
        } else if (arg == "--seed") {
            if (!NeedValue(i, argc, "--seed") || !ToInt(argv[++i], 0, 0x7fffffff, seed))
                return std::fputs("tallowick-engines: bad --seed\n", stderr), 2;
        } else if (arg == "--results") {
            if (!NeedValue(i, argc, "--results") || !ToInt(argv[++i], 0, 1000000, results))
                return std::fputs("tallowick-engines: bad --results\n", stderr), 2;
        } else if (arg == "--fail-rate") {
            if (!NeedValue(i, argc, "--fail-rate"))
                return 2;
            char* end = nullptr;
            options.failRate = std::strtod(argv[++i], &end);
            if (!end || *end || options.failRate < 0 || options.failRate > 1)
                return std::fputs("tallowick-engines: bad --fail-rate\n", stderr), 2;
        } else if (arg == "--hang") {
            if (!NeedValue(i, argc, "--hang"))
                return 2;
            options.hangEngine = sim::EngineFromName(argv[++i]);
            if (options.hangEngine < 0)
                return std::fputs("tallowick-engines: bad --hang engine\n", stderr), 2;
        } else if (arg == "--log") {
            if (!NeedValue(i, argc, "--log"))
                return 2;
            options.logPath = argv[++i];
        } else if (arg == "--plant") {
            if (!NeedValue(i, argc, "--plant"))
                return 2;
            plantFile = argv[++i];
        } else if (arg == "--api-key") {
            if (!NeedValue(i, argc, "--api-key"))
                return 2;
            options.providers.apiKey = argv[++i];
        } else if (arg == "--hostile") {
            if (!NeedValue(i, argc, "--hostile"))
                return 2;
            const auto mode = sim::HostileFromName(argv[++i]);
            if (!mode)
                return std::fputs("tallowick-engines: bad --hostile\n", stderr), 2;
            options.providers.hostile = *mode;
        } else if (arg == "--echo-offset") {
            if (!NeedValue(i, argc, "--echo-offset") || !ToInt(argv[++i], 0, 1 << 20, n))
                return std::fputs("tallowick-engines: bad --echo-offset\n", stderr), 2;
            options.providers.echoOffset = int(n);
        } else if (arg == "--quota") {
            if (!NeedValue(i, argc, "--quota") || !ToInt(argv[++i], 0, 0x7fffffff, n))
                return std::fputs("tallowick-engines: bad --quota\n", stderr), 2;
            options.providers.quota = int(n);
        } else if (arg == "--max-parallel") {
            if (!NeedValue(i, argc, "--max-parallel") || !ToInt(argv[++i], 1, 100000, n))
                return std::fputs("tallowick-engines: bad --max-parallel\n", stderr), 2;
            options.providers.maxParallel = int(n);
        } else if (arg == "--provider-latency") {
            if (!NeedValue(i, argc, "--provider-latency") || !ToInt(argv[++i], 0, 600000, n))
                return std::fputs("tallowick-engines: bad --provider-latency\n", stderr), 2;
            options.providers.latencyMs = int(n);
        } else if (arg == "--rate-limit-every") {
            if (!NeedValue(i, argc, "--rate-limit-every") || !ToInt(argv[++i], 1, 100000, n))
                return std::fputs("tallowick-engines: bad --rate-limit-every\n", stderr), 2;
            options.providers.rateLimitEvery = int(n);
        } else if (arg == "--upgrade-version") {
            if (!NeedValue(i, argc, "--upgrade-version"))
                return 2;
            upgradeVersion = argv[++i];
        } else {
            std::fprintf(stderr, "tallowick-engines: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }

    sim::CResultModel model{static_cast<std::uint32_t>(seed), static_cast<int>(results)};
    std::string error;
    if (!plantFile.empty() && !model.LoadPlants(plantFile, error)) {
        std::fprintf(stderr, "tallowick-engines: %s\n", error.c_str());
        return 1;
    }
    sim::CEngineSim engines(model);
    engines.m_strUpgradeVersion = upgradeVersion;

    // Signals are taken by this thread alone, so server threads never see them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    sim::CSimServer server(engines, options);
    if (!server.Start(error)) {
        std::fprintf(stderr, "tallowick-engines: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s\n", server.HostPort().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    server.Stop();
    // For benchmarks: how the result services were asked.
    if (server.MostCallsInFlight() > 0)
        std::fprintf(stderr, "result-service calls: %d billed, at most %d in flight at once\n",
                     server.BilledCalls(), server.MostCallsInFlight());
    return 0;
}
