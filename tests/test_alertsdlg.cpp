// The Alerts dialog: what it reads back from the rule file and the settings, what OK writes,
// and a value that cannot be used, which is told and writes nothing; and a window run whose
// alert cannot be sent, which the window tells. TW_SHOT=path saves a picture of the dialog.
#include "alerts/AlertRules.h"
#include "alerts/AlertSend.h"
#include "alerts/AlertsDlg.h"
#include "base/Engines.h"
#include "data/EntryListModel.h"
#include "rank/RankCommand.h"
#include "settings/RegistrySettings.h"
#include "settings/SearchSettings.h"
#include "support/GuiTest.h"
#include "support/SettingsFile.h"
#include "support/SimHarness.h"
#include "support/TestEnv.h"
#include "support/WebhookReceiver.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>

using namespace tw::alerts;

class TestAlertsDlg : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::answerMessageBoxes(); }

    void editAndWrite() {
        tw::test::ScopedWorkDir dir;
        const QString list = dir.file(QStringLiteral("shop.dat"));
        // Not saved yet: nowhere to keep the rules.
        EditAlerts(nullptr, list, false);
        QList<tw::testing::ShownMessage> shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].text.contains(QLatin1String("save the list first")));

        QFile(list).open(QIODevice::WriteOnly);
        AlertConfig before;
        before.top = {3, 10};
        before.mailReport = true; // not shown by the dialog: kept
        QString error;
        QVERIFY(writeAlerts(list, before, &error));
        MailServer mail{"smtps://mail.example:465", "me", "pw-secret", "tw@my-site.example", false};
        QVERIFY(writeMailServer(mail, &error));

        bool firstOk = true;
        tw::test::ModalDriver<CAlertsDlg> driver([&](CAlertsDlg* d) {
            QCOMPARE(d->findChild<QLineEdit*>(QStringLiteral("top"))->text(), QString("3,10"));
            QCOMPARE(d->findChild<QLineEdit*>(QStringLiteral("smtpPassword"))->text(),
                     QString("pw-secret"));
            d->findChild<QCheckBox*>(QStringLiteral("movedOn"))->setChecked(true);
            d->findChild<QSpinBox*>(QStringLiteral("moved"))->setValue(7);
            d->findChild<QCheckBox*>(QStringLiteral("errors"))->setChecked(true);
            d->findChild<QCheckBox*>(QStringLiteral("desktop"))->setChecked(true);
            d->findChild<QLineEdit*>(QStringLiteral("webhook"))
                ->setText(QStringLiteral("https://hooks.example/abc"));
            auto* to = d->findChild<QLineEdit*>(QStringLiteral("mailTo"));
            to->setText(QStringLiteral("me@my-site.example, not mail"));
            d->accept(); // refused: the bad address is told, the dialog stays
            firstOk = !d->isVisible();
            to->setText(QStringLiteral("me@my-site.example, client@client.example"));
            if (qEnvironmentVariableIsSet("TW_SHOT"))
                d->grab().save(qEnvironmentVariable("TW_SHOT"));
            d->accept();
        });
        EditAlerts(nullptr, list, false);
        QVERIFY(driver.opened());
        QVERIFY(!firstOk);
        shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(QLatin1String("\"not mail\" is not a mail address")),
                 qPrintable(shown[0].text));

        std::optional<AlertConfig> after;
        QVERIFY(readAlerts(list, &after, nullptr, &error));
        QVERIFY(after);
        QCOMPARE(after->top, (std::vector<int>{3, 10}));
        QCOMPARE(after->moved, 7);
        QVERIFY(after->errors && after->desktop && after->mailReport);
        QCOMPARE(after->webhook, std::string("https://hooks.example/abc"));
        QCOMPARE(after->mailTo.size(), std::size_t(2));
        QVERIFY(readMailServer(false) == mail);
    }

    // The second run moves the entry into the top 3; the webhook is gone. The window's outcome
    // ends with the warning, and the run's results are in the list.
    void windowRunTellsFailedChannel() {
        tw::test::ScopedWorkDir dir;
        tw::test::Simulator sim(9);
        sim.model.AddPlant(Google, 9, "www.target.example", "blue widgets");
        const std::string host = sim.start();
        CRegistrySettings store;
        const char* switches[] = {"bGoogle", "bAltavista", "bLycos", "bLooksmart"};
        for (int e = 0; e < kEngineCount; ++e) {
            store.WriteString("Tallowick!", switches[e], e == Google ? "1" : "0");
            store.WriteString("Tallowick!", engines::Info(SearchEngine(e)).hostValue, host);
        }
        store.WriteString("Tallowick!", "m_MaxPages", "1");
        CSearchSettings settings;
        settings.Load();
        int closedPort = 0;
        {
            tw::test::WebhookReceiver gone;
            closedPort = gone.port;
        }
        const QString list = dir.file(QStringLiteral("shop.dat"));
        QFile ini(dir.file(QStringLiteral("shop.alerts.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[rules]\ntop=3\n[send]\nwebhook=http://127.0.0.1:" +
                  QByteArray::number(closedPort) + "/hook/secret-token\n");
        ini.close();

        EntryListModel model;
        model.appendEntry("www.target.example", "blue widgets");
        for (int run = 0; run < 2; ++run) {
            rank::CRankCommand command(nullptr, model, settings);
            command.SetHistoryFile(list);
            QVERIFY(command.Run(std::nullopt, [](CRankProgressDlg*) {}));
            command.ShowOutcome();
            const QList<tw::testing::ShownMessage> shown = tw::testing::takeShownMessages();
            QCOMPARE(shown.size(), run + 1);
            if (run == 1) {
                QCOMPARE(shown.last().icon, QMessageBox::Warning);
                QVERIFY2(shown.last().text.contains(QLatin1String("(tried 3 times)")),
                         qPrintable(shown.last().text));
                QVERIFY(!shown.last().text.contains(QLatin1String("secret-token")));
            }
            sim.model.AddPlant(Google, 3, "www.target.example", "blue widgets");
        }
        QCOMPARE(model.cell(0, EngineColumn(Google)), std::string("Rank 3 / Page 1"));
    }
};

TW_TEST_MAIN_GUI(TestAlertsDlg)
#include "test_alertsdlg.moc"
