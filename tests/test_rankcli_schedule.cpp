// tallowick-rank --schedule and --schedules as a user runs them (systemctl and crontab are
// stand-ins on PATH), and two runs of one list at once: the second is turned away.
#include "data/DataFileSession.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/FakeTools.h"
#include "support/RankCli.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

using tw::test::readFile;
using tw::test::RunRankCli;
using tw::test::writeFile;

namespace {
const QByteArray kList = "www.target.example\r\nred gadgets\r\n-\r\n-\r\n-\r\n-\r\n";

QString unitDir() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + "/systemd/user";
}
} // namespace

class TestRankCliSchedule : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QFile::exists(tw::test::kRankProgram)); }

    void setListAndRemove() {
        tw::test::FakeTools tools(true);
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("shop.dat"), kList);
        auto r = RunRankCli({"-d", "shop.dat", "--schedule", "mon,wed,fri@07:30", "--depth", "2",
                             "--json", "out.json"},
                            dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(r.out.contains("Mon, Wed, Fri at 07:30") && r.out.contains("Next run"),
                 r.out.constData());
        const QStringList timers = QDir(unitDir()).entryList({"tallowick-rank-*-shop.timer"});
        QCOMPARE(timers.size(), 1);
        QString service = unitDir() + "/" + timers[0];
        service.replace(".timer", ".service");
        const QByteArray exec = readFile(service);
        const QString program = QDir::cleanPath(tw::test::kRankProgram);
        QVERIFY2(
            exec.contains(("ExecStart=\"" + program + "\" \"-d\" \"" + dir.file("shop.dat") +
                           "\" \"--depth\" \"2\" \"--json\" \"" + dir.file("out.json") + "\"\n")
                              .toUtf8()),
            exec.constData());
        QVERIFY(tools.takeCalls().contains("systemctl --user enable --now " + timers[0]));

        writeFile(dir.file("shop.lastrun.json"),
                  "{\"time\":\"2026-12-08T07:30:00Z\",\"status\":0,\"changes\":{\"google\":"
                  "{\"up\":18,\"down\":9}}}");
        r = RunRankCli({"--schedules"}, dir.path());
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(dir.file("shop.dat").toUtf8()) &&
                     r.out.contains("when: Mon, Wed, Fri at 07:30") &&
                     r.out.contains("next run: ") && r.out.contains("exit status 0 (done)") &&
                     r.out.contains("google: 18 up, 9 down"),
                 r.out.constData());

        r = RunRankCli({"-d", "shop.dat", "--schedule", "off"}, dir.path());
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(QDir(unitDir()).entryList({"tallowick-rank-*"}).isEmpty());
        r = RunRankCli({"--schedules"}, dir.path());
        QCOMPARE(r.out, QByteArray("No list is scheduled.\n"));
        QCOMPARE(readFile(dir.file("shop.dat")), kList);
    }

    void refused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad time") << QStringList{"--schedule", "daily@25:00"} << 2
                                  << "Bad schedule 'daily@25:00'";
        QTest::newRow("not a day")
            << QStringList{"--schedule", "mon,someday@07:00"} << 2 << "'someday' is not a day";
        QTest::newRow("rows shift") << QStringList{"--schedule", "daily@07:00", "--rows", "1"} << 2
                                    << "--rows does not go with it";
        QTest::newRow("standard output")
            << QStringList{"--schedule", "daily@07:00", "--json", "-"} << 2 << "give a file";
        QTest::newRow("list not saved")
            << QStringList{"-d", "none.dat", "--schedule", "daily@07:00"} << 3 << "No such file";
        QTest::newRow("systemctl refuses")
            << QStringList{"--schedule", "daily@07:00"} << 8 << "Access denied";
    }
    void refused() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        tw::test::FakeTools tools(true);
        tools.failWith("systemctl", "Failed to enable unit: Access denied\n");
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kList);
        const auto r = RunRankCli(args, dir.path());
        QCOMPARE(r.code, status);
        QVERIFY2(r.err.startsWith("tallowick-rank: ") && r.err.contains(message.toUtf8()),
                 r.err.constData());
        QVERIFY(QDir(unitDir()).entryList({"tallowick-rank-*"}).isEmpty());
    }

    // A scheduled run that comes while the last one still ranks leaves the list to it.
    void overlappingRuns() {
        sim::CResultModel model(3, 100);
        sim::CEngineSim engines(model);
        sim::ServerOptions options;
        options.hangEngine = Google;
        sim::CSimServer server(engines, options);
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        tw::test::ScopedWorkDir dir;
        const QString data = dir.file("shop.dat");
        writeFile(data, kList);
        const QStringList args{
            "-d",      data, "--engines", "google",
            "--depth", "1",  "--host",    "google=" + QString::fromStdString(server.HostPort())};
        QProcess first;
        first.start(tw::test::kRankProgram, args);
        QVERIFY(first.waitForStarted());
        const QString lock = datafile::CDataFileSession(data).lockFilePath();
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(lock) && waited.elapsed() < 60000)
            QThread::msleep(20);
        QVERIFY(QFileInfo::exists(lock));

        const auto second = RunRankCli(args, dir.path());
        QCOMPARE(second.code, 3);
        QVERIFY2(second.err.contains("is in use by tallowick-rank") &&
                     second.err.contains("Nothing was ranked."),
                 second.err.constData());

        server.Stop(); // lets the first run's page go
        QVERIFY(first.waitForFinished(120000));
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(lock));
    }
};

TW_TEST_MAIN_CORE(TestRankCliSchedule)
#include "test_rankcli_schedule.moc"
