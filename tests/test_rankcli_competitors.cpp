// tallowick-rank and a list's competitors: their ranks, the ranking URL and the count of kept
// results in the JSON, the visibility, --serp-csv, --competitors, and a competitors file that
// cannot be used. The kept results come from histories made here.
#include "base/RankTypes.h"
#include "history/HistoryStore.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/RankCli.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>

using nlohmann::json;
using namespace sim;

namespace {

using Sites = std::vector<std::string>;
using Result = tw::test::CliResult;
using tw::test::readFile;
using tw::test::writeFile;

const std::string kA = "www.target-a.example";
const std::string kZ = "www.target-z.example";
const std::string kKeywords = "blue widgets";

// The two entries as the latest recorded run left them.
const QByteArray kList =
    "www.target-a.example\r\nblue widgets\r\nRank 1 / Page 1\r\n-\r\n-\r\n-\r\n"
    "www.target-z.example\r\nblue widgets\r\nnot found\r\n-\r\n-\r\n-\r\n";

tw::HistoryResult googleResult(std::optional<int> rank, Sites results, std::string rankingUrl) {
    tw::HistoryResult r;
    r.slot = Google;
    r.engine = "Google";
    r.source = "classic";
    r.rank = rank;
    r.page = rank ? std::optional<int>(1) : std::nullopt;
    r.text = rank ? "Rank " + std::to_string(*rank) + " / Page 1" : "not found";
    r.pageSizes = {int(results.size())};
    r.results = std::move(results);
    r.rankingUrl = std::move(rankingUrl);
    return r;
}

// Records one run of Google results for target A and target Z.
void recordRun(const QString& dataFile, const QDateTime& at, const tw::HistoryResult& a,
               const tw::HistoryResult& z) {
    tw::HistoryStore store;
    QString error;
    QVERIFY2(store.open(tw::historyPathFor(dataFile), tw::HistoryStore::Mode::ReadWrite, &error),
             qPrintable(error));
    QVERIFY(store.beginRun(at, &error));
    QVERIFY(store.record(kA, kKeywords, a, &error));
    QVERIFY(store.record(kZ, kKeywords, z, &error));
    QVERIFY2(store.commitRun(&error), qPrintable(error));
}

// Two runs: before, A at 3 with the rival first and Z not found with the rival sixth; latest, A
// at 1 (another of its pages) with the rival fourth, Z not found with the rival second.
void recordTwoRuns(const QString& dataFile) {
    const QDateTime now = QDateTime::currentDateTime();
    recordRun(dataFile, now.addDays(-7),
              googleResult(3,
                           {"http://www.rival.example/", "http://other.example/",
                            "http://www.target-a.example/"},
                           "http://www.target-a.example/"),
              googleResult(std::nullopt,
                           {"http://s1.example/", "http://s2.example/", "http://s3.example/",
                            "http://s4.example/", "http://s5.example/", "http://rival.example/z"},
                           ""));
    recordRun(dataFile, now.addDays(-1),
              googleResult(1,
                           {"http://www.target-a.example/page", "http://x.example/",
                            "http://other.example/", "http://www.rival.example/a"},
                           "http://www.target-a.example/page"),
              googleResult(std::nullopt,
                           {"http://x.example/", "http://rival.example/b", "=HYPERLINK(\"x\")"},
                           ""));
}

json competitor(const char* site, int rank, int page, const json& previous) {
    return {{"site", site}, {"rank", rank}, {"page", page}, {"previous", previous}};
}

} // namespace

class TestRankCliCompetitors : public QObject {
    Q_OBJECT

    CResultModel m_model{3, 200};
    std::unique_ptr<CEngineSim> m_engines;
    std::unique_ptr<CSimServer> m_server;

    QStringList GoogleRun() const {
        return {"--engines",
                "google",
                "--depth",
                "1",
                "-q",
                "--host",
                "google=" + QString::fromStdString(m_server->HostPort())};
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(tw::test::kRankProgram), qPrintable(tw::test::kRankProgram));
        m_model.AddPlant(Google, 3, kA, kKeywords);
        m_engines = std::make_unique<CEngineSim>(m_model);
        m_server = std::make_unique<CSimServer>(*m_engines, ServerOptions{});
        std::string error;
        QVERIFY2(m_server->Start(error), error.c_str());
    }
    void cleanupTestCase() { m_server->Stop(); }

    // The list as it is: each slot's kept results are the latest run's, the competitors'
    // "previous" ranks the run's before it, and the visibility is over the list's entries.
    void noRankJson() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kList);
        writeFile(dir.file("tallowick.competitors.txt"),
                  "# who we watch\nrival.example\n\nabsent.example\n");
        recordTwoRuns(dir.file("tallowick.dat"));

        Result r = tw::test::RunRankCli({"--no-rank", "--json", "-"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        json doc = json::parse(r.out.toStdString());
        const json& a = doc["entries"][0]["results"]["google"];
        QCOMPARE(a["ranking_url"], json("http://www.target-a.example/page"));
        QCOMPARE(a["results"], json(4));
        QCOMPARE(a["competitors"], json::array({competitor("rival.example", 4, 1, 1),
                                                competitor("absent.example", 0, 0, 0)}));
        const json& z = doc["entries"][1]["results"]["google"];
        QVERIFY(z["ranking_url"].is_null());
        QCOMPARE(z["results"], json(3));
        QCOMPARE(z["competitors"], json::array({competitor("rival.example", 2, 1, 6),
                                                competitor("absent.example", 0, 0, 0)}));
        // A slot never recorded kept nothing, and nothing is known from before.
        const json& off = doc["entries"][0]["results"]["altavista"];
        QCOMPARE(off["results"], json(0));
        QVERIFY(off["ranking_url"].is_null());
        QCOMPARE(off["competitors"], json::array({competitor("rival.example", 0, 0, nullptr),
                                                  competitor("absent.example", 0, 0, nullptr)}));
        // Two entries: A at 1 (31.73) and Z not found; the rival at 4 (13.60) and 2 (24.71).
        const json visibility = {
            {"google", {{kA, 15.9}, {kZ, 0.0}, {"rival.example", 19.2}, {"absent.example", 0.0}}}};
        QCOMPARE(doc["visibility"].dump(), visibility.dump());

        // --competitors stands in for the file for this run; an empty one means none.
        r = tw::test::RunRankCli(
            {"--no-rank", "--json", "-", "--competitors", " other.example, ,x.example"},
            dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        doc = json::parse(r.out.toStdString());
        QCOMPARE(
            doc["entries"][0]["results"]["google"]["competitors"],
            json::array({competitor("other.example", 3, 1, 2), competitor("x.example", 2, 1, 0)}));
        r = tw::test::RunRankCli({"--no-rank", "--json", "-", "--competitors", ""}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        doc = json::parse(r.out.toStdString());
        QCOMPARE(doc["entries"][1]["results"]["google"]["competitors"], json::array());
        QCOMPARE(doc["visibility"]["google"].size(), std::size_t(2));
    }

    // Every kept result of each entry's latest run, one line each.
    void noRankSerpCsv() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kList);
        writeFile(dir.file("tallowick.competitors.txt"), "other.example\nrival.example\n");
        recordTwoRuns(dir.file("tallowick.dat"));
        const Result r = tw::test::RunRankCli({"--no-rank", "--serp-csv", "serp.csv"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(readFile(dir.file("serp.csv")),
                 QByteArray("url,keywords,slot,engine,position,result_url,is_target,competitor\r\n"
                            "www.target-a.example,blue widgets,google,Google,1,"
                            "http://www.target-a.example/page,1,\r\n"
                            "www.target-a.example,blue widgets,google,Google,2,"
                            "http://x.example/,0,\r\n"
                            "www.target-a.example,blue widgets,google,Google,3,"
                            "http://other.example/,0,other.example\r\n"
                            "www.target-a.example,blue widgets,google,Google,4,"
                            "http://www.rival.example/a,0,rival.example\r\n"
                            "www.target-z.example,blue widgets,google,Google,1,"
                            "http://x.example/,0,\r\n"
                            "www.target-z.example,blue widgets,google,Google,2,"
                            "http://rival.example/b,0,rival.example\r\n"
                            "www.target-z.example,blue widgets,google,Google,3,"
                            "\"'=HYPERLINK(\"\"x\"\")\",0,\r\n"));
    }

    // A ranking run: the JSON's competitors are ranked in the run's kept results (the simulator
    // never shows the rival) and their "previous" in the history's run before it; the table
    // holds what the run kept, the planted target marked.
    void runJsonAndSerpCsv() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kList);
        recordTwoRuns(dir.file("tallowick.dat"));
        const Result r =
            tw::test::RunRankCli(GoogleRun() + QStringList{"--json", "-", "--competitors",
                                                           "rival.example", "--serp-csv", "s.csv"},
                                 dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        const json doc = json::parse(r.out.toStdString());
        const json& a = doc["entries"][0]["results"]["google"];
        QCOMPARE(a["rank"], json(3));
        QCOMPARE(a["competitors"], json::array({competitor("rival.example", 0, 0, 4)}));
        QVERIFY(a["ranking_url"].is_null() ||
                a["ranking_url"].get<std::string>().find("target-a.example") != std::string::npos);
        const json& z = doc["entries"][1]["results"]["google"];
        QVERIFY(z["ranking_url"].is_null());
        QCOMPARE(z["competitors"], json::array({competitor("rival.example", 0, 0, 2)}));
        QCOMPARE(doc["visibility"].dump(),
                 json({{"google", {{kA, 9.3}, {kZ, 0.0}, {"rival.example", 0.0}}}}).dump());

        const QList<QByteArray> lines = readFile(dir.file("s.csv")).split('\n');
        QCOMPARE(lines[0], QByteArray("url,keywords,slot,engine,position,result_url,is_target,"
                                      "competitor\r"));
        for (const QByteArray& line : lines.mid(1)) {
            if (line.contains(",1,\r"))
                QVERIFY2(line.startsWith("www.target-a.example,blue widgets,google,Google,3,"),
                         line.constData());
        }
    }

    // What cannot be used stops the run before anything is fetched or written: a competitors
    // file that is not valid or cannot be read (3), a bad --competitors or one without an output
    // that shows it (2), a --serp-csv file that cannot be written (4). Without --json or
    // --serp-csv the file is not read at all.
    void refused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file"); // the competitors file; "dir": a folder
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("a site with a blank")
            << QStringList{"--json", "out.json"} << "rival.example\nmy rival.example\n"
            << 3 << "Line 2: \"my rival.example\" has a blank in it.";
        QTest::newRow("unreadable file")
            << QStringList{"--serp-csv", "s.csv"} << "dir" << 3 << "could not be read";
        QTest::newRow("--no-rank, bad file")
            << QStringList{"--no-rank", "--json", "out.json"} << "a b\n"
            << 3 << "Nothing was written.";
        QTest::newRow("bad --competitors")
            << QStringList{"--json", "out.json", "--competitors", "rival.example,a b"} << "" << 2
            << "Bad --competitors: \"a b\" has a blank in it";
        QTest::newRow("--competitors alone")
            << QStringList{"--competitors", "rival.example"} << "" << 2
            << "--competitors goes with --json or --serp-csv.";
        QTest::newRow("--serp-csv into no folder")
            << QStringList{"--serp-csv", "no/such/s.csv"} << "" << 4 << "could not be written";
        QTest::newRow("not read without an output") << QStringList{} << "a b\n" << 0 << "";
    }
    void refused() {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(int, status);
        QFETCH(QString, says);
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kList);
        if (file == "dir")
            QVERIFY(QDir(dir.path()).mkdir("tallowick.competitors.txt"));
        else if (!file.isEmpty())
            writeFile(dir.file("tallowick.competitors.txt"), file.toUtf8());
        m_server->ClearRequests();
        const Result r = tw::test::RunRankCli(
            args.contains("--no-rank") ? args : GoogleRun() + args, dir.path());
        QCOMPARE(r.code, status);
        QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
        if (status == 0)
            return;
        QVERIFY(m_server->Requests().empty());
        QCOMPARE(readFile(dir.file("tallowick.dat")), kList);
        QVERIFY(!QFile::exists(dir.file("out.json")) && !QFile::exists(dir.file("s.csv")));
        QVERIFY(!QFile::exists(dir.file("tallowick.history.sqlite")));
    }
};

TW_TEST_MAIN_CORE(TestRankCliCompetitors)
#include "test_rankcli_competitors.moc"
