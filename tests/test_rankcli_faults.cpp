// tallowick-rank against engines that fail: a share of requests answer 500 or drop the
// connection, and one engine never answers at all. The run must still end, give every entry
// its columns, say what failed, leave a sound data file and never count a page twice.
// And against what else can go wrong around it: a second run or another program on the same
// data file, outputs that are devices or pipes, a file size limit, a second Ctrl-C, a folder
// that takes no new file.
#include "base/RankTypes.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/FifoReader.h"
#include "support/RankCli.h"
#include "support/ScopedNobody.h"
#include "support/TestEnv.h"

#include <nlohmann/json.hpp>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QUrlQuery>

#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;
using namespace sim;

namespace {
const QString& kProgram = tw::test::kRankProgram;
const char* const kKeys[kEngineCount] = {"google", "altavista", "lycos", "looksmart"};
constexpr int kDepth = 3;
constexpr SearchEngine kSilent = Lycos;

struct Entry {
    std::string url, keywords;
    int plantedRank; // the same on every engine
};
// Ranks within reach of the depth and beyond it, so that both "Rank" and "not found" occur.
const Entry kEntries[] = {
    {"www.alpha-target.example", "blue widgets", 4},
    {"www.beta-target.example", "red gadgets", 13},
    {"www.gamma-target.example", "green things", 22},
    {"www.delta-target.example", "yellow tools", 60},
    {"www.epsilon-target.example", "white boxes", 1},
};
constexpr int kEntryCount = int(std::size(kEntries));

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The keywords a request asked for, by engine path and its query key.
std::string RequestKeywords(SearchEngine engine, const std::string& target) {
    static const char* const kQueryKeys[kEngineCount] = {"q", "q", "query", "key"};
    const QUrl url(QStringLiteral("http://x") + QString::fromStdString(target));
    QString value =
        QUrlQuery(url).queryItemValue(QString::fromLatin1(kQueryKeys[engine]), QUrl::FullyDecoded);
    return value.replace(QLatin1Char('+'), QLatin1Char(' ')).simplified().toStdString();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A list of entries, every result the same.
QByteArray ListOf(int entries, const QByteArray& result = "-") {
    QByteArray out;
    for (int i = 1; i <= entries; ++i) {
        out += "www.entry-" + QByteArray::number(i) + ".example\r\nsome keywords\r\n";
        for (int e = 0; e < kEngineCount; ++e)
            out += result + "\r\n";
    }
    return out;
}

// The list after a run of Google alone against a host that does not answer: Google reads
// "error", the other columns are left as they were.
QByteArray RankedAgainstNobody(int entries) {
    QByteArray out;
    for (int i = 1; i <= entries; ++i)
        out += "www.entry-" + QByteArray::number(i) +
               ".example\r\nsome keywords\r\nerror\r\n-\r\n-\r\n-\r\n";
    return out;
}

bool IsFifo(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

bool IsCharDevice(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISCHR(st.st_mode);
}

struct Outcome {
    bool crashed = true;
    int code = -1;
    QByteArray err;
};

// A run to its end, with what the child does before it starts the program.
Outcome RunRank(const QString& dir, const QStringList& args,
                const std::function<void()>& inChild = {},
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                const QString& program = kProgram) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessEnvironment(env);
    if (inChild)
        p.setChildProcessModifier(inChild);
    p.start(program, args);
    Outcome r;
    if (!p.waitForStarted() || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.code = p.exitCode();
    r.err = p.readAllStandardError();
    return r;
}

// Nothing listens there: every page fails at once, and the run goes on to its save.
const QStringList kQuickRun{"--engines", "google", "--depth", "1", "--host", "google=127.0.0.1:9"};

// A Google that never answers until stopped: a run against it stays in the middle of its work,
// holding the data file, for as long as a test needs.
struct HangingGoogle {
    CResultModel model{5, 100};
    CEngineSim engines{model};
    std::unique_ptr<CSimServer> server;

    HangingGoogle() {
        ServerOptions options;
        options.hangEngine = Google;
        server = std::make_unique<CSimServer>(engines, options);
        std::string error;
        if (!server->Start(error))
            qFatal("simulator: %s", error.c_str());
    }
    QStringList Args() const {
        return {"--engines", "google", "--depth",
                "1",         "--host", "google=" + QString::fromStdString(server->HostPort())};
    }
    // Starts a run in dir that stays on its first page until Release.
    bool StartRun(QProcess& p, const QString& dir, const QStringList& extra = {}) {
        p.setWorkingDirectory(dir);
        p.setReadChannel(QProcess::StandardError);
        p.start(kProgram, Args() + extra);
        if (!p.waitForStarted())
            return false;
        // Only a guard against a run that never asks; it asks at once.
        QDeadlineTimer guard(60000);
        while (server->Requests().empty()) {
            if (guard.hasExpired() || p.state() == QProcess::NotRunning)
                return false;
            QTest::qWait(10);
        }
        return true;
    }
    void Release() { server->Stop(); }
};
} // namespace

class TestRankCliFaults : public QObject {
    Q_OBJECT

    CResultModel m_model{17, 300};
    std::unique_ptr<CEngineSim> m_engines;
    // One server per engine, so that the silent one holds up only its own requests.
    std::unique_ptr<CSimServer> m_servers[kEngineCount];

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(kProgram), qPrintable(kProgram));
        std::string plants;
        for (const Entry& e : kEntries)
            plants += "* " + std::to_string(e.plantedRank) + " " + e.url + " " + e.keywords + "\n";
        std::string error;
        QVERIFY2(m_model.ParsePlants(plants, error), error.c_str());
        m_engines = std::make_unique<CEngineSim>(m_model);
        for (int e = 0; e < kEngineCount; ++e) {
            ServerOptions options;
            options.failRate = 0.3;
            options.failSeed = 100 + e;
            if (e == kSilent)
                options.hangEngine = kSilent;
            m_servers[e] = std::make_unique<CSimServer>(*m_engines, options);
            QVERIFY2(m_servers[e]->Start(error), error.c_str());
        }
    }

    void cleanupTestCase() {
        for (auto& s : m_servers)
            s.reset();
    }

    void everyEntryEndsDespiteFailures() {
        tw::test::ScopedWorkDir dir;
        QByteArray data;
        for (const Entry& e : kEntries)
            data += QByteArray::fromStdString(e.url + "\r\n" + e.keywords + "\r\n") +
                    "Rank 99 / Page 9\r\n-\r\nnot found\r\n\r\n";
        {
            QFile f(dir.file("tallowick.dat"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(data);
        }

        QStringList args{"--depth",   QString::number(kDepth),
                         "--threads", "3",
                         "--engines", "google,altavista,lycos,looksmart",
                         "--json",    "out.json"};
        for (int e = 0; e < kEngineCount; ++e)
            args << "--host"
                 << QString("%1=%2").arg(kKeys[e],
                                         QString::fromStdString(m_servers[e]->HostPort()));
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Short page time-outs keep the silent engine's pages from stretching the test.
        env.insert("TALLOWICK_PAGE_TIMEOUT_MS", "400");
        p.setProcessEnvironment(env);
        p.start(kProgram, args);
        QVERIFY(p.waitForStarted());
        // Only a guard against a run that never ends; far above what the time-outs allow.
        if (!p.waitForFinished(240000)) {
            p.kill();
            p.waitForFinished();
            QFAIL("the run did not end although every page has a time-out");
        }
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, err.constData());

        // The data file: every entry whole, in its place, with a final text in every column.
        const QList<QByteArray> lines = ReadFile(dir.file("tallowick.dat")).split('\n');
        QCOMPARE(lines.size(), kEntryCount * 6 + 1);
        QVERIFY(lines.last().isEmpty());
        const QRegularExpression rankText(QStringLiteral("^Rank [1-9][0-9]* / Page [1-9][0-9]*$"));
        for (int i = 0; i < kEntryCount; ++i) {
            QList<QByteArray> entry = lines.mid(i * 6, 6);
            for (QByteArray& line : entry) {
                QVERIFY(line.endsWith('\r'));
                line.chop(1);
            }
            QCOMPARE(entry[0].toStdString(), kEntries[i].url);
            QCOMPARE(entry[1].toStdString(), kEntries[i].keywords);
            for (int e = 0; e < kEngineCount; ++e) {
                const QString text = QString::fromLatin1(entry[2 + e]);
                QVERIFY2(text == "not found" || text == "error" || rankText.match(text).hasMatch(),
                         qPrintable(QString("entry %1 %2: '%3'").arg(i).arg(kKeys[e], text)));
                // An engine that never answers is not a "not found".
                if (e == kSilent)
                    QCOMPARE(text, QStringLiteral("error"));
            }
        }

        // What the run says about each engine, against what each server saw.
        const json doc = json::parse(ReadFile(dir.file("out.json")).toStdString());
        QCOMPARE(int(doc["entries"].size()), kEntryCount);
        int failures = 0;
        int found = 0;
        for (int e = 0; e < kEngineCount; ++e) {
            const auto engine = SearchEngine(e);
            std::map<std::string, int> requestsPerKeywords;
            for (const std::string& target : m_servers[e]->Requests())
                ++requestsPerKeywords[RequestKeywords(engine, target)];
            for (int i = 0; i < kEntryCount; ++i) {
                const json& r = doc["entries"][i]["results"][kKeys[e]];
                const std::string text = r["text"].get<std::string>();
                const int requests = requestsPerKeywords[kEntries[i].keywords];
                const int rank = r["rank"].get<int>();
                const int page = r["page"].get<int>();
                const int errors = int(r["errors"].size());
                failures += errors;
                const QString where = QString("entry %1 %2").arg(i).arg(kKeys[e]);
                if (text == "error") {
                    // A page failed on every try: one failed page, and no rank made up from the
                    // pages around it.
                    QCOMPARE(errors, 1);
                    QCOMPARE(rank, 0);
                    QCOMPARE(int(r["sites_above"].size()), 0);
                    continue;
                }
                QVERIFY2(e != kSilent, qPrintable(where));
                QCOMPARE(errors, 0);
                // Pages that failed were tried again, so every page was read at least once.
                QVERIFY2(requests >= (rank ? page : kDepth), qPrintable(where));
                // No page lost, none counted twice: exactly the planted place, or beyond reach.
                const int planted = kEntries[i].plantedRank;
                const int perPage = sim::kPerPage[e];
                const int plantedPage = (planted - 1) / perPage + 1;
                if (plantedPage > kDepth) {
                    QCOMPARE(text, std::string("not found"));
                    continue;
                }
                const int navigation = engine == LookSmart ? plantedPage : 0;
                QCOMPARE(rank, planted + navigation);
                QCOMPARE(page, plantedPage);
                ++found;
                std::set<std::string> seen;
                for (const auto& site : r["sites_above"]) {
                    const std::string s = site.get<std::string>();
                    if (engine == LookSmart && s == "http://search.looksmart.com/")
                        continue;
                    QVERIFY2(seen.insert(s).second, qPrintable(where + ": " + s.c_str()));
                }
                QCOMPARE(int(r["sites_above"].size()), rank - 1);
            }
        }
        QVERIFY(found > 0);
        QVERIFY(failures >= kEntryCount); // the silent engine's at least

        // The closing line reports the failed pages and the "error" results.
        const QRegularExpression summary(QStringLiteral("(\\d+) pages fetched, (\\d+) failed"));
        const auto m = summary.match(QString::fromLocal8Bit(err));
        QVERIFY2(m.hasMatch(), err.constData());
        QCOMPARE(m.captured(2).toInt(), failures);
        QVERIFY2(err.contains("read \"error\"") || failures == 0, err.constData());
    }

    // A second run on a list that a first run holds stops at once, names the first and asks no
    // engine; a run that does not save only reads the list and goes ahead. The first run's results
    // are saved whole.
    void secondRunOnTheSameListStops() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), ListOf(2));
        HangingGoogle engine;
        QProcess first;
        QVERIFY(engine.StartRun(first, dir.path()));

        HangingGoogle untouched;
        const Outcome second = RunRank(dir.path(), untouched.Args());
        QVERIFY(!second.crashed);
        QCOMPARE(second.code, 3);
        QVERIFY2(
            second.err.contains("tallowick-rank (process " + QByteArray::number(first.processId())),
            second.err.constData());
        QCOMPARE(second.err.count('\n'), 1);
        QVERIFY(untouched.server->Requests().empty());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), ListOf(2));

        // The first run holds the rank history for its whole run: the reader's run is not
        // recorded there, which it says (status 6).
        const Outcome reader = RunRank(dir.path(), kQuickRun + QStringList{"--no-save"});
        QVERIFY2(!reader.crashed && reader.code == 6 &&
                     reader.err.contains("in use by another program (locked)"),
                 reader.err.constData());

        engine.Release();
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        const QByteArray saved = ReadFile(dir.file("tallowick.dat"));
        QCOMPARE(saved, RankedAgainstNobody(2));
        QVERIFY(!QFile::exists(dir.file("tallowick.dat.lock")));
    }

    // An entry another program adds to the list during a run is not wiped out by the run's
    // save: the run keeps its hands off the file and says so.
    void listChangedDuringTheRunIsKept() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), ListOf(1));
        HangingGoogle engine;
        QProcess run;
        QVERIFY(engine.StartRun(run, dir.path()));
        WriteFile(dir.file("tallowick.dat"), ListOf(2));
        engine.Release();
        QVERIFY(run.waitForFinished(60000));
        const QByteArray err = run.readAllStandardError();
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 3);
        QVERIFY2(err.contains("was changed by another program"), err.constData());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), ListOf(2));
    }

    // The lock of a run that was killed does not stand in the way of the next one.
    void lockOfADeadRunIsTakenOver() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), ListOf(1));
        WriteFile(dir.file("tallowick.dat.lock"), "999999999\ntallowick-rank\n\n");
        const Outcome r = RunRank(dir.path(), kQuickRun);
        QVERIFY2(!r.crashed && r.code == 0, r.err.constData());
        QVERIFY(ReadFile(dir.file("tallowick.dat")).contains("error"));
        QVERIFY(!QFile::exists(dir.file("tallowick.dat.lock")));
    }

    // The list lives in a folder where the user may not create files but may write the list:
    // the save writes it in place rather than failing (as the superuser, the run is made as
    // "nobody", since permission bits do not bind the superuser, from a copy of the program
    // beside the list: the build folder may be closed to nobody).
    void savesInPlaceWhereNoNewFileCanBeMade() {
        tw::test::ScopedWorkDir dir;
        const QString shared = dir.file("shared");
        QVERIFY(QDir().mkpath(shared));
        WriteFile(shared + "/tallowick.dat", ListOf(2));
        QVERIFY(chmod(QFile::encodeName(shared + "/tallowick.dat").constData(), 0666) == 0);
        QVERIFY(QDir().mkpath(dir.file("tmp")));
        QVERIFY(chmod(QFile::encodeName(dir.file("tmp")).constData(), 0777) == 0);
        QVERIFY(chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const bool asRoot = geteuid() == 0;
        QVERIFY(chmod(QFile::encodeName(shared).constData(), asRoot ? 0755 : 0555) == 0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", dir.file("tmp"));
        env.insert("XDG_CONFIG_HOME", dir.file("tmp"));
        std::function<void()> asNobody;
        QString program = kProgram;
        if (asRoot) {
            program = tw::test::CopyForNobody(kProgram, dir.file("bin"));
            QVERIFY2(!program.isEmpty(), "could not copy the program");
            if (!tw::test::NobodyMayReach(program, X_OK) ||
                !tw::test::NobodyMayReach(shared + "/tallowick.dat", W_OK))
                QSKIP(tw::test::NobodyCannotReach(dir.path()).constData());
            asNobody = [] {
                if (setgroups(0, nullptr) != 0 || setgid(tw::test::kNobodyGid) != 0 ||
                    setuid(tw::test::kNobodyUid) != 0)
                    _exit(99);
            };
        }
        const Outcome r = RunRank(dir.path(), kQuickRun + QStringList{"-d", "shared/tallowick.dat"},
                                  asNobody, env, program);
        QVERIFY(chmod(QFile::encodeName(shared).constData(), 0700) == 0);
        QVERIFY2(!r.crashed && r.code != 99, "could not run as another user");
        // Nor can the history be made beside it: said, and status 6 once the list is saved.
        QVERIFY2(r.code == 6 && r.err.contains("The rank history"), r.err.constData());
        QCOMPARE(ReadFile(shared + "/tallowick.dat"), RankedAgainstNobody(2));
        QCOMPARE(QDir(shared).entryList(QDir::Files | QDir::Hidden), QStringList{"tallowick.dat"});
    }

    // Outputs named as pipes that other programs read are written into, and stay pipes.
    void outputsIntoPipes() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), ListOf(1));
        for (const char* name : {"report.fifo", "json.fifo"})
            QVERIFY(mkfifo(QFile::encodeName(dir.file(name)).constData(), 0600) == 0);
        tw::test::FifoReader report(dir.file("report.fifo"));
        tw::test::FifoReader jsonOut(dir.file("json.fifo"));
        const Outcome r = RunRank(
            dir.path(), kQuickRun + QStringList{"--report", "report.fifo", "--json", "json.fifo"});
        QVERIFY2(!r.crashed && r.code == 0, r.err.constData());
        QVERIFY(IsFifo(dir.file("report.fifo")));
        QVERIFY(IsFifo(dir.file("json.fifo")));
        QVERIFY(report.Result().startsWith("Tallowick! Results by "));
        const json doc = json::parse(jsonOut.Result().toStdString());
        QCOMPARE(doc["entries"].size(), size_t(1));
    }

    // /dev/null takes outputs and stays the device it is, whoever runs the tool.
    void devNullStaysADevice() {
        if (!IsCharDevice("/dev/null"))
            QSKIP("/dev/null is not a character device here");
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), ListOf(1));
        const Outcome r = RunRank(
            dir.path(), kQuickRun + QStringList{"--report", "/dev/null", "--json", "/dev/null"});
        QVERIFY2(!r.crashed && r.code == 0, r.err.constData());
        QVERIFY(IsCharDevice("/dev/null"));
    }

    // A file size limit makes the write fail, which is told as such, instead of ending the
    // tool; the data file stays whole.
    void fileSizeLimitIsAWriteError_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("data file") << QStringList{} << 3;
        QTest::newRow("report") << QStringList{"--no-save", "--report", "report.txt"} << 4;
        QTest::newRow("json") << QStringList{"--no-save", "--json", "out.json"} << 4;
    }
    void fileSizeLimitIsAWriteError() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        tw::test::ScopedWorkDir dir;
        const QByteArray list = ListOf(60);
        WriteFile(dir.file("tallowick.dat"), list);
        // An output written piece by piece still replaces the old file only when complete.
        WriteFile(dir.file("out.json"), "{\"old\": true}\n");
        const Outcome r = RunRank(dir.path(), kQuickRun + args, [] {
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 1000;
            setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_DFL);
        });
        QVERIFY2(!r.crashed, "ended by the size limit's signal");
        QCOMPARE(r.code, status);
        QVERIFY2(r.err.contains("could not be"), r.err.constData());
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), list);
        QCOMPARE(ReadFile(dir.file("out.json")), QByteArray("{\"old\": true}\n"));
    }

    // The second Ctrl-C ends the tool at once; its scratch folder and its lock go with it.
    void secondCtrlCLeavesNothingBehind() {
        tw::test::ScopedWorkDir dir;
        WriteFile(dir.file("tallowick.dat"), ListOf(1));
        QVERIFY(QDir(dir.path()).mkdir("tmp"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", dir.file("tmp"));
        HangingGoogle engine;
        QProcess run;
        run.setProcessEnvironment(env);
        QVERIFY(engine.StartRun(run, dir.path()));
        QCOMPARE(QDir(dir.file("tmp")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        QVERIFY(QFile::exists(dir.file("tallowick.dat.lock")));

        ::kill(pid_t(run.processId()), SIGINT);
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += run.readAllStandardError()).contains("Cancelling"), 30000);
        ::kill(pid_t(run.processId()), SIGINT);
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 128 + SIGINT);
        QCOMPARE(
            QDir(dir.file("tmp"))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            QStringList());
        QVERIFY(!QFile::exists(dir.file("tallowick.dat.lock")));
        QCOMPARE(ReadFile(dir.file("tallowick.dat")), ListOf(1));
    }
};

TW_TEST_MAIN_CORE(TestRankCliFaults)
#include "test_rankcli_faults.moc"
