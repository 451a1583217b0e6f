#pragma once
// The simulator's HTTP side: serves CEngineSim pages on 127.0.0.1 with optional latency,
// failures and a hanging engine, and keeps a log of the requests it saw.

#include "sim/EngineSim.h"
#include "sim/ProviderSim.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace sim {

// How an engine that blocks us answers.
enum class BlockKind {
    Captcha,  // 200 with a captcha page ("unusual traffic", a form posting to /sorry/)
    EnableJs, // 200 with a page that demands JavaScript (a link to .../enablejs)
    Redirect, // 302 to /sorry/index
    Status429,
    Status503,
};

// Status given instead of a page; kDropped closes the connection after the headers.
inline constexpr int kDropped = 0;

struct ServerOptions {
    int port = 0;          // 0: any free port
    int latencyMs = 0;     // added to every request
    double failRate = 0.0; // share of requests that fail (status 500 or a dropped connection)
    std::uint32_t failSeed = 7;
    int hangEngine = -1; // SearchEngine that never answers, -1 for none
    std::string logPath; // request log file; empty for none
    // Answers to the first requests, in order of arrival (an HTTP status, or kDropped); later
    // requests get their pages.
    std::vector<int> statusScript;
    // Every request of an engine (SearchEngine) answered with this status or kDropped.
    std::map<int, int> engineStatus;
    // Extra delay for every request of an engine, on top of latencyMs.
    std::map<int, int> engineLatencyMs;
    int blockEngine = -1; // SearchEngine that blocks every request, -1 for none
    BlockKind blockKind = BlockKind::Captcha;
    ProviderOptions providers; // the result services' key and quota
    // Persistent connections: many requests per connection, closed after keepAliveIdleSec
    // without a request. Off, every answer closes its connection ("Connection: close").
    bool keepAlive = false;
    int keepAliveIdleSec = 5;
    // Delay charged once per new connection, before its first answer: stands in for the TCP
    // and TLS handshakes of a distant server.
    int connectLatencyMs = 0;
};

// The page or answer of an engine that blocks us.
Answer BlockAnswer(BlockKind kind);

class CSimServer {
public:
    CSimServer(const CEngineSim& sim, ServerOptions options);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Binds 127.0.0.1 and starts serving on a thread; false with a message when it cannot.
    bool Start(std::string& error);
    // Stops serving, releasing hanging requests first. Safe to call twice.
    void Stop();

    int Port() const { return m_nPort; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_nPort); }

    // Request targets ("/search?q=...") in the order they arrived.
    std::vector<std::string> Requests() const;
    // The requests' bodies (empty for a GET), in the same order.
    std::vector<std::string> RequestBodies() const;
    void ClearRequests();
    // Connections that have carried a request so far.
    int Connections() const;
    // Result-service calls answered 2xx (what a provider bills), and the most provider calls
    // that were in flight at once.
    int BilledCalls() const;
    int MostCallsInFlight() const;
    // The most other requests (engine pages) that were in flight at once.
    int MostPagesInFlight() const;

private:
    void Log(const std::string& line);

    const CEngineSim& m_sim;
    ServerOptions m_options;
    CProviderSim m_providers;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_nPort = 0;

    mutable std::mutex m_mutex; // requests, log, random numbers, serving, stopping
    std::condition_variable m_stopped;
    bool m_bStopping = false;
    std::condition_variable m_servingSignal;
    bool m_bServing = false; // the worker threads exist and connections are taken
    std::vector<std::string> m_requests;
    std::vector<std::string> m_bodies;
    std::size_t m_nScripted = 0; // answers of statusScript given so far
    int m_nConnections = 0;
    int m_nCallsInFlight = 0;
    int m_nMostInFlight = 0;
    int m_nBilled = 0;
    int m_nPagesInFlight = 0;
    int m_nMostPagesInFlight = 0;
    std::mt19937 m_random;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_log{nullptr, &std::fclose};
};

} // namespace sim
