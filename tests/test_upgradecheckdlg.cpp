#include "settings/RegistrySettings.h"
#include "settings/ServiceAddresses.h"
#include "sim/SimServer.h"
#include "support/PageServer.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"
#include "upgrade/UpgradeCheckDlg.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <functional>

using tw::testing::takeShownMessages;

namespace {
const std::string kApp = "Tallowick!";

QPushButton* button(QDialog& dlg, const char* id) {
    auto* b = dlg.findChild<QPushButton*>(QString::fromLatin1(id));
    if (!b)
        qFatal("button %s missing", id);
    return b;
}

std::string storedDate() {
    return CRegistrySettings().ReadString(kApp, "UpgradeDate");
}

std::string today() {
    return upgrade::FormatCheckDate(QDate::currentDate());
}
} // namespace

class TestUpgradeCheckDlg : public QObject {
    Q_OBJECT
private:
    tw::test::PageServer m_server;
    QStringList m_opened;

    // Opens the dialog, presses "&OK" and hands the dialog to after, while it is still up or
    // after it closed itself; a dialog still open is then closed with "&Close".
    int check(CUpgradeCheckDlg& dlg, const std::function<void()>& after) {
        bool ran = false;
        QTimer::singleShot(0, &dlg, [&] {
            QVERIFY(button(dlg, "1")->isEnabled());
            button(dlg, "1")->click();
            after();
            ran = true;
            if (dlg.isVisible())
                button(dlg, "2")->click();
        });
        const int result = dlg.DoModal();
        [&] { QVERIFY(ran); }();
        return result;
    }

private slots:
    void initTestCase() {
        tw::testing::setShellOpenHandler([this](const QString& target) {
            m_opened << target;
            return true;
        });
    }
    void init() {
        tw::test::removeSettingsFile();
        takeShownMessages();
        m_opened.clear();
    }

    void template104() {
        CUpgradeCheckDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Check for Upgrade"));
        QCOMPARE(button(dlg, "1")->text(), QStringLiteral("&OK"));
        QCOMPARE(button(dlg, "2")->text(), QStringLiteral("&Close"));
        QVERIFY(!button(dlg, "1")->isDefault());
    }

    void yesOpensTheLinkAndKeepsTheDialogOpen() {
        m_server.setPage(tw::test::upgradePage("1.01", "https://www.tallowick.example/setup.exe"));
        CUpgradeCheckDlg dlg;
        dlg.SetTarget(kApp, 1.0f, m_server.url());
        tw::testing::setNextAnswer(QMessageBox::Yes);
        check(dlg, [&] {
            QVERIFY(dlg.isVisible());
            QVERIFY(!button(dlg, "1")->isEnabled());
            QVERIFY(dlg.findChildren<CCheckingUpgradeDlg*>().isEmpty());
        });
        QCOMPARE(m_opened, QStringList{"https://www.tallowick.example/setup.exe"});
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, QStringLiteral("A new upgrade is available."));
        QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(shown[0].icon, QMessageBox::NoIcon);
        QVERIFY(shown[0].text.startsWith("A new upgrade of Tallowick! is available"));
        QVERIFY(shown[0].text.contains("Faster ranking.\nFewer bugs.\n"));
    }

    void noClosesTheDialog() {
        m_server.setPage(tw::test::upgradePage("1.01"));
        CUpgradeCheckDlg dlg;
        dlg.SetTarget(kApp, 1.0f, m_server.url());
        tw::testing::setNextAnswer(QMessageBox::No);
        QCOMPARE(check(dlg, [&] { QVERIFY(!dlg.isVisible()); }), int(QDialog::Rejected));
        QVERIFY(m_opened.isEmpty());
        QVERIFY(dlg.m_dtLastCheck.isValid());
    }

    void notNewerSaysSoAndReopeningAllowsAnotherCheck() {
        m_server.setPage(tw::test::upgradePage("0.9"));
        CUpgradeCheckDlg dlg;
        dlg.SetTarget(kApp, 1.0f, m_server.url());
        tw::testing::setAutoAnswer(true);
        check(dlg, [&] {
            QVERIFY(dlg.isVisible());
            QVERIFY(!button(dlg, "1")->isEnabled());
        });
        m_server.setPage(tw::test::upgradePage("1.0"));
        check(dlg, [] {});
        tw::testing::setAutoAnswer(false);
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(
            shown[0].text,
            QStringLiteral("You have the most recent version v0.90.\nNo upgrade is available."));
        QCOMPARE(shown[0].caption, QStringLiteral("Tallowick!"));
        QCOMPARE(shown[0].icon, QMessageBox::Information);
        QCOMPARE(
            shown[1].text,
            QStringLiteral("You have the most recent version v1.00.\nNo upgrade is available."));
        QVERIFY(m_opened.isEmpty());
    }

    void unreadablePageIsReported() {
        CUpgradeCheckDlg dlg;
        dlg.SetTarget(kApp, 1.0f, "http://127.0.0.1:1/tallowick_upgrade_check.html");
        QVERIFY(!dlg.IsCheckDue()); // first start: today at exit
        dlg.m_dtLastCheck = QDateTime();
        tw::testing::setAutoAnswer(true);
        check(dlg, [&] { QVERIFY(!button(dlg, "1")->isEnabled()); });
        tw::testing::setAutoAnswer(false);
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.startsWith("The upgrade page could not be read.\n\n"),
                 qPrintable(shown[0].text));
        QVERIFY(!shown[0].text.contains("most recent version"));
        QVERIFY(dlg.m_dtLastCheck.isValid()); // a check was made all the same
    }

    void onlyWebAddressesAreOpened_data() {
        QTest::addColumn<QByteArray>("link");
        QTest::newRow("file") << QByteArray("file:///etc/passwd");
        QTest::newRow("program") << QByteArray("C:\\Windows\\system32\\calc.exe");
        QTest::newRow("script") << QByteArray("javascript:alert(1)");
        QTest::newRow("empty") << QByteArray();
    }
    void onlyWebAddressesAreOpened() {
        QFETCH(QByteArray, link);
        m_server.setPage(tw::test::upgradePage("2", link.toStdString()));
        CUpgradeCheckDlg dlg;
        dlg.SetTarget(kApp, 1.0f, m_server.url());
        tw::testing::setNextAnswer(QMessageBox::Yes);
        tw::testing::setNextAnswer(QMessageBox::Ok);
        check(dlg, [&] { QVERIFY(dlg.isVisible()); });
        QVERIFY(m_opened.isEmpty());
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].text, "The download link on the upgrade page is not a web address:\n\n" +
                                    QString::fromUtf8(link));
    }

    // The page address comes from the settings: here the engine simulator's upgrade page.
    void upgradeUrlSettingReachesTheSimulator() {
        sim::CResultModel model;
        sim::CEngineSim engines(model);
        engines.m_strUpgradeVersion = "1.5";
        sim::CSimServer server(engines, {});
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        tw::test::writeSettingsFile("[General]\nUpgradeUrl=http://" +
                                    QByteArray::fromStdString(server.HostPort()) +
                                    "/tallowick_upgrade_check.html\n");
        CUpgradeCheckDlg dlg;
        dlg.SetTarget(kApp, 1.0f, UpgradePageUrl());
        tw::testing::setNextAnswer(QMessageBox::Yes);
        check(dlg, [&] { QVERIFY(!button(dlg, "1")->isEnabled()); });
        QCOMPARE(server.Requests(), std::vector<std::string>{"/tallowick_upgrade_check.html"});
        QCOMPARE(m_opened, QStringList{"http://www.tallowick.example/download/tallowick-1.5.zip"});
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].text.contains("Tallowick! 1.5 is available.\n"));
    }

    void dateAtExit_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("checkRuns");
        QTest::addColumn<bool>("keepsStored");
        const QByteArray recent =
            QByteArray::fromStdString(upgrade::FormatCheckDate(QDate::currentDate().addDays(-5)));
        QTest::newRow("first start") << QByteArray() << false << false;
        QTest::newRow("not due, closed") << recent << false << true;
        QTest::newRow("not due, checked") << recent << true << false;
        QTest::newRow("malformed") << QByteArray("0 0 0") << false << false;
    }
    void dateAtExit() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, checkRuns);
        QFETCH(bool, keepsStored);
        if (!stored.isEmpty())
            tw::test::writeSettingsFile("[General]\nUpgradeDate=" + stored + "\n");
        m_server.setPage(tw::test::upgradePage("1.0"));
        {
            CUpgradeCheckDlg dlg;
            dlg.SetTarget(kApp, 1.0f, m_server.url());
            QVERIFY(!dlg.IsCheckDue());
            tw::testing::setAutoAnswer(true);
            if (checkRuns) {
                check(dlg, [] {});
            } else {
                QTimer::singleShot(0, &dlg, [&] { button(dlg, "2")->click(); });
                dlg.DoModal();
            }
            tw::testing::setAutoAnswer(false);
        }
        QCOMPARE(storedDate(), keepsStored ? stored.toStdString() : today());
    }
};

TW_TEST_MAIN_GUI(TestUpgradeCheckDlg)
#include "test_upgradecheckdlg.moc"
