#include "app/EntryListView.h"
#include "app/MainDlg.h"
#include "base/Engines.h"
#include "base/Maker.h"
#include "data/DataFileSession.h"
#include "rank/RankProgressDlg.h"
#include "settings/RecentLists.h"
#include "settings/RegistrySettings.h"
#include "settings/ServiceAddresses.h"
#include "support/AuthServer.h"
#include "support/GuiTest.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "ui/AuthPrompt.h"
#include "ui/MessageBox.h"
#include "ui/SplashDlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <sys/stat.h>

namespace {

using tw::test::readFile;
using tw::test::writeFile;
const QByteArray kTwoEntries("www.example.com\r\nused cars\r\nRank 7 / Page 1\r\nnot found\r\n"
                             "-\r\n-\r\nfoo.example\r\nsome keywords\r\n-\r\n-\r\n-\r\n-\r\n");

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::answerMessageBoxes(); }

    void loadsShowsAndSavesWithCrLfOnEscape() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), QByteArray(kTwoEntries).replace("\r\n", "\n"));
        CMainDlg dlg;
        dlg.show();
        QCOMPARE(dlg.entries().rowCount(), 2);
        QCOMPARE(dlg.entryCount(), 2);
        QCOMPARE(dlg.startDir(), QDir::currentPath());
        const QModelIndex cell = dlg.entries().index(0, EngineColumn(Google));
        QCOMPARE(cell.data().toString(), QStringLiteral("Rank 7 / Page 1"));

        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(readFile(dir.file("tallowick.dat")), kTwoEntries);
        QVERIFY(tw::testing::takeShownMessages().isEmpty());
    }

    void closingWithoutFileCreatesIt() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        QCOMPARE(dlg.entries().rowCount(), 0);
        QVERIFY(dlg.listView()->viewport()->isVisible());
        QVERIFY(static_cast<CEntryListView*>(dlg.listView())->backgroundImage().isNull());
        dlg.close();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(readFile(dir.file("tallowick.dat")), QByteArray());
    }

    // A list given by name (a desktop hands one over) is read, held and written in place of
    // the current folder's.
    void givenDataFileInPlaceOfTheCurrentFolders() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), "untouched\r\n");
        QVERIFY(QDir().mkpath(dir.file("lists")));
        const QString given = dir.file("lists/shop.dat");
        writeFile(given, kTwoEntries);
        CMainDlg dlg(nullptr, given);
        dlg.show();
        QCOMPARE(dlg.entryCount(), 2);
        QCOMPARE(dlg.dataFilePath(), given);
        QVERIFY(QFile::exists(given + ".lock"));
        dlg.entries().removeRows(1, 1);
        dlg.close();
        QCOMPARE(readFile(given), kTwoEntries.left(kTwoEntries.indexOf("foo.example")));
        QVERIFY(!QFile::exists(given + ".lock"));
        QCOMPARE(readFile(dir.file("tallowick.dat")), QByteArray("untouched\r\n"));
    }

    void backgroundImageFromStartFolder() {
        tw::test::ScopedWorkDir dir;
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(dir.file("bkimage.bmp"), "BMP"));
        CMainDlg dlg;
        dlg.show();
        QCOMPARE(static_cast<CEntryListView*>(dlg.listView())->backgroundImage().size(),
                 QSize(8, 6));
    }

    // "tallowick FILE": another list is named in the caption, is locked while open and is made,
    // with its options beside it, at the first save.
    void listFromTheCommandLine() {
        tw::test::ScopedWorkDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("clients")));
        const QString path = dir.file("clients/acme.dat");
        {
            CMainDlg dlg(nullptr, path);
            dlg.show();
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick! - acme"));
            QCOMPARE(dlg.dataFilePath(), path);
            QVERIFY(QFile::exists(path + QStringLiteral(".lock")));
            dlg.entries().appendEntry("acme.example", "plumber");
            dlg.entries().setOptions(0, {"", "", "mobile", "", "acme"});
            dlg.close();
        }
        QCOMPARE(readFile(path), QByteArray("acme.example\r\nplumber\r\n-\r\n-\r\n-\r\n-\r\n"));
        QVERIFY(readFile(dir.file("clients/acme.entries.csv"))
                    .endsWith("acme.example,plumber,,,mobile,,acme\r\n"));
        QVERIFY(!QFile::exists(dir.file("tallowick.dat")));
        CMainDlg start;
        start.show();
        QCOMPARE(start.windowTitle(), QStringLiteral("Tallowick!"));
        QVERIFY(tw::testing::takeShownMessages().isEmpty());
    }

    // Switching saves the open list first (asking as at close), lets go of its lock, takes the
    // other's and remembers the lists, newest first, five at most.
    void switchingLists() {
        tw::test::ScopedWorkDir dir;
        const QString a = dir.file("tallowick.dat");
        const QString b = dir.file("b.dat");
        writeFile(b, "b.example\r\nbee\r\n-\r\n-\r\n-\r\n-\r\n");
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry("a.example", "ay");
        QVERIFY(dlg.OpenList(b));
        QCOMPARE(readFile(a), QByteArray("a.example\r\nay\r\n-\r\n-\r\n-\r\n-\r\n"));
        QVERIFY(!QFile::exists(a + QStringLiteral(".lock")));
        QVERIFY(QFile::exists(b + QStringLiteral(".lock")));
        QCOMPARE(dlg.entries().cell(0, ColUrl), std::string("b.example"));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick! - b"));
        QCOMPARE(tw::ReadRecentLists().mid(0, 2), (QStringList{b, a}));

        // Changed on disk meanwhile: asked as at close; No keeps the other version.
        writeFile(b, "other.example\r\nk\r\n");
        dlg.entries().appendEntry("dropped.example", "x");
        tw::testing::setNextAnswer(QMessageBox::No);
        QVERIFY(dlg.OpenList(a));
        auto shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(QStringLiteral("changed")), qPrintable(shown[0].text));
        QCOMPARE(readFile(b), QByteArray("other.example\r\nk\r\n"));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick!"));

        // A list another program holds opens read-only.
        datafile::CDataFileSession other(b);
        QCOMPARE(other.Lock(), datafile::CDataFileSession::LockResult::Locked);
        QVERIFY(dlg.OpenList(b));
        QVERIFY(dlg.IsReadOnly());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick! - b (read-only)"));
        QCoreApplication::processEvents();
        shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(QStringLiteral("in use")), qPrintable(shown[0].text));
        other.Unlock();

        // The menu: Open list..., then the recent lists with the open one checked.
        for (const char* name : {"c", "d", "e", "f"}) {
            QVERIFY(dlg.OpenList(dir.file(QString::fromLatin1(name) + QStringLiteral(".dat"))));
            tw::testing::takeShownMessages();
        }
        QMenu menu;
        dlg.AddListActions(menu);
        QCOMPARE(menu.actions().size(), 1 + tw::kRecentListCount);
        QCOMPARE(menu.actions()[0]->text(), QStringLiteral("&Open list..."));
        QVERIFY(menu.actions()[1]->isChecked());
        QVERIFY(menu.actions()[1]->text().contains(QStringLiteral(" f ")));
        QVERIFY(!tw::ReadRecentLists().contains(a)); // the oldest of six went
    }

    // The filter shows the entries with the tag or holding the text and says what Rank All
    // does then; the Where column shows once an entry has a device or location.
    void filterAndColumns() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry("acme.example", "plumber austin");
        dlg.entries().appendEntry("b.example", "roofer");
        dlg.entries().appendEntry("c.example", "painter");
        dlg.entries().setOptions(1, {"", "", "", "", "Acme, roofs"});
        auto* list = static_cast<CEntryListView*>(dlg.listView());
        QCOMPARE(dlg.entries().headerData(ColTags, Qt::Horizontal).toString(),
                 QStringLiteral("Tags"));
        QVERIFY(list->isColumnHidden(ColWhere));
        dlg.entries().setOptions(2, {"", "", "mobile", "", ""});
        QVERIFY(!list->isColumnHidden(ColWhere));

        dlg.SetFilter(QStringLiteral("acme"));
        QCOMPARE(dlg.shownRows(), (QList<int>{0, 1}));
        dlg.SetFilter(QStringLiteral("roofs"));
        QCOMPARE(dlg.shownRows(), (QList<int>{1}));
        QList<QLabel*> labels = dlg.findChildren<QLabel*>();
        bool said = false;
        for (QLabel* l : labels)
            said = said || l->text().contains(QStringLiteral("Rank All ranks the entries shown"));
        QVERIFY(said);
        dlg.entries().appendEntry("roofs.example", "k"); // new rows meet the filter too
        QCOMPARE(dlg.shownRows(), (QList<int>{1, 3}));
        dlg.SetFilter(QString());
        QCOMPARE(dlg.shownRows().size(), 4);
    }

    // A failed save says where and why, and "No" keeps the window and the list.
    void failedSaveAsksBeforeClosing() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry("u", "k");
        QVERIFY(QDir(dir.path()).mkpath("tallowick.dat/blocker"));

        tw::testing::setNextAnswer(QMessageBox::No);
        QTest::mouseClick(dlg.button(CMainDlg::IDC_QUIT), Qt::LeftButton);
        auto shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].text.contains(QDir::toNativeSeparators(dir.file("tallowick.dat"))));
        QVERIFY(shown[0].buttons & QMessageBox::No);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.entries().rowCount(), 1);

        tw::testing::setNextAnswer(QMessageBox::Yes);
        dlg.close();
        QVERIFY(!dlg.isVisible());
    }

    // A data file that cannot be read is reported and only replaced when the user says so.
    void unreadableFileIsNotReplacedUnasked() {
        tw::test::ScopedWorkDir dir;
        QVERIFY(QDir(dir.path()).mkpath("tallowick.dat/keep"));
        CMainDlg dlg;
        dlg.show();
        QCoreApplication::processEvents(); // the message waits until the window is up
        const auto shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].text.contains(QDir::toNativeSeparators(dir.file("tallowick.dat"))));
        QCOMPARE(dlg.entries().rowCount(), 0);

        tw::testing::setNextAnswer(QMessageBox::Cancel);
        dlg.close();
        QVERIFY(dlg.isVisible());
        tw::testing::takeShownMessages();

        tw::testing::setNextAnswer(QMessageBox::No);
        dlg.close();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(tw::testing::takeShownMessages().size(), 1);
        QVERIFY(QDir(dir.file("tallowick.dat/keep")).exists());
    }

    // A settings file that is refused (here a pipe nobody writes) is named once the window is
    // up; the window does not wait on it and goes on with the built-in settings.
    void refusedSettingsFileIsNamed() {
        tw::test::ScopedWorkDir dir;
        const QString path = QString::fromStdString(CRegistrySettings::Location(maker::kProduct));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile::remove(path);
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QStringList texts;
        {
            CMainDlg dlg;
            dlg.show();
            QCoreApplication::processEvents();
            for (const auto& shown : tw::testing::takeShownMessages())
                texts << shown.text;
            dlg.close();
        }
        const bool stillPipe = !QFileInfo(path).isFile() && QFileInfo::exists(path);
        QFile::remove(path);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].contains(path) && texts[0].contains("not a regular file"),
                 qPrintable(texts[0]));
        QVERIFY(stillPipe);
    }

    // Another program has the list: the window says who, shows the list marked read-only and
    // closes without writing it or asking about it.
    void listInUseOpensReadOnly() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file("tallowick.dat");
        writeFile(path, kTwoEntries);
        datafile::CDataFileSession other(path);
        QCOMPARE(other.Lock(), datafile::CDataFileSession::LockResult::Locked);

        CMainDlg dlg;
        dlg.show();
        QCoreApplication::processEvents(); // the message waits until the window is up
        const auto shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(QString::number(QCoreApplication::applicationPid())),
                 qPrintable(shown[0].text));
        QVERIFY2(shown[0].text.contains("read-only"), qPrintable(shown[0].text));
        QVERIFY(dlg.IsReadOnly());
        QVERIFY(dlg.windowTitle().contains("read-only"));
        QCOMPARE(dlg.entries().rowCount(), 2);

        dlg.entries().appendEntry("www.lost.example", "not saved");
        dlg.close();
        QVERIFY(!dlg.isVisible());
        QVERIFY(tw::testing::takeShownMessages().isEmpty());
        QCOMPARE(readFile(path), kTwoEntries);
        QVERIFY(other.IsLocked());
    }

    // The window holds the list from start-up to close; nobody else gets it meanwhile.
    void windowHoldsTheListUntilItCloses() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file("tallowick.dat");
        CMainDlg dlg;
        dlg.show();
        QVERIFY(!dlg.IsReadOnly());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick!"));
        datafile::CDataFileSession other(path);
        QString message;
        QCOMPARE(other.Lock(&message), datafile::CDataFileSession::LockResult::InUse);
        QVERIFY2(message.contains(QString::number(QCoreApplication::applicationPid())),
                 qPrintable(message));
        dlg.close();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(other.Lock(), datafile::CDataFileSession::LockResult::Locked);
    }

    // The list changed on disk while the window was open: the user chooses which version
    // stays, and without "Yes" the other version is never overwritten.
    void changedOnDiskAsksBeforeReplacing_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("overwrite") << int(QMessageBox::Yes) << true;
        QTest::newRow("keep the other version") << int(QMessageBox::No) << false;
    }
    void changedOnDiskAsksBeforeReplacing() {
        QFETCH(int, answer);
        QFETCH(bool, replaced);
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file("tallowick.dat");
        writeFile(path, kTwoEntries);
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry("www.window.example", "window keywords");
        const QByteArray other = kTwoEntries + "www.other.example\r\nadded elsewhere\r\n-\r\n-\r\n"
                                               "-\r\n-\r\n";
        writeFile(path, other);

        tw::testing::setNextAnswer(QMessageBox::StandardButton(answer));
        dlg.close();
        QVERIFY(!dlg.isVisible());
        const auto shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(QDir::toNativeSeparators(path)), qPrintable(shown[0].text));
        QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        const QByteArray after = readFile(path);
        QCOMPARE(after.contains("www.window.example"), replaced);
        QCOMPARE(after.contains("www.other.example"), !replaced);
        if (!replaced)
            QCOMPARE(after, other);
    }

    void listAndWindowSetup() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Tallowick!"));
        QVERIFY(dlg.button(1002)->isDefault());
        QVERIFY(!dlg.button(1010)->isVisible());
        QCOMPARE(dlg.focusWidget(), dlg.button(1002));
        QVERIFY(dlg.button(1002)->toolTip().endsWith("for rank of all urls."));
        QVERIFY(dlg.button(1011)->toolTip().endsWith("for rank of selected urls."));
        QCOMPARE(dlg.control(1001)->toolTip(), QStringLiteral("Your list of URLs to be ranked."));
        for (int id : {1003, 1004, 1005, 1006, 1007, 1008, 1009, 6})
            QVERIFY(!dlg.button(id)->toolTip().isEmpty());
        QVERIFY(dlg.button(CMainDlg::IDC_QUIT)->toolTip().isEmpty());
        QVERIFY(dlg.button(CMainDlg::IDC_SETTINGS)->toolTip().isEmpty());

        auto* view = static_cast<CEntryListView*>(dlg.listView());
        const int widths[] = {20, 175, 110, 110, 110, 110, 250};
        const char* captions[] = {"#",     "URL",       "Google",  "Altavista",
                                  "Lycos", "Looksmart", "Keywords"};
        for (int col = 0; col < kColumnCount; ++col) {
            QCOMPARE(view->header()->sectionSize(col), widths[col]);
            QCOMPARE(dlg.entries().headerData(col, Qt::Horizontal).toString(),
                     QString::fromLatin1(captions[col]));
        }
        QVERIFY(!view->header()->sectionsClickable());
        QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);

        const QList<QAction*> actions = dlg.systemMenu()->actions();
        QVERIFY(actions.size() >= 2);
        QCOMPARE(actions.last()->text(), QStringLiteral("&About Tallowick!..."));
        QVERIFY(actions[actions.size() - 2]->isSeparator());
    }

    void enterPressesRankAll() {
        tw::test::ScopedWorkDir dir;
        // Nothing listens there: a page asked for before the cancel fails at once.
        for (const auto& engine : engines::All())
            CRegistrySettings().WriteString(maker::kProduct, engine.hostValue, "127.0.0.1:9");
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry("u", "k");
        QSignalSpy rankAll(dlg.button(CMainDlg::IDC_RANKALL), &QPushButton::clicked);
        // The run it starts is cancelled at once: this test asks no search engine.
        QTimer cancel;
        connect(&cancel, &QTimer::timeout, &dlg, [&dlg] {
            if (auto* progress = dlg.findChild<CRankProgressDlg*>())
                progress->OnCancel();
        });
        cancel.start(0);
        dlg.listView()->setFocus();
        QTest::keyClick(dlg.listView(), Qt::Key_Return);
        QCOMPARE(rankAll.count(), 1);
        QVERIFY(dlg.lastRankRun().cancelled);
        QVERIFY(dlg.isVisible());
    }

    void selectionHelpers() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        for (int i = 0; i < 5; ++i)
            dlg.entries().appendEntry("u" + std::to_string(i), "k");
        QCOMPARE(dlg.entryCount(), 5);
        QCOMPARE(dlg.selectedEntry(), -1);
        auto* sel = dlg.listView()->selectionModel();
        sel->select(dlg.entries().index(3, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(dlg.entries().index(1, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(dlg.selectedRows(), (QList<int>{1, 3}));
        QCOMPARE(dlg.selectedEntry(), 1);
    }

    // A selected row is highlighted while the list has the focus and looks like any other row
    // once the focus is elsewhere, or the window is no longer active.
    void selectionShowsOnlyWithFocus() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        // The splash window takes the activation while it is up.
        if (auto* splash = dlg.findChild<CSplashDlg*>())
            splash->hide();
        dlg.activateWindow();
        QTRY_VERIFY(dlg.isActiveWindow());
        dlg.entries().appendEntry("selected.example", "k");
        dlg.entries().appendEntry("other.example", "k");
        QAbstractItemView* view = dlg.listView();
        view->selectionModel()->select(dlg.entries().index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        // Both rows in one picture: the row's look without its text, and the text's colour.
        auto rowLook = [view](int row) {
            const QRect r = view->visualRect(view->model()->index(row, EngineColumn(Google)));
            const QImage shot = view->viewport()->grab(r).toImage();
            return shot.pixelColor(shot.width() - 2, shot.height() / 2);
        };
        auto inkOf = [view](int row) { // the darkest colour of the URL cell: its text
            const QRect r = view->visualRect(view->model()->index(row, ColUrl));
            const QImage shot = view->viewport()->grab(r).toImage();
            QColor ink = Qt::white;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if (shot.pixelColor(x, y).lightness() < ink.lightness())
                        ink = shot.pixelColor(x, y);
            return ink;
        };
        view->setFocus();
        QTRY_VERIFY(view->hasFocus());
        QVERIFY(rowLook(0) != rowLook(1));

        dlg.button(CMainDlg::IDC_ADD)->setFocus();
        QVERIFY(!view->hasFocus());
        QCOMPARE(rowLook(0), rowLook(1));
        QCOMPARE(inkOf(0), inkOf(1));

        view->setFocus();
        QVERIFY(rowLook(0) != rowLook(1));
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(rowLook(0), rowLook(1));
        dlg.close();
    }

    // An engine that asks for a password during a run gets the one the user types, without
    // the run and the question waiting for each other.
    void passwordAskedDuringARun() {
        tw::test::ScopedWorkDir dir;
        tw::test::AuthServer server;
        CRegistrySettings store;
        store.WriteString(maker::kProduct, "GoogleHost", server.hostPort());
        for (const char* engine : {"bAltavista", "bLycos", "bLooksmart"})
            store.WriteString(maker::kProduct, engine, "0");
        store.WriteString(maker::kProduct, "m_MaxPages", "1");
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry("www.target.example", "blue widgets");
        tw::testing::takeCredentialRequests();
        tw::testing::setNextCredentials(QStringLiteral("user"), QStringLiteral("pw"));
        QTimer closer; // the "not found" dialog at the end of the run
        connect(&closer, &QTimer::timeout, &dlg, [] {
            if (auto* done = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                done->reject();
        });
        closer.start(5);
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        closer.stop();

        const QStringList asked = tw::testing::takeCredentialRequests();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].startsWith(QString::fromStdString("http://" + server.hostPort() + "/")));
        QCOMPARE(server.authorizations().back(), tw::test::AuthServer::kRight);
        QCOMPARE(dlg.lastRankRun().stats.pagesFetched, 1);
        QCOMPARE(dlg.lastRankRun().stats.failedPages, 0);
        QCOMPARE(dlg.entries().cell(0, EngineColumn(Google)), std::string("not found"));
        dlg.close();
    }
};

TW_TEST_MAIN_GUI(TestMainWindow)
#include "test_mainwindow.moc"
