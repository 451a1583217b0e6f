// tallowick-rank killed at any moment while it writes the entry list: afterwards the file is
// always either the old list or the new one, whole, never a mix of both and never empty.
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/RankCli.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

namespace {
const QString& kProgram = tw::test::kRankProgram;
constexpr int kRounds = 50;
// Enough entries that writing them takes a while, so that many kills land in the middle.
constexpr int kBigListEntries = 150000;

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
} // namespace

class TestRankCliKill : public QObject {
    Q_OBJECT

    sim::CResultModel m_model{5, 100};
    std::unique_ptr<sim::CEngineSim> m_engines;
    std::unique_ptr<sim::CSimServer> m_server;

    // Starts a run that ranks the first entry on one engine and saves the whole list.
    void Start(QProcess& p, const QString& dir) {
        p.setWorkingDirectory(dir);
        p.setReadChannel(QProcess::StandardError);
        p.start(kProgram, {"--rows", "1", "--engines", "google", "--depth", "1", "--host",
                           "google=" + QString::fromStdString(m_server->HostPort())});
    }

    // Waits for the line that ends the ranking of the only entry; the save comes next. Shows
    // what the program wrote when that line never comes.
    static bool WaitForRanked(QProcess& p) {
        QByteArray seen;
        while (!seen.contains("[1/1]")) {
            if (!p.waitForReadyRead(60000)) {
                seen += p.readAll();
                qWarning("no ranking line; the program wrote:\n%s", seen.constData());
                return false;
            }
            seen += p.readAll();
        }
        return true;
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(kProgram), qPrintable(kProgram));
        std::string error;
        QVERIFY(m_model.ParsePlants("google 3 www.kill-target.example save words\n", error));
        m_engines = std::make_unique<sim::CEngineSim>(m_model);
        m_server = std::make_unique<sim::CSimServer>(*m_engines, sim::ServerOptions{});
        QVERIFY2(m_server->Start(error), error.c_str());
    }

    void cleanupTestCase() { m_server.reset(); }

    void killedSaveLeavesOldOrNewList() {
        tw::test::ScopedWorkDir dir;
        const QString data = dir.file("tallowick.dat");

        QByteArray oldList = "www.kill-target.example\r\nsave words\r\n-\r\n-\r\n-\r\n-\r\n";
        oldList.reserve(kBigListEntries * 90);
        for (int i = 2; i <= kBigListEntries; ++i)
            oldList += "http://www.entry-" + QByteArray::number(i) +
                       ".example/some/page.html\r\nkeywords of entry\r\nRank 3 / Page 1\r\n"
                       "not found\r\n-\r\n-\r\n";

        // One whole run gives the new list and how long the save after the ranking takes.
        QVERIFY(WriteFile(data, oldList));
        qint64 saveMs = 0;
        {
            QProcess p;
            Start(p, dir.path());
            QVERIFY(p.waitForStarted());
            QVERIFY(WaitForRanked(p));
            QElapsedTimer clock;
            clock.start();
            QVERIFY(p.waitForFinished(120000));
            saveMs = clock.elapsed();
            QCOMPARE(p.exitCode(), 0);
        }
        const QByteArray newList = ReadFile(data);
        QVERIFY(newList.startsWith("www.kill-target.example\r\nsave words\r\nRank 3 / Page 1\r\n"));
        QVERIFY(newList != oldList);

        int keptOld = 0;
        int gotNew = 0;
        for (int round = 0; round < kRounds; ++round) {
            QVERIFY(WriteFile(data, oldList));
            QProcess p;
            Start(p, dir.path());
            QVERIFY(p.waitForStarted());
            QVERIFY(WaitForRanked(p));
            // Anywhere from the end of the ranking to a little past the usual end of the save.
            QThread::msleep(QRandomGenerator::global()->bounded(saveMs * 6 / 5 + 1));
            p.kill();
            QVERIFY(p.waitForFinished(30000));

            const QByteArray after = ReadFile(data);
            const QString where = QString("round %1").arg(round);
            QVERIFY2(after == oldList || after == newList, qPrintable(where));
            (after == oldList ? keptOld : gotNew)++;
            // Whatever the killed run left beside the list is not a list of its own.
            for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) {
                if (name != "tallowick.dat")
                    QVERIFY(QFile::remove(dir.file(name)));
            }
        }
        qInfo("%d kills: %d left the old list, %d the new one", kRounds, keptOld, gotNew);
    }
};

TW_TEST_MAIN_CORE(TestRankCliKill)
#include "test_rankcli_kill.moc"
