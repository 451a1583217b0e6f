#pragma once
// The engine simulator run inside a test process, and what it makes a scan count.

#include "sim/EngineSim.h"
#include "sim/SimServer.h"

#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw::test {

struct Simulator {
    explicit Simulator(std::uint32_t seed) : model(seed, 1000) {}
    ~Simulator() {
        if (server)
            server->Stop();
    }

    // Starts listening on a free loopback port; returns "127.0.0.1:port".
    std::string start(int latencyMs = 0) {
        sim::ServerOptions options;
        options.latencyMs = latencyMs;
        server = std::make_unique<sim::CSimServer>(engines, options);
        std::string error;
        if (!server->Start(error))
            qFatal("simulator: %s", error.c_str());
        return server->HostPort();
    }

    sim::CResultModel model;
    sim::CEngineSim engines{model};
    std::unique_ptr<sim::CSimServer> server;
};

// The links an engine's scan counts before a target planted at rank r of its first page.
inline std::vector<std::string> AboveOnFirstPage(const sim::CResultModel& model, SearchEngine e,
                                                 const std::string& keywords, int r) {
    std::vector<std::string> above;
    if (e == LookSmart)
        above.push_back("http://search.looksmart.com/");
    for (int n = 1; n < r; ++n)
        above.push_back(model.ResultUrl(e, keywords, n));
    return above;
}

// The rank a scan gives a target planted at rank r (LookSmart counts its navigation link too).
inline int CountedRank(SearchEngine e, int r) {
    return e == LookSmart ? r + sim::kLookSmartCountedNavigation : r;
}

} // namespace tw::test
