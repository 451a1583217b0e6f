// The rank history in the main window: History from its button, the list's menu and Ctrl+H, the
// engine cells' tooltips and change marks, What changed, a read-only window and a history that
// cannot be written.
#include "app/MainDlg.h"
#include "base/Engines.h"
#include "base/Maker.h"
#include "data/Competitors.h"
#include "data/DataFile.h"
#include "data/DataFileSession.h"
#include "history/CompetitorsDlg.h"
#include "history/CompetitorsViewDlg.h"
#include "history/HistoryDlg.h"
#include "history/HistoryStore.h"
#include "rank/WhatChangedDlg.h"
#include "settings/RegistrySettings.h"
#include "support/GuiTest.h"
#include "support/RunLog.h"
#include "support/SimHarness.h"
#include "support/TestEnv.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

namespace {

using tw::test::Simulator;

const std::string kKeywords = "blue widgets";

std::string Target(int i) {
    return tw::test::RunTarget(i);
}

// Google alone, one page deep, one entry at a time.
void StoreSettings(const std::string& host) {
    CRegistrySettings settings;
    settings.WriteString(maker::kProduct, "m_MaxPages", "1");
    settings.WriteString(maker::kProduct, "m_MaxThreads", "1");
    for (int e = 0; e < kEngineCount; ++e) {
        settings.WriteString(maker::kProduct, engines::Info(SearchEngine(e)).switchValue,
                             e == Google ? "1" : "0");
        settings.WriteString(maker::kProduct, engines::Info(SearchEngine(e)).hostValue, host);
    }
}

QStringList Texts(const QList<tw::testing::ShownMessage>& shown) {
    QStringList texts;
    for (const auto& m : shown)
        texts << m.text;
    return texts;
}

void Select(CMainDlg& dlg, int row) {
    dlg.listView()->selectionModel()->select(dlg.entries().index(row, 0),
                                             QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
}

// The items of the menu a right click on target at pos shows (closed again at once).
QStringList MenuShownFor(QWidget* target, const QPoint& pos) {
    QStringList items;
    QTimer::singleShot(0, [&items] {
        if (auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* action : shown->actions())
                items << action->text();
            shown->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QApplication::sendEvent(target, &event);
    return items;
}

QString Tip(CMainDlg& dlg, int row, SearchEngine engine) {
    return tw::test::shownTip(
        dlg.entries()
            .data(dlg.entries().index(row, EngineColumn(engine)), Qt::ToolTipRole)
            .toString());
}

// The date of the earlier of two recorded runs, as a tooltip writes it.
QString FirstRunDate(const QString& dataFile, int entry) {
    tw::EntryHistory h;
    tw::loadEntryHistory(dataFile, Target(entry), kKeywords, &h, nullptr);
    return h.runs.empty() ? QString()
                          : h.runs.back().time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT

    // Two entries ranked twice on Google: entry 0 moves from 9 to 3, entry 1 stays at 5.
    void RankTwice(CMainDlg& dlg, Simulator& sim) {
        sim.model.AddPlant(Google, 9, Target(0), kKeywords);
        sim.model.AddPlant(Google, 5, Target(1), kKeywords);
        for (int i = 0; i < 2; ++i)
            dlg.entries().appendEntry(Target(i), kKeywords);
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        sim.model.AddPlant(Google, 3, Target(0), kKeywords);
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        QCOMPARE(Texts(tw::testing::takeShownMessages()),
                 QStringList({"Ranking is complete.", "Ranking is complete."}));
    }

private slots:
    void init() { tw::test::answerMessageBoxes(); }

    // The button sits below Save; the list's own menu and Ctrl+H reach the same command, and a
    // right click beside the list still shows the window's menu.
    void historyOpensTheEntrysRuns_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("button") << "button";
        QTest::newRow("list menu") << "list menu";
        QTest::newRow("Ctrl+H") << "Ctrl+H";
    }
    void historyOpensTheEntrysRuns() {
        QFETCH(QString, way);
        tw::test::ScopedWorkDir dir;
        Simulator sim(4);
        StoreSettings(sim.start());
        CMainDlg dlg;
        dlg.show();
        RankTwice(dlg, sim);

        QPushButton* history = dlg.button(CMainDlg::IDC_HISTORY);
        QPushButton* save = dlg.button(CMainDlg::IDC_SAVE);
        QVERIFY(history && history->isVisible());
        QCOMPARE(history->x(), save->x());
        QVERIFY(history->y() > save->geometry().bottom());

        Select(dlg, 0);
        if (way == "Ctrl+H") {
            dlg.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dlg));
        }
        int runs = -1;
        std::optional<int> latest, earlier;
        QString title;
        tw::test::ModalDriver<tw::HistoryDlg> driver([&](tw::HistoryDlg* h) {
            const tw::EntryHistory& entry = h->model()->history();
            runs = int(entry.runs.size());
            if (runs == 2) {
                latest = entry.runs[0].bySlot[Google]->rank;
                earlier = entry.runs[1].bySlot[Google]->rank;
            }
            title = h->windowTitle();
        });
        if (way == "button") {
            history->click();
        } else if (way == "list menu") {
            dlg.historyAction()->trigger();
        } else {
            QTest::keyClick(&dlg, Qt::Key_H, Qt::ControlModifier);
        }
        QVERIFY(driver.opened());
        QCOMPARE(runs, 2);
        QCOMPARE(latest, std::optional<int>(3));
        QCOMPARE(earlier, std::optional<int>(9));
        QVERIFY2(title.contains(QString::fromStdString(Target(0))), qPrintable(title));
        QVERIFY(tw::testing::takeShownMessages().isEmpty());

        QCOMPARE(MenuShownFor(dlg.listView()->viewport(), {5, 5}).value(0),
                 QStringLiteral("&History"));
        QVERIFY(MenuShownFor(&dlg, {2, 2}).contains(QStringLiteral("&Close")));
    }

    // Competitors... from its button, in the bottom row below the right-hand column, and the
    // Competitors view from the list's menu.
    void competitorsFromWindow() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(4);
        StoreSettings(sim.start());
        CMainDlg dlg;
        dlg.show();
        QPushButton* button = dlg.button(CMainDlg::IDC_COMPETITORS);
        QVERIFY(button && button->isVisible());
        QVERIFY(button->y() > dlg.button(CMainDlg::IDC_LISTS)->geometry().bottom());
        QCOMPARE(button->y(), dlg.button(CMainDlg::IDC_UPGRADE)->y());
        QVERIFY(button->x() > dlg.button(CMainDlg::IDC_UPGRADE)->geometry().right());
        RankTwice(dlg, sim);
        const QStringList menu = MenuShownFor(dlg.listView()->viewport(), {5, 5});
        QVERIFY2(menu.contains(QStringLiteral("Co&mpetitors...")) &&
                     menu.contains(QStringLiteral("Competitors &View")),
                 qPrintable(menu.join(", ")));
        tw::test::ModalDriver<tw::CompetitorsDlg> edit([](tw::CompetitorsDlg* c) {
            c->sitesEdit()->setPlainText(QStringLiteral("rival.example\n"));
            c->accept();
        });
        button->click();
        QVERIFY(edit.opened());
        QVERIFY(QFile::exists(datafile::CompetitorsPath(dlg.dataFilePath())));
        int rows = 0;
        QStringList columns;
        tw::test::ModalDriver<tw::CompetitorsViewDlg> view([&](tw::CompetitorsViewDlg* v) {
            rows = v->table()->rowCount();
            for (int c = 0; c < v->table()->columnCount(); ++c)
                columns << v->table()->horizontalHeaderItem(c)->text();
        });
        dlg.OnCompetitorsView();
        QVERIFY(view.opened());
        QCOMPARE(rows, 2);
        QVERIFY2(columns.contains(QStringLiteral("rival.example")), qPrintable(columns.join(", ")));
        QVERIFY(tw::testing::takeShownMessages().isEmpty());
    }

    // The engine cells keep their texts and tell the previous result and the change; cells
    // without two recorded results have no tooltip.
    void engineCellTooltips() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(4);
        StoreSettings(sim.start());
        CMainDlg dlg;
        dlg.show();
        RankTwice(dlg, sim);
        const QString date = FirstRunDate(dlg.dataFilePath(), 0);
        QVERIFY(!date.isEmpty());

        QCOMPARE(dlg.entries().data(dlg.entries().index(0, EngineColumn(Google))).toString(),
                 QStringLiteral("Rank 3 / Page 1"));
        QCOMPARE(Tip(dlg, 0, Google), "was Rank 9 / Page 1 on " + date + ": up 6");
        QCOMPARE(Tip(dlg, 1, Google), "was Rank 5 / Page 1 on " + date + ": same");
        // Switched off: "not found" in the column, nothing in the history.
        QCOMPARE(dlg.entries().cell(0, EngineColumn(Lycos)), std::string("not found"));
        QVERIFY(Tip(dlg, 0, Lycos).isEmpty());
        // A text the history did not record (changed by hand) gets no tooltip of another result.
        dlg.entries().setCell(0, EngineColumn(Google), "Rank 1 / Page 1");
        QVERIFY(Tip(dlg, 0, Google).isEmpty());
    }

    // Nothing selected, or nothing recorded yet: the user is told instead of an empty window.
    void historyRefusals() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry(Target(0), kKeywords);
        dlg.button(CMainDlg::IDC_HISTORY)->click();
        Select(dlg, 0);
        dlg.button(CMainDlg::IDC_HISTORY)->click();
        QCOMPARE(Texts(tw::testing::takeShownMessages()),
                 QStringList({"Please select an entry to view its rank history.",
                              "This entry has no rank history yet: its results are recorded "
                              "each time it is ranked."}));
    }

    // A window showing a list another program holds records nothing.
    void readOnlyWindowRecordsNothing() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(4);
        sim.model.AddPlant(Google, 2, Target(0), kKeywords);
        StoreSettings(sim.start());
        {
            QFile f(dir.file("tallowick.dat"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray::fromStdString(Target(0) + "\r\n" + kKeywords) +
                    "\r\n-\r\n-\r\n-\r\n-\r\n");
        }
        datafile::CDataFileSession other(dir.file("tallowick.dat"));
        QCOMPARE(other.Lock(), datafile::CDataFileSession::LockResult::Locked);
        CMainDlg dlg;
        dlg.show();
        QCoreApplication::processEvents();
        QVERIFY(dlg.IsReadOnly());
        tw::testing::takeShownMessages();
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        QCOMPARE(dlg.entries().cell(0, EngineColumn(Google)), std::string("Rank 2 / Page 1"));
        QCOMPARE(Texts(tw::testing::takeShownMessages()), QStringList{"Ranking is complete."});
        QVERIFY(!QFile::exists(dir.file("tallowick.history.sqlite")));
    }

    // A damaged history: the run fills the list, the user is told once after it, and the file
    // is left exactly as it was.
    void damagedHistoryToldAfterTheRun() {
        tw::test::ScopedWorkDir dir;
        const QByteArray garbage(3000, 'z');
        {
            QFile f(dir.file("tallowick.history.sqlite"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        Simulator sim(4);
        sim.model.AddPlant(Google, 2, Target(0), kKeywords);
        StoreSettings(sim.start());
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry(Target(0), kKeywords);
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        QCOMPARE(dlg.entries().cell(0, EngineColumn(Google)), std::string("Rank 2 / Page 1"));
        const auto shown = tw::testing::takeShownMessages();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, QStringLiteral("Ranking is complete."));
        QVERIFY2(shown[1].text.contains("it is not a history database, or it is damaged") &&
                     shown[1].text.contains("not recorded in the rank history"),
                 qPrintable(shown[1].text));
        QFile f(dir.file("tallowick.history.sqlite"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), garbage);
    }
    // After a run the moved cells carry marks beside unchanged texts, and "Changes..." on the
    // completion message opens What changed with the run's counts and moves.
    void changeMarksAndWhatChanged() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(4);
        StoreSettings(sim.start());
        CMainDlg dlg;
        dlg.show();
        // Entry 0 goes from 9 to 3; entry 1 from 3 to 7 (entry 0 takes its place); entry 2 stays.
        sim.model.AddPlant(Google, 9, Target(0), kKeywords);
        sim.model.AddPlant(Google, 3, Target(1), kKeywords);
        sim.model.AddPlant(Google, 5, Target(2), kKeywords);
        for (int i = 0; i < 3; ++i)
            dlg.entries().appendEntry(Target(i), kKeywords);
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(dlg.entries().changeMark(i, Google), 0);
        sim.model.AddPlant(Google, 3, Target(0), kKeywords);
        sim.model.AddPlant(Google, 7, Target(1), kKeywords);

        QStringList counts;
        QStringList moves;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto* changed = qobject_cast<CWhatChangedDlg*>(QApplication::activeModalWidget())) {
                poll.stop();
                for (QTreeWidget* table : {changed->Counts(), changed->Moves()}) {
                    for (int i = 0; i < table->topLevelItemCount(); ++i) {
                        QStringList cells;
                        for (int c = 0; c < table->columnCount(); ++c)
                            cells << table->topLevelItem(i)->text(c);
                        (table == changed->Counts() ? counts : moves) << cells.join('|');
                    }
                }
                changed->reject();
            }
        });
        poll.start(20);
        tw::testing::takeShownMessages();
        tw::testing::setNextAnswer(QMessageBox::Open);
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        const auto shown = tw::testing::takeShownMessages();
        QCOMPARE(Texts(shown), QStringList{"Ranking is complete."});
        QVERIFY(shown[0].buttons & QMessageBox::Open);
        QCOMPARE(counts, QStringList{"Google|1|1|1|0|0|0|0"});
        QCOMPARE(moves, QStringList(
                            {QString::fromStdString("Google|up 6|" + Target(0) + "|" + kKeywords +
                                                    "|Rank 9 / Page 1|Rank 3 / Page 1"),
                             QString::fromStdString("Google|down 4|" + Target(1) + "|" + kKeywords +
                                                    "|Rank 3 / Page 1|Rank 7 / Page 1")}));

        const int marks[] = {6, -4, 0};
        const char* const texts[] = {"Rank 3 / Page 1", "Rank 7 / Page 1", "Rank 5 / Page 1"};
        for (int i = 0; i < 3; ++i) {
            const QModelIndex cell = dlg.entries().index(i, EngineColumn(Google));
            QCOMPARE(cell.data(EntryListModel::ChangeMarkRole).toInt(), marks[i]);
            QCOMPARE(cell.data().toString(), QString::fromLatin1(texts[i]));
        }
        // A mark is not part of what is saved.
        QVERIFY(datafile::FormatEntries(dlg.entries().rows())
                    .startsWith(QByteArray::fromStdString(Target(0) + "\r\n" + kKeywords +
                                                          "\r\nRank 3 / Page 1\r\n")));
        // A new text in the cell drops the mark that told how the old one moved.
        dlg.entries().setCell(0, EngineColumn(Google), "not found");
        QCOMPARE(dlg.entries().changeMark(0, Google), 0);
        QCOMPARE(dlg.entries().changeMark(1, Google), -4);
    }
};

TW_TEST_MAIN_GUI(TestHistoryWindow)
#include "test_historywindow.moc"
