// tallowick-rank as a user runs it: a process against the engine simulator.
#include "base/Maker.h"
#include "base/RankTypes.h"
#include "data/DataFileSession.h"
#include "settings/RegistrySettings.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/RankCli.h"
#include "support/TestEnv.h"

#include <nlohmann/json.hpp>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;
using namespace sim;

Q_DECLARE_METATYPE(SearchEngine)

namespace {
const char* const kKeys[kEngineCount] = {"google", "altavista", "lycos", "looksmart"};
const QString& kProgram = tw::test::kRankProgram;

struct Entry {
    QByteArray url, keywords;
    QByteArray results[kEngineCount] = {"-", "-", "-", "-"};
};

QByteArray DataBytes(const QList<Entry>& entries) {
    QByteArray out;
    for (const Entry& e : entries) {
        out += e.url + "\r\n" + e.keywords + "\r\n";
        for (const QByteArray& r : e.results)
            out += r + "\r\n";
    }
    return out;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The lines of an entry in a data file: URL, keywords, four results.
QList<QByteArray> EntryLines(const QByteArray& data, int entry) {
    QList<QByteArray> lines = data.split('\n').mid(entry * 6, 6);
    for (QByteArray& line : lines)
        line.replace("\r", "");
    return lines;
}

using Result = tw::test::CliResult;

QStringList HostArgs(const CSimServer& server) {
    QStringList args;
    for (const char* key : kKeys)
        args << "--host" << QString("%1=%2").arg(key, QString::fromStdString(server.HostPort()));
    return args;
}
} // namespace

class TestRankCli : public QObject {
    Q_OBJECT

    CResultModel m_model{3, 200};
    std::unique_ptr<CEngineSim> m_engines;
    std::unique_ptr<CSimServer> m_server;

    Result Run(const QStringList& args, const QString& dir, int timeoutMs = 60000) {
        return tw::test::RunRankCli(args, dir, timeoutMs);
    }

    // The sites a scan counts before the planted target, as the simulator serves them.
    std::vector<std::string> SitesAbove(SearchEngine engine, const std::string& keywords,
                                        int plantedRank) {
        std::vector<std::string> sites;
        for (int n = 1; n < plantedRank; ++n) {
            if (engine == LookSmart && (n - 1) % kPerPage[LookSmart] == 0)
                sites.push_back("http://search.looksmart.com/");
            sites.push_back(m_model.ResultUrl(engine, keywords, n));
        }
        if (engine == LookSmart && (plantedRank - 1) % kPerPage[LookSmart] == 0)
            sites.push_back("http://search.looksmart.com/");
        return sites;
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(kProgram), qPrintable(kProgram));
        std::string error;
        QVERIFY(m_model.ParsePlants("google 3 www.target-a.example blue widgets\n"
                                    "altavista 12 www.target-a.example blue widgets\n"
                                    "lycos 7 www.target-a.example blue widgets\n"
                                    "looksmart 20 www.target-a.example blue widgets\n"
                                    "google 15 www.target-b.example red gadgets\n"
                                    "* 1 www.target-c.example green things\n",
                                    error));
        m_engines = std::make_unique<CEngineSim>(m_model);
        m_server = std::make_unique<CSimServer>(*m_engines, ServerOptions{});
        QVERIFY2(m_server->Start(error), error.c_str());
    }
    void cleanupTestCase() { m_server->Stop(); }

    // Each engine alone: the rank, page and sites above the simulator planted, and nothing asked
    // of the engines that are off.
    void ranksWhatTheSimulatorPlanted_data() {
        QTest::addColumn<SearchEngine>("engine");
        QTest::addColumn<int>("planted");
        QTest::addColumn<int>("rank");
        QTest::addColumn<int>("page");
        QTest::newRow("google") << Google << 3 << 3 << 1;
        QTest::newRow("altavista") << AltaVista << 12 << 12 << 2;
        QTest::newRow("lycos") << Lycos << 7 << 7 << 1;
        // Every LookSmart page starts with a navigation link that the scan counts.
        QTest::newRow("looksmart") << LookSmart << 20 << 22 << 2;
    }
    void ranksWhatTheSimulatorPlanted() {
        QFETCH(SearchEngine, engine);
        QFETCH(int, planted);
        QFETCH(int, rank);
        QFETCH(int, page);
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), DataBytes({{"www.target-a.example", "blue widgets"},
                                                        {"www.target-z.example", "blue widgets"}}));
        m_server->ClearRequests();
        const Result r =
            Run(QStringList{"--depth", "3", "--engines", kKeys[engine], "--json", "-"} +
                    HostArgs(*m_server),
                dir.path());
        QCOMPARE(r.code, 0);

        const json doc = json::parse(r.out.toStdString());
        QCOMPARE(doc["entries"].size(), size_t(2));
        const json& a = doc["entries"][0];
        QCOMPARE(a["row"].get<int>(), 1);
        QCOMPARE(a["url"].get<std::string>(), std::string("www.target-a.example"));
        for (int e = 0; e < kEngineCount; ++e) {
            const json& res = a["results"][kKeys[e]];
            QCOMPARE(res["errors"].size(), size_t(0));
            if (e == engine) {
                const std::string text =
                    "Rank " + std::to_string(rank) + " / Page " + std::to_string(page);
                QCOMPARE(res["text"].get<std::string>(), text);
                QCOMPARE(res["rank"].get<int>(), rank);
                QCOMPARE(res["page"].get<int>(), page);
                QCOMPARE(res["sites_above"].get<std::vector<std::string>>(),
                         SitesAbove(engine, "blue widgets", planted));
            } else {
                // Engines not asked for keep what their columns held.
                QCOMPARE(res["text"].get<std::string>(), std::string("-"));
                QCOMPARE(res["rank"].get<int>(), 0);
                QCOMPARE(res["sites_above"].size(), size_t(0));
            }
        }
        // The unplanted target: every page of the depth read, not found.
        const json& z = doc["entries"][1]["results"][kKeys[engine]];
        QCOMPARE(z["text"].get<std::string>(), std::string("not found"));
        QCOMPARE(z["page"].get<int>(), 0);
        QCOMPARE(z["sites_above"].size(), size_t(0));

        const std::vector<std::string> asked = m_server->Requests();
        QCOMPARE(int(asked.size()), page + 3);
        for (const std::string& target : asked)
            QCOMPARE(CEngineSim::EngineOfPath(target.substr(0, target.find('?'))), int(engine));

        const QByteArray data = ReadFile(dir.file("tallowick.dat"));
        QCOMPARE(EntryLines(data, 0).at(2 + engine), QByteArray("Rank ") +
                                                         QByteArray::number(rank) + " / Page " +
                                                         QByteArray::number(page));
        QCOMPARE(EntryLines(data, 1).at(2 + engine), QByteArray("not found"));
        QVERIFY2(r.err.contains("[2/2] row "), r.err.constData());
        QVERIFY2(r.err.contains("] row 2 www.target-z.example: "), r.err.constData());
        QVERIFY(r.err.contains(QByteArray::number(page + 3) + " pages fetched, 0 failed"));
    }

    // --rows ranks only those rows and leaves the others as they were; --no-save leaves the
    // whole file; the report on standard output is the window's report.
    void rowsNoSaveAndReport() {
        tw::test::ScopedWorkDir dir;
        Entry old{"www.target-c.example", "green things"};
        for (QByteArray& r : old.results)
            r = "Rank 99 / Page 10";
        const QByteArray before = DataBytes({old, {"www.target-b.example", "red gadgets"}, old});
        WriteFile(dir.file("list.dat"), before);

        Result r = Run(
            QStringList{"-d", "list.dat", "--rows", "2", "--depth", "2", "--report", "-", "-q"} +
                HostArgs(*m_server),
            dir.path());
        QCOMPARE(r.code, 0);
        QVERIFY(r.err.isEmpty());
        const QByteArray after = ReadFile(dir.file("list.dat"));
        QCOMPARE(EntryLines(after, 0), EntryLines(before, 0));
        QCOMPARE(EntryLines(after, 2), EntryLines(before, 2));
        QCOMPARE(EntryLines(after, 1),
                 (QList<QByteArray>{"www.target-b.example", "red gadgets", "Rank 15 / Page 2",
                                    "not found", "not found", "not found"}));
        QVERIFY(r.out.startsWith("Tallowick! Results by Tallowick Software "
                                 "http://www.tallowick.example/\r\nResults Produced on "));
        QVERIFY(r.out.contains("\r\n\r\n\r\n1. www.target-c.example\r\nTarget Keywords: green "
                               "things\r\nGoogle           Rank 99 / Page 10\r\n"));
        QVERIFY(r.out.contains("2. www.target-b.example\r\nTarget Keywords: red gadgets\r\n"
                               "Google           Rank 15 / Page 2\r\n"
                               "Altavista        not found\r\nLycos            not found\r\n"
                               "Looksmart        not found\r\n\r\n" +
                               QByteArray(34, '-') + "\r\n\r\n3. "));

        r = Run(QStringList{"-d", "list.dat", "--rows", "1,3", "--depth", "1", "--no-save",
                            "--json", "out.json"} +
                    HostArgs(*m_server),
                dir.path());
        QCOMPARE(r.code, 0);
        QCOMPARE(ReadFile(dir.file("list.dat")), after);
        const json doc = json::parse(ReadFile(dir.file("out.json")).toStdString());
        QCOMPARE(doc["entries"].size(), size_t(2));
        QCOMPARE(doc["entries"][1]["row"].get<int>(), 3);
        QCOMPARE(doc["entries"][1]["results"]["lycos"]["text"].get<std::string>(),
                 std::string("Rank 1 / Page 1"));
    }

    // --tag ranks only the entries with one of the tags; the JSON tells what each was ranked
    // with, the entry's own options over --device and --location; the options file stays.
    void tagsAndEntryOptions() {
        tw::test::ScopedWorkDir dir;
        const QByteArray before = DataBytes({{"www.target-c.example", "green things"},
                                             {"www.target-b.example", "red gadgets"},
                                             {"www.target-a.example", "blue widgets"}});
        WriteFile(dir.file("list.dat"), before);
        const QByteArray options =
            "url,keywords,country,language,device,location,tags\r\n"
            "www.target-c.example,green things,gb,,mobile,,\"Acme, shoes\"\r\n"
            "www.target-a.example,blue widgets,,de,,,acme\r\n";
        WriteFile(dir.file("list.entries.csv"), options);
        const Result r = Run(QStringList{"-d", "list.dat", "--tag", "acme", "--depth", "1",
                                         "--engines", "google", "--device", "desktop", "--location",
                                         "Austin,Texas,United States", "--json", "-", "-q"} +
                                 HostArgs(*m_server),
                             dir.path());
        QCOMPARE(r.code, 0);
        const json doc = json::parse(r.out.toStdString());
        QCOMPARE(doc["entries"].size(), size_t(2));
        const json& c = doc["entries"][0];
        QCOMPARE(c["row"].get<int>(), 1);
        QCOMPARE(c["country"].get<std::string>(), std::string("gb"));
        QCOMPARE(c["device"].get<std::string>(), std::string("mobile"));
        QCOMPARE(c["location"].get<std::string>(), std::string("Austin,Texas,United States"));
        QCOMPARE(c["tags"], json::array({"Acme", "shoes"}));
        const json& a = doc["entries"][1];
        QCOMPARE(a["row"].get<int>(), 3);
        QCOMPARE(a["language"].get<std::string>(), std::string("de"));
        QCOMPARE(a["device"].get<std::string>(), std::string("desktop"));
        QCOMPARE(a["results"]["google"]["text"].get<std::string>(), std::string("Rank 3 / Page 1"));
        QCOMPARE(EntryLines(ReadFile(dir.file("list.dat")), 1), EntryLines(before, 1));
        QCOMPARE(ReadFile(dir.file("list.entries.csv")), options);

        const Result bad = Run({"-d", "list.dat", "--device", "tablet"}, dir.path());
        QCOMPARE(bad.code, 2);
        QVERIFY2(bad.err.contains("tablet"), bad.err.constData());
    }

    // Bytes that are not UTF-8 in the data file come out replaced, in a document that parses;
    // a page that failed on every try is listed with its engine, whose result reads "error".
    void jsonOfUnusualTextsAndFailures() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), DataBytes({{"www.caf\xe9.example", "caf\xe9 \"x\""}}));
        const Result r =
            Run({"--depth", "2", "--engines", "google,lycos", "--host", "google=127.0.0.1:1",
                 "--host", "lycos=" + QString::fromStdString(m_server->HostPort()), "--json", "-"},
                dir.path());
        QCOMPARE(r.code, 0);
        const json doc = json::parse(r.out.toStdString());
        const json& entry = doc["entries"][0];
        QCOMPARE(entry["url"].get<std::string>(), std::string("www.caf\xef\xbf\xbd.example"));
        QCOMPARE(entry["keywords"].get<std::string>(), std::string("caf\xef\xbf\xbd \"x\""));
        QCOMPARE(entry["results"]["google"]["errors"].size(), size_t(1));
        QVERIFY(!entry["results"]["google"]["errors"][0].get<std::string>().empty());
        QCOMPARE(entry["results"]["google"]["text"].get<std::string>(), std::string("error"));
        QCOMPARE(entry["results"]["lycos"]["errors"].size(), size_t(0));
        QVERIFY(r.err.contains("3 pages fetched, 1 failed"));
        QVERIFY(r.err.contains("Google error (No complete answer: "));
        QVERIFY(r.err.contains("1 result reads \"error\""));
    }

    // On the terminal, the list's and the pages' texts cannot move the cursor, clear the
    // screen or turn the line round: their controls read as escapes. The documents keep the
    // bytes.
    void terminalShowsControlsAsEscapes() {
        tw::test::ScopedWorkDir dir;
        const QByteArray url = "www.a\x1b[2J\xe2\x80\xae"
                               "moc.example\x07";
        WriteFile(dir.file("tallowick.dat"), DataBytes({{url, "blue widgets"}}));
        const Result r = Run(
            {"--depth", "1", "--engines", "google", "--host", "google=127.0.0.1:1", "--json", "-"},
            dir.path());
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains("www.a\\x1B[2J\\u202Emoc.example\\x07"), r.err.constData());
        for (const QByteArray& hidden :
             {QByteArray("\x1b"), QByteArray("\x07"), QByteArray("\xe2\x80\xae")})
            QVERIFY(!r.err.contains(hidden));
        const json doc = json::parse(r.out.toStdString());
        QCOMPARE(doc["entries"][0]["url"].get<std::string>(), url.toStdString());
    }

    void exitStatus_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("fetches");
        QTest::newRow("help") << QStringList{"--help"} << 0 << false;
        QTest::newRow("version") << QStringList{"--version"} << 0 << false;
        QTest::newRow("ranked") << QStringList{"--depth", "1"} << 0 << true;
        QTest::newRow("unknown option") << QStringList{"--deep", "1"} << 2 << false;
        QTest::newRow("no value") << QStringList{"--depth"} << 2 << false;
        QTest::newRow("depth not a number") << QStringList{"--depth", "5x"} << 2 << false;
        QTest::newRow("depth zero") << QStringList{"--depth", "0"} << 2 << false;
        QTest::newRow("depth above 100") << QStringList{"--depth", "101"} << 2 << false;
        QTest::newRow("threads negative") << QStringList{"--threads", "-1"} << 2 << false;
        QTest::newRow("unknown engine") << QStringList{"--engines", "google,bing"} << 2 << false;
        QTest::newRow("host without engine") << QStringList{"--host", "127.0.0.1:80"} << 2 << false;
        QTest::newRow("host of unknown engine") << QStringList{"--host", "bing=h"} << 2 << false;
        QTest::newRow("host with blank") << QStringList{"--host", "google=a b"} << 2 << false;
        QTest::newRow("host with bad port")
            << QStringList{"--host", "google=h:99999"} << 2 << false;
        QTest::newRow("row zero") << QStringList{"--rows", "0"} << 2 << false;
        QTest::newRow("row beyond the list") << QStringList{"--rows", "1,3"} << 2 << false;
        QTest::newRow("stray argument") << QStringList{"extra"} << 2 << false;
        QTest::newRow("both to stdout")
            << QStringList{"--report", "-", "--json", "-"} << 2 << false;
        QTest::newRow("missing data file") << QStringList{"-d", "none.dat"} << 3 << false;
        QTest::newRow("data file is a folder") << QStringList{"-d", "."} << 3 << false;
        // Readable, but nothing can be created beside it.
        QTest::newRow("data file not writable")
            << QStringList{"-d", "/proc/version", "--depth", "1"} << 3 << false;
        QTest::newRow("report folder missing")
            << QStringList{"--report", "no/such/r.txt"} << 4 << false;
        QTest::newRow("json is a folder") << QStringList{"--json", "."} << 4 << false;
    }
    void exitStatus() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(bool, fetches);
        tw::test::ScopedWorkDir dir;
        const QByteArray data = DataBytes(
            {{"www.target-b.example", "red gadgets"}, {"www.target-c.example", "green things"}});
        WriteFile(dir.file("tallowick.dat"), data);
        m_server->ClearRequests();
        const Result r = Run(args + HostArgs(*m_server), dir.path());
        QCOMPARE(r.code, status);
        if (status == 2 || status == 3) {
            // One line naming the problem, nothing fetched, nothing written.
            QCOMPARE(r.err.count('\n'), 1);
            QVERIFY(r.err.startsWith("tallowick-rank: "));
        }
        if (status == 0 && !fetches)
            QVERIFY(r.out.contains("tallowick-rank"));
        if (!fetches && args.constFirst() != "-d")
            QVERIFY(m_server->Requests().empty());
        if (status != 0)
            QCOMPARE(ReadFile(dir.file("tallowick.dat")), data);
        if (status == 4)
            QVERIFY(r.err.contains("could not be written"));
    }

    // On a terminal the progress line counts the entries done of all, with the time left.
    void progressLineCountsEntriesWithTimeLeft() {
        ServerOptions slow;
        slow.latencyMs = 150;
        CSimServer server(*m_engines, slow);
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        tw::test::ScopedWorkDir dir;
        QList<Entry> entries;
        for (int i = 0; i < 6; ++i)
            entries.append({"www.target-c.example", "green things " + QByteArray::number(i)});
        WriteFile(dir.file("tallowick.dat"), DataBytes(entries));

        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        QVERIFY(::fcntl(master, F_SETFL, O_NONBLOCK) == 0);
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setStandardErrorFile(QString::fromLocal8Bit(::ptsname(master)));
        p.start(kProgram, QStringList{"--depth", "1", "--threads", "1", "--engines", "google"} +
                              HostArgs(server));
        QByteArray seen;
        const auto drain = [&] {
            char buffer[4096];
            ssize_t n = 0;
            while ((n = ::read(master, buffer, sizeof buffer)) > 0)
                seen.append(buffer, n);
        };
        QDeadlineTimer deadline(60000);
        while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            p.waitForFinished(20);
            drain();
        }
        drain();
        ::close(master);
        server.Stop();
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(seen.contains("0 of 6"), seen.constData());
        static const QRegularExpression withTimeLeft(
            QStringLiteral("[1-5] of 6, about \\d+ s left"));
        QVERIFY2(withTimeLeft.match(QString::fromLatin1(seen)).hasMatch(), seen.constData());
    }

    // One depth range, in the help and in the message.
    void depthRangeIsOneText() {
        tw::test::ScopedWorkDir dir;
        const Result help = Run({"--help"}, dir.path());
        QVERIFY2(help.out.contains("Result pages per engine, 1 to 100 "), help.out.constData());
        for (const char* depth : {"0", "101", "1000"}) {
            const Result r = Run({"--depth", depth}, dir.path());
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains("give a number from 1 to 100."), r.err.constData());
        }
    }

    // A settings file that is too large or no regular file (a pipe nobody writes, a link to an
    // endless device) stops the command at once with a message naming it; the file stays.
    void refusedSettingsFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("over 1 MiB") << "big" << QByteArray("larger than 1 MiB");
        QTest::newRow("pipe") << "fifo" << QByteArray("not a regular file");
        QTest::newRow("link to /dev/zero") << "zero" << QByteArray("not a regular file");
    }
    void refusedSettingsFile() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, reason);
        tw::test::ScopedWorkDir dir;
        const QByteArray data = DataBytes({{"www.target-c.example", "green things"}});
        WriteFile(dir.file("tallowick.dat"), data);
        // Where the command reads it: the isolated $XDG_CONFIG_HOME, not test mode's.
        QStandardPaths::setTestModeEnabled(false);
        const QString path = QString::fromStdString(CRegistrySettings::Location(maker::kProduct));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile::remove(path);
        const QByteArray big(qsizetype(CRegistrySettings::kMaxFileSize) + 1, '#');
        if (kind == "big")
            WriteFile(path, big);
        else if (kind == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        m_server->ClearRequests();
        const Result r = Run(QStringList{"--depth", "1"} + HostArgs(*m_server), dir.path());
        const QFileInfo info(path);
        const bool kept =
            kind == "big" ? ReadFile(path) == big : !info.isFile() || info.isSymLink();
        QFile::remove(path);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(reason), r.err.constData());
        QVERIFY2(r.err.contains(QFile::encodeName(path)), r.err.constData());
        QVERIFY(m_server->Requests().empty());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), data);
        QVERIFY(kept);
    }

    // A saved engine host that is not a host would send every query to a wrong page, and one too
    // long to be read would quietly go to the real engine: the run stops before asking anything.
    void badSavedHostsStopTheRun_data() {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<QString>("says");
        QTest::newRow("fragment") << QByteArray("127.0.0.1:1#frag") << "is not a host name";
        QTest::newRow("path") << QByteArray("h.example/x?y=1") << "is not a host name";
        QTest::newRow("user") << QByteArray("me@h.example") << "is not a host name";
        QTest::newRow("blank") << QByteArray("h example") << "is not a host name";
        QTest::newRow("1000 bytes") << QByteArray(1000, 'h') << "1000 bytes long";
    }
    void badSavedHostsStopTheRun() {
        QFETCH(QByteArray, host);
        QFETCH(QString, says);
        tw::test::ScopedWorkDir dir;
        const QByteArray data = DataBytes({{"www.target-b.example", "red gadgets"}});
        WriteFile(dir.file("tallowick.dat"), data);
        // Written where the command reads it: the isolated $XDG_CONFIG_HOME, not test mode's.
        const auto store = [](const std::string& value) {
            QStandardPaths::setTestModeEnabled(false);
            const bool ok =
                CRegistrySettings().WriteString(maker::kProduct, "AltavistaHost", value);
            QStandardPaths::setTestModeEnabled(true);
            return ok;
        };
        QVERIFY(store(host.toStdString()));
        m_server->ClearRequests();
        // Google's host comes from the command line; AltaVista's from the bad setting.
        const Result r = Run({"--engines", "google,altavista", "--host",
                              "google=" + QString::fromStdString(m_server->HostPort())},
                             dir.path());
        store("-");
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("AltavistaHost") && r.err.contains(says.toUtf8()),
                 r.err.constData());
        QVERIFY(m_server->Requests().empty());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), data);
    }

    // Ctrl-C: the pages being read finish, no new entry starts, what was ranked is saved and the
    // entries never reached keep their old results.
    void interruptSavesWhatWasRanked() {
        tw::test::ScopedWorkDir dir;
        CResultModel model(3, 200);
        CEngineSim engines(model);
        ServerOptions slow;
        slow.latencyMs = 100;
        CSimServer server(engines, slow);
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());

        QList<Entry> entries;
        for (int i = 0; i < 6; ++i) {
            Entry e{"www.slow-" + QByteArray::number(i) + ".example", "slow keywords"};
            for (QByteArray& r : e.results)
                r = "Rank 5 / Page 1";
            entries << e;
        }
        WriteFile(dir.file("tallowick.dat"), DataBytes(entries));

        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(kProgram, QStringList{"--depth", "5", "--threads", "2"} + HostArgs(server));
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(server.Requests().size() >= 3, 20000);
        const size_t askedBefore = server.Requests().size();
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        server.Stop();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 130);
        QVERIFY(p.readAllStandardError().contains("Cancelled: ranked 2 of 6 entries"));

        const QByteArray data = ReadFile(dir.file("tallowick.dat"));
        QCOMPARE(data.count('\n'), 36);
        for (int i = 0; i < 6; ++i) {
            const QList<QByteArray> lines = EntryLines(data, i);
            QCOMPARE(lines.at(0), entries[i].url);
            QCOMPARE(lines.at(1), entries[i].keywords);
            for (int e = 0; e < kEngineCount; ++e) {
                // A scan cut short comes to no answer: every row keeps what it had.
                QCOMPARE(lines.at(2 + e), QByteArray("Rank 5 / Page 1"));
            }
        }
        // Only the pages being read (or waiting for the host) when Ctrl-C came were finished.
        QVERIFY(server.Requests().size() <= askedBefore + 2);
        QVERIFY(QDir(dir.path()).entryList({"tempgoogle*"}).isEmpty());
    }

    // --import adds the file's new entries and saves, ranking nothing; --csv writes the table of
    // the list, with --no-rank as it is. A refused command line or file leaves the list alone.
    void importAndCsv_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("locked"); // another program holds the data file
        QTest::addColumn<int>("status");
        QTest::addColumn<QList<QByteArray>>("added"); // "url|keywords" of the new entries
        QTest::addColumn<QByteArray>("out");          // standard output begins so
        using L = QList<QByteArray>;
        const QByteArray header = "row,url,keywords,Google text,";
        QTest::newRow("csv") << QStringList{"--import", "new.csv"} << false << 0 << L{"new.com|k2"}
                             << QByteArray("1 entry added, 1 already in the list, 1 line "
                                           "skipped\nskipped lines: 3\n");
        QTest::newRow("plain text with a target")
            << QStringList{"--import", "phrases.txt", "--import-target", "t.com"} << false << 0
            << L{"t.com|one", "t.com|two"}
            << QByteArray("2 entries added, 0 already in the list, 0 lines skipped\n");
        QTest::newRow("quiet") << QStringList{"-q", "--import", "new.csv"} << false << 0
                               << L{"new.com|k2"} << QByteArray();
        QTest::newRow("import, then the table on stdout")
            << QStringList{"--import", "new.csv", "--csv", "-"} << false << 0 << L{"new.com|k2"}
            << header;
        QTest::newRow("table of the list as it is")
            << QStringList{"--no-rank", "--csv", "-"} << false << 0 << L{} << header;
        QTest::newRow("plain text without a target")
            << QStringList{"--import", "phrases.txt"} << false << 2 << L{} << QByteArray();
        QTest::newRow("target without import")
            << QStringList{"--import-target", "t.com"} << false << 2 << L{} << QByteArray();
        QTest::newRow("target with a blank")
            << QStringList{"--import", "phrases.txt", "--import-target", "t .com"} << false << 2
            << L{} << QByteArray();
        QTest::newRow("import with a ranking option")
            << QStringList{"--import", "new.csv", "--depth", "1"} << false << 2 << L{}
            << QByteArray();
        QTest::newRow("no-rank without an output")
            << QStringList{"--no-rank"} << false << 2 << L{} << QByteArray();
        QTest::newRow("two documents on stdout")
            << QStringList{"--no-rank", "--csv", "-", "--json", "-"} << false << 2 << L{}
            << QByteArray();
        QTest::newRow("import file missing")
            << QStringList{"--import", "none.csv"} << false << 3 << L{} << QByteArray();
        QTest::newRow("import file is a folder")
            << QStringList{"--import", "."} << false << 3 << L{} << QByteArray();
        QTest::newRow("data file in use")
            << QStringList{"--import", "new.csv"} << true << 3 << L{} << QByteArray();
        QTest::newRow("table's folder missing")
            << QStringList{"--no-rank", "--csv", "no/such/t.csv"} << false << 4 << L{}
            << QByteArray();
    }
    void importAndCsv() {
        QFETCH(QStringList, args);
        QFETCH(bool, locked);
        QFETCH(int, status);
        QFETCH(QList<QByteArray>, added);
        QFETCH(QByteArray, out);
        tw::test::ScopedWorkDir dir;
        const QByteArray data = DataBytes(
            {{"www.target-b.example", "red gadgets"}, {"www.target-c.example", "green things"}});
        WriteFile(dir.file("tallowick.dat"), data);
        WriteFile(dir.file("new.csv"), "www.target-b.example,red gadgets\nnew.com,k2\n\"open,k\n");
        WriteFile(dir.file("phrases.txt"), "one\r\n\r\ntwo\r\n");
        datafile::CDataFileSession other(dir.file("tallowick.dat"));
        if (locked)
            QCOMPARE(other.Lock(), datafile::CDataFileSession::LockResult::Locked);
        m_server->ClearRequests();
        const Result r = Run(args, dir.path());
        QCOMPARE(r.code, status);
        QVERIFY(m_server->Requests().empty());
        QVERIFY2(r.out.startsWith(out), r.out.constData());
        if (status != 0) {
            QCOMPARE(r.err.count('\n'), 1);
            QVERIFY(r.err.startsWith("tallowick-rank: "));
        }
        const QByteArray after = ReadFile(dir.file("tallowick.dat"));
        if (added.isEmpty()) {
            QCOMPARE(after, data);
            return;
        }
        QCOMPARE(after.count('\n'), 6 * (2 + added.size()));
        for (int i = 0; i < added.size(); ++i) {
            const QList<QByteArray> lines = EntryLines(after, 2 + i);
            QCOMPARE(lines.at(0) + "|" + lines.at(1), added[i]);
            QCOMPARE(lines.mid(2), (QList<QByteArray>{"-", "-", "-", "-"}));
        }
        if (args.contains("--csv")) {
            // The table holds the list after the import; the summary went to standard error.
            QCOMPARE(r.out.count("\r\n"), 1 + 2 + added.size());
            QVERIFY(r.err.startsWith("1 entry added"));
        }
    }

    // After a run the table holds its results, ranks as numbers.
    void csvAfterRun() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), DataBytes({{"www.target-c.example", "green things"}}));
        const Result r =
            Run(QStringList{"-q", "--depth", "1", "--engines", "google", "--csv", "t.csv"} +
                    HostArgs(*m_server),
                dir.path());
        QCOMPARE(r.code, 0);
        const QList<QByteArray> lines = ReadFile(dir.file("t.csv")).split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[1], QByteArray("1,www.target-c.example,green things,Rank 1 / Page 1,1,1,"
                                      "-,,,-,,,-,,,,,,,\r"));
    }
};

TW_TEST_MAIN_CORE(TestRankCli)
#include "test_rankcli.moc"
