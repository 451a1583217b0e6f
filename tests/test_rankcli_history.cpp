// tallowick-rank and the rank history, as a user runs it: runs recorded, "previous" in the JSON,
// --no-history, --history-csv, a history that cannot be written (exit status 6), and a list
// that cannot be saved, which keeps the run out of the history too.
#include "base/RankTypes.h"
#include "data/DataFileSession.h"
#include "history/HistoryStore.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/RankCli.h"
#include "support/TestEnv.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <sys/resource.h>

using nlohmann::json;
using namespace sim;

namespace {
const char* const kKeys[kEngineCount] = {"google", "altavista", "lycos", "looksmart"};
const QString& kProgram = tw::test::kRankProgram;
const QRegularExpression
    kIsoTime(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Two entries, every result "-".
const QByteArray kList = "www.target-a.example\r\nblue widgets\r\n-\r\n-\r\n-\r\n-\r\n"
                         "www.target-z.example\r\nblue widgets\r\n-\r\n-\r\n-\r\n-\r\n";

using Result = tw::test::CliResult;

Result Run(const QStringList& args, const QString& dir) {
    return tw::test::RunRankCli(args, dir);
}

tw::EntryHistory History(const QString& dataFile, const std::string& url) {
    tw::EntryHistory h;
    QString error;
    if (!tw::loadEntryHistory(dataFile, url, "blue widgets", &h, &error))
        qWarning("%s", qPrintable(error));
    return h;
}
} // namespace

class TestRankCliHistory : public QObject {
    Q_OBJECT

    CResultModel m_model{3, 200};
    std::unique_ptr<CEngineSim> m_engines;
    std::unique_ptr<CSimServer> m_server;

    // Google alone, one page deep, one entry after the other, against the simulator.
    QStringList GoogleRun() const {
        return {"--engines", "google",
                "--depth",   "1",
                "--threads", "1",
                "--host",    "google=" + QString::fromStdString(m_server->HostPort())};
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(kProgram), qPrintable(kProgram));
        m_model.AddPlant(Google, 9, "www.target-a.example", "blue widgets");
        m_engines = std::make_unique<CEngineSim>(m_model);
        m_server = std::make_unique<CSimServer>(*m_engines, ServerOptions{});
        std::string error;
        QVERIFY2(m_server->Start(error), error.c_str());
    }
    void cleanupTestCase() { m_server->Stop(); }

    // Two runs with the target moved from 9 to 3: two points in the history, the second run's
    // JSON has the first as "previous"; a run with --no-history records nothing but still reads
    // "previous"; the export lists every result oldest first.
    void twoRunsAndPrevious() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), kList);
        Result r = Run(GoogleRun() + QStringList{"--json", "-"}, dir.path());
        QCOMPARE(r.code, 0);
        json doc = json::parse(r.out.toStdString());
        for (const json& entry : doc["entries"])
            for (const char* key : kKeys)
                QVERIFY(entry["results"][key]["previous"].is_null());

        m_model.AddPlant(Google, 3, "www.target-a.example", "blue widgets");
        r = Run(GoogleRun() + QStringList{"--json", "-"}, dir.path());
        QCOMPARE(r.code, 0);
        doc = json::parse(r.out.toStdString());
        const json& google = doc["entries"][0]["results"]["google"];
        QCOMPARE(google["text"].get<std::string>(), std::string("Rank 3 / Page 1"));
        const json& previous = google["previous"];
        QVERIFY(
            kIsoTime.match(QString::fromStdString(previous["time"].get<std::string>())).hasMatch());
        QCOMPARE(previous["text"].get<std::string>(), std::string("Rank 9 / Page 1"));
        QCOMPARE(previous["rank"].get<int>(), 9);
        QCOMPARE(previous["page"].get<int>(), 1);
        const json& missed = doc["entries"][1]["results"]["google"]["previous"];
        QCOMPARE(missed["text"].get<std::string>(), std::string("not found"));
        QCOMPARE(missed["rank"].get<int>(), 0);
        // Engines never asked have nothing before.
        QVERIFY(doc["entries"][0]["results"]["altavista"]["previous"].is_null());

        tw::EntryHistory h = History(dir.file("tallowick.dat"), "www.target-a.example");
        QCOMPARE(int(h.runs.size()), 2);
        QCOMPARE(h.runs[0].bySlot[Google]->rank, std::optional<int>(3));
        QCOMPARE(h.runs[1].bySlot[Google]->rank, std::optional<int>(9));
        QVERIFY(h.runs[0].time >= h.runs[1].time);

        r = Run(GoogleRun() + QStringList{"--no-history", "--json", "-"}, dir.path());
        QCOMPARE(r.code, 0);
        doc = json::parse(r.out.toStdString());
        QCOMPARE(doc["entries"][0]["results"]["google"]["previous"]["rank"].get<int>(), 3);
        QCOMPARE(int(History(dir.file("tallowick.dat"), "www.target-a.example").runs.size()), 2);

        r = Run({"--history-csv", "-"}, dir.path());
        QCOMPARE(r.code, 0);
        QVERIFY(r.err.isEmpty());
        QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0],
                 QByteArray("time,url,keywords,slot,engine,source,text,rank,page,error\r"));
        const QByteArray expected[] = {
            ",www.target-a.example,blue widgets,0,Google,classic,Rank 9 / Page 1,9,1,\r",
            ",www.target-z.example,blue widgets,0,Google,classic,not found,,,\r",
            ",www.target-a.example,blue widgets,0,Google,classic,Rank 3 / Page 1,3,1,\r",
            ",www.target-z.example,blue widgets,0,Google,classic,not found,,,\r"};
        for (int i = 0; i < 4; ++i) {
            const QByteArray& line = lines[i + 1];
            const qsizetype comma = line.indexOf(',');
            QVERIFY(kIsoTime.match(QString::fromLatin1(line.left(comma))).hasMatch());
            QCOMPARE(line.mid(comma), expected[i]);
        }
    }

    // --whole-depth reads every page of the depth, past the target, which still ranks where it
    // was first met; the history keeps the results below it too. Without it the scan stops at
    // the target and keeps the results down to it.
    void wholeDepthReadsOnPastTheTarget() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"),
                  "www.target-w.example\r\nred shoes\r\n-\r\n-\r\n-\r\n-\r\n");
        const std::string target = "http://www.target-w.example/";
        m_model.AddPlant(Google, 4, target, "red shoes");
        QStringList args = GoogleRun();
        args[3] = "3"; // the depth
        const std::size_t before = m_server->Requests().size();
        QCOMPARE(Run(args, dir.path()).code, 0);
        const std::size_t stopping = m_server->Requests().size() - before;
        QCOMPARE(Run(args + QStringList{"--whole-depth"}, dir.path()).code, 0);
        QCOMPARE(stopping, std::size_t(1));
        QCOMPARE(m_server->Requests().size() - before - stopping, std::size_t(3));

        tw::HistoryStore store;
        QString error;
        QVERIFY(store.open(tw::historyPathFor(dir.file("tallowick.dat")),
                           tw::HistoryStore::Mode::ReadOnly, &error));
        tw::EntryHistory h;
        QVERIFY2(store.loadEntry("www.target-w.example", "red shoes", &h, &error, true),
                 qPrintable(error));
        QCOMPARE(int(h.runs.size()), 2);
        const tw::HistoryResult& whole = *h.runs[0].bySlot[Google];
        const tw::HistoryResult& stopped = *h.runs[1].bySlot[Google];
        for (const tw::HistoryResult* r : {&whole, &stopped}) {
            QCOMPARE(r->rank, std::optional<int>(4));
            QCOMPARE(r->rankingUrl, target);
            QCOMPARE(int(r->sitesAbove.size()), 3);
        }
        QCOMPARE(int(whole.results.size()), 30);
        QCOMPARE(whole.results[3], target);
        QVERIFY(whole.pageSizes == std::vector<int>({10, 10, 10}));
        QCOMPARE(int(stopped.results.size()), 4);
    }

    // --history-csv ranks nothing and writes the history where it is told.
    // --no-rank --json writes every row of the list as it is, each slot's rank and page read
    // from its text and its latest recorded result as "previous".
    void noRankJsonListsEveryRow() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), kList);
        Result r = Run(GoogleRun() + QStringList{"-q", "--json", "-"}, dir.path());
        QCOMPARE(r.code, 0);
        const json ranked = json::parse(r.out.toStdString());
        r = Run({"--no-rank", "--json", "-"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        const json listed = json::parse(r.out.toStdString());
        QCOMPARE(listed["entries"].size(), std::size_t(2));
        for (int i = 0; i < 2; ++i) {
            const json& entry = listed["entries"][i];
            QCOMPARE(entry["row"].get<int>(), i + 1);
            QCOMPARE(entry["url"], ranked["entries"][i]["url"]);
            const json& google = entry["results"]["google"];
            const json& before = ranked["entries"][i]["results"]["google"];
            for (const char* field : {"text", "rank", "page"}) {
                QCOMPARE(google[field], before[field]);
                QCOMPARE(google["previous"][field], before[field]);
            }
            QCOMPARE(entry["results"]["altavista"]["text"].get<std::string>(), std::string("-"));
            QVERIFY(entry["results"]["altavista"]["previous"].is_null());
        }
        QVERIFY(listed["entries"][0]["results"]["google"]["rank"].get<int>() > 0);
    }

    // --html and --pdf after a run hold it; with --no-rank and --tag, of the tagged entries of
    // the history as it is; a report that cannot be written is exit status 4 and leaves the
    // file there as it was.
    void clientReports() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), kList);
        WriteFile(dir.file("tallowick.entries.csv"),
                  "url,keywords,country,language,device,location,tags\r\n"
                  "www.target-z.example,blue widgets,,,,,lost\r\n");
        Result r = Run(GoogleRun() +
                           QStringList{"-q", "--html", "r.html", "--pdf", "r.pdf", "--period", "7"},
                       dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        const QByteArray html = ReadFile(dir.file("r.html"));
        QVERIFY(html.contains(" / Page 1"));
        QVERIFY(html.contains("not found"));
        QVERIFY(html.contains("www.target-z.example"));
        QVERIFY(ReadFile(dir.file("r.pdf")).startsWith("%PDF-"));

        r = Run({"--no-rank", "--tag", "lost", "--html", "r.html"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        const QByteArray tagged = ReadFile(dir.file("r.html"));
        QVERIFY(tagged.contains("www.target-z.example"));
        QVERIFY(!tagged.contains("www.target-a.example"));

        QVERIFY(QDir(dir.path()).mkdir("folder.html"));
        r = Run({"--no-rank", "--html", "folder.html"}, dir.path());
        QCOMPARE(r.code, 4);
        QVERIFY2(r.err.contains("folder.html"), r.err.constData());
        r = Run({"--period", "0", "--no-rank", "--html", "x.html"}, dir.path());
        QCOMPARE(r.code, 2);
        r = Run({"--period", "5", "--no-rank", "--json", "-"}, dir.path());
        QCOMPARE(r.code, 2);
    }

    void historyCsv_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("history"); // "": none, "runs": two runs, "damaged"
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("csv"); // of a.csv; "*": as the history's export
        QTest::newRow("to a file")
            << QStringList{"--history-csv", "a.csv"} << "runs" << 0 << QByteArray("*");
        QTest::newRow("nothing recorded yet")
            << QStringList{"--history-csv", "a.csv"} << "" << 0
            << QByteArray("time,url,keywords,slot,engine,source,text,rank,page,error\r\n");
        QTest::newRow("neither list nor history")
            << QStringList{"-d", "none.dat", "--history-csv", "a.csv"} << "" << 3 << QByteArray();
        QTest::newRow("damaged history")
            << QStringList{"--history-csv", "a.csv"} << "damaged" << 6 << QByteArray();
        QTest::newRow("folder missing")
            << QStringList{"--history-csv", "no/such/a.csv"} << "runs" << 4 << QByteArray();
        QTest::newRow("with --json")
            << QStringList{"--history-csv", "a.csv", "--json", "-"} << "runs" << 2 << QByteArray();
    }
    void historyCsv() {
        QFETCH(QStringList, args);
        QFETCH(QString, history);
        QFETCH(int, status);
        QFETCH(QByteArray, csv);
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), kList);
        const QString historyFile = dir.file("tallowick.history.sqlite");
        QByteArray expected = csv;
        if (history == "runs") {
            for (int run = 0; run < 2; ++run)
                QCOMPARE(Run(GoogleRun() + QStringList{"-q"}, dir.path()).code, 0);
            const Result all = Run({"--history-csv", "-"}, dir.path());
            QCOMPARE(all.code, 0);
            QCOMPARE(all.out.count('\n'), 5);
            if (csv == "*")
                expected = all.out;
        } else if (history == "damaged") {
            WriteFile(historyFile, QByteArray(5000, 'x'));
        }
        const QByteArray listBefore = ReadFile(dir.file("tallowick.dat"));
        const QByteArray historyBefore = ReadFile(historyFile);
        m_server->ClearRequests();

        const Result r = Run(args, dir.path());
        QCOMPARE(r.code, status);
        QVERIFY(m_server->Requests().empty());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), listBefore);
        if (history == "damaged")
            QCOMPARE(ReadFile(historyFile), historyBefore);
        QCOMPARE(ReadFile(dir.file("a.csv")), expected);
        if (status != 0) {
            QCOMPARE(r.err.count('\n'), 1);
            QVERIFY(r.err.startsWith("tallowick-rank: "));
        }
    }

    // A history that cannot be written: the run goes on, the data file and the JSON get the
    // results, one line says why, the status is 6, and the history file is left as it was.
    void unwritableHistory_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("damaged") << "damaged"
                                 << "damaged";
        QTest::newRow("locked") << "locked"
                                << "it is in use by another program (locked)";
        QTest::newRow("link to another list's history") << "linked"
                                                        << "it is a symbolic link";
        QTest::newRow("link to nowhere") << "dangling"
                                         << "it is a symbolic link";
        QTest::newRow("another database") << "foreign"
                                          << "it is an SQLite database, but not a "
                                             "Tallowick history";
    }
    void unwritableHistory() {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), kList);
        const QString path = dir.file("tallowick.history.sqlite");
        tw::HistoryStore holder;
        QString error;
        if (kind == "damaged") {
            WriteFile(path, QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\x7f'));
        } else if (kind == "linked" || kind == "dangling") {
            const QString other = dir.file("other.history.sqlite");
            if (kind == "linked") {
                tw::HistoryStore theirs;
                QVERIFY(theirs.open(other, tw::HistoryStore::Mode::ReadWrite, &error));
            }
            QVERIFY(QFile::link(other, path));
        } else if (kind == "locked") {
            QVERIFY(holder.open(path, tw::HistoryStore::Mode::ReadWrite, &error));
            QVERIFY(holder.beginRun(QDateTime::currentDateTime(), &error));
        } else {
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"))
                .setDatabaseName(path);
            {
                QSqlDatabase db = QSqlDatabase::database(QStringLiteral("foreign"));
                QVERIFY(db.isOpen());
                QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE t (x)")));
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
        }
        const QByteArray before = ReadFile(path);

        const Result r = Run(GoogleRun() + QStringList{"-q", "--json", "out.json"}, dir.path());
        QCOMPARE(r.code, 6);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.contains(says.toUtf8()) &&
                     r.err.contains("This run was not recorded in it."),
                 r.err.constData());
        QVERIFY(ReadFile(dir.file("tallowick.dat"))
                    .startsWith("www.target-a.example\r\nblue widgets\r\nRank "));
        const json doc = json::parse(ReadFile(dir.file("out.json")).toStdString());
        QCOMPARE(doc["entries"].size(), size_t(2));
        if (kind == "locked") {
            holder.rollbackRun();
            holder.close();
            QCOMPARE(History(dir.file("tallowick.dat"), "www.target-a.example").runs.size(),
                     std::size_t(0));
        } else {
            QCOMPARE(ReadFile(path), before);
        }
    }

    // The list is saved first and the run recorded in its history only once it is: a list that
    // cannot be saved (here: a file size limit the history's few pages stay under) leaves the
    // history as it was, so the two agree.
    void unsavedListLeavesHistoryUnrecorded() {
        tw::test::ScopedWorkDir dir;
        QByteArray list = kList.left(kList.indexOf("www.target-z"));
        for (int i = 0; i < 4000; ++i)
            list += "www.filler" + QByteArray::number(i) +
                    ".example\r\nblue widgets\r\n-\r\n-\r\n-\r\n-\r\n";
        WriteFile(dir.file("tallowick.dat"), list);
        const QStringList args = GoogleRun() + QStringList{"--rows", "1", "-q"};
        Result r = Run(args, dir.path());
        QCOMPARE(r.code, 0);
        const QByteArray saved = ReadFile(dir.file("tallowick.dat"));
        QVERIFY(saved.size() > 150000);
        QCOMPARE(History(dir.file("tallowick.dat"), "www.target-a.example").runs.size(),
                 std::size_t(1));

        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setChildProcessModifier([] {
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 100000;
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        p.start(kProgram, args);
        QVERIFY(p.waitForFinished(60000));
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 3);
        QVERIFY2(err.contains("could not be saved") &&
                     err.contains("The rank history was not written either"),
                 err.constData());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), saved);
        QCOMPARE(History(dir.file("tallowick.dat"), "www.target-a.example").runs.size(),
                 std::size_t(1));
    }
    // What changed after each run: the summary's lines, "change" per slot and "changes" in the
    // JSON, and the last-run file beside the list, also for a run turned away because another
    // one holds the list (status 3).
    void changesAndLastRun() {
        tw::test::ScopedWorkDir dir;
        // Ranked 8th, then 2nd; on page 2 (found only once the run looks there); never found.
        m_model.AddPlant(Google, 8, "www.mover.example", "red widgets");
        m_model.AddPlant(Google, 14, "www.late.example", "red widgets");
        WriteFile(dir.file("tallowick.dat"),
                  "www.mover.example\r\nred widgets\r\n-\r\n-\r\n-\r\n-\r\n"
                  "www.late.example\r\nred widgets\r\n-\r\n-\r\n-\r\n-\r\n"
                  "www.never.example\r\nred widgets\r\n-\r\n-\r\n-\r\n-\r\n");
        const auto lastRun = [&] {
            return json::parse(ReadFile(dir.file("tallowick.lastrun.json")).toStdString());
        };
        Result r = Run(GoogleRun() + QStringList{"--json", "-"}, dir.path());
        QCOMPARE(r.code, 0);
        json doc = json::parse(r.out.toStdString());
        const json firstCounts = {{"up", 0},      {"down", 0},    {"same", 0}, {"new", 3},
                                  {"dropped", 0}, {"entered", 0}, {"error", 0}};
        QCOMPARE(doc["changes"], json({{"google", firstCounts}}));
        QVERIFY(doc["entries"][0]["results"]["google"]["change"].is_null());
        json last = lastRun();
        QCOMPARE(last["status"].get<int>(), 0);
        QCOMPARE(last["changes"], doc["changes"]);
        QVERIFY(kIsoTime.match(QString::fromStdString(last["time"].get<std::string>())).hasMatch());
        QVERIFY(last["finished"].get<std::string>() >= last["time"].get<std::string>());
        QVERIFY2(QString::fromStdString(last["message"].get<std::string>())
                     .startsWith("Ranked 3 entries"),
                 last.dump().c_str());

        m_model.AddPlant(Google, 2, "www.mover.example", "red widgets");
        QStringList deeper = GoogleRun();
        deeper[deeper.indexOf("--depth") + 1] = "2";
        r = Run(deeper + QStringList{"--json", "-"}, dir.path());
        QCOMPARE(r.code, 0);
        doc = json::parse(r.out.toStdString());
        const char* const words[] = {"up 6", "new", "same"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(doc["entries"][i]["results"]["google"]["change"].get<std::string>(),
                     std::string(words[i]));
            QVERIFY(doc["entries"][i]["results"]["altavista"]["change"].is_null());
        }
        const json counts = {{"up", 1},      {"down", 0},    {"same", 1}, {"new", 0},
                             {"dropped", 0}, {"entered", 1}, {"error", 0}};
        QCOMPARE(doc["changes"], json({{"google", counts}}));
        QVERIFY2(
            r.err.contains("\nGoogle: 1 up, 0 down, 1 same, 0 new, 0 dropped out, 1 came in, "
                           "0 error\n  up 6: www.mover.example \"red widgets\": Rank 8 / Page 1 "
                           "-> Rank 2 / Page 1\n"),
            r.err.constData());
        QCOMPARE(lastRun()["changes"], doc["changes"]);

        const QByteArray list = ReadFile(dir.file("tallowick.dat"));
        datafile::CDataFileSession other(dir.file("tallowick.dat"));
        QCOMPARE(other.Lock(), datafile::CDataFileSession::LockResult::Locked);
        m_server->ClearRequests();
        r = Run(GoogleRun() + QStringList{"-q"}, dir.path());
        QCOMPARE(r.code, 3);
        QVERIFY(m_server->Requests().empty());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), list);
        last = lastRun();
        QCOMPARE(last["status"].get<int>(), 3);
        QVERIFY2(QString::fromStdString(last["message"].get<std::string>()).contains("is in use"),
                 last.dump().c_str());
        QCOMPARE(last["changes"], json::object());
        other.Unlock();

        // A last-run file that cannot be replaced fails a run that saves, not one that only reads.
        QVERIFY(QFile::remove(dir.file("tallowick.lastrun.json")));
        QVERIFY(QDir(dir.path()).mkdir("tallowick.lastrun.json"));
        r = Run(GoogleRun() + QStringList{"-q"}, dir.path());
        QCOMPARE(r.code, 4);
        QVERIFY2(r.err.contains("tallowick.lastrun.json\" could not be written"),
                 r.err.constData());
        QCOMPARE(Run(GoogleRun() + QStringList{"-q", "--no-save"}, dir.path()).code, 0);
    }
};

TW_TEST_MAIN_CORE(TestRankCliHistory)
#include "test_rankcli_history.moc"
