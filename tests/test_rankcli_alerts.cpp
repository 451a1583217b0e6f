// tallowick-rank and the list's alerts, as a scheduled run meets them: a rule triggered by the
// second run goes to the webhook; a channel that fails gives status 7 with the list and the
// history saved; a rule file that cannot be used does too; the dry run prints and sends nothing;
// mail_report=yes mails the report after each run, and a report that cannot be written is one
// failed channel.
#include "alerts/AlertSend.h"
#include "base/RankTypes.h"
#include "history/HistoryStore.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/RankCli.h"
#include "support/SettingsFile.h"
#include "support/SmtpServer.h"
#include "support/TestEnv.h"
#include "support/WebhookReceiver.h"

#include <nlohmann/json.hpp>

#include <QFile>
#include <QFileInfo>

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

    tw::test::CliResult Run(const QString& dir, const QStringList& more = {},
                            const QProcessEnvironment* env = nullptr) {
        return tw::test::RunRankCli(
            QStringList{"--engines", "google", "--depth", "1", "--threads", "1", "--host",
                        "google=" + QString::fromStdString(m_server->HostPort())} +
                more,
            dir, 60000, env);
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(tw::test::kRankProgram), qPrintable(tw::test::kRankProgram));
        m_model.AddPlant(Google, 9, "www.target-a.example", "blue widgets");
        m_model.AddPlant(Google, 9, "www.target-b.example", "blue widgets");
        m_model.AddPlant(Google, 6, "www.target-c.example", "blue widgets");
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

    // mail_report=yes without rules: each run mails the report (here a stand-in file) alone; the
    // dry run names it and sends nothing; a report that cannot be written gives status 7 and the
    // run is saved all the same.
    void reportMailed() {
        tw::test::ScopedWorkDir dir;
        const QString data = dir.file("shop.dat");
        WriteFile(data, List("www.target-c.example"));
        tw::test::SmtpServer smtp({false, true});
        tw::alerts::MailServer server;
        server.url = "smtp://127.0.0.1:" + std::to_string(smtp.port());
        server.noTls = true;
        server.from = "tallowick@my-site.example";
        QVERIFY(tw::alerts::writeMailServer(server, nullptr));
        WriteFile(dir.file("shop.alerts.ini"),
                  "[send]\nmail_to=me@my-site.example\nmail_report=yes\n");
        const QByteArray pdf = "%PDF-1.4\n" + QByteArray(3000, '\x01') + "\n%%EOF\n";
        const QString standIn = dir.file("stand-in.pdf");
        WriteFile(standIn, pdf);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TALLOWICK_REPORT_STAND_IN", standIn);
        // The program reads the settings this test process wrote (in Qt's test-mode folder).
        env.insert("XDG_CONFIG_HOME", QFileInfo(QFileInfo(tw::test::settingsPath()).path()).path());
        const QStringList list{"-d", "shop.dat"};

        tw::test::CliResult r = Run(dir.path(), list, &env);
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(r.err.contains("Alerts sent: the rank report by mail to me@my-site.example"),
                 r.err.constData());
        QCOMPARE(smtp.mails().size(), std::size_t(1));
        const std::string mail = smtp.mails()[0].data;
        const std::size_t at = mail.find("Content-Transfer-Encoding: base64\r\n\r\n");
        QVERIFY(at != std::string::npos);
        const std::string base64 = mail.substr(at + 37, mail.find("--", at + 37) - at - 37);
        QCOMPARE(QByteArray::fromBase64(QByteArray::fromStdString(base64)), pdf);

        r = Run(dir.path(), list + QStringList{"--alerts-dry-run"}, &env);
        QCOMPARE(r.code, 0);
        QCOMPARE(smtp.mails().size(), std::size_t(1));
        QVERIFY2(r.out.contains("Alerts (dry run): Rank report: shop.dat; nothing was sent."),
                 r.out.constData());
        QVERIFY2(r.out.contains("--- with the attachment \"shop rank report ") &&
                     r.out.contains(".pdf\" (" + QByteArray::number(pdf.size()) + " bytes)"),
                 r.out.constData());

        env.insert("TALLOWICK_REPORT_STAND_IN", dir.file("missing.pdf"));
        r = Run(dir.path(), list, &env);
        QCOMPARE(r.code, 7);
        const QList<QByteArray> lines = r.err.split('\n');
        QCOMPARE(std::count_if(lines.begin(), lines.end(),
                               [](const QByteArray& l) {
                                   return l.startsWith("tallowick-rank: Alerts: the rank report");
                               }),
                 1);
        QVERIFY2(r.err.contains("The rank report could not be written"), r.err.constData());
        QCOMPARE(smtp.mails().size(), std::size_t(1));
        QVERIFY(ReadFile(data).contains("Rank 6 / Page 1"));
        QCOMPARE(Runs(data, "www.target-c.example"), 3);
    }
};

TW_TEST_MAIN_CORE(TestRankCliAlerts)
#include "test_rankcli_alerts.moc"
