#include "base/Engines.h"
#include "base/QueryUrls.h"
#include "base/ResultLinks.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/TestEnv.h"

#include <httplib.h>

#include <QFile>
#include <QProcess>

using namespace sim;

Q_DECLARE_METATYPE(SearchEngine)

namespace {
std::string PathOf(const std::string& url) {
    const auto slash = url.find('/', 7);
    return url.substr(slash);
}
} // namespace

class TestEngineSim : public QObject {
    Q_OBJECT
private slots:
    // Every page the scans ask for carries exactly the engine's results, in order, to the scan.
    void pagesCarryTheResultsTheScansCount_data() {
        QTest::addColumn<SearchEngine>("engine");
        for (int e = 0; e < kEngineCount; ++e)
            QTest::newRow(engines::Info(SearchEngine(e)).name) << SearchEngine(e);
    }
    void pagesCarryTheResultsTheScansCount() {
        QFETCH(SearchEngine, engine);
        CResultModel model(5, 100);
        model.AddPlant(engine, 12, "www.planted.example", "Blue  Widgets");
        CEngineSim engines(model);
        const std::string kw = "blue widgets & c++";
        int counted = 0;
        int position = 0;
        for (int page = 0; page < 3; ++page) {
            const std::string url = rank::ScanQueryUrl(engine, "h", kw, page, counted);
            const Answer a = engines.RespondTo(PathOf(url));
            QCOMPARE(a.status, 200);
            auto links = rank::CountedLinks(engine, a.body);
            if (engine == LookSmart) {
                QVERIFY(!links.empty());
                QCOMPARE(links.front(), std::string("http://search.looksmart.com/"));
                links.erase(links.begin());
            }
            QCOMPARE(int(links.size()), kPerPage[engine]);
            for (const auto& link : links)
                QCOMPARE(link, model.ResultUrl(engine, kw, ++position));
            counted += int(links.size()) + (engine == LookSmart ? 1 : 0);
        }
        // The keywords arrived as typed; the plant was for other keywords.
        QVERIFY(model.ResultUrl(engine, "blue widgets", 12) == "http://www.planted.example");
        QVERIFY(model.ResultUrl(engine, kw, 12) != "http://www.planted.example");
    }

    void resultsAreDeterministicAndEnd() {
        CResultModel a(1, 30), b(1, 30), c(2, 30);
        QCOMPARE(a.ResultUrl(Google, "x", 7), b.ResultUrl(Google, "X ", 7));
        QVERIFY(a.ResultUrl(Google, "x", 7) != c.ResultUrl(Google, "x", 7));
        QVERIFY(a.ResultUrl(Google, "x", 7) != a.ResultUrl(Lycos, "x", 7));
        QVERIFY(a.ResultUrl(Google, "x", 31).empty());
        CEngineSim engines(a);
        QVERIFY(rank::CountedLinks(Google, engines.GooglePage("x", 30)).empty());
    }

    void plantFile_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("good") << QByteArray(
                                     "# comment\n\ngoogle 25 http://t.example/ blue widgets\n"
                                     "*  3  t2.example  Red Widgets\r\n"
                                     "bing 4 b.example kw\nduckduckgo 5 d.example kw\n")
                              << true;
        QTest::newRow("unknown engine") << QByteArray("excite 3 t.example kw\n") << false;
        QTest::newRow("no keywords") << QByteArray("lycos 3 t.example\n") << false;
        QTest::newRow("bad rank") << QByteArray("lycos x t.example kw\n") << false;
    }
    void plantFile() {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        CResultModel model(1, 100);
        std::string error;
        QCOMPARE(model.ParsePlants(text.toStdString(), error), ok);
        QCOMPARE(error.empty(), ok);
        if (ok) {
            QCOMPARE(model.ResultUrl(Google, "Blue Widgets", 25), std::string("http://t.example/"));
            QCOMPARE(model.ResultUrl(LookSmart, "red widgets", 3),
                     std::string("http://t2.example"));
            QVERIFY(model.ResultUrl(AltaVista, "blue widgets", 25) != "http://t.example/");
            // The providers' engines plant in lists of their own.
            QCOMPARE(model.ResultUrl(SearchEngine(kSimBing), "kw", 4),
                     std::string("http://b.example"));
            QCOMPARE(model.ResultUrl(SearchEngine(kSimDuckDuckGo), "kw", 5),
                     std::string("http://d.example"));
            QVERIFY(model.ResultUrl(Google, "kw", 4) != "http://b.example");
        }
    }

    void upgradePage() {
        CResultModel model;
        CEngineSim engines(model);
        QCOMPARE(engines.RespondTo("/tallowick_upgrade_check.html").status, 404);
        engines.m_strUpgradeVersion = "1.1";
        const std::string page = engines.RespondTo("/tallowick_upgrade_check.html").body;
        QVERIFY(page.find("<!-- UPGRADE Version -->\n1.1\n") != std::string::npos);
        QVERIFY(page.find("<!-- UPGRADE Description") != std::string::npos);
        QVERIFY(page.find("END UPGRADE Description") != std::string::npos);
        QVERIFY(page.find("<!-- UPGRADE Download Link -->\nhttp://") != std::string::npos);
    }

    void serverAnswersLogsAndStops() {
        tw::test::ScopedWorkDir dir;
        CResultModel model(1, 50);
        CEngineSim engines(model);
        ServerOptions options;
        options.logPath = dir.file("requests.log").toStdString();
        CSimServer server(engines, options);
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        QVERIFY(server.Port() > 0);
        httplib::Client client("127.0.0.1", server.Port());
        client.set_read_timeout(5, 0);
        auto res = client.Get("/search?q=blue%20widgets%20%26%20c%2B%2B&start=10");
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QCOMPARE(rank::CountedLinks(Google, res->body).front(),
                 model.ResultUrl(Google, "blue widgets & c++", 11));
        res = client.Get("/nowhere");
        QVERIFY(res);
        QCOMPARE(res->status, 404);
        QCOMPARE(server.Requests().size(), size_t(2));
        server.Stop();
        server.Stop();
        QFile log(dir.file("requests.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray logged = log.readAll();
        QVERIFY(logged.contains("GET /search?q=blue%20widgets%20%26%20c%2B%2B&start=10 200"));
        QVERIFY(logged.contains("GET /nowhere 404"));
    }

    // Kept connections carry every request of a client; otherwise each answer closes its own.
    void connectionsKeptOrClosed_data() {
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<int>("connections");
        QTest::newRow("keep-alive") << true << 1;
        QTest::newRow("one per request") << false << 3;
    }
    void connectionsKeptOrClosed() {
        QFETCH(bool, keepAlive);
        QFETCH(int, connections);
        CResultModel model(1, 50);
        CEngineSim engines(model);
        ServerOptions options;
        options.keepAlive = keepAlive;
        options.connectLatencyMs = 10;
        CSimServer server(engines, options);
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        httplib::Client client("127.0.0.1", server.Port());
        client.set_keep_alive(true);
        client.set_read_timeout(5, 0);
        for (int i = 0; i < 3; ++i) {
            auto res = client.Get("/search?q=x&start=" + std::to_string(10 * i));
            QVERIFY(res);
            QCOMPARE(res->status, 200);
            QCOMPARE(res->get_header_value("Connection") == "close", !keepAlive);
        }
        QCOMPARE(server.Connections(), connections);
    }

    void failingRequestsAndAHangingEngine() {
        CResultModel model(1, 50);
        CEngineSim engines(model);
        ServerOptions options;
        options.failRate = 1.0;
        options.hangEngine = Lycos;
        CSimServer server(engines, options);
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        httplib::Client client("127.0.0.1", server.Port());
        client.set_read_timeout(1, 0);
        for (int i = 0; i < 6; ++i) {
            auto res = client.Get("/search?q=x");
            // Either an error status or a connection dropped before the body was complete.
            QVERIFY(!res || res->status == 500);
        }
        auto hung = client.Get("/default.asp?query=x");
        QVERIFY(!hung);
        server.Stop(); // releases the hanging request
    }

    void programPrintsItsPortAndStopsOnTerminate() {
        QProcess engines;
        engines.start(QStringLiteral(TW_BINARY_DIR "/sim/tallowick-engines"),
                      {"--port", "0", "--upgrade-version", "2.5"});
        QVERIFY(engines.waitForStarted());
        QVERIFY(engines.waitForReadyRead(10000));
        const QByteArray line = engines.readLine().trimmed();
        QVERIFY2(line.startsWith("listening on 127.0.0.1:"), line.constData());
        httplib::Client client("127.0.0.1", line.mid(line.lastIndexOf(':') + 1).toInt());
        auto res = client.Get("/tallowick_upgrade_check.html");
        QVERIFY(res && res->body.find("\n2.5\n") != std::string::npos);
        engines.terminate();
        QVERIFY(engines.waitForFinished(10000));
        QCOMPARE(engines.exitStatus(), QProcess::NormalExit);
        QCOMPARE(engines.exitCode(), 0);
    }
};

TW_TEST_MAIN_CORE(TestEngineSim)
#include "test_enginesim.moc"
