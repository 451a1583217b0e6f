#include "app/MainDlg.h"
#include "settings/RegistrySettings.h"
#include "support/PageServer.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

using tw::test::readSettingsFile;
using tw::test::writeSettingsFile;

namespace {
std::string storedDate() {
    return CRegistrySettings().ReadString("Tallowick!", "UpgradeDate");
}

std::string daysAgo(int days) {
    return upgrade::FormatCheckDate(QDate::currentDate().addDays(-days));
}

QPushButton* child(QDialog& dlg, const char* id) {
    auto* b = dlg.findChild<QPushButton*>(QString::fromLatin1(id));
    if (!b)
        qFatal("button %s missing", id);
    return b;
}

// Runs the main window's start-up and hands every modal dialog that comes up to act, until the
// start-up events are handled.
void startUp(CMainDlg& dlg, const std::function<void(QWidget*)>& act) {
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != &dlg)
            act(modal);
    });
    watcher.start(0);
    dlg.show();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}
} // namespace

class TestMainSettingsUpgrade : public QObject {
    Q_OBJECT
private slots:
    void init() {
        tw::test::removeSettingsFile();
        tw::testing::takeShownMessages();
        tw::testing::setAutoAnswer(true);
    }

    void settingsAreReadWhenTheWindowIsMade() {
        tw::test::ScopedWorkDir dir;
        writeSettingsFile("[General]\nm_MaxPages=40\nbLycos=0\n");
        CMainDlg dlg;
        QCOMPARE(dlg.settingsDlg().m_MaxPages, 40);
        QCOMPARE(dlg.settingsDlg().m_MaxThreads, 3);
        QCOMPARE(dlg.settingsDlg().m_bLycos, 0);
        QCOMPARE(dlg.settingsDlg().m_bGoogle, 1);
    }

    // An empty settings folder, Settings, OK: the store holds the six defaults.
    void bothSettingsButtonsRunTheDialog_data() {
        QTest::addColumn<int>("buttonId");
        QTest::newRow("Settings") << int(CMainDlg::IDC_SETTINGS);
        QTest::newRow("hidden Settings") << int(CMainDlg::IDC_SETTINGS_HIDDEN);
    }
    void bothSettingsButtonsRunTheDialog() {
        QFETCH(int, buttonId);
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        startUp(dlg, [](QWidget*) { QFAIL("nothing is due on a first start"); });
        bool shown = false;
        QTimer::singleShot(0, &dlg, [&] {
            CSettingsDlg& settings = dlg.settingsDlg();
            shown = settings.isVisible();
            QCOMPARE(settings.findChild<QComboBox*>("1013")->currentText(), QStringLiteral("20"));
            child(settings, "1")->click();
        });
        dlg.button(buttonId)->click();
        QVERIFY(shown);
        const QByteArray file = readSettingsFile();
        for (const char* line : {"m_MaxThreads=3\n", "m_MaxPages=20\n", "bGoogle=1\n",
                                 "bAltavista=1\n", "bLycos=1\n", "bLooksmart=1\n"})
            QVERIFY2(file.contains(line), file.constData());
    }

    void reminderAtStartUp_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("reminded");
        QTest::addColumn<QByteArray>("atExit");
        const QByteArray today = QByteArray::fromStdString(daysAgo(0));
        QTest::newRow("first start") << QByteArray() << false << today;
        QTest::newRow("5 days") << QByteArray::fromStdString(daysAgo(5)) << false
                                << QByteArray::fromStdString(daysAgo(5));
        QTest::newRow("20 days, closed") << QByteArray::fromStdString(daysAgo(20)) << true << today;
        QTest::newRow("zero in the date") << QByteArray("0 1 2002") << false << today;
    }
    void reminderAtStartUp() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, reminded);
        QFETCH(QByteArray, atExit);
        tw::test::ScopedWorkDir dir;
        if (!stored.isEmpty())
            writeSettingsFile("[General]\nUpgradeDate=" + stored + "\n");
        bool sawReminder = false;
        {
            CMainDlg dlg;
            startUp(dlg, [&](QWidget* modal) {
                QCOMPARE(modal, &dlg.upgradeDlg());
                QCOMPARE(modal->windowTitle(), QStringLiteral("Check for Upgrade"));
                sawReminder = true;
                child(dlg.upgradeDlg(), "2")->click();
            });
            QCOMPARE(dlg.button(CMainDlg::IDC_UPGRADE)->text(), QStringLiteral("Upgrade"));
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick!"));
            dlg.close();
        }
        QCOMPARE(sawReminder, reminded);
        QCOMPARE(QByteArray::fromStdString(storedDate()), atExit);
    }

    // The Upgrade button checks on any day, at the page the settings name.
    void upgradeButtonChecksWhateverTheDate() {
        tw::test::ScopedWorkDir dir;
        tw::test::PageServer server;
        server.setPage(tw::test::upgradePage("1.0"));
        writeSettingsFile("[General]\nUpgradeDate=" + QByteArray::fromStdString(daysAgo(1)) +
                          "\nUpgradeUrl=" + QByteArray::fromStdString(server.url()) + "\n");
        {
            CMainDlg dlg;
            startUp(dlg, [](QWidget*) { QFAIL("no reminder is due"); });
            bool checked = false;
            QTimer::singleShot(0, &dlg, [&] {
                CUpgradeCheckDlg& check = dlg.upgradeDlg();
                child(check, "1")->click();
                checked = !child(check, "1")->isEnabled();
                child(check, "2")->click();
            });
            dlg.button(CMainDlg::IDC_UPGRADE)->click();
            QVERIFY(checked);
            QCOMPARE(server.requests(), 1);
            const auto shown = tw::testing::takeShownMessages();
            QCOMPARE(shown.size(), 1);
            QVERIFY(shown[0].text.startsWith("You have the most recent version v1.00."));
            dlg.close();
        }
        // A check was made today.
        QCOMPARE(storedDate(), daysAgo(0));
    }
};

TW_TEST_MAIN_GUI(TestMainSettingsUpgrade)
#include "test_mainsettingsupgrade.moc"
