// tallowick-rank with columns ranked through result services: the simulator's provider endpoints
// stand in for them, and the key is looked for in every output.
#include "base/Maker.h"
#include "settings/RegistrySettings.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/RankCli.h"
#include "support/TestEnv.h"

#include <nlohmann/json.hpp>

#include <QFile>
#include <QProcess>

using nlohmann::json;

namespace {
const QString& kProgram = tw::test::kRankProgram;
const QByteArray kKey = "sk-Cli-Secret-4d2b8e";

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

using Result = tw::test::CliResult;
} // namespace

class TestRankCliSources : public QObject {
    Q_OBJECT

    sim::CResultModel m_model{3, 200};
    std::unique_ptr<sim::CEngineSim> m_engines;
    std::unique_ptr<sim::CSimServer> m_server;

    QString Base() const { return "http://" + QString::fromStdString(m_server->HostPort()); }

    Result Run(const QStringList& args, const QString& dir, const QByteArray& envKey) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"TALLOWICK_SERPER_KEY", "TALLOWICK_SERPAPI_KEY", "TALLOWICK_BRAVE_KEY",
              "TALLOWICK_DATAFORSEO_LOGIN", "TALLOWICK_DATAFORSEO_PASSWORD"})
            env.remove(QString::fromLatin1(name));
        if (!envKey.isEmpty())
            env.insert(QStringLiteral("TALLOWICK_SERPAPI_KEY"), QString::fromLatin1(envKey));
        env.insert(QStringLiteral("TALLOWICK_RETRY_DELAY_MS"), QStringLiteral("1"));
        return tw::test::RunRankCli(args, dir, 60000, &env);
    }

    void WriteData(const QString& path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("www.target-a.example\r\nblue widgets\r\n-\r\n-\r\n-\r\n-\r\n");
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(kProgram), qPrintable(kProgram));
        std::string error;
        QVERIFY2(m_model.ParsePlants("google 3 www.target-a.example blue widgets\n"
                                     "bing 14 www.target-a.example blue widgets\n",
                                     error),
                 error.c_str());
        m_engines = std::make_unique<sim::CEngineSim>(m_model);
        sim::ServerOptions options;
        options.providers.apiKey = kKey.toStdString();
        m_server = std::make_unique<sim::CSimServer>(*m_engines, options);
        QVERIFY2(m_server->Start(error), error.c_str());
    }
    void cleanupTestCase() { m_server->Stop(); }

    // Google classic, AltaVista's column on Bing through serpapi; the environment's key wins
    // over a stale one in the settings. The column is named Bing in the JSON, the report and
    // the progress, and the key is in none of them.
    void ranksThroughProvider() {
        tw::test::ScopedWorkDir dir;
        WriteData(dir.file("tallowick.dat"));
        CRegistrySettings().WriteString(maker::kProduct, "SerpapiKey", "stale-key-0000");
        const QString host = QString::fromStdString(m_server->HostPort());
        const Result r =
            Run({"--depth", "3", "--engines", "google,altavista", "--host", "google=" + host,
                 "--source", "altavista=serpapi:bing", "--provider-url", "serpapi=" + Base(),
                 "--pause", "0-1", "--json", "-", "--report", dir.file("report.txt")},
                dir.path(), kKey);
        CRegistrySettings().WriteString(maker::kProduct, "SerpapiKey", "");
        QVERIFY2(r.code == 0, r.err.constData());
        const json doc = json::parse(r.out.toStdString());
        const json& res = doc["entries"][0]["results"];
        QCOMPARE(res["google"]["engine"].get<std::string>(), std::string("Google"));
        QCOMPARE(res["google"]["source"].get<std::string>(), std::string("classic"));
        QCOMPARE(res["google"]["text"].get<std::string>(), std::string("Rank 3 / Page 1"));
        const json& bing = res["altavista"];
        QCOMPARE(bing["engine"].get<std::string>(), std::string("Bing"));
        QCOMPARE(bing["source"].get<std::string>(), std::string("serpapi:bing"));
        QCOMPARE(bing["text"].get<std::string>(), std::string("Rank 14 / Page 2"));
        QCOMPARE(bing["rank"].get<int>(), 14);
        std::vector<std::string> above;
        for (int n = 1; n < 14; ++n)
            above.push_back(m_model.ResultUrl(SearchEngine(sim::kSimBing), "blue widgets", n));
        QCOMPARE(bing["sites_above"].get<std::vector<std::string>>(), above);
        const QByteArray report = ReadFile(dir.file("report.txt"));
        QVERIFY2(report.contains("Bing             Rank 14 / Page 2"), report.constData());
        QVERIFY(!report.contains("Altavista"));
        QVERIFY(r.err.contains("Bing"));
        for (const QByteArray& output :
             {r.out, r.err, report, ReadFile(dir.file("tallowick.dat"))}) {
            QVERIFY(!output.contains(kKey));
            QVERIFY(!output.contains("stale-key"));
        }
    }

    // The budget: exactly N calls go out, the entries they would not reach keep their old texts,
    // and the run ends with status 5 and says so. The calls in the JSON are the calls the
    // server billed.
    void budgetOfCalls() {
        tw::test::ScopedWorkDir dir;
        QFile f(dir.file("tallowick.dat"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (int i = 0; i < 4; ++i)
            f.write(QStringLiteral("www.never-%1.example\r\nred shoes\r\nRank 9 / Page 1\r\n-"
                                   "\r\n-\r\n-\r\n")
                        .arg(i)
                        .toLatin1());
        f.close();
        const QByteArray key = kKey;
        const int billedBefore = m_server->BilledCalls();
        m_server->ClearRequests();
        const Result r =
            Run({"--depth", "2", "--threads", "1", "--engines", "google", "--source",
                 "google=serpapi:google", "--provider-url", "serpapi=" + Base(), "--max-calls", "5",
                 "--parallel", "serpapi=3", "--json", dir.file("out.json")},
                dir.path(), key);
        QCOMPARE(r.code, 5);
        QVERIFY2(r.err.contains("call budget of 5 reached: 2 entries not ranked"),
                 r.err.constData());
        QVERIFY2(r.err.contains("serpapi.com: 5 calls"), r.err.constData());
        QCOMPARE(int(m_server->Requests().size()), 5);
        const json doc = json::parse(ReadFile(dir.file("out.json")).toStdString());
        QCOMPARE(doc["calls"]["serpapi"].get<int>(), m_server->BilledCalls() - billedBefore);
        int perEntry = 0;
        for (const json& entry : doc["entries"])
            perEntry += entry["results"]["google"]["calls"].get<int>();
        QCOMPARE(perEntry, 5);
        const QByteArray data = ReadFile(dir.file("tallowick.dat"));
        QCOMPARE(data.count("Rank 9 / Page 1"), 2);
        QCOMPARE(data.count("not found"), 2);
    }

    // --estimate says what the run can take per service and sends nothing.
    void estimateSendsNothing() {
        tw::test::ScopedWorkDir dir;
        QFile f(dir.file("tallowick.dat"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (int i = 0; i < 3; ++i)
            f.write("www.target-a.example\r\nblue widgets\r\n-\r\n-\r\n-\r\n-\r\n");
        f.close();
        const QByteArray before = ReadFile(dir.file("tallowick.dat"));
        m_server->ClearRequests();
        const Result r =
            Run({"--estimate", "--depth", "5", "--engines", "google,altavista,lycos", "--source",
                 "google=serper:google", "--source", "altavista=brave:brave", "--source",
                 "lycos=dataforseo:bing", "--provider-url", "serper=" + Base()},
                dir.path(), {});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(r.out.contains("serper.dev: at most 15 calls, at least 3"), r.out.constData());
        QVERIFY2(r.out.contains("the Brave Search API: at most 9 calls, at least 3"),
                 r.out.constData());
        QVERIFY2(r.out.contains("dataforseo.com: at most 3 calls, at least 3"), r.out.constData());
        // Read to the whole depth, a scan takes every page of it.
        const Result whole =
            Run({"--estimate", "--whole-depth", "--depth", "5", "--engines", "google", "--source",
                 "google=serper:google", "--provider-url", "serper=" + Base()},
                dir.path(), {});
        QVERIFY2(whole.code == 0, whole.err.constData());
        QVERIFY2(whole.out.contains("serper.dev: at most 15 calls, at least 15 unless"),
                 whole.out.constData());
        QCOMPARE(int(m_server->Requests().size()), 0);
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), before);
        QVERIFY(!QFile::exists(dir.file("tallowick.history.sqlite")));
    }

    // A refused key: the column reads "error" with the provider's reason, keys left out.
    void refusedKeyIsAnError() {
        tw::test::ScopedWorkDir dir;
        WriteData(dir.file("tallowick.dat"));
        const QByteArray wrong = "sk-Wrong-Secret-77aa";
        const Result r = Run({"--engines", "altavista", "--source", "altavista=serpapi:bing",
                              "--provider-url", "serpapi=" + Base(), "--json", "-"},
                             dir.path(), wrong);
        QVERIFY2(r.code == 0, r.err.constData());
        const json bing = json::parse(r.out.toStdString())["entries"][0]["results"]["altavista"];
        QCOMPARE(bing["text"].get<std::string>(), std::string("error"));
        QVERIFY(bing["errors"].dump().find("refused") != std::string::npos);
        QVERIFY(!r.out.contains(wrong));
        QVERIFY(!r.err.contains(wrong));
    }

    // A provider that echoes the key in a long error, near where a message is cut or in another
    // letter case: not 8 characters of it in a row reach the JSON, the progress or the history.
    void echoedKeyInNoOutput_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("offset");
        using H = sim::ProviderOptions::Hostile;
        QTest::newRow("across the cut") << int(H::EchoKey) << 288;
        QTest::newRow("lower case") << int(H::EchoKeyLower) << 10;
    }
    void echoedKeyInNoOutput() {
        QFETCH(int, mode);
        QFETCH(int, offset);
        sim::ServerOptions options;
        options.providers.apiKey = kKey.toStdString();
        options.providers.hostile = sim::ProviderOptions::Hostile(mode);
        options.providers.echoOffset = offset;
        sim::CSimServer echoing(*m_engines, options);
        std::string error;
        QVERIFY2(echoing.Start(error), error.c_str());
        tw::test::ScopedWorkDir dir;
        WriteData(dir.file("tallowick.dat"));
        const Result r =
            Run({"--engines", "altavista", "--source", "altavista=serpapi:bing", "--provider-url",
                 "serpapi=http://" + QString::fromStdString(echoing.HostPort()), "--json", "-"},
                dir.path(), kKey);
        echoing.Stop();
        const json bing = json::parse(r.out.toStdString())["entries"][0]["results"]["altavista"];
        QCOMPARE(bing["text"].get<std::string>(), std::string("error"));
        QVERIFY(r.err.contains("answered: Request"));
        const QByteArray history = ReadFile(dir.file("tallowick.history.sqlite")) +
                                   ReadFile(dir.file("tallowick.history.sqlite-wal"));
        QVERIFY(history.contains("answered: Request"));
        for (const QByteArray& output : {r.out, r.err, history}) {
            const QByteArray lowered = output.toLower();
            for (int i = 0; i + 8 <= kKey.size(); ++i)
                QVERIFY2(!lowered.contains(kKey.mid(i, 8).toLower()), output.constData());
        }
    }

    // Bad values, an unknown provider, an engine the provider does not serve, a missing key:
    // exit 2 and not one request.
    void refusedBeforeAnythingIsFetched_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QStringList ddg{"--engines", "altavista", "--source"};
        QTest::newRow("engine not served")
            << (ddg + QStringList{"altavista=serper:bing"}) << "does not serve";
        QTest::newRow("unknown provider")
            << (ddg + QStringList{"altavista=bingapi:bing"}) << "unknown provider";
        QTest::newRow("unknown slot") << (ddg + QStringList{"bing=serpapi:bing"}) << "Bad --source";
        QTest::newRow("missing key")
            << (ddg + QStringList{"altavista=serper:google"}) << "no key for serper.dev";
        // The command says where a scheduled run finds the key: its environment or a setting.
        QTest::newRow("missing serper key names its places")
            << (ddg + QStringList{"altavista=serper:google"})
            << "no key for serper.dev: set TALLOWICK_SERPER_KEY in the environment, or the "
               "settings value SerperKey";
        QTest::newRow("missing brave key names its places")
            << (ddg + QStringList{"altavista=brave:brave"})
            << "TALLOWICK_BRAVE_KEY in the environment, or the settings value BraveKey";
        QTest::newRow("missing login names its places")
            << (ddg + QStringList{"altavista=dataforseo:google"})
            << "TALLOWICK_DATAFORSEO_LOGIN and TALLOWICK_DATAFORSEO_PASSWORD in the environment, "
               "or the settings values DataforseoLogin and DataforseoPassword";
        QTest::newRow("missing address names its places")
            << (ddg + QStringList{"altavista=searxng:bing"})
            << "give --provider-url searxng=URL, or the settings value SearxngUrl";
        QTest::newRow("searxng without address")
            << (ddg + QStringList{"altavista=searxng:bing"}) << "SearXNG";
        QTest::newRow("unknown provider url")
            << QStringList{"--provider-url", "bingapi=http://h"} << "Bad --provider-url";
        QTest::newRow("provider url not http")
            << QStringList{"--provider-url", "serpapi=ftp://h"} << "Bad --provider-url";
        QTest::newRow("country") << QStringList{"--country", "usa"} << "Bad --country";
        QTest::newRow("language") << QStringList{"--language", "e1"} << "Bad --language";
        QTest::newRow("pause reversed") << QStringList{"--pause", "500-100"} << "Bad --pause";
        QTest::newRow("pause too long") << QStringList{"--pause", "0-999999"} << "Bad --pause";
        QTest::newRow("pause not a range") << QStringList{"--pause", "fast"} << "Bad --pause";
        QTest::newRow("parallel too many")
            << QStringList{"--parallel", "serper=65"} << "Bad --parallel";
        QTest::newRow("parallel unknown provider")
            << QStringList{"--parallel", "bingapi=2"} << "Bad --parallel";
        QTest::newRow("max calls zero") << QStringList{"--max-calls", "0"} << "Bad --max-calls";
    }
    void refusedBeforeAnythingIsFetched() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        tw::test::ScopedWorkDir dir;
        WriteData(dir.file("tallowick.dat"));
        const QByteArray before = ReadFile(dir.file("tallowick.dat"));
        m_server->ClearRequests();
        const Result r = Run(
            args + QStringList{"--host", "google=" + QString::fromStdString(m_server->HostPort())},
            dir.path(), {});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
        QCOMPARE(int(m_server->Requests().size()), 0);
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), before);
    }
};

TW_TEST_MAIN_CORE(TestRankCliSources)
#include "test_rankcli_sources.moc"
