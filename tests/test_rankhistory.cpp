// A ranking run recorded in the rank history: what each engine's result leaves there, what a
// cancelled run leaves, and a run whose history cannot be written. In process, against the
// engine simulator.
#include "history/HistoryStore.h"
#include "rank/RankHistory.h"
#include "rank/RankProgress.h"
#include "rank/RankRun.h"
#include "support/RunLog.h"
#include "support/SimHarness.h"
#include "support/TestEnv.h"

#include <QFile>

#include <atomic>
#include <functional>

namespace {

using tw::test::AboveOnFirstPage;
using tw::test::Simulator;

const std::string kKeywords = "blue widgets";

// Rows in memory; every call arrives under g_hListLock.
class CRows : public IRankRows {
public:
    explicit CRows(int count) : cells(std::size_t(count)) {}
    std::vector<std::array<std::string, kColumnCount>> cells;
    std::function<void(int row)> onMark;

    void SetCell(int row, int col, const std::string& text) override {
        cells.at(row)[col] = text;
        if (col == ColUrl && text.size() > 2 && text.compare(text.size() - 2, 2, " *") == 0 &&
            onMark)
            onMark(row);
    }
    void AttachResults(int, std::unique_ptr<EntryResults>,
                       const std::array<bool, kEngineCount>&) override {}
    void SetEngineResults(int, SearchEngine, std::vector<std::string>) override {}
};

class CProgress : public IRankProgress {
public:
    void ReportPage(int, const std::string&, const std::string&) override {}
    bool IsCancelled() const override { return cancel.load(); }
    std::atomic<bool> cancel{false};
};

std::vector<RankTarget> Targets(int count) {
    std::vector<RankTarget> targets;
    for (int i = 0; i < count; ++i)
        targets.push_back({i, tw::test::RunTarget(i), kKeywords, {"-", "-", "-", "-"}, {}});
    return targets;
}

// Ranks count entries with the engines of the mask on (hosts: one per engine) and records the run
// in the history of dir's data file.
RankRunResult RankAndRecord(const QString& dataFile, CRows& rows, CProgress& progress,
                            const std::array<std::string, kEngineCount>& hosts, unsigned engines,
                            bool keepOffColumns, QString* historyError = nullptr) {
    RankRunSettings settings;
    settings.maxPages = 1;
    settings.maxThreads = 1;
    settings.hosts = hosts;
    settings.engineOn = [engines](SearchEngine e) { return (engines >> e) & 1u; };
    settings.keepOffColumns = keepOffColumns;
    rank::CRunHistory history;
    history.Begin(dataFile, QDateTime::currentDateTime());
    history.Attach(settings);
    const RankRunResult run =
        RunRanking(Targets(int(rows.cells.size())), rows, &progress, settings, [&history] {
            WaitAndPump(20);
            history.Flush();
        });
    history.Finish();
    if (historyError)
        *historyError = history.Error();
    return run;
}

tw::EntryHistory Load(const QString& dataFile, int entry) {
    tw::EntryHistory history;
    QString error;
    tw::HistoryStore store;
    if (!store.open(tw::historyPathFor(dataFile), tw::HistoryStore::Mode::ReadOnly, &error) ||
        !store.loadEntry(tw::test::RunTarget(entry), kKeywords, &history, &error, true))
        qWarning("%s", qPrintable(error));
    return history;
}

} // namespace

class TestRankHistory : public QObject {
    Q_OBJECT
private slots:
    // Found, not found and "error" are recorded with what the columns got; a switched-off engine
    // records nothing, also where the window writes "not found" into its column.
    void recordsWhatTheRunWrites_data() {
        QTest::addColumn<bool>("keepOffColumns");
        QTest::newRow("window") << false;
        QTest::newRow("command") << true;
    }
    void recordsWhatTheRunWrites() {
        QFETCH(bool, keepOffColumns);
        tw::test::ScopedWorkDir dir;
        std::string deadHost;
        {
            Simulator gone(3);
            deadHost = gone.start();
        }
        Simulator sim(3);
        sim.model.AddPlant(Google, 4, tw::test::RunTarget(0), kKeywords);
        const std::string host = sim.start();
        // Google finds entry 0, AltaVista finds nothing, Lycos is off, LookSmart cannot be asked.
        CRows rows(2);
        CProgress progress;
        QString error;
        RankAndRecord(dir.file("t.dat"), rows, progress, {host, host, host, deadHost}, 0b1011u,
                      keepOffColumns, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.cells[1][EngineColumn(Lycos)], keepOffColumns ? "" : "not found");

        for (int entry = 0; entry < 2; ++entry) {
            const tw::EntryHistory h = Load(dir.file("t.dat"), entry);
            QCOMPARE(int(h.runs.size()), 1);
            const auto& bySlot = h.runs[0].bySlot;
            QVERIFY(bySlot[Google] && bySlot[AltaVista] && !bySlot[Lycos] && bySlot[LookSmart]);
            QCOMPARE(bySlot[Google]->text, rows.cells[entry][EngineColumn(Google)]);
            QCOMPARE(bySlot[Google]->engine, std::string("Google"));
            QCOMPARE(bySlot[Google]->source, std::string("classic"));
            if (entry == 0) {
                QCOMPARE(bySlot[Google]->rank, std::optional<int>(4));
                QCOMPARE(bySlot[Google]->page, std::optional<int>(1));
                QVERIFY(bySlot[Google]->sitesAbove ==
                        AboveOnFirstPage(sim.model, Google, kKeywords, 4));
            } else {
                QCOMPARE(bySlot[Google]->text, std::string("not found"));
                QVERIFY(!bySlot[Google]->rank && bySlot[Google]->sitesAbove.empty());
            }
            // Beside them, the whole list each scan counted and the address that matched.
            if (entry == 0) {
                const std::vector<std::string>& kept = bySlot[Google]->results;
                QCOMPARE(int(kept.size()), 4);
                QVERIFY(std::vector<std::string>(kept.begin(), kept.begin() + 3) ==
                        AboveOnFirstPage(sim.model, Google, kKeywords, 4));
                QCOMPARE(bySlot[Google]->rankingUrl, kept.back());
                QVERIFY(kept.back().find(tw::test::RunTarget(0)) != std::string::npos);
                QVERIFY(bySlot[Google]->pageSizes == std::vector<int>{4});
            } else {
                QCOMPARE(int(bySlot[Google]->results.size()), sim::kPerPage[Google]);
                QVERIFY(bySlot[Google]->rankingUrl.empty());
            }
            QVERIFY(!bySlot[Google]->resultsPartial);
            QCOMPARE(int(bySlot[AltaVista]->results.size()), sim::kPerPage[AltaVista]);
            QVERIFY(bySlot[LookSmart]->results.empty() && bySlot[LookSmart]->resultsPartial);
            QCOMPARE(bySlot[AltaVista]->text, std::string("not found"));
            QVERIFY(bySlot[AltaVista]->error.empty());
            QCOMPARE(bySlot[LookSmart]->text, std::string("error"));
            QCOMPARE(bySlot[LookSmart]->engine, std::string("Looksmart"));
            QVERIFY(!bySlot[LookSmart]->rank);
            // The reason the scan gave, as the command's JSON shows it.
            QVERIFY2(bySlot[LookSmart]->error.find("No complete answer") != std::string::npos,
                     bySlot[LookSmart]->error.c_str());
        }
    }

    // Cancel once the third entry has started: the two entries written are recorded (the run is
    // committed), the scan cut short and the entries never reached are not.
    void cancelledRunRecordsWhatItWrote() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(3);
        for (int i = 0; i < 4; ++i)
            sim.model.AddPlant(Google, 2 + i, tw::test::RunTarget(i), kKeywords);
        const std::string host = sim.start(20);
        CRows rows(4);
        CProgress progress;
        rows.onMark = [&](int row) {
            if (row == 2)
                progress.cancel = true;
        };
        QString error;
        const RankRunResult run = RankAndRecord(dir.file("t.dat"), rows, progress,
                                                {host, host, host, host}, 1u, true, &error);
        QVERIFY(run.cancelled);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        for (int entry = 0; entry < 4; ++entry) {
            const tw::EntryHistory h = Load(dir.file("t.dat"), entry);
            QCOMPARE(int(h.runs.size()), entry < 2 ? 1 : 0);
            if (entry < 2)
                QCOMPARE(h.runs[0].bySlot[Google]->rank, std::optional<int>(2 + entry));
        }
    }

    // A damaged history: the run goes on and writes its rows, the reason is kept once, and the
    // file stays byte for byte as it was.
    void damagedHistoryLeavesTheRunAlone() {
        tw::test::ScopedWorkDir dir;
        const QByteArray garbage(4096, 'x');
        {
            QFile f(tw::historyPathFor(dir.file("t.dat")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        Simulator sim(3);
        sim.model.AddPlant(Google, 2, tw::test::RunTarget(0), kKeywords);
        const std::string host = sim.start();
        CRows rows(1);
        CProgress progress;
        QString error;
        RankAndRecord(dir.file("t.dat"), rows, progress, {host, host, host, host}, 1u, true,
                      &error);
        QCOMPARE(rows.cells[0][EngineColumn(Google)], RankText(2, 1));
        QVERIFY2(error.contains("it is not a history database, or it is damaged"),
                 qPrintable(error));
        QFile f(tw::historyPathFor(dir.file("t.dat")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), garbage);
    }
};

TW_TEST_MAIN_CORE(TestRankHistory)
#include "test_rankhistory.moc"
