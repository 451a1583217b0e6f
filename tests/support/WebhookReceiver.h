#pragma once
// A local webhook for the alert tests: cpp-httplib on 127.0.0.1, recording every POST.

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tw::test {

// A webhook receiver that answers every POST with status.
struct WebhookReceiver {
    httplib::Server svr;
    std::thread thread;
    int port = 0;
    int status = 200;
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> posts; // content type, body

    WebhookReceiver() {
        svr.Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex);
            posts.emplace_back(req.get_header_value("Content-Type"), req.body);
            res.status = status;
            if (status >= 300 && status < 400)
                res.set_header("Location", "/elsewhere");
            res.set_content("{}", "application/json");
        });
        port = svr.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { svr.listen_after_bind(); });
        while (!svr.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return posts.size();
    }
    ~WebhookReceiver() {
        svr.stop();
        thread.join();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
};

} // namespace tw::test
