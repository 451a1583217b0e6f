// Import, Undo import and Export as the window's user reaches them: the buttons and the list's
// context menu, with pre-answered file dialogs.
#include "app/MainDlg.h"
#include "data/DataFileSession.h"
#include "exchange/Export.h"
#include "exchange/ImportTargetDlg.h"
#include "reports/ReportCommand.h"
#include "support/GuiTest.h"
#include "support/SampleHistory.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>

#include <functional>

namespace {

using tw::test::readFile;
using tw::test::writeFile;
// One entry with results, LF line ends as the list file may have them.
const QByteArray kOneEntry("old.com\nk\nRank 7 / Page 1\nnot found\n-\n-\n");
// Header, an entry already in the list, two new ones (one quoted with the separator and a line
// break inside) and a URL with a blank inside on line 5.
const QByteArray kImportCsv("url,keywords\r\nold.com,k\r\nnew.com,\"a, b\"\r\n"
                            "\"two.com\",\"x\ny\"\r\nbad url.com,k\r\n");

QStringList entriesOf(const EntryListModel& model) {
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << QString::fromStdString(model.cell(row, ColNumber) + " " + model.cell(row, ColUrl) +
                                      "|" + model.cell(row, ColKeywords));
    return out;
}

QList<tw::testing::ShownMessage> shown() {
    return tw::testing::takeShownMessages();
}

// The list's context menu as the window fills it.
QAction* menuAction(CMainDlg& dlg, QMenu& menu, const QString& text) {
    dlg.AddExchangeActions(menu);
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void importThroughButton(CMainDlg& dlg, const QString& path) {
    tw::testing::setNextFileName(path);
    QTest::mouseClick(dlg.button(CMainDlg::IDC_IMPORT), Qt::LeftButton);
}
} // namespace

class TestExchangeWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::answerMessageBoxes(); }

    void buttonsBesideTheOthers() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        QPushButton* import = dlg.button(CMainDlg::IDC_IMPORT);
        QPushButton* exportButton = dlg.button(CMainDlg::IDC_EXPORT);
        QCOMPARE(import->text(), QStringLiteral("&Import..."));
        QCOMPARE(exportButton->text(), QStringLiteral("E&xport..."));
        const QRect save = dlg.button(CMainDlg::IDC_SAVE)->geometry();
        QCOMPARE(import->x(), save.x());
        QCOMPARE(exportButton->x(), save.x());
        QVERIFY(import->y() > save.bottom());
        QVERIFY(exportButton->y() > import->geometry().bottom());
        // Moved with the right column when the window grows.
        dlg.resize(dlg.size() + QSize(100, 0));
        QCOMPARE(import->x(), dlg.button(CMainDlg::IDC_SAVE)->x());
        QVERIFY(!dlg.button(CMainDlg::IDC_SETTINGS_HIDDEN)->isVisible());
        // After the others in the tab order.
        QCOMPARE(import->nextInFocusChain(), exportButton);
    }

    // The summary names what was added, skipped and why; the entries are saved at close.
    void importThroughTheButtonIsSavedAtClose() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kOneEntry);
        writeFile(dir.file("list.csv"), kImportCsv);
        {
            CMainDlg dlg;
            dlg.show();
            importThroughButton(dlg, dir.file("list.csv"));
            const auto messages = shown();
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages[0].text, QStringLiteral("1 entry added, 1 already in the list, 2 "
                                                      "lines skipped.\n\nskipped lines: 4, 6."));
            QCOMPARE(entriesOf(dlg.entries()), (QStringList{"1 old.com|k", "2 new.com|a, b"}));
            QCOMPARE(dlg.entries().cell(1, EngineColumn(Google)), std::string("-"));
            QVERIFY(dlg.CanUndoImport());
            dlg.close();
        }
        QCOMPARE(readFile(dir.file("tallowick.dat")),
                 QByteArray("old.com\r\nk\r\nRank 7 / Page 1\r\nnot found\r\n-\r\n-\r\n"
                            "new.com\r\na, b\r\n-\r\n-\r\n-\r\n-\r\n"));
    }

    // Undo import removes exactly the imported rows, and only until the list changes otherwise.
    void undoImport_data() {
        QTest::addColumn<int>("change"); // index into the changes below
        QTest::addColumn<bool>("undoable");
        QTest::addColumn<QStringList>("afterUndo"); // empty: the list as the change left it
        const QStringList firstImport{"1 old.com|k", "2 a.com|one", "3 b.com|two"};
        QTest::newRow("nothing else") << 0 << true << QStringList{"1 old.com|k"};
        QTest::newRow("export") << 1 << true << QStringList{"1 old.com|k"};
        QTest::newRow("add") << 2 << false << QStringList();
        QTest::newRow("edit") << 3 << false << QStringList();
        QTest::newRow("remove") << 4 << false << QStringList();
        // Only the later import is taken back.
        QTest::newRow("another import") << 5 << true << firstImport;
    }
    void undoImport() {
        QFETCH(int, change);
        QFETCH(bool, undoable);
        QFETCH(QStringList, afterUndo);
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kOneEntry);
        writeFile(dir.file("list.csv"), "a.com,one\nb.com,two\n");
        writeFile(dir.file("phrases.txt"), "three\n");
        CMainDlg dlg;
        dlg.show();
        QMenu before;
        QAction* undo = menuAction(dlg, before, QStringLiteral("&Undo import"));
        QVERIFY(undo);
        QVERIFY(!undo->isEnabled());
        importThroughButton(dlg, dir.file("list.csv"));
        QCOMPARE(dlg.entries().rowCount(), 3);

        const std::function<void()> changes[] = {
            [] {},
            [&] {
                tw::testing::setNextFileName(dir.file("out.csv"));
                dlg.OnExport();
            },
            [&] { dlg.entries().appendEntry("c.com", "added"); },
            [&] { dlg.entries().setCell(0, ColKeywords, "edited"); },
            [&] { dlg.entries().removeEntry(0); },
            [&] {
                tw::test::ModalDriver<tw::ImportTargetDlg> driver([](tw::ImportTargetDlg* d) {
                    d->urlEdit()->setText(QStringLiteral("t.com"));
                    d->accept();
                });
                importThroughButton(dlg, dir.file("phrases.txt"));
            },
        };
        changes[change]();
        shown();
        const QStringList afterChange = entriesOf(dlg.entries());

        QMenu menu;
        undo = menuAction(dlg, menu, QStringLiteral("&Undo import"));
        QCOMPARE(undo->isEnabled(), undoable);
        undo->trigger();
        QCOMPARE(entriesOf(dlg.entries()), afterUndo.isEmpty() ? afterChange : afterUndo);
        QVERIFY(!dlg.CanUndoImport());
        QVERIFY(shown().isEmpty());
    }

    void exportThroughTheButton() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kOneEntry);
        CMainDlg dlg;
        dlg.show();
        tw::testing::setNextFileName(dir.file("table.csv"));
        QTest::mouseClick(dlg.button(CMainDlg::IDC_EXPORT), Qt::LeftButton);
        QCOMPARE(readFile(dir.file("table.csv")),
                 tw::exchange::exportCsv(dlg.entries().rows(), tw::exchange::engineSlotLabels()));
        QVERIFY(readFile(dir.file("table.csv"))
                    .endsWith("1,old.com,k,Rank 7 / Page 1,7,1,"
                              "not found,,,-,,,-,,,,,,,\r\n"));
        auto messages = shown();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].text.contains("table.csv"), qPrintable(messages[0].text));
        QCOMPARE(messages[0].icon, QMessageBox::Information);
        // The list lives in a temporary folder (as the demo's does): offered the documents.
        QCOMPARE(tw::testing::lastStartDir(),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));

        // A folder that is not there: said so, nothing written.
        tw::testing::setNextFileName(dir.file("no/such/table.csv"));
        QMenu menu;
        menuAction(dlg, menu, QStringLiteral("E&xport..."))->trigger();
        messages = shown();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].text.contains("could not be written"), qPrintable(messages[0].text));
        QCOMPARE(messages[0].icon, QMessageBox::Warning);
        QVERIFY(!QFile::exists(dir.file("no")));
    }

    // Report... from the Export button's own menu and from the list's menu: the dialog filled in,
    // the file chosen through the file dialog, the report written, the choice offered again.
    void reportThroughTheMenus() {
        tw::test::ScopedWorkDir dir;
        const QString data = dir.file("tallowick.dat");
        writeFile(data, kOneEntry);
        QString error;
        QVERIFY2(tw::test::recordRun(data,
                                     QDateTime::fromString("2026-11-01T09:00:00Z", Qt::ISODate),
                                     {{"old.com", "k", tw::test::sampleResult(0, 9)}}, &error),
                 qPrintable(error));
        QVERIFY2(tw::test::recordRun(data,
                                     QDateTime::fromString("2026-12-01T09:00:00Z", Qt::ISODate),
                                     {{"old.com", "k", tw::test::sampleResult(0, 7)}}, &error),
                 qPrintable(error));
        CMainDlg dlg;
        dlg.show();
        QCoreApplication::processEvents();
        shown();

        const QString html = dir.file("client.html");
        bool menuShown = false;
        std::unique_ptr<tw::test::ModalDriver<tw::reports::ReportDlg>> driver;
        // The button's menu is modal too: the dialog's driver starts once it is up.
        QTimer::singleShot(0, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* action : menu->actions()) {
                if (action->text() != QStringLiteral("&Report..."))
                    continue;
                menuShown = true;
                driver = std::make_unique<tw::test::ModalDriver<tw::reports::ReportDlg>>(
                    [&](tw::reports::ReportDlg* d) {
                        d->findChild<QLineEdit*>("title")->setText("Shoes <b>for</b> Acme");
                        d->findChild<QSpinBox*>("period")->setValue(30);
                        d->findChild<QComboBox*>("format")->setCurrentIndex(1); // HTML
                        // No file: refused with a word, the dialog stays.
                        d->findChild<QLineEdit*>("file")->clear();
                        d->accept();
                        QVERIFY(d->isVisible());
                        tw::testing::setNextFileName(html);
                        for (QPushButton* b : d->findChildren<QPushButton*>()) {
                            if (b->text() == QStringLiteral("&Browse..."))
                                b->click();
                        }
                        QCOMPARE(d->findChild<QLineEdit*>("file")->text(), html);
                        d->accept();
                    });
            }
            menu->close();
            if (driver) {
                for (QAction* action : menu->actions()) {
                    if (action->text() == QStringLiteral("&Report..."))
                        action->trigger();
                }
            }
        });
        emit dlg.button(CMainDlg::IDC_EXPORT)->customContextMenuRequested(QPoint(2, 2));
        QVERIFY(menuShown);
        QVERIFY(driver && driver->opened());
        auto messages = shown();
        QCOMPARE(messages.size(), 2);
        QVERIFY(messages[0].text.contains("choose the file"));
        QVERIFY2(messages[1].text.contains("client.html"), qPrintable(messages[1].text));
        const QByteArray written = readFile(html);
        QVERIFY(written.contains("Shoes &lt;b&gt;for&lt;/b&gt; Acme"));
        QVERIFY(written.contains("Rank 7 / Page 1"));
        QVERIFY(written.contains("up 2"));

        // Offered again from the list's menu, as it was left.
        tw::reports::ReportChoice offered;
        tw::test::ModalDriver<tw::reports::ReportDlg> again(
            [&](tw::reports::ReportDlg* d) { offered = d->choice(); });
        QMenu menu;
        menuAction(dlg, menu, QStringLiteral("&Report..."))->trigger();
        QVERIFY(again.opened());
        QCOMPARE(offered.title, QStringLiteral("Shoes <b>for</b> Acme"));
        QCOMPARE(offered.format, tw::reports::ReportFormat::Html);
        QCOMPARE(offered.file, html);
        QVERIFY(shown().isEmpty()); // cancelled: nothing written, nothing said
    }

    // Another window has the list: nothing imported could be saved, so nothing is imported.
    void readOnlyWindowCannotImport() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("tallowick.dat"), kOneEntry);
        datafile::CDataFileSession other(dir.file("tallowick.dat"));
        QCOMPARE(other.Lock(), datafile::CDataFileSession::LockResult::Locked);
        CMainDlg dlg;
        dlg.show();
        QCoreApplication::processEvents();
        shown();
        QVERIFY(dlg.IsReadOnly());
        QVERIFY(!dlg.button(CMainDlg::IDC_IMPORT)->isEnabled());
        QMenu menu;
        QVERIFY(!menuAction(dlg, menu, QStringLiteral("&Import..."))->isEnabled());
        // Reached anyway (a shortcut): refused with a word, no file dialog.
        dlg.OnImport();
        const auto messages = shown();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].text.contains("read-only"));
        QCOMPARE(dlg.entries().rowCount(), 1);
        QVERIFY(dlg.button(CMainDlg::IDC_EXPORT)->isEnabled());
    }
};

QTEST_MAIN(TestExchangeWindow)
#include "test_exchange_window.moc"
