// The ranking run without a window: workers, thread limit, record rules, cancel and the download
// record, against the engine simulator over HTTP.
#include "base/Engines.h"
#include "base/PageFetcher.h"
#include "rank/RankProgress.h"
#include "rank/RankRun.h"
#include "rank/RankSources.h"
#include "sources/Source.h"
#include "support/RunLog.h"
#include "support/SimHarness.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <optional>

namespace {

struct RowState {
    std::array<std::string, kColumnCount> cells;
    std::unique_ptr<EntryResults> record;
};

// Rows in memory; every call arrives under g_hListLock, so nothing here needs a lock of its own.
class CFakeRows : public IRankRows, public tw::test::UrlLog {
public:
    std::vector<RowState> rows;
    int attaches = 0;
    std::vector<EngineOutcome> outcomes;
    std::function<void(int row)> onMark;

    void SetCell(int row, int col, const std::string& text) override {
        rows.at(row).cells[col] = text;
        if (col != ColUrl)
            return;
        if (Record(row, text) && onMark)
            onMark(row);
    }
    void AttachResults(int row, std::unique_ptr<EntryResults> record,
                       const std::array<bool, kEngineCount>& keepOld) override {
        ++attaches;
        if (const auto& old = rows.at(row).record) {
            for (int e = 0; e < kEngineCount; ++e) {
                if (keepOld[e])
                    record->sites[e] = old->sites[e];
            }
        }
        rows.at(row).record = std::move(record);
    }
    void SetEngineResults(int row, SearchEngine engine, std::vector<std::string> sites) override {
        rows.at(row).record->sites[engine] = std::move(sites);
    }
    void EngineFinished(const EngineOutcome& outcome) override { outcomes.push_back(outcome); }
};

class CFakeProgress : public IRankProgress {
public:
    void ReportPage(int, const std::string& line, const std::string&) override {
        ++reports;
        lines.push_back(line); // under g_hProgressLock
        pauseSeen = CPageFetcher::Limits().pauseMaxMs;
        if (cancelOn && line.find(*cancelOn) != std::string::npos)
            cancel = true;
    }
    std::vector<std::string> lines;
    std::optional<std::string> cancelOn; // cancel when a page line holds this
    int pauseSeen = -1;
    bool IsCancelled() const override { return cancel.load(); }
    std::atomic<bool> cancel{false};
    std::atomic<int> reports{0};
};

using tw::test::AboveOnFirstPage;
using tw::test::CountedRank;
using tw::test::Simulator;

const std::string kKeywords = "blue widgets";

std::string Target(int i) {
    return tw::test::RunTarget(i);
}

CFakeRows MakeRows(int count) {
    CFakeRows rows;
    rows.rows.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        rows.rows[i].cells[ColUrl] = Target(i);
        rows.rows[i].cells[ColKeywords] = kKeywords;
    }
    return rows;
}

std::vector<RankTarget> AllTargets(const CFakeRows& rows) {
    std::vector<RankTarget> targets;
    for (int i = 0; i < int(rows.rows.size()); ++i) {
        RankTarget t{i, rows.rows[i].cells[ColUrl], rows.rows[i].cells[ColKeywords], {}, {}};
        for (int e = 0; e < kEngineCount; ++e)
            t.previous[e] = rows.rows[i].cells[EngineColumn(e)];
        targets.push_back(std::move(t));
    }
    return targets;
}

RankRunSettings Settings(const std::string& host, int depth, int threads, unsigned engines = 15) {
    RankRunSettings settings;
    settings.maxPages = depth;
    settings.maxThreads = threads;
    settings.hosts.fill(host);
    settings.engineOn = [engines](SearchEngine e) { return (engines >> e) & 1u; };
    return settings;
}

const auto kPump = [] { WaitAndPump(50); };

tw::sources::Source SourceOf(const char* text) {
    tw::sources::Source s;
    if (!tw::sources::parseSource(QString::fromLatin1(text), &s, nullptr))
        qFatal("bad source %s", text);
    return s;
}

} // namespace

class TestRankRun : public QObject {
    Q_OBJECT
private slots:
    // Which engines are on, where the target stands, and what the row had before the run.
    void recordRules_data() {
        QTest::addColumn<unsigned>("enginesOn");
        QTest::addColumn<unsigned>("plantedOn");
        QTest::addColumn<bool>("hadRecord");
        QTest::addColumn<bool>("notAllFound");
        QTest::newRow("found on two, missed on two") << 15u << 5u << false << true;
        QTest::newRow("found everywhere") << 15u << 15u << false << false;
        QTest::newRow("google and lycos off, found on altavista") << 10u << 2u << false << true;
        QTest::newRow("only google on and found") << 1u << 1u << false << false;
        QTest::newRow("a find replaces the old record") << 15u << 2u << true << true;
        QTest::newRow("no find keeps the old record") << 15u << 0u << true << true;
        QTest::newRow("all engines off") << 0u << 15u << true << false;
    }
    void recordRules() {
        QFETCH(unsigned, enginesOn);
        QFETCH(unsigned, plantedOn);
        QFETCH(bool, hadRecord);
        QFETCH(bool, notAllFound);
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        const int plantRank[] = {3, 7, 1, 4};
        for (int e = 0; e < kEngineCount; ++e) {
            if ((plantedOn >> e) & 1u)
                sim.model.AddPlant(e, plantRank[e], Target(0), kKeywords);
        }
        sim.start();

        CFakeRows rows = MakeRows(1);
        EntryResults* old = nullptr;
        if (hadRecord) {
            rows.rows[0].record = std::make_unique<EntryResults>();
            rows.rows[0].record->sites[Google] = {"http://old.example/"};
            old = rows.rows[0].record.get();
        }
        CFakeProgress progress;
        const RankRunResult run =
            RunRanking(AllTargets(rows), rows, &progress,
                       Settings(sim.server->HostPort(), 2, 3, enginesOn), kPump);
        QCOMPARE(run.notAllFound, notAllFound);
        QVERIFY(!run.cancelled);
        QCOMPARE(run.workersStarted, 1);
        QCOMPARE(g_nRunningWorkers.load(), 0);

        const RowState& row = rows.rows[0];
        QCOMPARE(row.cells[ColUrl], Target(0));
        bool anyFound = false;
        for (int e = 0; e < kEngineCount; ++e) {
            const bool found = ((enginesOn & plantedOn) >> e) & 1u;
            anyFound = anyFound || found;
            const SearchEngine engine = SearchEngine(e);
            QCOMPARE(row.cells[EngineColumn(e)],
                     found ? RankText(CountedRank(engine, plantRank[e]), 1) : "not found");
            if (row.record && row.record.get() != old) {
                const auto expected =
                    found ? AboveOnFirstPage(sim.model, engine, kKeywords, plantRank[e])
                          : std::vector<std::string>();
                QVERIFY2(row.record->sites[e] == expected, engines::Info(SearchEngine(e)).name);
            }
        }
        QCOMPARE(rows.attaches, anyFound ? 1 : 0);
        if (!anyFound) {
            QCOMPARE(row.record.get(), old);
            if (old)
                QCOMPARE(old->sites[Google], std::vector<std::string>{"http://old.example/"});
        } else {
            QVERIFY(row.record && row.record.get() != old);
        }
        // Switched-off engines are reported, but ask for no page.
        QCOMPARE(int(rows.outcomes.size()), kEngineCount);
        for (const EngineOutcome& o : rows.outcomes)
            QCOMPARE(o.pagesFetched == 0, !((enginesOn >> o.engine) & 1u));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty()); // no scratch file left
    }

    void threadLimit_data() {
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("limit");
        QTest::newRow("0 counts as 1") << 0 << 1;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("3") << 3 << 3;
    }
    void threadLimit() {
        QFETCH(int, setting);
        QFETCH(int, limit);
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start(5);
        CFakeRows rows = MakeRows(5);
        CFakeProgress progress;
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress,
                                             Settings(sim.server->HostPort(), 1, setting), kPump);
        QCOMPARE(run.workersStarted, 5);
        QCOMPARE(run.maxRunning, limit);
        QCOMPARE(rows.maxMarked, limit);
        QCOMPARE(int(rows.urlLog.size()), 10);
        tw::test::CheckWorkerOrder(rows, limit);
    }

    // Cancel after the first worker has begun: nothing new starts, the running entries end, and
    // no scan cut short writes over what its column held.
    void cancelStartsNoFurtherWorker() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start(20);
        CFakeRows rows = MakeRows(10);
        for (auto& r : rows.rows)
            r.cells[EngineColumn(Google)] = "-";
        CFakeProgress progress;
        // Cancelled once the third worker is under way, as a user would after seeing three marks.
        rows.onMark = [&](int row) {
            if (row == 2)
                progress.cancel = true;
        };
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress,
                                             Settings(sim.server->HostPort(), 5, 3), kPump);
        QVERIFY(run.cancelled);
        QCOMPARE(run.workersStarted, 3);
        QCOMPARE(run.notRanked, 7);
        QVERIFY(!run.notAllFound);
        for (int i = 0; i < 10; ++i) {
            const RowState& r = rows.rows[i];
            QCOMPARE(r.cells[ColUrl], Target(i));
            QCOMPARE(r.cells[EngineColumn(Google)], std::string("-"));
        }
        for (const EngineOutcome& o : rows.outcomes)
            QVERIFY(o.cancelled && !o.written);
        // A cancelled scan finishes the page it reads and asks for no further one.
        QVERIFY(run.stats.pagesFetched <= 3);
    }

    void failedDownloadsAreCounted() {
        tw::test::ScopedWorkDir dir;
        std::string deadHost;
        {
            Simulator sim(5);
            sim.start();
            deadHost = sim.server->HostPort();
        }
        CFakeRows rows = MakeRows(2);
        CFakeProgress progress;
        const RankRunResult run =
            RunRanking(AllTargets(rows), rows, &progress, Settings(deadHost, 2, 2), kPump);
        // The first page fails on every try, which ends each engine's scan: no answer there.
        QCOMPARE(run.stats.pagesFetched, 2 * kEngineCount);
        QCOMPARE(run.stats.failedPages, 2 * kEngineCount);
        QCOMPARE(run.stats.errorColumns, 2 * kEngineCount);
        QVERIFY(!run.stats.firstError.text.empty());
        QVERIFY(run.stats.firstError.url.find("http://" + deadHost + "/") == 0);
        QVERIFY(run.notAllFound);
        for (const EngineOutcome& o : rows.outcomes) {
            QCOMPARE(int(o.errors.size()), 1);
            QCOMPARE(o.pagesFetched, 1);
            QVERIFY(!o.error.empty());
        }
        for (const RowState& r : rows.rows) {
            for (int e = 0; e < kEngineCount; ++e)
                QCOMPARE(r.cells[EngineColumn(e)], std::string("error"));
            QVERIFY(!r.record);
        }
    }

    // Healthy but slow engines with more workers than servers: the page time-out runs from
    // when a request is sent, so queueing for a server loses no page and every rank is exact.
    void queueingForASlowServerKeepsRanksExact() {
        tw::test::ScopedWorkDir dir;
        const FetchLimits saved = CPageFetcher::Limits();
        FetchLimits tight = saved;
        tight.pageTimeoutMs = 250;
        CPageFetcher::SetLimits(tight);
        Simulator sim(5);
        for (int i = 0; i < 4; ++i)
            sim.model.AddPlant(Google, 21 + i, Target(i), kKeywords);
        sim.start(100);
        CFakeRows rows = MakeRows(4);
        CFakeProgress progress;
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress,
                                             Settings(sim.server->HostPort(), 3, 4, 1u), kPump);
        CPageFetcher::SetLimits(saved);
        QCOMPARE(run.stats.failedPages, 0);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(rows.rows[i].cells[EngineColumn(Google)], RankText(21 + i, 3));
    }

    // Settings out of bounds are held to them, whatever is saved: 1..100 pages, 1..64 workers.
    void settingsAreClamped_data() {
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("pagesPerEngine");
        QTest::addColumn<int>("maxRunning");
        QTest::newRow("depth -5") << -5 << 2 << 1 << 2;
        QTest::newRow("depth 0") << 0 << 2 << 1 << 2;
        QTest::newRow("threads 100000") << 1 << 100000 << 1 << 64;
    }
    void settingsAreClamped() {
        QFETCH(int, depth);
        QFETCH(int, threads);
        QFETCH(int, pagesPerEngine);
        QFETCH(int, maxRunning);
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start(30);
        const int entries = maxRunning + 6;
        CFakeRows rows = MakeRows(entries);
        CFakeProgress progress;
        const RankRunResult run =
            RunRanking(AllTargets(rows), rows, &progress,
                       Settings(sim.server->HostPort(), depth, threads, 1u), kPump);
        QCOMPARE(run.workersStarted, entries);
        QVERIFY(run.maxRunning <= maxRunning);
        QCOMPARE(run.stats.pagesFetched, entries * pagesPerEngine);
        QCOMPARE(rows.rows[0].cells[EngineColumn(Google)], std::string("not found"));
        QCOMPARE(ClampDepth(1000000), 100);
        QCOMPARE(ThreadLimit(100000), 64);
    }

    // The command leaves the columns and lists of engines it was not asked to rank as they are,
    // while a found engine's list is replaced.
    void engineColumnsLeftAlone() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.model.AddPlant(Lycos, 2, Target(0), kKeywords);
        sim.start();
        CFakeRows rows = MakeRows(1);
        rows.rows[0].record = std::make_unique<EntryResults>();
        for (int e = 0; e < kEngineCount; ++e) {
            rows.rows[0].cells[EngineColumn(e)] = "Rank 9 / Page 1";
            rows.rows[0].record->sites[e] = {"http://old" + std::to_string(e) + ".example/"};
        }
        RankRunSettings settings = Settings(sim.server->HostPort(), 1, 1, 1u << Lycos);
        settings.keepOffColumns = true;
        CFakeProgress progress;
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress, settings, kPump);
        QVERIFY(!run.notAllFound);
        const RowState& r = rows.rows[0];
        for (int e = 0; e < kEngineCount; ++e) {
            if (e == Lycos) {
                QCOMPARE(r.cells[EngineColumn(e)], RankText(2, 1));
                QVERIFY(r.record->sites[e] == AboveOnFirstPage(sim.model, Lycos, kKeywords, 2));
            } else {
                QCOMPARE(r.cells[EngineColumn(e)], std::string("Rank 9 / Page 1"));
                QCOMPARE(r.record->sites[e],
                         std::vector<std::string>{"http://old" + std::to_string(e) + ".example/"});
            }
        }
    }

    void oneRunAtATime() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start(5);
        CFakeRows rows = MakeRows(1);
        CFakeRows other = MakeRows(1);
        RankRunResult nested;
        bool tried = false;
        const RankRunResult run = RunRanking(
            AllTargets(rows), rows, nullptr, Settings(sim.server->HostPort(), 1, 1), [&] {
                if (!tried) {
                    tried = true;
                    nested = RunRanking(AllTargets(other), other, nullptr,
                                        Settings(sim.server->HostPort(), 1, 1), kPump);
                }
                WaitAndPump(50);
            });
        QVERIFY(tried);
        QCOMPARE(nested.workersStarted, 0);
        QVERIFY(!nested.startError.empty());
        QVERIFY(other.urlLog.empty());
        QCOMPARE(run.workersStarted, 1);
        QVERIFY(!RankingInProgress());
    }

    // The pump returns when a worker ends, so the next entry starts at once rather than at the
    // end of the pump's step: with a one-minute step, twenty entries on one thread still end
    // within seconds, each worker starting only after the one before it has ended. Each page
    // takes 30 ms, so the run's thread is always in its pump when a worker ends (a worker that
    // ended before the run looked is reaped without pumping at all).
    void pumpReturnsWhenAWorkerEnds() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(7);
        const std::string host = sim.start(30);
        CFakeRows rows = MakeRows(20);
        QElapsedTimer clock;
        clock.start();
        int pumps = 0;
        const RankRunResult run =
            RunRanking(AllTargets(rows), rows, nullptr, Settings(host, 1, 1, 1u << Google), [&] {
                ++pumps;
                WaitAndPump(60000);
            });
        QCOMPARE(run.workersStarted, 20);
        QCOMPARE(run.maxRunning, 1);
        QVERIFY2(clock.elapsed() < 30000, "the pump waited out its step");
        QVERIFY(pumps >= 1);
        for (const RowState& r : rows.rows)
            QCOMPARE(r.cells[EngineColumn(Google)], std::string("not found"));
    }

    // Columns whose results come from result services: the simulator's endpoints stand in.
    void cleanup() { rank::ApplySlotEngines({}); }

    // Google classic, AltaVista's slot on Bing through serpapi, Lycos's on serper without its
    // key, LookSmart's on Brave.
    void mixedSlots() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.model.AddPlant(Google, 3, Target(0), kKeywords);
        sim.model.AddPlant(sim::kSimBing, 15, Target(0), kKeywords);
        sim.start();
        const std::string base = "http://" + sim.server->HostPort();
        CFakeRows rows = MakeRows(1);
        RankRunSettings settings = Settings(sim.server->HostPort(), 2, 1);
        settings.sources.columns[AltaVista] = SourceOf("serpapi:bing");
        settings.sources.columns[Lycos] = SourceOf("serper:google");
        settings.sources.columns[LookSmart] = SourceOf("brave:brave");
        settings.sources.config.keys.serpapiKey = "sk-secret-1";
        settings.sources.config.keys.braveKey = "sk-secret-2";
        settings.sources.config.serpapiUrl = settings.sources.config.braveUrl = base;
        settings.sources.config.serperUrl = base;
        settings.sources.pauseMinMs = 0;
        settings.sources.pauseMaxMs = 5;
        rank::ApplySlotEngines(settings.sources);
        const FetchLimits before = CPageFetcher::Limits();
        CFakeProgress progress;
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress, settings, kPump);
        QCOMPARE(progress.pauseSeen, 5);
        QCOMPARE(CPageFetcher::Limits().pauseMaxMs, before.pauseMaxMs);

        const RowState& row = rows.rows[0];
        QCOMPARE(row.cells[EngineColumn(Google)], RankText(3, 1));
        QCOMPARE(row.cells[EngineColumn(AltaVista)], RankText(15, 2));
        QCOMPARE(row.cells[EngineColumn(Lycos)], std::string(kErrorText));
        QCOMPARE(row.cells[EngineColumn(LookSmart)], std::string(kNotFoundText));
        std::vector<std::string> above;
        for (int n = 1; n < 15; ++n)
            above.push_back(sim.model.ResultUrl(SearchEngine(sim::kSimBing), kKeywords, n));
        QVERIFY(row.record->sites[AltaVista] == above);
        QVERIFY(row.record->sites[Lycos].empty());
        QCOMPARE(int(rows.outcomes.size()), kEngineCount);
        const EngineOutcome& lycos = rows.outcomes[Lycos];
        QVERIFY2(lycos.error.find("no key for serper.dev") != std::string::npos,
                 lycos.error.c_str());
        QCOMPARE(rows.outcomes[AltaVista].pagesFetched, 2);
        QCOMPARE(run.stats.errorColumns, 1);
        QCOMPARE(run.stats.failedPages, 1);
        QVERIFY(run.notAllFound);
        // The page lines name the engine each slot asks.
        const auto has = [&](const std::string& line) {
            return std::find(progress.lines.begin(), progress.lines.end(), line) !=
                   progress.lines.end();
        };
        QVERIFY(has("Google Page 1/2"));
        QVERIFY(has("Bing Page 2/2"));
        QVERIFY(has("Brave Page 1/1")); // pages of twenty
        for (const std::string& line : progress.lines)
            QVERIFY2(line.find("Altavista") == std::string::npos, line.c_str());
        for (const EngineOutcome& o : rows.outcomes) {
            QVERIFY(o.error.find("sk-secret") == std::string::npos);
            for (const PageError& pe : o.errors)
                QVERIFY(pe.url.find("sk-secret") == std::string::npos);
        }
    }

    // Each result service is asked with the entry's own country, language, device and location,
    // as the simulator's request log shows; Brave, which has no mobile results, says so.
    void entryOptionsReachTheServices_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QStringList>("sent"); // parts of the first request (target and body)
        const QString austin = QStringLiteral("Austin,Texas,United States");
        QTest::newRow("serper") << "serper:google"
                                << "mobile" << austin
                                << QStringList{"\"gl\":\"gb\"", "\"hl\":\"fr\"",
                                               "\"location\":\"Austin,Texas,United States\""};
        QTest::newRow("serpapi google")
            << "serpapi:google"
            << "mobile" << austin
            << QStringList{"gl=gb", "hl=fr", "location=Austin%2CTexas%2CUnited%20States",
                           "device=mobile"};
        QTest::newRow("serpapi bing")
            << "serpapi:bing"
            << "mobile" << austin
            << QStringList{"cc=GB", "location=Austin%2CTexas%2CUnited%20States", "device=mobile"};
        QTest::newRow("dataforseo by name")
            << "dataforseo:google"
            << "mobile" << austin
            << QStringList{"\"location_name\":\"Austin,Texas,United States\"",
                           "\"language_code\":\"fr\"", "\"device\":\"mobile\""};
        QTest::newRow("dataforseo by country")
            << "dataforseo:bing"
            << "desktop"
            << "" << QStringList{"\"location_code\":2826", "\"device\":\"desktop\""};
        QTest::newRow("brave desktop") << "brave:brave"
                                       << ""
                                       << "" << QStringList{"country=GB", "search_lang=fr"};
        QTest::newRow("brave mobile") << "brave:brave"
                                      << "mobile"
                                      << "" << QStringList{};
        QTest::newRow("searxng") << "searxng:google"
                                 << "mobile" << austin << QStringList{"language=fr"};
    }
    void entryOptionsReachTheServices() {
        QFETCH(QString, source);
        QFETCH(QString, device);
        QFETCH(QString, location);
        QFETCH(QStringList, sent);
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start();
        const std::string base = "http://" + sim.server->HostPort();
        CFakeRows rows = MakeRows(1);
        RankRunSettings settings = Settings(sim.server->HostPort(), 1, 1, 1u << Google);
        settings.sources.columns[Google] = SourceOf(qPrintable(source));
        tw::sources::ProviderConfig& c = settings.sources.config;
        c.keys = {"k1", "k2", "k3", "login", "k5"};
        c.serperUrl = c.serpapiUrl = c.dataforseoUrl = c.braveUrl = base;
        c.searxngUrl = base + "/";
        settings.sources.pauseMinMs = settings.sources.pauseMaxMs = 0;
        rank::ApplySlotEngines(settings.sources);
        std::vector<RankTarget> targets = AllTargets(rows);
        targets[0].options = {"gb", "fr", device.toStdString(), location.toStdString(), "acme"};
        std::vector<std::string> where;
        settings.resultWritten = [&where](const WrittenResult& w) {
            where = {w.device, w.location};
        };
        RunRanking(targets, rows, nullptr, settings, kPump);

        const std::vector<std::string> requests = sim.server->Requests();
        if (sent.isEmpty()) {
            QCOMPARE(int(requests.size()), 0);
            QCOMPARE(rows.rows[0].cells[EngineColumn(Google)], std::string(kErrorText));
            QVERIFY2(rows.outcomes.at(0).error == "Brave Search API has no mobile results",
                     rows.outcomes.at(0).error.c_str());
        } else {
            QVERIFY(!requests.empty());
            const QString first = QString::fromStdString(requests[0]) + QLatin1Char('\n') +
                                  QString::fromStdString(sim.server->RequestBodies()[0]);
            for (const QString& part : sent)
                QVERIFY2(first.contains(part), qPrintable(part + QStringLiteral(" in ") + first));
            QVERIFY2(!first.contains(QStringLiteral("acme")), qPrintable(first));
        }
        // What the history keys the result by.
        const std::vector<std::string> expectedWhere = {device.isEmpty() ? std::string("desktop")
                                                                         : device.toStdString(),
                                                        location.toStdString()};
        QVERIFY(where == expectedWhere);
    }

    // A refused key ends in "error" with the provider's reason, and is not tried again.
    void refusedKey() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start();
        // The simulator checks no key unless told: point serpapi at a server that refuses.
        sim::ServerOptions options;
        options.providers.apiKey = "right-key";
        sim::CSimServer strict(sim.engines, options);
        std::string error;
        QVERIFY(strict.Start(error));
        CFakeRows rows = MakeRows(1);
        RankRunSettings settings = Settings(sim.server->HostPort(), 3, 1, 1u << Google);
        settings.sources.columns[Google] = SourceOf("serpapi:google");
        settings.sources.config.keys.serpapiKey = "wrong-key";
        settings.sources.config.serpapiUrl = "http://" + strict.HostPort();
        CFakeProgress progress;
        RunRanking(AllTargets(rows), rows, &progress, settings, kPump);
        strict.Stop();
        QCOMPARE(rows.rows[0].cells[EngineColumn(Google)], std::string(kErrorText));
        QVERIFY2(rows.outcomes[Google].error.find("refused") != std::string::npos,
                 rows.outcomes[Google].error.c_str());
        QVERIFY(rows.outcomes[Google].error.find("wrong-key") == std::string::npos);
        QCOMPARE(int(strict.Requests().size()), 1);
    }

    // A result service takes many calls at once, up to its limit (counted on the server), while
    // the classic pages of the same host still go one at a time; the calls are counted per
    // service and per result.
    void servicesAtTheirOwnSpeed() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim::ServerOptions options;
        options.latencyMs = 10;
        options.providers.maxParallel = 4;
        options.keepAlive = true;
        sim.server = std::make_unique<sim::CSimServer>(sim.engines, options);
        std::string error;
        QVERIFY(sim.server->Start(error));
        CFakeRows rows = MakeRows(6);
        RankRunSettings settings =
            Settings(sim.server->HostPort(), 2, 6, (1u << Google) | (1u << AltaVista));
        settings.sources.columns[AltaVista] = SourceOf("serper:google");
        settings.sources.config.keys.serperKey = "k";
        settings.sources.config.serperUrl = "http://" + sim.server->HostPort();
        settings.sources.pace[tw::sources::providerIndex(tw::sources::Provider::Serper)] = {4, 0};
        CFakeProgress progress;
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress, settings, kPump);
        QCOMPARE(sim.server->MostPagesInFlight(), 1);
        QVERIFY(sim.server->MostCallsInFlight() <= 4);
        const int serper = tw::sources::providerIndex(tw::sources::Provider::Serper);
        QCOMPARE(sim.server->BilledCalls(), 12); // nothing turned away
        QCOMPARE(run.calls.billed[serper], 12);
        QVERIFY(run.calls.used[serper]);
        QCOMPARE(CallsSummary(run.calls), std::string("serper.dev: 12 calls"));
        for (const EngineOutcome& o : rows.outcomes)
            QCOMPARE(o.calls, o.engine == AltaVista ? 2 : 0);
    }

    // A used-up quota stops that service for the rest of the run, and only that one: the other
    // service's and the classic columns go on.
    void usedUpQuotaStopsThatServiceOnly() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start();
        sim::ServerOptions options;
        options.providers.quota = 0;
        sim::CSimServer usedUp(sim.engines, options);
        std::string error;
        QVERIFY(usedUp.Start(error));
        CFakeRows rows = MakeRows(3);
        RankRunSettings settings = Settings(sim.server->HostPort(), 2, 1, 7u);
        settings.sources.columns[Google] = SourceOf("serpapi:google");
        settings.sources.columns[AltaVista] = SourceOf("serper:google");
        settings.sources.config.keys.serpapiKey = settings.sources.config.keys.serperKey = "k";
        settings.sources.config.serpapiUrl = "http://" + usedUp.HostPort();
        settings.sources.config.serperUrl = "http://" + sim.server->HostPort();
        CFakeProgress progress;
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress, settings, kPump);
        usedUp.Stop();
        QCOMPARE(int(usedUp.Requests().size()), 1);
        QCOMPARE(sim.server->BilledCalls(), 6);
        for (const RowState& row : rows.rows) {
            QCOMPARE(row.cells[EngineColumn(Google)], std::string(kErrorText));
            QCOMPARE(row.cells[EngineColumn(AltaVista)], std::string(kNotFoundText));
            QCOMPARE(row.cells[EngineColumn(Lycos)], std::string(kNotFoundText));
        }
        for (const EngineOutcome& o : rows.outcomes) {
            if (o.engine == Google)
                QCOMPARE(o.error,
                         usedUp.HostPort() + " answered: Your account has run out of searches.");
        }
        QCOMPARE(run.stats.errorColumns, 3);
        QVERIFY(!run.cancelled);
    }

    // The budget: exactly N calls go out; the scans that would need more end like a cancelled
    // scan, keeping their rows' old texts and lists.
    void budgetKeepsOldTexts() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start();
        CFakeRows rows = MakeRows(4);
        for (RowState& row : rows.rows)
            row.cells[EngineColumn(Google)] = "Rank 9 / Page 1";
        RankRunSettings settings = Settings(sim.server->HostPort(), 2, 1, 1u << Google);
        settings.sources.columns[Google] = SourceOf("serper:google");
        settings.sources.config.keys.serperKey = "k";
        settings.sources.config.serperUrl = "http://" + sim.server->HostPort();
        settings.sources.maxCallsPerRun = 5;
        CFakeProgress progress;
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress, settings, kPump);
        QCOMPARE(int(sim.server->Requests().size()), 5);
        QCOMPARE(run.calls.sent, 5L);
        QVERIFY(run.calls.budgetReached);
        QCOMPARE(run.stats.overBudget, 2);
        QCOMPARE(BudgetMessage(run.calls, run.stats.overBudget),
                 std::string("call budget of 5 reached: 2 entries not ranked"));
        QVERIFY(!run.cancelled);
        const std::string texts[] = {kNotFoundText, kNotFoundText, "Rank 9 / Page 1",
                                     "Rank 9 / Page 1"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(rows.rows[i].cells[EngineColumn(Google)], texts[i]);
    }

    // Cancel during a provider slot puts its old text back; later slots are not asked.
    void cancelKeepsOldText() {
        tw::test::ScopedWorkDir dir;
        Simulator sim(5);
        sim.start();
        CFakeRows rows = MakeRows(1);
        for (int e = 0; e < kEngineCount; ++e)
            rows.rows[0].cells[EngineColumn(e)] = "Rank 9 / Page 1";
        RankRunSettings settings = Settings(sim.server->HostPort(), 3, 1, 1u << Google);
        settings.sources.columns[Google] = SourceOf("serpapi:yahoo");
        settings.sources.config.keys.serpapiKey = "k";
        settings.sources.config.serpapiUrl = "http://" + sim.server->HostPort();
        rank::ApplySlotEngines(settings.sources);
        CFakeProgress progress;
        progress.cancelOn = "Yahoo Page 2/3";
        const RankRunResult run = RunRanking(AllTargets(rows), rows, &progress, settings, kPump);
        QVERIFY(run.cancelled);
        QCOMPARE(rows.rows[0].cells[EngineColumn(Google)], std::string("Rank 9 / Page 1"));
        QVERIFY(rows.outcomes[Google].cancelled);
    }
};

TW_TEST_MAIN_CORE(TestRankRun)
#include "test_rankrun.moc"
