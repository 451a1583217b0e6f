#include "app/MainDlg.h"
#include "base/PageFetcher.h"
#include "support/AuthServer.h"
#include "support/TestEnv.h"
#include "ui/AboutDlg.h"
#include "ui/AuthPrompt.h"
#include "ui/FileDialog.h"
#include "ui/HelpDlg.h"
#include "ui/HyperLink.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"
#include "ui/SplashDlg.h"
#include "ui/WebBrowser2.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using tw::test::AuthServer;

class TestUiComponents : public QObject {
    Q_OBJECT

    QStringList m_opened;

    // Runs check on the next modal dialog to open, then closes it.
    template <typename Check> void onNextModal(Check check) {
        QTimer::singleShot(0, this, [check] {
            QWidget* modal = QApplication::activeModalWidget();
            check(modal);
            if (auto* dlg = qobject_cast<QDialog*>(modal))
                dlg->reject();
        });
    }

private slots:
    void init() {
        m_opened.clear();
        tw::testing::setShellOpenHandler([this](const QString& t) {
            m_opened << t;
            return true;
        });
        tw::testing::setBrowserFallback([](const QString&) { return false; });
        tw::testing::setAutoAnswer(true);
    }

    void helpAnchors() {
        CHelpDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QRect ok = dlg.okButton()->geometry();
        const QRect browser = dlg.browser()->geometry();
        const QRect email = dlg.emailLink()->geometry();
        const QRect web = dlg.webLink()->geometry();
        dlg.resize(dlg.width() + 100, dlg.height());
        QTRY_COMPARE(dlg.browser()->width(), browser.width() + 100);
        QCOMPARE(dlg.okButton()->geometry(), ok.translated(100, 0));
        QCOMPARE(dlg.emailLink()->geometry(), email);
        QCOMPARE(dlg.webLink()->geometry(), web);
        dlg.resize(dlg.width(), dlg.height() + 40);
        QTRY_COMPARE(dlg.browser()->height(), browser.height() + 40);
        QCOMPARE(dlg.okButton()->geometry(), ok.translated(100, 40));
        QCOMPARE(dlg.emailLink()->geometry(), email.translated(0, 40));
        QCOMPARE(dlg.webLink()->geometry(), web.translated(0, 40));
        // Nothing keeps the window at its first size.
        dlg.resize(dlg.width() - 300, dlg.height() - 100);
        QTRY_COMPARE(dlg.browser()->width(), browser.width() - 200);
    }

    void helpShowsPageAndLinks() {
        CHelpDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick! Online Help"));
        QCOMPARE(dlg.browser()->LocationURL(), CHelpDlg::kHelpUrl);
        QVERIFY(dlg.browser()->toPlainText().contains(QLatin1String("Tallowick! Help")));
        QCOMPARE(dlg.emailLink()->linkTarget(), QStringLiteral("mailto:support@tallowick.example"));
        QCOMPARE(dlg.webLink()->linkTarget(), QStringLiteral("http://www.tallowick.example/"));
        QVERIFY(dlg.webLink()->isAttached());
        // Links in the page go to the user's browser; the page stays.
        emit dlg.browser()->anchorClicked(
            QUrl(QStringLiteral("http://www.tallowick.example/help/")));
        QCOMPARE(m_opened, QStringList{"http://www.tallowick.example/help/"});
        emit dlg.browser()->anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(dlg.browser()->LocationURL(), CHelpDlg::kHelpUrl);
    }

    void navigate_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("shown");
        QTest::newRow("help page") << "res://Tallowick! 1.0.exe/23/186" << true;
        QTest::newRow("without type") << "res://tallowick! 1.0.exe/186" << true;
        QTest::newRow("other program") << "res://other.exe/23/186" << false;
        QTest::newRow("not a page") << "res://Tallowick! 1.0.exe/23/104" << false;
        QTest::newRow("other type") << "res://Tallowick! 1.0.exe/2/186" << false;
        QTest::newRow("no id") << "res://Tallowick! 1.0.exe/23/" << false;
        QTest::newRow("local file") << "file:///etc/hostname" << false;
    }
    void navigate() {
        QFETCH(QString, url);
        QFETCH(bool, shown);
        CWebBrowser2 browser;
        browser.Navigate(url);
        QCOMPARE(browser.toPlainText().contains(QLatin1String("Tallowick! Help")), shown);
        QCOMPARE(browser.toPlainText().contains(QLatin1String("cannot be displayed")), !shown);
        QVERIFY(m_opened.isEmpty());
    }

    void helpButtonOpensHelp() {
        CMainDlg main;
        main.show();
        bool seen = false;
        onNextModal([&](QWidget* w) { seen = qobject_cast<CHelpDlg*>(w) != nullptr; });
        main.button(CMainDlg::IDC_HELP)->click();
        QVERIFY(seen);
    }

    void aboutFromContextMenu() {
        CMainDlg main;
        main.show();
        QList<QAction*> actions = main.systemMenu()->actions();
        QVERIFY(actions.size() >= 2);
        QCOMPARE(actions.last()->text(), QStringLiteral("&About Tallowick!..."));
        QVERIFY(actions.at(actions.size() - 2)->isSeparator());
        QString title, link;
        onNextModal([&](QWidget* w) {
            auto* about = qobject_cast<CAboutDlg*>(w);
            QVERIFY(about);
            title = about->windowTitle();
            link = about->link()->linkTarget();
        });
        actions.last()->trigger();
        QCOMPARE(title, QStringLiteral("About Tallowick!"));
        QCOMPARE(link, QStringLiteral("http://www.tallowick.example/"));
    }

    void aboutCommandIds_data() {
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<bool>("opens");
        QTest::newRow("0x0010") << 0x0010u << true;
        QTest::newRow("0x0015") << 0x0015u << true;
        QTest::newRow("0x001F") << 0x001Fu << true;
        QTest::newRow("0x0020") << 0x0020u << false;
        QTest::newRow("0x000F") << 0x000Fu << false;
        QTest::newRow("close") << 0xF060u << false;
    }
    void aboutCommandIds() {
        QFETCH(unsigned, id);
        QFETCH(bool, opens);
        QWidget owner;
        bool seen = false;
        if (opens)
            onNextModal([&](QWidget* w) { seen = qobject_cast<CAboutDlg*>(w) != nullptr; });
        QCOMPARE(HandleSysCommand(&owner, id), opens);
        QCOMPARE(seen, opens);
    }

    void aboutBoxContents() {
        CAboutDlg about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QStringList texts;
        for (QLabel* label : about.findChildren<QLabel*>())
            texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("Tallowick! Version 1.0")));
        QVERIFY(about.link()->isAttached());
        QVERIFY(about.isSizeGripEnabled());
        // Every text fits its control.
        for (QLabel* label : about.findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            const int need = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(label->contentsRect().width() >= need, qPrintable(label->text()));
            QVERIFY2(label->contentsRect().height() >= label->fontMetrics().height(),
                     qPrintable(label->text()));
        }
    }

    void splashHidesItself() {
        CMainDlg main;
        main.show();
        auto* splash = main.findChild<CSplashDlg*>();
        QVERIFY(splash);
        QVERIFY(splash->isVisible());
        // The picture at its own size inside the window's thin frame.
        const int frame = CSplashDlg::kFrameWidth;
        QCOMPARE(splash->size(), QSize(350, 220) + QSize(2 * frame, 2 * frame));
        QTRY_VERIFY_WITH_TIMEOUT(!splash->isVisible(), 10000);
    }

    // The window draws its own raised frame around the picture: light on the top and left,
    // dark on the bottom and right.
    void splashFrame() {
        QWidget owner;
        CSplashDlg splash(&owner);
        const QImage shot = splash.grab().toImage();
        const QPalette pal = splash.palette();
        const int midX = shot.width() / 2, midY = shot.height() / 2;
        const QRgb light = pal.color(QPalette::Light).rgb();
        const QRgb shadow = pal.color(QPalette::Shadow).rgb();
        QVERIFY(light != shadow);
        QCOMPARE(shot.pixel(0, midY), light);
        QCOMPARE(shot.pixel(midX, 0), light);
        QCOMPARE(shot.pixel(shot.width() - 1, midY), shadow);
        QCOMPARE(shot.pixel(midX, shot.height() - 1), shadow);
        auto* picture = splash.findChild<QLabel*>();
        QVERIFY(picture);
        const int frame = CSplashDlg::kFrameWidth;
        QCOMPARE(picture->geometry(), QRect(frame, frame, 350, 220));
    }

    // Texts from files, pages and the data file are shown as written, never as markup.
    void messageBoxShowsPlainText() {
        tw::testing::setAutoAnswer(false);
        const QString text = QStringLiteral("Cannot write <b>bold.txt</b> &amp; more");
        Qt::TextFormat format = Qt::RichText;
        QString shown;
        int needed = 0, width = 0;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                format = label->textFormat();
                shown = label->text();
                needed = label->fontMetrics().horizontalAdvance(text);
                width = label->sizeHint().width();
            }
            box->button(QMessageBox::Ok)->click();
        });
        QCOMPARE(tw::messageBox(nullptr, text), QMessageBox::Ok);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shown, text);
        // Every character takes room, the tags and the entity included.
        QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
    }

    // An export starts where the list lives, unless that folder is temporary (the demo's goes
    // with the window) or gone: then in the user's documents folder, made if need be.
    void exportFolder_data() {
        QTest::addColumn<QString>("startDir"); // "<temporary>": a fresh temporary folder
        QTest::addColumn<bool>("kept");
        QTest::newRow("temporary folder") << QStringLiteral("<temporary>") << false;
        QTest::newRow("temporary folder itself") << QDir::tempPath() << false;
        QTest::newRow("none") << QString() << false;
        QTest::newRow("missing") << QStringLiteral("/nonexistent/lists") << false;
        QTest::newRow("lasting folder") << QStringLiteral("/") << true;
    }
    void exportFolder() {
        QFETCH(QString, startDir);
        QFETCH(bool, kept);
        QTemporaryDir temporary;
        if (startDir == QStringLiteral("<temporary>"))
            startDir = temporary.path();
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QVERIFY(documents.startsWith(QDir::homePath())); // the tests' own home
        QCOMPARE(tw::exportFolder(startDir), kept ? startDir : documents);
        QVERIFY(QFileInfo(tw::exportFolder(startDir)).isDir());
    }

    void splashHidesOnClick() {
        QWidget owner;
        auto* splash = new CSplashDlg(&owner);
        splash->ShowSplash(60000);
        QVERIFY(splash->isVisible());
        QTest::mouseClick(splash, Qt::RightButton, {}, QPoint(100, 100));
        QVERIFY(splash->isVisible());
        QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(100, 100));
        QVERIFY(!splash->isVisible());
    }

    // A server that wants a password gets the one typed into the window's prompt, whichever
    // thread downloads; Cancel sends the request once more without one.
    void authPrompt_data() {
        QTest::addColumn<QString>("answer"); // right, wrong, cancel, dialog
        QTest::addColumn<bool>("onWorker");
        QTest::addColumn<QByteArray>("page");
        QTest::newRow("right, worker") << "right" << true << QByteArray("secret");
        QTest::newRow("wrong, worker") << "wrong" << true << QByteArray("denied");
        QTest::newRow("cancel, worker") << "cancel" << true << QByteArray("denied");
        QTest::newRow("right, window thread") << "right" << false << QByteArray("secret");
        QTest::newRow("dialog, worker") << "dialog" << true << QByteArray("secret");
        QTest::newRow("dialog, window thread") << "dialog" << false << QByteArray("secret");
    }
    void authPrompt() {
        QFETCH(QString, answer);
        QFETCH(bool, onWorker);
        QFETCH(QByteArray, page);
        AuthServer server;
        const std::string url = server.url();
        QWidget owner;
        tw::installAuthPrompt(&owner);
        tw::testing::takeCredentialRequests();

        // The real dialog: typed into the first time, accepted as offered the second time.
        int dialogs = 0;
        QString offeredUser;
        QTimer typist;
        connect(&typist, &QTimer::timeout, this, [&] {
            auto* dlg = qobject_cast<CAuthDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            offeredUser = dlg->user();
            if (++dialogs == 1) {
                dlg->userEdit()->setText(QStringLiteral("user"));
                dlg->passwordEdit()->setText(QStringLiteral("pw"));
            }
            dlg->accept();
        });
        if (answer == "dialog")
            typist.start(5);
        else if (answer == "right")
            tw::testing::setNextCredentials(QStringLiteral("user"), QStringLiteral("pw"));
        else if (answer == "wrong")
            tw::testing::setNextCredentials(QStringLiteral("user"), QStringLiteral("nope"));
        else
            tw::testing::setNextCredentialsCancelled();

        const int fetches = answer == "dialog" ? 2 : 1;
        for (int i = 0; i < fetches; ++i) {
            QByteArrayList got = {"(not fetched)"};
            auto fetch = [&] {
                CPageFetcher fetcher;
                if (const LineList* lines = fetcher.FetchPage(url)) {
                    got.clear();
                    for (const std::string& line : *lines)
                        got << QByteArray::fromStdString(line);
                }
            };
            if (onWorker) {
                std::atomic<bool> done{false};
                std::thread worker([&] {
                    fetch();
                    done = true;
                });
                // The window's thread goes on handling events meanwhile, as during a run.
                QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
                worker.join();
            } else {
                fetch();
            }
            QCOMPARE(got, QByteArrayList{page});
        }
        tw::removeAuthPrompt();

        QCOMPARE(tw::testing::takeCredentialRequests().size(), fetches);
        const std::vector<std::string> sent = server.authorizations();
        QVERIFY(!sent.empty());
        if (answer == "cancel")
            QVERIFY(std::all_of(sent.begin(), sent.end(), [](auto& a) { return a.empty(); }));
        else if (answer == "wrong")
            QCOMPARE(sent.back(), "Basic " + QByteArray("user:nope").toBase64().toStdString());
        else
            QCOMPARE(sent.back(), AuthServer::kRight);
        if (answer == "dialog") {
            QCOMPARE(dialogs, 2);
            QCOMPARE(offeredUser, QStringLiteral("user")); // the last answer is offered again
        }
    }

    void authDialogShowsTheSiteAsText() {
        CAuthDlg dlg(nullptr, QStringLiteral("http://<b>x</b>:8080"), QString(), QString());
        QStringList texts;
        for (QLabel* label : dlg.findChildren<QLabel*>()) {
            if (label->text().contains(QLatin1String("<b>x</b>"))) {
                QCOMPARE(label->textFormat(), Qt::PlainText);
                texts << label->text();
            }
        }
        QCOMPARE(texts.size(), 1);
        QCOMPARE(dlg.passwordEdit()->echoMode(), QLineEdit::Password);
    }
};

TW_TEST_MAIN_GUI(TestUiComponents)
#include "test_uicomponents.moc"
