// Rank All and Rank in the main window against the engine simulator: rows, records, thread
// limit, engine switches, completion, cancel, the locked list during a run and Quit mid-run.
#include "app/MainDlg.h"
#include "base/Engines.h"
#include "base/Maker.h"
#include "rank/RankCompleteDlg.h"
#include "rank/RankProgressDlg.h"
#include "rank/RankRun.h"
#include "settings/RegistrySettings.h"
#include "settings/ServiceAddresses.h"
#include "support/GuiTest.h"
#include "support/RunLog.h"
#include "support/SimHarness.h"
#include "support/TestEnv.h"
#include "ui/HyperLink.h"
#include "ui/MessageBox.h"
#include "ui/Sound.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

using tw::test::AboveOnFirstPage;
using tw::test::CountedRank;
using tw::test::Simulator;

const std::string kKeywords = "blue widgets";

std::string Target(int i) {
    return tw::test::RunTarget(i);
}

void Store(const char* name, const std::string& value) {
    CRegistrySettings().WriteString(maker::kProduct, name, value);
}

// Settings as the user would have saved them, read when the window is made.
void StoreSettings(const std::string& host, int depth, int threads, unsigned engines = 15) {
    Store("m_MaxPages", std::to_string(depth));
    Store("m_MaxThreads", std::to_string(threads));
    const char* switches[] = {"bGoogle", "bAltavista", "bLycos", "bLooksmart"};
    for (int e = 0; e < kEngineCount; ++e) {
        Store(switches[e], ((engines >> e) & 1u) ? "1" : "0");
        Store(engines::Info(SearchEngine(e)).hostValue, host);
    }
}

// Watches a run from the window's side: URL marks, dialogs that come up (answered at once) and
// an action at the first mark.
class CRunWatcher : public QObject, public tw::test::UrlLog {
public:
    explicit CRunWatcher(CMainDlg& dlg) : m_dlg(dlg) {
        connect(&dlg.entries(), &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& from, const QModelIndex& to) {
                    if (from.column() > ColUrl || to.column() < ColUrl)
                        return;
                    for (int row = from.row(); row <= to.row(); ++row)
                        OnUrl(row, m_dlg.entries().cell(row, ColUrl));
                });
        connect(&m_timer, &QTimer::timeout, this, &CRunWatcher::AnswerDialogs);
        m_timer.start(10);
    }

    QStringList dialogs; // class names of the modal dialogs that came up
    QString completeText;
    std::function<void()> atFirstMark;

private:
    void OnUrl(int row, const std::string& text) {
        if (Record(row, text) && atFirstMark) {
            // Not from inside the model's signal: as the user would, a moment later.
            QTimer::singleShot(0, this, atFirstMark);
            atFirstMark = nullptr;
        }
    }

    void AnswerDialogs() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        dialogs << QString::fromLatin1(modal->metaObject()->className());
        if (auto* complete = qobject_cast<CRankCompleteDlg*>(modal)) {
            completeText = complete->MessageText()->text();
            QVERIFY(complete->m_linkSubmit->isAttached());
            QCOMPARE(complete->m_linkSubmit->linkTarget(), QString::fromLatin1(maker::kWebSite));
        }
        static_cast<QDialog*>(modal)->reject();
    }

    CMainDlg& m_dlg;
    QTimer m_timer;
};

void AddEntries(CMainDlg& dlg, int count) {
    for (int i = 0; i < count; ++i)
        dlg.entries().appendEntry(Target(i), kKeywords);
}

void RankAll(CMainDlg& dlg) {
    dlg.button(CMainDlg::IDC_RANKALL)->click();
}

QStringList Texts(const QList<tw::testing::ShownMessage>& shown) {
    QStringList texts;
    for (const auto& m : shown)
        texts << m.text;
    return texts;
}

} // namespace

class TestRankWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::answerMessageBoxes(); }

    void refusals_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("message");
        QTest::newRow("rank all, empty list")
            << 0 << int(CMainDlg::IDC_RANKALL)
            << "Please enter a URL and target keywords to search for.";
        QTest::newRow("rank, empty list")
            << 0 << int(CMainDlg::IDC_RANK)
            << "Please enter a URL and target keywords to search for.";
        QTest::newRow("rank, nothing selected")
            << 2 << int(CMainDlg::IDC_RANK)
            << "Please highlight the URL(s) you wish to rank, or click Rank All to rank all "
               "items.";
    }
    void refusals() {
        QFETCH(int, entries);
        QFETCH(int, button);
        QFETCH(QString, message);
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, entries);
        const int sounds = tw::testing::soundsStarted();
        dlg.button(button)->click();
        QCOMPARE(Texts(tw::testing::takeShownMessages()), QStringList{message});
        QCOMPARE(tw::testing::soundsStarted(), sounds);
        for (int row = 0; row < entries; ++row)
            QCOMPARE(dlg.entries().cell(row, EngineColumn(Google)), std::string("-"));
        QVERIFY(!dlg.IsRankingSelectedOnly());
    }

    // Five entries, three at a time: every column and record filled, each row its own.
    void rankAllFillsEveryRow() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        // Entry i is found on the engines of the bit mask i + 1, at rank 2 + i.
        for (int i = 0; i < 5; ++i)
            for (int e = 0; e < kEngineCount; ++e)
                if (((i + 1) >> e) & 1)
                    sim.model.AddPlant(e, 2 + i, Target(i), kKeywords);
        StoreSettings(sim.start(2), 2, 3);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 5);
        CRunWatcher watcher(dlg);
        const int sounds = tw::testing::soundsStarted();
        RankAll(dlg);

        QCOMPARE(dlg.lastRankRun().workersStarted, 5);
        QCOMPARE(watcher.maxMarked, 3);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(dlg.entries().cell(i, ColUrl), Target(i));
            const EntryResults* record = dlg.entries().results(i);
            QVERIFY(record);
            for (int e = 0; e < kEngineCount; ++e) {
                const SearchEngine engine = SearchEngine(e);
                const bool found = ((i + 1) >> e) & 1;
                QCOMPARE(dlg.entries().cell(i, EngineColumn(e)),
                         found ? RankText(CountedRank(engine, 2 + i), 1) : "not found");
                QVERIFY(record->sites[e] ==
                        (found ? AboveOnFirstPage(sim.model, engine, kKeywords, 2 + i)
                               : std::vector<std::string>()));
            }
        }
        QCOMPARE(watcher.dialogs, QStringList{"CRankCompleteDlg"});
        QVERIFY(watcher.completeText.startsWith("Not all URL(s) were found in the results.\n\n"));
        QVERIFY(tw::testing::takeShownMessages().isEmpty());
        QCOMPARE(tw::testing::soundsStarted(), sounds + 1);
        QVERIFY(dlg.findChildren<CRankProgressDlg*>().isEmpty());
        for (int id : {CMainDlg::IDC_RANKALL, CMainDlg::IDC_ADD, CMainDlg::IDC_SETTINGS})
            QVERIFY(dlg.button(id)->isEnabled());
    }

    // Rank with rows 2 and 4 selected touches nothing else.
    void rankSelectedTouchesOnlyThoseRows() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        // Found everywhere at rank 1 + row; row 0 would be found too, if it were ranked.
        for (int row : {0, 1, 3})
            sim.model.AddPlant(-1, 1 + row, Target(row), kKeywords);
        StoreSettings(sim.start(), 1, 3);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 5);
        QItemSelectionModel* selection = dlg.listView()->selectionModel();
        for (int row : {1, 3})
            selection->select(dlg.entries().index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        CRunWatcher watcher(dlg);
        dlg.button(CMainDlg::IDC_RANK)->click();

        QVERIFY(!dlg.IsRankingSelectedOnly());
        QCOMPARE(Texts(tw::testing::takeShownMessages()), QStringList{"Ranking is complete."});
        for (const auto& [row, text] : watcher.urlLog)
            QVERIFY(row == 1 || row == 3);
        QCOMPARE(int(watcher.urlLog.size()), 4);
        for (int row = 0; row < 5; ++row) {
            const bool ranked = row == 1 || row == 3;
            QCOMPARE(dlg.entries().results(row) != nullptr, ranked);
            for (int e = 0; e < kEngineCount; ++e)
                QCOMPARE(dlg.entries().cell(row, EngineColumn(e)),
                         ranked ? RankText(CountedRank(SearchEngine(e), 1 + row), 1) : "-");
        }
    }

    // With a filter, Rank All ranks the entries it shows and leaves the hidden ones alone.
    void rankAllRanksWhatTheFilterShows() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        for (int row = 0; row < 4; ++row)
            sim.model.AddPlant(-1, 1 + row, Target(row), kKeywords);
        StoreSettings(sim.start(), 1, 3);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 4);
        for (int row : {1, 2})
            dlg.entries().setOptions(row, {"", "", "", "", "acme"});
        dlg.SetFilter(QStringLiteral("acme"));
        QCOMPARE(dlg.shownRows(), (QList<int>{1, 2}));
        CRunWatcher watcher(dlg);
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        QCOMPARE(Texts(tw::testing::takeShownMessages()), QStringList{"Ranking is complete."});
        for (int row = 0; row < 4; ++row) {
            const bool ranked = row == 1 || row == 2;
            QCOMPARE(dlg.entries().cell(row, EngineColumn(Google)),
                     ranked ? RankText(1 + row, 1) : "-");
        }

        dlg.SetFilter(QStringLiteral("no such entry"));
        dlg.button(CMainDlg::IDC_RANKALL)->click();
        const QStringList told = Texts(tw::testing::takeShownMessages());
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(QStringLiteral("filter")), qPrintable(told[0]));
    }

    void threadSetting_data() {
        QTest::addColumn<int>("threads");
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
    }
    void threadSetting() {
        QFETCH(int, threads);
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        StoreSettings(sim.start(5), 1, threads);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 5);
        CRunWatcher watcher(dlg);
        RankAll(dlg);

        QCOMPARE(dlg.lastRankRun().maxRunning, threads);
        QCOMPARE(watcher.maxMarked, threads);
        QCOMPARE(int(watcher.urlLog.size()), 10);
        tw::test::CheckWorkerOrder(watcher, threads);
    }

    void engineSwitches_data() {
        QTest::addColumn<unsigned>("enginesOn");
        QTest::addColumn<unsigned>("plantedOn");
        QTest::addColumn<QString>("shown"); // the completion dialog or the message
        QTest::newRow("google and lycos off, found on altavista only")
            << 10u << 2u << "CRankCompleteDlg";
        QTest::newRow("only google on and found") << 1u << 15u << "Ranking is complete.";
    }
    void engineSwitches() {
        QFETCH(unsigned, enginesOn);
        QFETCH(unsigned, plantedOn);
        QFETCH(QString, shown);
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        for (int e = 0; e < kEngineCount; ++e)
            if ((plantedOn >> e) & 1u)
                sim.model.AddPlant(e, 4, Target(0), kKeywords);
        StoreSettings(sim.start(), 1, 3, enginesOn);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 1);
        CRunWatcher watcher(dlg);
        RankAll(dlg);

        const QStringList messages = Texts(tw::testing::takeShownMessages());
        QCOMPARE(watcher.dialogs + messages, QStringList{shown});
        const EntryResults* record = dlg.entries().results(0);
        QVERIFY(record);
        for (int e = 0; e < kEngineCount; ++e) {
            const bool found = ((enginesOn & plantedOn) >> e) & 1u;
            QCOMPARE(dlg.entries().cell(0, EngineColumn(e)),
                     found ? RankText(CountedRank(SearchEngine(e), 4), 1) : "not found");
            QVERIFY(record->sites[e] ==
                    (found ? AboveOnFirstPage(sim.model, SearchEngine(e), kKeywords, 4)
                           : std::vector<std::string>()));
        }
    }

    // A second run that finds the target makes a fresh record; one that finds nothing keeps it.
    void rerankingReplacesOrKeepsTheRecord() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        sim.model.AddPlant(Google, 5, "www.first.example", kKeywords);
        sim.model.AddPlant(AltaVista, 6, "www.second.example", kKeywords);
        StoreSettings(sim.start(), 1, 3);
        CMainDlg dlg;
        dlg.show();
        dlg.entries().appendEntry("www.first.example", kKeywords);
        CRunWatcher watcher(dlg);
        RankAll(dlg);
        const EntryResults* first = dlg.entries().results(0);
        QVERIFY(first && first->sites[Google].size() == 4 && first->sites[AltaVista].empty());

        dlg.entries().setCell(0, ColUrl, "www.second.example");
        RankAll(dlg);
        const EntryResults* second = dlg.entries().results(0);
        QVERIFY(second);
        QVERIFY(second->sites[Google].empty());
        QVERIFY(second->sites[AltaVista] == AboveOnFirstPage(sim.model, AltaVista, kKeywords, 6));
        QCOMPARE(dlg.entries().cell(0, EngineColumn(Google)), std::string("not found"));

        dlg.entries().setCell(0, ColUrl, "www.nowhere.example");
        RankAll(dlg);
        QVERIFY(dlg.entries().results(0) == second);
        QVERIFY(second->sites[AltaVista] == AboveOnFirstPage(sim.model, AltaVista, kKeywords, 6));
        for (int e = 0; e < kEngineCount; ++e)
            QCOMPARE(dlg.entries().cell(0, EngineColumn(e)), std::string("not found"));
    }

    // Cancel with ten entries and three threads: no fourth worker, no completion message, and
    // every row keeps the results it had, since no scan came to an answer.
    void cancelStopsTheRun() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        StoreSettings(sim.start(20), 5, 3);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 10);
        CRunWatcher watcher(dlg);
        watcher.atFirstMark = [&] {
            auto* progress = dlg.findChild<CRankProgressDlg*>();
            QVERIFY(progress && progress->isVisible());
            QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
            QVERIFY(!progress->CancelButton()->isEnabled());
        };
        const int sounds = tw::testing::soundsStarted();
        RankAll(dlg);

        QVERIFY(dlg.lastRankRun().cancelled);
        QCOMPARE(dlg.lastRankRun().workersStarted, 3);
        QVERIFY(watcher.dialogs.isEmpty());
        QVERIFY(tw::testing::takeShownMessages().isEmpty());
        QCOMPARE(tw::testing::soundsStarted(), sounds + 1);
        for (int row = 0; row < 10; ++row) {
            QCOMPARE(dlg.entries().cell(row, ColUrl), Target(row));
            for (int e = 0; e < kEngineCount; ++e)
                QCOMPARE(dlg.entries().cell(row, EngineColumn(e)), std::string("-"));
        }
    }

    // The progress window's caption counts the entries done of all while the run goes on.
    void progressCaptionCountsEntries() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        StoreSettings(sim.start(20), 1, 1);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 4);
        CRunWatcher watcher(dlg);
        QStringList captions;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, &dlg, [&] {
            if (auto* progress = dlg.findChild<CRankProgressDlg*>()) {
                if (captions.isEmpty() || captions.back() != progress->windowTitle())
                    captions << progress->windowTitle();
            }
        });
        sampler.start(5);
        RankAll(dlg);
        sampler.stop();
        QCOMPARE(dlg.lastRankRun().workersStarted, 4);
        QStringList expected;
        for (int done = 0; done <= 3; ++done)
            expected << QStringLiteral("Ranking Sites: %1 of 4").arg(done);
        if (captions.size() == 5)
            expected << QStringLiteral("Ranking Sites: 4 of 4");
        QCOMPARE(captions, expected);
    }

    // During a run the list cannot be changed; Quit stops the run, then saves and closes.
    void listLockedAndQuitMidRun() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        sim.model.AddPlant(-1, 2, Target(0), kKeywords);
        StoreSettings(sim.start(20), 5, 2);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 6);
        CRunWatcher watcher(dlg);
        bool checked = false;
        watcher.atFirstMark = [&] {
            for (int id : {CMainDlg::IDC_ADD, CMainDlg::IDC_EDIT, CMainDlg::IDC_REMOVE,
                           CMainDlg::IDC_SETTINGS, CMainDlg::IDC_RANKALL, CMainDlg::IDC_RANK,
                           CMainDlg::IDC_IMPORT})
                QVERIFY2(!dlg.button(id)->isEnabled(), qPrintable(QString::number(id)));
            for (int id : {CMainDlg::IDC_QUIT, CMainDlg::IDC_RESULTS, CMainDlg::IDC_SAVE,
                           CMainDlg::IDC_EXPORT})
                QVERIFY(dlg.button(id)->isEnabled());
            // No file dialog either (one would wait here for an answer).
            dlg.OnImport();
            // Double-click and Enter do nothing while the run goes on.
            QTest::mouseDClick(dlg.listView()->viewport(), Qt::LeftButton);
            dlg.OnEditEntry();
            dlg.OnRankAll();
            QCOMPARE(dlg.entries().rowCount(), 6);
            checked = true;
            QTest::mouseClick(dlg.button(CMainDlg::IDC_QUIT), Qt::LeftButton);
            // Closing waits for the workers.
            QVERIFY(dlg.isVisible());
        };
        RankAll(dlg);

        QVERIFY(checked);
        QVERIFY(watcher.dialogs.isEmpty());
        QVERIFY(tw::testing::takeShownMessages().isEmpty());
        QVERIFY(!dlg.isVisible());
        QVERIFY(dlg.lastRankRun().cancelled);
        QCOMPARE(dlg.lastRankRun().workersStarted, 2);
        QFile file(dir.file("tallowick.dat"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray expected;
        for (int row = 0; row < 6; ++row) {
            const std::string results = "-";
            for (const std::string& line :
                 {Target(row), kKeywords, results, results, results, results})
                expected += QByteArray::fromStdString(line) + "\r\n";
        }
        // Row 0 may have been found on some engines before the cancel reached it.
        const QList<QByteArray> lines = file.readAll().split('\n');
        const QList<QByteArray> want = expected.split('\n');
        QCOMPARE(lines.size(), want.size());
        for (int i = 0; i < lines.size(); ++i) {
            if (i >= 2 && i < 6 && lines[i].startsWith("Rank "))
                continue;
            QCOMPARE(lines[i], want[i]);
        }
    }

    // Pages that could not be downloaded are told once, with the first failure.
    void failedDownloadsAreTold() {
        tw::test::ScopedWorkDir dir;
        std::string deadHost;
        {
            Simulator sim(9);
            deadHost = sim.start();
        }
        StoreSettings(deadHost, 2, 3);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 2);
        CRunWatcher watcher(dlg);
        RankAll(dlg);

        QCOMPARE(watcher.dialogs, QStringList{"CRankCompleteDlg"});
        const QStringList texts = Texts(tw::testing::takeShownMessages());
        QCOMPARE(texts.size(), 1);
        // Each engine's first page fails on every try, which ends its scan: "error", not
        // "not found".
        QVERIFY2(texts[0].startsWith("8 of the 8 result pages could not be downloaded, even when "
                                     "tried again. 8 results read \"error\""),
                 qPrintable(texts[0]));
        QVERIFY(texts[0].contains(QString::fromStdString("http://" + deadHost + "/")));
        for (int row = 0; row < 2; ++row)
            for (int e = 0; e < kEngineCount; ++e)
                QCOMPARE(dlg.entries().cell(row, EngineColumn(e)), std::string("error"));
    }

    // How long the window goes without handling its events during a busy run: a measurement,
    // printed; the bound here only catches a window that hangs.
    void windowStaysResponsive() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        StoreSettings(sim.start(20), 2, 8);
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 20);
        CRunWatcher watcher(dlg);
        QElapsedTimer clock;
        qint64 last = 0, largestGap = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] {
            const qint64 now = clock.elapsed();
            largestGap = std::max(largestGap, now - last);
            last = now;
        });
        clock.start();
        tick.start(5);
        RankAll(dlg);
        tick.stop();
        qInfo("run of 20 entries, 8 threads, 20 ms latency: %lld ms, largest gap between UI "
              "ticks %lld ms",
              clock.elapsed(), largestGap);
        QCOMPARE(dlg.lastRankRun().workersStarted, 20);
        QVERIFY(largestGap < 2000);
    }

    // A run through a result service ends with the calls it spent; a budget that stopped scans
    // says so, and their rows keep what they had.
    void serviceCallsAreTold_data() {
        QTest::addColumn<QString>("budget");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("kept"); // rows at the end that keep their old text
        QTest::newRow("no budget") << ""
                                   << "Result-service calls in this run: serper.dev: 6 calls." << 0;
        QTest::newRow("budget of three")
            << "3"
            << "Call budget of 3 reached: 2 entries not ranked. Their columns keep the texts they "
               "had.\n\nResult-service calls in this run: serper.dev: 3 calls."
            << 2;
    }
    void serviceCallsAreTold() {
        QFETCH(QString, budget);
        QFETCH(QString, message);
        QFETCH(int, kept);
        tw::test::ScopedWorkDir dir;
        Simulator sim(9);
        StoreSettings(sim.start(), 2, 1, 1u << Google);
        Store("GoogleSource", "serper:google");
        Store("SerperKey", "sk-window-1");
        Store("SerperUrl", "http://" + sim.server->HostPort());
        Store("MaxCallsPerRun", budget.toStdString());
        CMainDlg dlg;
        dlg.show();
        AddEntries(dlg, 3);
        CRunWatcher watcher(dlg);
        RankAll(dlg);
        for (const char* name : {"GoogleSource", "SerperKey", "SerperUrl", "MaxCallsPerRun"})
            Store(name, "");
        const QStringList shown = Texts(tw::testing::takeShownMessages());
        QVERIFY2(shown.contains(message), qPrintable(shown.join(" | ")));
        for (int row = 0; row < 3; ++row)
            QCOMPARE(dlg.entries().cell(row, EngineColumn(Google)),
                     std::string(row >= 3 - kept ? "-" : "not found"));
    }
};

TW_TEST_MAIN_GUI(TestRankWindow)
#include "test_rankwindow.moc"
