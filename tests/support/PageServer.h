#pragma once
// A web server on a loopback port serving one page whose text a test sets, for the life of the
// object.

#include <httplib.h>

#include <QTest>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace tw::test {

class PageServer {
public:
    explicit PageServer(std::string path = "/tallowick_upgrade_check.html")
        : m_path(std::move(path)) {
        m_server.Get(m_path, [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_requests;
            res.set_content(m_page, "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PageServer() {
        m_server.stop();
        m_thread.join();
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    void setPage(const std::string& page) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_page = page;
    }
    int requests() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_requests;
    }
    std::string url() const { return url(m_path); }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    std::string m_path;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_lock;
    std::string m_page;
    int m_requests = 0;
};

// An upgrade page announcing version, with a description and a download link.
inline std::string upgradePage(const std::string& version,
                               const std::string& link = "http://www.tallowick.example/setup.exe",
                               const std::string& eol = "\n") {
    return "<html><body>" + eol + "<!-- UPGRADE Version -->" + eol + version + eol +
           "<!-- UPGRADE Description -->" + eol + "Faster ranking." + eol + "Fewer bugs." + eol +
           "<!-- END UPGRADE Description -->" + eol + "<!-- UPGRADE Download Link -->" + eol +
           link + eol + "</body></html>" + eol;
}

} // namespace tw::test
