#pragma once
// A web server on a loopback port that answers 401 to every page unless the request carries
// user "user" with password "pw" (Basic); it keeps the Authorization header of each request.

#include <QByteArray>
#include <QtGlobal>

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw::test {

struct AuthServer {
    static inline const std::string kRight =
        "Basic " + QByteArray("user:pw").toBase64().toStdString();

    // body: what an authorised request gets.
    explicit AuthServer(std::string body = "secret") : m_body(std::move(body)) {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string auth = req.get_header_value("Authorization");
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_sent.push_back(auth);
            }
            if (auth == kRight) {
                res.set_content(m_body, "text/html");
            } else {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
                res.set_content("denied", "text/plain");
            }
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            qFatal("the test server cannot bind a port");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~AuthServer() {
        m_server.stop();
        m_thread.join();
    }

    std::string hostPort() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string url(const std::string& path = "/secret") const {
        return "http://" + hostPort() + path;
    }
    // The Authorization header of each request so far ("" for none), oldest first.
    std::vector<std::string> authorizations() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sent;
    }

private:
    std::string m_body;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<std::string> m_sent;
};

} // namespace tw::test
