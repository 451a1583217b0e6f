// tallowick-rank and the list's alerts, as a scheduled run meets them: a rule triggered by the
// second run goes to the webhook; a channel that fails gives status 7 with the list and the
// history saved; a rule file that cannot be used does too; the dry run prints and sends nothing.
#include "base/RankTypes.h"
#include "history/HistoryStore.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/RankCli.h"
#include "support/TestEnv.h"
#include "support/WebhookReceiver.h"

#include <nlohmann/json.hpp>

#include <QFile>

using nlohmann::json;
using namespace sim;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray List(const char* url) {
    return QByteArray(url) + "\r\nblue widgets\r\n-\r\n-\r\n-\r\n-\r\n";
}

int Runs(const QString& dataFile, const char* url) {
    tw::EntryHistory h;
    QString error;
    if (!tw::loadEntryHistory(dataFile, url, "blue widgets", &h, &error))
        qWarning("%s", qPrintable(error));
    return int(h.runs.size());
}

} // namespace

class TestRankCliAlerts : public QObject {
    Q_OBJECT

    CResultModel m_model{3, 200};
    std::unique_ptr<CEngineSim> m_engines;
    std::unique_ptr<CSimServer> m_server;

    tw::test::CliResult Run(const QString& dir, const QStringList& more = {}) {
        return tw::test::RunRankCli(
            QStringList{"--engines", "google", "--depth", "1", "--threads", "1", "--host",
                        "google=" + QString::fromStdString(m_server->HostPort())} +
                more,
            dir);
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(tw::test::kRankProgram), qPrintable(tw::test::kRankProgram));
        m_model.AddPlant(Google, 9, "www.target-a.example", "blue widgets");
        m_model.AddPlant(Google, 9, "www.target-b.example", "blue widgets");
        m_engines = std::make_unique<CEngineSim>(m_model);
        m_server = std::make_unique<CSimServer>(*m_engines, ServerOptions{});
        std::string error;
        QVERIFY2(m_server->Start(error), error.c_str());
    }
    void cleanupTestCase() { m_server->Stop(); }

    // 9 -> 3 enters the top 3: the webhook cannot be reached, which is told in one line and
    // status 7, and the run is in the list and the history all the same.
    void failingChannel() {
        tw::test::ScopedWorkDir dir;
        const QString data = dir.file("tallowick.dat");
        WriteFile(data, List("www.target-a.example"));
        int closedPort = 0;
        {
            tw::test::WebhookReceiver gone;
            closedPort = gone.port;
        }
        WriteFile(dir.file("tallowick.alerts.ini"),
                  "[rules]\ntop=3\n[send]\nwebhook=http://127.0.0.1:" +
                      QByteArray::number(closedPort) + "/hook/secret-token\n");
        tw::test::CliResult r = Run(dir.path());
        QCOMPARE(r.code, 0); // nothing before: no rule can fire
        m_model.AddPlant(Google, 3, "www.target-a.example", "blue widgets");
        r = Run(dir.path());
        QCOMPARE(r.code, 7);
        const QList<QByteArray> lines = r.err.split('\n');
        const auto failed = std::count_if(lines.begin(), lines.end(), [](const QByteArray& l) {
            return l.startsWith("tallowick-rank: Alerts: ") && l.endsWith("(tried 3 times)");
        });
        QCOMPARE(failed, 1);
        QVERIFY2(r.err.contains("The webhook http://127.0.0.1:"), r.err.constData());
        QVERIFY(!r.err.contains("secret-token"));
        QVERIFY(ReadFile(data).contains("Rank 3 / Page 1"));
        QCOMPARE(Runs(data, "www.target-a.example"), 2);

        // A rule file that cannot be used: the run is saved, the file's line named, status 7.
        WriteFile(dir.file("tallowick.alerts.ini"), "[rules]\ntop=3\nmoved=many\n");
        r = Run(dir.path());
        QCOMPARE(r.code, 7);
        QVERIFY2(r.err.contains("tallowick.alerts.ini\" cannot be used, line 3: moved"),
                 r.err.constData());
        QCOMPARE(Runs(data, "www.target-a.example"), 3);
    }

    // The dry run prints what the webhook would get and sends nothing; the run after it sends.
    void dryRunThenSend() {
        tw::test::ScopedWorkDir dir;
        const QString data = dir.file("shop.dat");
        WriteFile(data, List("www.target-b.example"));
        tw::test::WebhookReceiver hook;
        WriteFile(dir.file("shop.alerts.ini"),
                  "[rules]\nmoved=6\n[send]\nwebhook=" + QByteArray::fromStdString(hook.url("/h")) +
                      "\n");
        const QStringList list{"-d", "shop.dat"};
        QCOMPARE(Run(dir.path(), list).code, 0);
        m_model.AddPlant(Google, 3, "www.target-b.example", "blue widgets");

        tw::test::CliResult r =
            Run(dir.path(), list + QStringList{"--alerts-dry-run", "--no-history"});
        QCOMPARE(r.code, 0);
        QCOMPARE(hook.count(), std::size_t(0));
        QVERIFY2(r.out.contains("Alerts (dry run): Tallowick!: 1 alert for shop.dat"),
                 r.out.constData());
        const int body = r.out.indexOf("{\"alerts\"");
        QVERIFY2(body >= 0, r.out.constData());
        const json dry =
            json::parse(r.out.mid(body, r.out.indexOf('\n', body) - body).toStdString());
        QCOMPARE(dry["alerts"][0]["rule"].get<std::string>(), std::string("moved"));

        r = Run(dir.path(), list);
        QCOMPARE(r.code, 0);
        QCOMPARE(hook.count(), std::size_t(1));
        const json sent = json::parse(hook.posts[0].second);
        QCOMPARE(sent["list"].get<std::string>(), std::string("shop.dat"));
        QCOMPARE(sent["alerts"][0]["old"].get<std::string>(), std::string("Rank 9 / Page 1"));
        QCOMPARE(sent["alerts"][0]["new"].get<std::string>(), std::string("Rank 3 / Page 1"));
        QVERIFY(sent["text"].get<std::string>().find("moved up 6 places") != std::string::npos);
    }
};

TW_TEST_MAIN_CORE(TestRankCliAlerts)
#include "test_rankcli_alerts.moc"
