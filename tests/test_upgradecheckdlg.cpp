#include "app/MainDlg.h"
#include "sim/SimServer.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include <httplib.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using tw::testing::takeShownMessages;

namespace {
QPushButton* button(QDialog& dlg, const char* id) {
    auto* b = dlg.findChild<QPushButton*>(QString::fromLatin1(id));
    if (!b)
        qFatal("button %s missing", id);
    return b;
}

std::string daysAgo(int days) {
    return upgrade::FormatCheckDate(QDate::currentDate().addDays(-days));
}

// Presses "&OK" once the dialog is up; then after looks at it, and a dialog still open is
// closed with "&Close".
void pressOk(CUpgradeCheckDlg& dlg, const std::function<void()>& after) {
    QTimer::singleShot(0, &dlg, [&dlg, after] {
        button(dlg, "1")->click();
        after();
        if (dlg.isVisible())
            button(dlg, "2")->click();
    });
}
} // namespace

class TestUpgradeCheckDlg : public QObject {
    Q_OBJECT
private:
    QStringList m_opened;

private slots:
    void initTestCase() {
        tw::testing::setShellOpenHandler([this](const QString& target) {
            m_opened << target;
            return true;
        });
    }
    void init() {
        QFile::remove(tw::test::settingsPath());
        takeShownMessages();
        m_opened.clear();
    }

    // The simulator serves the upgrade page ("" serves none).
    void check_data() {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("newer, yes") << QByteArray("1.01") << int(QMessageBox::Yes)
                                    << "A new upgrade of Tallowick! is available for download.\n\n"
                                       "Description:\n\nTallowick! 1.01 is available.\nIt reads "
                                       "result pages faster.\n\n\nWould you like to download the "
                                       "upgrade now?"
                                    << true;
        QTest::newRow("newer, no")
            << QByteArray("1.01") << int(QMessageBox::No) << QString() << false;
        QTest::newRow("same") << QByteArray("1.0") << int(QMessageBox::Ok)
                              << "You have the most recent version v1.00.\nNo upgrade is available."
                              << true;
        QTest::newRow("older") << QByteArray("0.9") << int(QMessageBox::Ok)
                               << "You have the most recent version v0.90.\nNo upgrade is "
                                  "available."
                               << true;
        QTest::newRow("no page") << QByteArray() << int(QMessageBox::Ok)
                                 << "The upgrade page could not be read.\n\n"
                                 << true;
    }
    void check() {
        QFETCH(QByteArray, version);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(bool, staysOpen);
        sim::CResultModel model;
        sim::CEngineSim engines(model);
        engines.m_strUpgradeVersion = version.toStdString();
        sim::CSimServer server(engines, {});
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        const std::string url = "http://" +
                                (version == "down" ? "127.0.0.1:1" : server.HostPort()) +
                                "/tallowick_upgrade_check.html";

        CUpgradeCheck check;
        CUpgradeCheckDlg dlg(check);
        check.SetTarget("Tallowick!", 1.0f, url);
        tw::testing::setNextAnswer(QMessageBox::StandardButton(answer));
        bool open = false, okEnabled = true;
        pressOk(dlg, [&] {
            open = dlg.isVisible();
            okEnabled = button(dlg, "1")->isEnabled();
        });
        QCOMPARE(dlg.DoModal(), int(QDialog::Rejected));
        QCOMPARE(open, staysOpen);
        QVERIFY(!okEnabled);
        QVERIFY(check.m_dtLastCheck.isValid());
        QCOMPARE(server.Requests().size(), size_t(version == "down" ? 0 : 1));
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, answer == QMessageBox::Ok ? QStringLiteral("Tallowick!")
                                                             : "A new upgrade is available.");
        QVERIFY2(shown[0].text.startsWith(message), qPrintable(shown[0].text));
        // Why: the fetcher's own words, or else the page's address.
        const std::string why =
            check.m_fetcher.LastError().empty() ? url : check.m_fetcher.LastError();
        if (message.startsWith("The upgrade page"))
            QCOMPARE(shown[0].text, message + QString::fromStdString(why));
        const bool opens = answer == QMessageBox::Yes;
        QCOMPARE(m_opened,
                 opens ? QStringList{"http://www.tallowick.example/download/tallowick-1.01.zip"}
                       : QStringList());
    }

    // While the server takes its time, the notice is on screen and painted, with its text:
    // the window's thread goes on drawing during the download.
    void noticeIsPaintedDuringTheDownload() {
        std::mutex mutex;
        std::condition_variable changed;
        bool asked = false, answer = false;
        httplib::Server server;
        server.Get("/up.html", [&](const httplib::Request&, httplib::Response& res) {
            std::unique_lock<std::mutex> lock(mutex);
            asked = true;
            changed.notify_all();
            // Held until the test has seen the notice; bounded, so a failing test still ends.
            changed.wait_for(lock, std::chrono::seconds(20), [&] { return answer; });
            res.set_content("<!-- UPGRADE Version\n0.9\n", "text/html");
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        std::thread thread([&] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));

        // Counts what the notice (or a control in it) paints.
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (event->type() == QEvent::Paint) {
                    for (QObject* o = watched; o; o = o->parent())
                        if (qobject_cast<CCheckingUpgradeDlg*>(o))
                            ++paints;
                }
                return false;
            }
        } counter;
        qApp->installEventFilter(&counter);

        CUpgradeCheck check;
        CUpgradeCheckDlg dlg(check);
        check.SetTarget("Tallowick!", 1.0f,
                        "http://127.0.0.1:" + std::to_string(port) + "/up.html");
        tw::testing::setNextAnswer(QMessageBox::Ok);
        bool seen = false, modal = false;
        QString text;
        QSet<QRgb> colours;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &dlg, [&] {
            auto* notice = dlg.findChild<CCheckingUpgradeDlg*>();
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (!asked || !notice || !notice->isVisible() || counter.paints == 0 || seen)
                    return;
            }
            seen = true;
            modal = QApplication::activeModalWidget() == notice;
            if (auto* label = notice->findChild<QLabel*>(QStringLiteral("1076")))
                text = label->isVisible() ? label->text() : QString();
            const QImage shot = notice->grab().toImage();
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    colours.insert(shot.pixel(x, y));
            std::lock_guard<std::mutex> lock(mutex);
            answer = true;
            changed.notify_all();
        });
        watch.start(5);
        pressOk(dlg, [] {});
        dlg.DoModal();
        watch.stop();
        qApp->removeEventFilter(&counter);
        {
            std::lock_guard<std::mutex> lock(mutex);
            answer = true;
            changed.notify_all();
        }
        server.stop();
        thread.join();

        QVERIFY(seen);
        QVERIFY(modal);
        QCOMPARE(text, QStringLiteral("Checking for new upgrades of the software .."));
        QVERIFY(colours.size() > 1); // the text stands out from the background
        QVERIFY(!dlg.findChild<CCheckingUpgradeDlg*>());
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(
            shown[0].text,
            QStringLiteral("You have the most recent version v0.90.\nNo upgrade is available."));
    }

    void onlyWebAddressesAreOpened() {
        httplib::Server server;
        server.Get("/up.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<!-- UPGRADE Version\n2\n<!-- UPGRADE Download Link\n"
                            "file:///etc/passwd\n",
                            "text/html");
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        std::thread thread([&] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));

        CUpgradeCheck check;
        CUpgradeCheckDlg dlg(check);
        check.SetTarget("Tallowick!", 1.0f,
                        "http://127.0.0.1:" + std::to_string(port) + "/up.html");
        tw::testing::setNextAnswer(QMessageBox::Yes);
        tw::testing::setNextAnswer(QMessageBox::Ok);
        pressOk(dlg, [] {});
        dlg.DoModal();
        server.stop();
        thread.join();
        QVERIFY(m_opened.isEmpty());
        const auto shown = takeShownMessages();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].text, QStringLiteral("The download link on the upgrade page is not a web "
                                               "address:\n\nfile:///etc/passwd"));
    }

    // The reminder at start-up, and the date the main window leaves at exit.
    void reminder_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("reminded");
        QTest::addColumn<QByteArray>("atExit");
        const QByteArray today = QByteArray::fromStdString(daysAgo(0));
        const QByteArray recent = QByteArray::fromStdString(daysAgo(5));
        QTest::newRow("first start") << QByteArray() << false << today;
        QTest::newRow("5 days") << recent << false << recent;
        QTest::newRow("20 days, closed") << QByteArray::fromStdString(daysAgo(20)) << true << today;
        QTest::newRow("zero in the date") << QByteArray("0 1 2002") << false << today;
    }
    void reminder() {
        QFETCH(QByteArray, stored);
        QFETCH(bool, reminded);
        QFETCH(QByteArray, atExit);
        tw::test::ScopedWorkDir dir;
        tw::testing::setAutoAnswer(true);
        if (!stored.isEmpty())
            tw::test::writeSettingsFile("[General]\nUpgradeDate=" + stored + "\n");
        bool sawReminder = false;
        {
            CMainDlg main;
            QTimer watcher;
            connect(&watcher, &QTimer::timeout, [&] {
                if (QApplication::activeModalWidget() == &main.upgradeDlg()) {
                    sawReminder = true;
                    button(main.upgradeDlg(), "2")->click();
                }
            });
            watcher.start(0);
            main.show();
            for (int i = 0; i < 10; ++i)
                QCoreApplication::processEvents();
            QCOMPARE(main.button(CMainDlg::IDC_UPGRADE)->text(), QStringLiteral("Upgrade"));
            QCOMPARE(sawReminder, reminded);

            watcher.stop();
            // The Upgrade button opens the dialog on any day; closing it changes no date.
            bool opened = false;
            QTimer::singleShot(0, &main, [&] {
                opened = main.upgradeDlg().isVisible();
                button(main.upgradeDlg(), "2")->click();
            });
            main.button(CMainDlg::IDC_UPGRADE)->click();
            QVERIFY(opened);
            main.close();
        }
        tw::testing::setAutoAnswer(false);
        QCOMPARE(tw::test::readSettingsFile(), "[General]\nUpgradeDate=" + atExit + "\n");
    }
};

TW_TEST_MAIN_GUI(TestUpgradeCheckDlg)
#include "test_upgradecheckdlg.moc"
