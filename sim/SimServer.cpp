#include "sim/SimServer.h"

#include "base/TextUtil.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <ctime>

namespace sim {

Answer BlockAnswer(BlockKind kind) {
    Answer a;
    switch (kind) {
    case BlockKind::Captcha:
        a.body = "<html><head><title>https://www.google.com/search?q=x</title></head>\n"
                 "<body><div>Our systems have detected unusual traffic from your computer "
                 "network. This page checks to see if it's really you sending the requests, "
                 "and not a robot.</div>\n"
                 "<form id=\"captcha-form\" action=\"/sorry/index\" method=\"post\">\n"
                 "<input type=\"submit\" name=\"submit\"></form>\n</body></html>\n";
        break;
    case BlockKind::EnableJs:
        a.body = "<html><head><noscript><meta content=\"0;url=/httpservice/retry/enablejs?"
                 "sei=x\" http-equiv=\"refresh\"></noscript></head>\n<body>Please click "
                 "<a href=\"/httpservice/retry/enablejs?sei=x\">here</a> if you are not "
                 "redirected within a few seconds.</body></html>\n";
        break;
    case BlockKind::Redirect:
        a.status = 302;
        break;
    case BlockKind::Status429:
        a.status = 429;
        a.body = "<html><body>Too Many Requests</body></html>\n";
        break;
    case BlockKind::Status503:
        a.status = 503;
        a.body = "<html><body>Service Unavailable</body></html>\n";
        break;
    }
    return a;
}

namespace {

// Whether req is the first request of its connection. httplib serves all requests of one
// connection one after another on one pool thread, so a request from another client address
// than the thread's previous one came on a new connection. (A client port reused at once by
// the same thread's next connection would be missed; the kernel hands ports out in turn.)
bool OpensConnection(const void* server, const httplib::Request& req) {
    struct Last {
        const void* server = nullptr;
        std::string addr;
        int port = -1;
    };
    thread_local Last last;
    const bool fresh =
        last.server != server || last.port != req.remote_port || last.addr != req.remote_addr;
    last = {server, req.remote_addr, req.remote_port};
    return fresh;
}

} // namespace

CSimServer::CSimServer(const CEngineSim& sim, ServerOptions options)
    : m_sim(sim), m_options(std::move(options)), m_providers(sim.Model(), m_options.providers),
      m_random(m_options.failSeed) {}

CSimServer::~CSimServer() {
    Stop();
}

void CSimServer::Log(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_log)
        return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::fprintf(m_log.get(), "%02d:%02d:%02d.%03d %s\n", tm.tm_hour, tm.tm_min, tm.tm_sec, ms,
                 line.c_str());
    std::fflush(m_log.get());
}

bool CSimServer::Start(std::string& error) {
    if (!m_options.logPath.empty()) {
        m_log.reset(std::fopen(m_options.logPath.c_str(), "a"));
        if (!m_log) {
            error = "cannot open log file " + m_options.logPath;
            return false;
        }
    }
    m_server = std::make_unique<httplib::Server>();
    // Answers go out at once, as from a real server: with a kept connection, the body written
    // after the headers would otherwise wait for the client's delayed acknowledgement.
    m_server->set_tcp_nodelay(true);
    if (m_options.keepAlive) {
        m_server->set_keep_alive_max_count(std::size_t(1) << 30);
        m_server->set_keep_alive_timeout(std::max(1, m_options.keepAliveIdleSec));
    } else {
        m_server->set_keep_alive_max_count(1);
    }
    const auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        const bool newConnection = !m_options.keepAlive || OpensConnection(this, req);
        const bool providerCall = CProviderSim::IsCall(
            {req.method, req.path, {req.params.begin(), req.params.end()}, {}, std::string()});
        int inFlight = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(req.target);
            m_bodies.push_back(req.body);
            if (newConnection)
                ++m_nConnections;
            if (providerCall) {
                inFlight = ++m_nCallsInFlight;
                m_nMostInFlight = std::max(m_nMostInFlight, inFlight);
            } else {
                m_nMostPagesInFlight = std::max(m_nMostPagesInFlight, ++m_nPagesInFlight);
            }
        }
        // Counted out when the answer is made, whichever way the handler ends.
        struct CallEnd {
            CSimServer* server;
            const httplib::Response& res;
            bool call;
            ~CallEnd() {
                std::lock_guard<std::mutex> lock(server->m_mutex);
                if (!call) {
                    --server->m_nPagesInFlight;
                    return;
                }
                --server->m_nCallsInFlight;
                if (res.status >= 200 && res.status <= 299)
                    ++server->m_nBilled;
            }
        } callEnd{this, res, providerCall};
        if (providerCall && m_options.providers.maxParallel > 0 &&
            inFlight > m_options.providers.maxParallel) {
            const Answer a = CProviderSim::TooMany(
                {req.method, req.path, {req.params.begin(), req.params.end()}, {}, std::string()},
                1);
            res.status = a.status;
            res.set_header("Retry-After", a.retryAfter);
            res.set_content(a.body, a.contentType.c_str());
            return;
        }
        const auto waitUntilStopping = [this](std::chrono::milliseconds limit) {
            std::unique_lock<std::mutex> lock(m_mutex);
            return m_stopped.wait_for(lock, limit, [this] { return m_bStopping; });
        };
        if (newConnection && m_options.connectLatencyMs > 0 &&
            waitUntilStopping(std::chrono::milliseconds(m_options.connectLatencyMs))) {
            res.status = 503;
            return;
        }
        // The latency runs while the answer is made, so the answer goes out latencyMs after
        // the request rather than latencyMs plus the time spent making it. True when the
        // server stops meanwhile.
        const auto answerAt =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(m_options.latencyMs +
                                      (providerCall ? m_options.providers.latencyMs : 0));
        const auto latencyCutShort = [&] {
            std::unique_lock<std::mutex> lock(m_mutex);
            return m_stopped.wait_until(lock, answerAt, [this] { return m_bStopping; });
        };
        const int engine = CEngineSim::EngineOfPath(req.path);
        if (engine >= 0 && engine == m_options.hangEngine) {
            // Never answers; released only when the server stops.
            waitUntilStopping(std::chrono::hours(24 * 365));
            res.status = 503;
            return;
        }
        // Waits until the answer is due: the latency, then an engine's extra delay. False (with
        // status 503) when the server stops meanwhile.
        const auto answerDue = [&] {
            if (latencyCutShort()) {
                res.status = 503;
                return false;
            }
            if (const auto slow = m_options.engineLatencyMs.find(engine);
                slow != m_options.engineLatencyMs.end() &&
                waitUntilStopping(std::chrono::milliseconds(slow->second))) {
                res.status = 503;
                return false;
            }
            return true;
        };
        int failure = 0; // 1: status 500, 2: dropped connection
        int status = 500;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_nScripted < m_options.statusScript.size()) {
                status = m_options.statusScript[m_nScripted++];
                failure = status == kDropped ? 2 : 1;
            } else if (const auto fixed = m_options.engineStatus.find(engine);
                       fixed != m_options.engineStatus.end()) {
                status = fixed->second;
                failure = status == kDropped ? 2 : 1;
            } else if (m_options.failRate > 0) {
                std::uniform_real_distribution<double> share(0.0, 1.0);
                if (share(m_random) < m_options.failRate)
                    failure = (m_random() & 1) ? 1 : 2;
            }
        }
        if (engine >= 0 && engine == m_options.blockEngine && failure == 0) {
            if (!answerDue())
                return;
            const Answer a = BlockAnswer(m_options.blockKind);
            res.status = a.status;
            if (m_options.blockKind == BlockKind::Redirect)
                res.set_header("Location", "/sorry/index?continue=" +
                                               httplib::detail::encode_query_param(req.target));
            else
                res.set_content(a.body, a.contentType.c_str());
            return;
        }
        if (failure != 0 && !answerDue())
            return;
        if (failure == 1) {
            res.status = status;
            if (status >= 200 && status <= 299)
                res.set_content(m_sim.Respond(req.path, req.params).body, "text/html");
            else
                res.set_content("<html><body>Status " + std::to_string(status) + "</body></html>\n",
                                "text/html");
            return;
        }
        if (failure == 2) {
            // Headers go out, then the connection closes before the promised body.
            res.set_content_provider(4096, "text/html",
                                     [](size_t, size_t, httplib::DataSink&) { return false; });
            return;
        }
        ProviderRequest call{
            req.method, req.path, {req.params.begin(), req.params.end()}, {}, req.body};
        for (const auto& [name, value] : req.headers)
            call.headers[text::AsciiLower(name)] = value;
        const std::optional<Answer> service = m_providers.Respond(call);
        const Answer a = service ? *service : m_sim.Respond(req.path, req.params);
        if (!answerDue())
            return;
        res.status = a.status;
        if (!a.location.empty())
            res.set_header("Location", a.location);
        if (!a.retryAfter.empty())
            res.set_header("Retry-After", a.retryAfter);
        res.set_content(a.body, a.contentType.c_str());
    };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler); // the result services that are asked by POST
    m_server->set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        Log(req.method + " " + req.target + " " + std::to_string(res.status));
    });

    if (m_options.port == 0) {
        m_nPort = m_server->bind_to_any_port("127.0.0.1");
    } else {
        m_nPort = m_server->bind_to_port("127.0.0.1", m_options.port) ? m_options.port : -1;
    }
    if (m_nPort <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(m_options.port);
        m_server.reset();
        return false;
    }
    // Start returns only once the server's worker threads exist, so no thread is still being
    // made when the caller goes on: a test that next starts a program forks, and a fork while
    // another thread is being created has crashed the thread checker.
    m_server->new_task_queue = [this] {
        // Enough threads for a result service's calls in flight (up to 64) besides the pages.
        auto* pool =
            new httplib::ThreadPool(std::max<std::size_t>(CPPHTTPLIB_THREAD_POOL_COUNT, 96));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bServing = true;
        }
        m_servingSignal.notify_all();
        return pool;
    };
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    bool serving = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        serving =
            m_servingSignal.wait_for(lock, std::chrono::seconds(10), [this] { return m_bServing; });
    }
    if (!serving) {
        Stop();
        error = "the server on 127.0.0.1:" + std::to_string(m_nPort) + " did not start";
        return false;
    }
    return true;
}

void CSimServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopping = true;
    }
    m_stopped.notify_all();
    if (m_server) {
        for (int i = 0; i < 500 && m_thread.joinable() && !m_server->is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_server->stop();
    }
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
}

std::vector<std::string> CSimServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<std::string> CSimServer::RequestBodies() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bodies;
}

void CSimServer::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
    m_bodies.clear();
}

int CSimServer::Connections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nConnections;
}

int CSimServer::BilledCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nBilled;
}

int CSimServer::MostCallsInFlight() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nMostInFlight;
}

int CSimServer::MostPagesInFlight() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nMostPagesInFlight;
}

} // namespace sim
