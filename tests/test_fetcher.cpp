#include "base/PageFetcher.h"
#include "support/TestEnv.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <set>
#include <thread>

namespace {

QByteArrayList toList(const LineList& lines) {
    QByteArrayList out;
    for (const auto& l : lines)
        out << QByteArray::fromStdString(l);
    return out;
}

// An HTTP server on a loopback port, running for the life of the object.
struct Server {
    httplib::Server svr;
    std::thread thread;
    int port = 0;
    int keepAliveSec = 1;

    void start() {
        // The fetcher keeps connections open; the server waits this long for a kept connection
        // to end when it stops.
        svr.set_keep_alive_timeout(keepAliveSec);
        port = svr.bind_to_any_port("127.0.0.1");
        QVERIFY(port > 0);
        thread = std::thread([this] { svr.listen_after_bind(); });
        while (!svr.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Server() {
        if (thread.joinable()) {
            svr.stop();
            thread.join();
        }
    }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port); }
    std::string url(const std::string& path) const { return "http://" + hostPort() + path; }
};

// A bare listening socket: the kernel accepts connections, nobody answers.
struct RawListener {
    int fd = -1;
    int port = 0;
    RawListener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd, 4);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~RawListener() { ::close(fd); }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/page"; }
};

// What a server saw of one request.
struct Seen {
    std::string target;
    int clientPort = 0; // tells the connections apart
    std::string authorization;
    std::string cookie;
};

// A server that keeps connections open and remembers every request: /page answers "page",
// /login asks for user "user" and password "pw". Both hand out a cookie.
struct KeptServer : Server {
    std::mutex mutex;
    std::vector<Seen> seen;

    KeptServer() {
        // Long enough that no kept connection goes idle between two pages of a test.
        keepAliveSec = 3;
        svr.set_keep_alive_max_count(1000);
        auto note = [this](const httplib::Request& req) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back({req.path, req.remote_port, req.get_header_value("Authorization"),
                            req.get_header_value("Cookie")});
        };
        svr.Get("/page", [note](const httplib::Request& req, httplib::Response& res) {
            note(req);
            res.set_header("Set-Cookie", "session=abc; Path=/");
            res.set_content("page\n", "text/html");
        });
        svr.Get("/login", [note](const httplib::Request& req, httplib::Response& res) {
            note(req);
            res.set_header("Set-Cookie", "login=xyz; Path=/");
            if (req.get_header_value("Authorization") != "Basic dXNlcjpwdw==") {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
                res.set_content("denied\n", "text/html");
            } else {
                res.set_content("secret\n", "text/html");
            }
        });
    }
    ~KeptServer() {
        // Stopped before the members the handlers use go.
        if (thread.joinable()) {
            svr.stop();
            thread.join();
        }
    }
    std::vector<Seen> requests() {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }
    std::set<int> connections() {
        std::set<int> ports;
        for (const Seen& s : requests())
            ports.insert(s.clientPort);
        return ports;
    }
};

// A server that closes a kept connection without warning: right after each answer, or when
// the connection's second request arrives (the request is then never answered). Serves one
// connection at a time.
struct ClosingServer {
    enum Mode { AfterAnswer, OnSecondRequest };
    Mode mode;
    RawListener listener;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::atomic<int> answered{0};
    std::atomic<int> unanswered{0};
    std::thread thread;

    explicit ClosingServer(Mode m) : mode(m) {
        thread = std::thread([this] { run(); });
    }
    ~ClosingServer() {
        stopping = true;
        thread.join();
    }
    std::string url() const { return listener.url(); }

    // Reads one request head; false when the client closed or went quiet.
    bool readRequest(int fd) {
        std::string got;
        char buf[1024];
        for (int waited = 0; got.find("\r\n\r\n") == std::string::npos;) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 20);
            if (ready < 0 || stopping || (ready == 0 && (waited += 20) > 5000))
                return false;
            if (ready == 0)
                continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
            got.append(buf, std::size_t(n));
        }
        return true;
    }
    void run() {
        static const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                                          "Content-Length: 3\r\n\r\nok\n";
        while (!stopping) {
            pollfd p{listener.fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int fd = ::accept(listener.fd, nullptr, nullptr);
            if (fd < 0)
                continue;
            ++connections;
            for (int onThis = 0; readRequest(fd); ++onThis) {
                if (mode == OnSecondRequest && onThis == 1) {
                    ++unanswered;
                    break;
                }
                ++answered; // counted first: the client may look as soon as the answer is out
                if (::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) !=
                    ssize_t(answer.size()))
                    break;
                if (mode == AfterAnswer)
                    break;
            }
            ::close(fd);
        }
    }
};

const std::string kProblem = "There was a problem downloading the web page. Please try again.\n\n";

} // namespace

class TestFetcher : public QObject {
    Q_OBJECT

    Server m_server;
    Server m_other;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_body;
    std::map<std::string, int> m_hits;
    httplib::Headers m_lastHeaders;
    std::string m_lastTarget;
    int m_active = 0;
    int m_maxActive = 0;
    int m_slowHits = 0;
    std::string m_bigBody;

    const LineList* fetch(CPageFetcher& f, std::string url, const std::string& referer = {}) {
        for (auto at = url.find("{}"); at != std::string::npos; at = url.find("{}"))
            url.replace(at, 2, m_server.hostPort());
        return f.FetchPage(url, referer);
    }

    // Waits until the other download arrives too, or gives up after waitMs.
    bool meet(int waitMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_maxActive = std::max(m_maxActive, ++m_active);
        m_cv.notify_all();
        const bool met = m_cv.wait_for(lock, std::chrono::milliseconds(waitMs),
                                       [this] { return m_maxActive >= 2; });
        --m_active;
        return met;
    }

    void addRoutes(httplib::Server& s, const std::string& otherTarget) {
        auto text = [](httplib::Response& res, const std::string& body, int status = 200) {
            res.status = status;
            res.set_content(body, "text/html");
        };
        s.Get("/body", [this, text](const httplib::Request&, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            text(res, m_body);
        });
        s.Get("/big", [this, text](const httplib::Request&, httplib::Response& res) {
            text(res, m_bigBody);
        });
        s.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1000, "text/html",
                                     [](size_t, size_t, httplib::DataSink& sink) {
                                         sink.write("first\nsecond\nthi", 16);
                                         return false; // drops the connection
                                     });
        });
        s.Get(R"(/status/(\d+))", [text](const httplib::Request& req, httplib::Response& res) {
            text(res, "error page\nline 2\n", std::stoi(req.matches[1]));
        });
        s.Get(R"(/u.*)", [this, text](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lastTarget = req.target;
            m_lastHeaders = req.headers;
            text(res, "ok\n");
        });
        auto redirect = [](const std::string& to) {
            return [to](const httplib::Request&, httplib::Response& res) {
                res.status = 302;
                if (!to.empty())
                    res.set_header("Location", to);
            };
        };
        s.Get("/r/none", redirect(""));
        s.Get("/r/rel", redirect("target"));
        s.Get("/r/to404", redirect("/status/404"));
        s.Get("/r/loop", redirect("/r/loop"));
        s.Get("/r/ftp", redirect("ftp://127.0.0.1/r/target"));
        s.Get("/r/tls", redirect("https://" + m_server.hostPort() + "/u/tls"));
        s.Get("/r/other", redirect(otherTarget));
        s.Get("/r/target",
              [text](const httplib::Request&, httplib::Response& res) { text(res, "landed\n"); });
        // The first request of each distinct target is refused.
        s.Get(R"(/a/(\w+))", [this, text](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            const std::string kind = req.matches[1];
            const bool first = m_hits[req.target]++ == 0;
            if (kind == "basic" && req.get_header_value("Authorization") != "Basic dXNlcjpwdw==") {
                res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
                text(res, "denied\n", 401);
            } else if (kind == "always" || (first && kind != "basic")) {
                text(res, "denied\n", 401);
            } else if (kind == "redir") {
                res.status = 303;
                res.set_header("Location", "/r/target");
            } else {
                text(res, "secret\n");
            }
        });
        s.Get("/slow", [this, text](const httplib::Request&, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_slowHits;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            text(res, "slow\n");
        });
        s.Get("/meet", [this, text](const httplib::Request&, httplib::Response& res) {
            text(res, meet(5000) ? "met\n" : "alone\n");
        });
        s.Get("/alone", [this, text](const httplib::Request&, httplib::Response& res) {
            text(res, meet(300) ? "met\n" : "alone\n");
        });
    }

private slots:
    void initTestCase() {
        qputenv("no_proxy", "127.0.0.1,localhost");
        for (int i = 0; m_bigBody.size() < 20u * 1000 * 1000; ++i)
            m_bigBody += "line " + std::to_string(i) + " of a large page\r\n";
        m_other.start();
        m_server.start();
        addRoutes(m_server.svr, m_other.url("/r/target"));
        addRoutes(m_other.svr, m_server.url("/r/target"));
        CPageFetcher::SetLimits({2000, 10000, std::size_t(8) << 20});
    }

    void bodies_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("empty") << QByteArray() << QByteArrayList{};
        QTest::newRow("LF") << QByteArray("a\nb\n") << QByteArrayList{"a", "b"};
        QTest::newRow("CR LF keeps CR") << QByteArray("a\r\nb\r\n") << QByteArrayList{"a\r", "b\r"};
        QTest::newRow("no final LF") << QByteArray("a\nlast") << QByteArrayList{"a", "last"};
        QTest::newRow("blank lines") << QByteArray("\n\nx\n") << QByteArrayList{"", "", "x"};
        QTest::newRow("NUL bytes") << QByteArray("a\0b\n\0", 5)
                                   << QByteArrayList{QByteArray("a\0b", 3), QByteArray("\0", 1)};
    }
    void bodies() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArrayList, lines);
        QCOMPARE(toList(SplitLines(body.toStdString())), lines);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_body = body.toStdString();
        }
        CPageFetcher f;
        const LineList* got = fetch(f, "{}/body");
        QVERIFY(got);
        QCOMPARE(toList(*got), lines);
        QCOMPARE(f.LastError(), std::string());
    }

    void statuses_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("withPrompt");
        QTest::addColumn<bool>("isNull");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<int>("prompts");
        const QByteArrayList errorPage{"error page", "line 2"};
        const QByteArrayList landed{"landed"};
        QTest::newRow("404 is a page") << "/status/404" << false << false << errorPage << 0;
        QTest::newRow("500 is a page") << "/status/500" << false << false << errorPage << 0;
        QTest::newRow("redirect without Location")
            << "/r/none" << false << true << QByteArrayList{} << 0;
        QTest::newRow("relative redirect") << "/r/rel" << false << false << landed << 0;
        QTest::newRow("redirect to other server") << "/r/other" << false << false << landed << 0;
        QTest::newRow("redirect to 404") << "/r/to404" << false << true << QByteArrayList{} << 0;
        QTest::newRow("redirect loop") << "/r/loop" << false << true << QByteArrayList{} << 0;
        QTest::newRow("redirect to ftp") << "/r/ftp" << false << true << QByteArrayList{} << 0;
        QTest::newRow("401 then 200")
            << "/a/once?1" << false << false << QByteArrayList{"secret"} << 0;
        QTest::newRow("401 then redirect") << "/a/redir?1" << false << false << landed << 0;
        QTest::newRow("401 twice") << "/a/always" << true << false << QByteArrayList{"denied"} << 1;
        QTest::newRow("prompted credentials")
            << "/a/basic" << true << false << QByteArrayList{"secret"} << 1;
    }
    void statuses() {
        QFETCH(QString, path);
        QFETCH(bool, withPrompt);
        QFETCH(bool, isNull);
        QFETCH(QByteArrayList, lines);
        QFETCH(int, prompts);
        int asked = 0;
        if (withPrompt) {
            CPageFetcher::SetAuthPrompt([&](const std::string&, std::string& u, std::string& p) {
                ++asked;
                u = "user";
                p = "pw";
                return true;
            });
        }
        CPageFetcher f;
        const LineList* got = fetch(f, "http://{}" + path.toStdString());
        CPageFetcher::SetAuthPrompt(nullptr);
        QCOMPARE(got == nullptr, isNull);
        if (got)
            QCOMPARE(toList(*got), lines);
        QCOMPARE(asked, prompts);
        QCOMPARE(f.LastError(), std::string());
    }

    void urls_data() {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("target"); // empty: no request is sent
        QTest::newRow("bare host and path") << QByteArray("{}/u/bare") << QByteArray("/u/bare");
        QTest::newRow("http:// inside query")
            << QByteArray("http://{}/u?to=http://www.site.example/")
            << QByteArray("/u?to=http://www.site.example/");
        QTest::newRow("spaces") << QByteArray("http://{}/u?q=two words")
                                << QByteArray("/u?q=two%20words");
        QTest::newRow("non-ASCII and control bytes")
            << QByteArray("http://{}/u?q=caf\xc3\xa9\t") << QByteArray("/u?q=caf%C3%A9%09");
        QTest::newRow("URL syntax left alone") << QByteArray("http://{}/u?q=100%25+c%2B%2B&x=a/b")
                                               << QByteArray("/u?q=100%25+c%2B%2B&x=a/b");
        QTest::newRow("no scheme, http:// in query")
            << QByteArray("{}/u?to=http://x") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void urls() {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, target);
        m_lastTarget.clear();
        CPageFetcher f;
        const LineList* got = fetch(f, url.toStdString());
        QCOMPARE(got != nullptr, !target.isEmpty());
        std::lock_guard<std::mutex> lock(m_mutex);
        QCOMPARE(QByteArray::fromStdString(m_lastTarget), target);
    }

    void requestHeaders() {
        CPageFetcher f;
        QVERIFY(fetch(f, "{}/u/h", "http://ref.example/\r\nX-Injected: 1"));
        std::lock_guard<std::mutex> lock(m_mutex);
        auto header = [&](const char* name) {
            auto it = m_lastHeaders.find(name);
            return it == m_lastHeaders.end() ? std::string("(none)") : it->second;
        };
        QCOMPARE(header("Accept"), std::string("text/*"));
        QCOMPARE(header("User-Agent"), std::string("Microsoft Internet Explorer"));
        QCOMPARE(header("Referer"), std::string("http://ref.example/"));
        QCOMPARE(header("X-Injected"), std::string("(none)"));
        QCOMPARE(header("Cache-Control"), std::string("no-cache"));
        QCOMPARE(header("Pragma"), std::string("no-cache"));
    }

    void failedDownloads_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("connection refused") << "refused" << QByteArrayList{};
        QTest::newRow("never answers") << "silent" << QByteArrayList{};
        QTest::newRow("closes mid-body") << "cut" << QByteArrayList{"first", "second", "thi"};
        QTest::newRow("secure to a plain server") << "tls" << QByteArrayList{};
        QTest::newRow("redirect to secure") << "tls-redirect" << QByteArrayList{};
    }
    void failedDownloads() {
        QFETCH(QString, kind);
        QFETCH(QByteArrayList, lines);
        const FetchLimits saved = CPageFetcher::Limits();
        CPageFetcher::SetLimits({300, 500, saved.maxBodyBytes});
        auto raw = std::make_unique<RawListener>();
        std::string url = raw->url();
        if (kind == "refused")
            raw.reset();
        else if (kind == "cut")
            url = m_server.url("/cut");
        else if (kind.startsWith("tls"))
            url = "https://" + m_server.hostPort() + "/u/tls";
        CPageFetcher f;
        const LineList* got = f.FetchPage(kind == "tls-redirect" ? m_server.url("/r/tls") : url);
        CPageFetcher::SetLimits(saved);
        QVERIFY(got);
        QCOMPARE(toList(*got), lines);
        const std::string& err = f.LastError();
        QVERIFY2(err.starts_with(kProblem) && err.ends_with("\n" + url), err.c_str());
        QVERIFY(err.size() > kProblem.size() + url.size() + 1); // names the cause

        // The next download starts clean.
        QVERIFY(fetch(f, "{}/status/200"));
        QCOMPARE(f.LastError(), std::string());
    }

    void largeBodyIsCut() {
        CPageFetcher f;
        const LineList* got = fetch(f, "{}/big");
        QVERIFY(got);
        QCOMPARE(f.LastError(), std::string());
        const LineList expected = SplitLines(std::string_view(m_bigBody).substr(0, 8u << 20));
        QCOMPARE(got->size(), expected.size());
        QVERIFY(*got == expected);
    }

    void saveLines() {
        tw::test::ScopedWorkDir dir;
        const std::string kept = dir.file("kept.html").toStdString();
        const std::string fresh = dir.file("fresh.html").toStdString();
        QFile old(QString::fromStdString(kept));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();

        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_body.clear();
        }
        CPageFetcher f;
        QVERIFY(fetch(f, "{}/body"));
        f.SaveLines(kept);
        f.SaveLines(fresh);
        QVERIFY(!QFile::exists(QString::fromStdString(fresh)));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old content"));
        old.close();

        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_body = std::string("a\r\nb\0c\nlast", 11);
        }
        QVERIFY(fetch(f, "{}/body"));
        f.SaveLines(kept);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("a\r\r\nb\0c\r\nlast\r\n", 15));

        f.SaveLines(dir.file("missing/folder.html").toStdString()); // silently nothing
        QVERIFY(!QFile::exists(dir.file("missing")));
    }

    // Whatever is planted under the page's name or its scratch name (the window ranks in a
    // folder others may write to) is never written through: a link's target, a pipe or a
    // folder stay as they were. A plain file left by an earlier run does not stop the save.
    void saveLinesNeverWritesThrough_data() {
        QTest::addColumn<QString>("name"); // "page" or "page.part"
        QTest::addColumn<QString>("plant");
        QTest::addColumn<bool>("saved");
        QTest::newRow("link as scratch name") << "page.part"
                                              << "link" << false;
        QTest::newRow("dangling link as scratch name") << "page.part"
                                                       << "dangling" << false;
        QTest::newRow("pipe as scratch name") << "page.part"
                                              << "pipe" << false;
        QTest::newRow("folder as scratch name") << "page.part"
                                                << "folder" << false;
        QTest::newRow("file left as scratch name") << "page.part"
                                                   << "file" << true;
        QTest::newRow("link as page name") << "page"
                                           << "link" << false;
        QTest::newRow("pipe as page name") << "page"
                                           << "pipe" << false;
    }
    void saveLinesNeverWritesThrough() {
        QFETCH(QString, name);
        QFETCH(QString, plant);
        QFETCH(bool, saved);
        tw::test::ScopedWorkDir dir;
        const QString page = dir.file("page");
        const QString planted = dir.file(name);
        const QString victim = dir.file("victim");
        const QByteArray plantedName = QFile::encodeName(planted);
        {
            QFile f(victim);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("precious") == 8);
        }
        if (plant == "link")
            QVERIFY(QFile::link(victim, planted));
        else if (plant == "dangling")
            QVERIFY(QFile::link(dir.file("made-through-link"), planted));
        else if (plant == "pipe")
            QVERIFY(mkfifo(plantedName.constData(), 0600) == 0);
        else if (plant == "folder")
            QVERIFY(QDir(dir.path()).mkdir(name));
        else {
            QFile f(planted);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("half a page") == 11);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_body = "<html>\nresults\n";
        }
        CPageFetcher f;
        QVERIFY(fetch(f, "{}/body"));
        f.SaveLines(page.toStdString());

        QFile v(victim);
        QVERIFY(v.open(QIODevice::ReadOnly));
        QCOMPARE(v.readAll(), QByteArray("precious"));
        QVERIFY(!QFile::exists(dir.file("made-through-link")));
        struct stat st {};
        const bool pageIsFile =
            lstat(QFile::encodeName(page).constData(), &st) == 0 && S_ISREG(st.st_mode);
        QCOMPARE(pageIsFile, saved);
        if (saved) {
            QFile p(page);
            QVERIFY(p.open(QIODevice::ReadOnly));
            QCOMPARE(p.readAll(), QByteArray("<html>\r\nresults\r\n"));
            QVERIFY(!QFile::exists(planted) || planted == page);
        } else {
            // What was planted is still there, as it was.
            QVERIFY(lstat(plantedName.constData(), &st) == 0);
            QCOMPARE(S_ISLNK(st.st_mode), plant == "link" || plant == "dangling");
            QCOMPARE(S_ISFIFO(st.st_mode), plant == "pipe");
            QCOMPARE(S_ISDIR(st.st_mode), plant == "folder");
        }
    }

    // A worker that started earlier gets the server before later ones, whatever order they
    // queued in, so an entry reads an engine's pages to the end before the next entry begins.
    void olderThreadsGoFirst() {
        CServerLock& server = g_hFetchLock.ForServer("order.example", 80);
        CServerLock& other = g_hFetchLock.ForServer("other.example", 80);
        std::mutex orderLock;
        std::vector<int> order;
        std::promise<void> agedOlder, agedYounger, goOlder, goYounger;
        auto worker = [&](int id, std::promise<void>& aged, std::future<void> go) {
            other.lock(); // the thread's first request makes its age
            other.unlock();
            aged.set_value();
            go.wait();
            std::lock_guard<CServerLock> hold(server);
            std::lock_guard<std::mutex> guard(orderLock);
            order.push_back(id);
        };
        server.lock();
        std::thread older(worker, 1, std::ref(agedOlder), goOlder.get_future());
        agedOlder.get_future().wait();
        std::thread younger(worker, 2, std::ref(agedYounger), goYounger.get_future());
        agedYounger.get_future().wait();
        // The younger one queues first.
        goYounger.set_value();
        QTRY_COMPARE(server.Waiting(), std::size_t(1));
        goOlder.set_value();
        QTRY_COMPARE(server.Waiting(), std::size_t(2));
        server.unlock();
        older.join();
        younger.join();
        QCOMPARE(order, (std::vector<int>{1, 2}));
    }

    // A thread reading a run of pages keeps the server's turn between its pages, ahead of an
    // older thread that waits, until the run ends, the kept time runs out, or it moves on to
    // another server; the older thread then gets the turn without waiting out the kept time.
    void keptTurn_data() {
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("keptMs");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("next page of the run")
            << "next page" << 60000 << QStringList{"keeper", "keeper", "waiter"};
        QTest::newRow("the run ends") << "end" << 60000 << QStringList{"keeper", "waiter"};
        QTest::newRow("another server")
            << "other server" << 60000 << QStringList{"keeper", "waiter", "keeper done"};
        QTest::newRow("the kept time runs out")
            << "stall" << 50 << QStringList{"keeper", "waiter", "keeper done"};
    }
    void keptTurn() {
        QFETCH(QString, then);
        QFETCH(int, keptMs);
        QFETCH(QStringList, order);
        const FetchLimits saved = CPageFetcher::Limits();
        FetchLimits limits = saved;
        limits.keptTurnMs = keptMs;
        CPageFetcher::SetLimits(limits);
        const std::string tag = QTest::currentDataTag();
        CServerLock& server = g_hFetchLock.ForServer("kept-" + tag + ".example", 80);
        CServerLock& other = g_hFetchLock.ForServer("kept-other.example", 80);
        std::mutex logLock;
        QStringList log;
        const auto note = [&](const char* what) {
            std::lock_guard<std::mutex> guard(logLock);
            log << what;
        };
        const auto logged = [&](const char* what) {
            std::lock_guard<std::mutex> guard(logLock);
            return log.contains(what);
        };
        const auto waitFor = [](const std::function<bool()>& done) {
            for (int i = 0; i < 10000 && !done(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        QElapsedTimer clock;
        std::promise<void> waiterAged;
        std::atomic<bool> waiterGo{false};
        std::thread waiter([&] {
            other.lock(); // older than the keeper
            other.unlock();
            waiterAged.set_value();
            waitFor([&] { return waiterGo.load(); });
            std::lock_guard<CServerLock> hold(server);
            note("waiter");
        });
        waiterAged.get_future().wait();
        std::thread keeper([&] {
            {
                const CKeepTurn keep;
                server.lock();
                waiterGo = true;
                waitFor([&] { return server.Waiting() == 1; });
                note("keeper");
                server.unlock();
                clock.start();
                if (then == "next page") {
                    std::lock_guard<CServerLock> hold(server);
                    note("keeper");
                } else if (then == "other server") {
                    CServerLock& third = g_hFetchLock.ForServer("kept-third.example", 80);
                    std::lock_guard<CServerLock> hold(third);
                    waitFor([&] { return logged("waiter"); });
                    note("keeper done");
                } else if (then == "stall") {
                    waitFor([&] { return logged("waiter"); });
                    note("keeper done");
                }
            }
            waitFor([&] { return logged("waiter"); });
        });
        keeper.join();
        waiter.join();
        CPageFetcher::SetLimits(saved);
        QCOMPARE(log, order);
        if (keptMs > 1000)
            QVERIFY2(clock.elapsed() < keptMs / 2, "the waiter waited out the kept time");
    }

    void sameServerNeverOverlaps() {
        m_maxActive = 0;
        QByteArrayList seen[2];
        std::thread t[2];
        for (int i = 0; i < 2; ++i)
            t[i] = std::thread([&, i] {
                CPageFetcher f;
                if (auto* l = f.FetchPage(m_server.url("/alone")))
                    seen[i] = toList(*l);
            });
        for (auto& th : t)
            th.join();
        QCOMPARE(seen[0], QByteArrayList{"alone"});
        QCOMPARE(seen[1], QByteArrayList{"alone"});
    }

    // Three pages of 250 ms queue for one server under a 400 ms page limit: the time spent
    // waiting for the server's turn is not the page's, so none of them times out.
    void queueingDoesNotEatThePageTime() {
        const FetchLimits saved = CPageFetcher::Limits();
        FetchLimits tight = saved;
        tight.pageTimeoutMs = 400;
        CPageFetcher::SetLimits(tight);
        QByteArrayList seen[3];
        std::string errors[3];
        std::thread t[3];
        for (int i = 0; i < 3; ++i)
            t[i] = std::thread([&, i] {
                CPageFetcher f;
                if (auto* l = f.FetchPage(m_server.url("/slow")))
                    seen[i] = toList(*l);
                errors[i] = f.LastError();
            });
        for (auto& th : t)
            th.join();
        CPageFetcher::SetLimits(saved);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(seen[i], QByteArrayList{"slow"});
            QCOMPARE(errors[i], std::string());
        }
    }

    // Cancel reaches a download that waits for its server's turn, and one about to send:
    // nothing is sent after it.
    void cancelledDownloadsSendNothing_data() {
        QTest::addColumn<bool>("waitsForTheServer");
        QTest::newRow("while waiting for the server") << true;
        QTest::newRow("before the request") << false;
    }
    void cancelledDownloadsSendNothing() {
        QFETCH(bool, waitsForTheServer);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_slowHits = 0;
        }
        CServerLock& server = g_hFetchLock.ForServer("127.0.0.1", m_server.port);
        if (waitsForTheServer)
            server.lock(); // another download has the server's turn
        std::atomic<bool> cancel{!waitsForTheServer};
        std::promise<std::pair<bool, bool>> outcome;
        std::thread t([&] {
            CPageFetcher f;
            f.SetCancelCheck([&] { return cancel.load(); });
            const bool gotPage = f.FetchPage(m_server.url("/slow")) != nullptr;
            outcome.set_value({gotPage, f.Cancelled()});
        });
        if (waitsForTheServer) {
            QTRY_COMPARE(server.Waiting(), std::size_t(1));
            cancel = true;
        }
        auto result = outcome.get_future();
        QVERIFY(result.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
        t.join();
        if (waitsForTheServer) {
            QCOMPARE(server.Waiting(), std::size_t(0));
            server.unlock();
        }
        QCOMPARE(result.get(), std::make_pair(false, true));
        std::lock_guard<std::mutex> lock(m_mutex);
        QCOMPARE(m_slowHits, 0);
    }

    void differentServersOverlap() {
        m_maxActive = 0;
        QByteArrayList seen[2];
        std::thread t[2];
        Server* servers[2] = {&m_server, &m_other};
        for (int i = 0; i < 2; ++i)
            t[i] = std::thread([&, i] {
                CPageFetcher f;
                if (auto* l = f.FetchPage(servers[i]->url("/meet")))
                    seen[i] = toList(*l);
            });
        for (auto& th : t)
            th.join();
        QCOMPARE(seen[0], QByteArrayList{"met"});
        QCOMPARE(seen[1], QByteArrayList{"met"});
    }

    // Every page opens its own fetcher, as the scans do; the pages of one server still go out
    // on one connection, from one thread or several.
    void connectionsAreReused_data() {
        QTest::addColumn<int>("threads");
        QTest::newRow("one thread") << 1;
        QTest::newRow("four threads") << 4;
    }
    void connectionsAreReused() {
        QFETCH(int, threads);
        KeptServer server;
        server.start();
        std::vector<std::thread> workers;
        std::atomic<int> good{0};
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&] {
                for (int i = 0; i < 5; ++i) {
                    CPageFetcher f;
                    const LineList* got = f.FetchPage(server.url("/page"));
                    if (got && *got == LineList{"page"} && f.LastError().empty())
                        ++good;
                }
            });
        for (auto& w : workers)
            w.join();
        QCOMPARE(good.load(), 5 * threads);
        QCOMPARE(server.requests().size(), std::size_t(5 * threads));
        QCOMPARE(server.connections().size(), std::size_t(1));
    }

    // A kept connection the server has closed is replaced without a word: the page is read
    // and nothing counts as failed.
    void closedConnectionIsReopened_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("closed while idle") << int(ClosingServer::AfterAnswer);
        QTest::newRow("closed on the next request") << int(ClosingServer::OnSecondRequest);
    }
    void closedConnectionIsReopened() {
        QFETCH(int, mode);
        ClosingServer server{ClosingServer::Mode(mode)};
        for (int i = 0; i < 2; ++i) {
            CPageFetcher f;
            const LineList* got = f.FetchPage(server.url());
            QVERIFY(got);
            QCOMPARE(toList(*got), QByteArrayList{"ok"});
            QCOMPARE(f.LastError(), std::string());
            QCOMPARE(f.LastStatus(), 200L);
        }
        QCOMPARE(server.answered.load(), 2);
        QCOMPARE(server.connections.load(), 2);
        // The second page did go out on the kept connection first.
        QCOMPARE(server.unanswered.load(), mode == ClosingServer::OnSecondRequest ? 1 : 0);
    }

    // Neither the credentials given for one page nor any cookie reaches a later page on the
    // same server; the connection that carried the credentials is not used again.
    void nothingCarriedToTheNextPage() {
        KeptServer server;
        server.start();
        CPageFetcher::SetAuthPrompt([](const std::string&, std::string& u, std::string& p) {
            u = "user";
            p = "pw";
            return true;
        });
        LineList first;
        {
            CPageFetcher f;
            if (const LineList* got = f.FetchPage(server.url("/login")))
                first = *got;
        }
        CPageFetcher::SetAuthPrompt(nullptr);
        QCOMPARE(toList(first), QByteArrayList{"secret"});
        for (int i = 0; i < 2; ++i) {
            CPageFetcher f;
            const LineList* got = f.FetchPage(server.url("/page"));
            QVERIFY(got);
            QCOMPARE(toList(*got), QByteArrayList{"page"});
        }
        const std::vector<Seen> seen = server.requests();
        std::vector<Seen> loggedIn, pages;
        for (const Seen& s : seen) {
            QCOMPARE(s.cookie, std::string());
            if (!s.authorization.empty())
                loggedIn.push_back(s);
            if (s.target == "/page")
                pages.push_back(s);
        }
        QCOMPARE(loggedIn.size(), std::size_t(1));
        QCOMPARE(loggedIn[0].target, std::string("/login"));
        QCOMPARE(loggedIn[0].authorization, std::string("Basic dXNlcjpwdw=="));
        QCOMPARE(pages.size(), std::size_t(2));
        QVERIFY(pages[0].clientPort != loggedIn[0].clientPort);
        QCOMPARE(pages[1].clientPort, pages[0].clientPort);
    }
};

TW_TEST_MAIN_CORE(TestFetcher)
#include "test_fetcher.moc"
