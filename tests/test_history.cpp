// The rank history store: runs recorded whole or not at all, what is read back, refused files
// left untouched, the older format brought up to date, and the CSV export.

#include "history/HistoryModel.h"
#include "history/HistoryStore.h"
#include "history/HistoryText.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

using namespace tw;

namespace {

using tw::test::readFile;
using tw::test::writeFile;

const char* const kCrashChildVar = "TW_HISTORY_CRASH_CHILD";

QDateTime at(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate);
}

HistoryResult ranked(int slot, int rank, int page, std::vector<std::string> sites = {}) {
    HistoryResult r;
    r.slot = slot;
    r.engine = slot == 0 ? "Google" : "Altavista";
    r.source = "classic";
    r.text = "Rank " + std::to_string(rank) + " / Page " + std::to_string(page);
    r.rank = rank;
    r.page = page;
    r.sitesAbove = std::move(sites);
    return r;
}

HistoryResult notFound(int slot) {
    HistoryResult r;
    r.slot = slot;
    r.engine = "Lycos";
    r.source = "classic";
    r.text = "not found";
    return r;
}

// Opens path for writing with one committed run: "u" / "k" at Rank 3 / Page 1 on 2026-12-01.
void openWithOneRun(HistoryStore& store, const QString& path) {
    QString error;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QVERIFY2(store.beginRun(at("2026-12-01T09:00:00Z"), &error), qPrintable(error));
    QVERIFY2(store.record("u", "k", ranked(0, 3, 1), &error), qPrintable(error));
    QVERIFY2(store.commitRun(&error), qPrintable(error));
}

// A plain SQLite connection of its own, as another program would hold one.
class RawConnection {
public:
    explicit RawConnection(const QString& path) {
        static int counter = 0;
        m_name = QStringLiteral("raw%1").arg(++counter);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=100"));
        m_ok = db.open();
    }
    ~RawConnection() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool ok() const { return m_ok; }
    // The first value of a query's first row.
    QVariant value(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }
    bool exec(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        const bool done = q.exec(sql);
        if (!done)
            qWarning() << sql << q.lastError().text();
        return done;
    }

private:
    QString m_name;
    bool m_ok = false;
};

// Records count results of one run with sites above and dies without committing: a crash.
int crashChild(const QString& path) {
    HistoryStore store;
    QString error;
    if (!store.open(path, HistoryStore::Mode::ReadWrite, &error) ||
        !store.beginRun(QDateTime::currentDateTime(), &error))
        return 2;
    std::vector<std::string> sites;
    for (int i = 0; i < 40; ++i)
        sites.push_back("http://site" + std::to_string(i) + ".example/some/page.html");
    for (int i = 0; i < 20000; ++i) {
        if (!store.record("http://crash" + std::to_string(i) + ".example/", "kw",
                          ranked(0, 41, 5, sites), &error))
            return 3;
    }
    std::_Exit(9);
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void historyPath_data();
    void historyPath();
    void twoRunsAndPrevious();
    void devicesAndLocationsKeepTheirOwnHistories();
    void switchedOffSlotKeepsEarlierPrevious();
    void uncommittedRunLeavesNothing();
    void crashedProcessLeavesNoHalfRun();
    void failedWriteDropsWholeRun();
    void errorRecordedWithItsText();
    void callsOfEachResult();
    void recordFromWorkerThread();
    void sitesKeptAtMostHundred();
    void sitesKeptOnceAcrossRuns();
    void keptResultsRoundTrip();
    void keptListsBesideTheSitesAbove();
    void damagedKeptLists_data();
    void damagedKeptLists();
    void manyEntriesReadAtOnce();
    void lockedDatabase();
    void refusedFiles_data();
    void refusedFiles();
    void damagedIndexIsCaught_data();
    void damagedIndexIsCaught();
    void foreignLookalikeLeftAlone_data();
    void foreignLookalikeLeftAlone();
    void filesAreMarked();
    void linkedFilesRefused_data();
    void linkedFilesRefused();
    void readOnlyOpen();
    void migrationFromVersion1();
    void migrationFromVersion2();
    void migrationFromVersion5();
    void csvQuoting();
    void csvFormulaCells();
    void changeWords_data();
    void changeWords();
    void chartAxisScaledToRanks();
    void chartTimeAxis_data();
    void chartTimeAxis();
    void chartRankScale_data();
    void chartRankScale();
};

void TestHistory::historyPath_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("history");
    QTest::newRow("plain") << "tallowick.dat"
                           << "tallowick.history.sqlite";
    QTest::newRow("folder") << "/srv/lists/shop.dat"
                            << "/srv/lists/shop.history.sqlite";
    QTest::newRow("no extension") << "list"
                                  << "list.history.sqlite";
    QTest::newRow("two dots") << "a.b.dat"
                              << "a.b.history.sqlite";
    QTest::newRow("hidden") << "/home/u/.ranks"
                            << "/home/u/.ranks.history.sqlite";
    QTest::newRow("dot folder") << "./x.dat"
                                << "./x.history.sqlite";
}

void TestHistory::historyPath() {
    QFETCH(QString, data);
    QFETCH(QString, history);
    QCOMPARE(historyPathFor(data), history);
}

void TestHistory::twoRunsAndPrevious() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("tallowick.history.sqlite");
    HistoryStore store;
    QString error;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QCOMPARE(store.schemaVersion(), kHistorySchemaVersion);

    QVERIFY(store.beginRun(at("2026-12-01T09:30:00+01:00"), &error));
    QVERIFY(store.record("http://a.example/", "red shoes", ranked(0, 9, 1), &error));
    QVERIFY(store.record("http://a.example/", "red shoes", notFound(2), &error));
    // Same address, other keywords: another entry.
    QVERIFY(store.record("http://a.example/", "blue shoes", ranked(0, 30, 3), &error));
    QVERIFY2(store.commitRun(&error), qPrintable(error));

    QVERIFY(store.beginRun(at("2026-12-02T09:30:00+01:00"), &error));
    // While the second run records, "previous" is the first run's result.
    HistoryRecord previous;
    bool found = false;
    QVERIFY(
        store.previousResult("http://a.example/", "red shoes", 0, 0, &previous, &found, &error));
    QVERIFY(found);
    QCOMPARE(previous.result.rank, std::optional<int>(9));
    QCOMPARE(previous.result.text, std::string("Rank 9 / Page 1"));
    QCOMPARE(previous.time, at("2026-12-01T09:30:00+01:00"));
    QVERIFY(store.record("http://a.example/", "red shoes", ranked(0, 7, 1), &error));
    QVERIFY(store.record("http://a.example/", "red shoes", ranked(2, 12, 2), &error));
    QVERIFY(store.commitRun(&error));

    EntryHistory history;
    QVERIFY(store.loadEntry("http://a.example/", "red shoes", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(2));
    QCOMPARE(history.runs[0].time, at("2026-12-02T09:30:00+01:00"));
    QCOMPARE(history.runs[0].bySlot[0]->rank, std::optional<int>(7));
    QCOMPARE(history.runs[1].bySlot[0]->rank, std::optional<int>(9));
    QVERIFY(!history.runs[1].bySlot[2]->rank);
    QCOMPARE(history.runs[1].bySlot[2]->text, std::string("not found"));
    QVERIFY(!history.runs[0].bySlot[1]);

    // The cell tooltip after the second run: the result before it, and the change.
    const qint64 latest = history.runs[0].runId;
    QVERIFY(store.previousResult("http://a.example/", "red shoes", 0, latest, &previous, &found,
                                 &error));
    QVERIFY(found);
    QCOMPARE(previousResultTip(&previous, *history.runs[0].bySlot[0]),
             QStringLiteral("was Rank 9 / Page 1 on %1: up 2")
                 .arg(at("2026-12-01T09:30:00+01:00").toLocalTime().toString("yyyy-MM-dd")));
    QString tip;
    QVERIFY(store.cellTip("http://a.example/", "red shoes", 0, &tip, &error));
    QVERIFY2(tip.startsWith(QStringLiteral("was Rank 9 / Page 1 on ")) &&
                 tip.endsWith(QStringLiteral(": up 2")),
             qPrintable(tip));
    QVERIFY(store.cellTip("http://a.example/", "blue shoes", 0, &tip, &error));
    QVERIFY(tip.isEmpty()); // one run only
    QVERIFY(store.previousResult("http://a.example/", "red shoes", 2, latest, &previous, &found,
                                 &error));
    QCOMPARE(rankChangeText(&previous.result, *history.runs[0].bySlot[2]), QStringLiteral("new"));

    std::array<std::optional<int>, kHistorySlots> best;
    QVERIFY(store.bestRanks("http://a.example/", "red shoes", &best, &error));
    QCOMPARE(best[0], std::optional<int>(7));
    QCOMPARE(best[2], std::optional<int>(12));
    QVERIFY(!best[1]);

    QVERIFY(store.loadEntry("http://a.example/", "blue shoes", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    QVERIFY(store.loadEntry("http://never.example/", "x", &history, &error));
    QVERIFY(history.runs.empty());
    QVERIFY(store.previousResult("http://never.example/", "x", 0, 0, &previous, &found, &error));
    QVERIFY(!found);
}

// One keyword ranked on a desktop, on a phone and in a city: three histories, and results recorded
// before entries had a device belong to the desktop one.
void TestHistory::devicesAndLocationsKeepTheirOwnHistories() {
    test::ScopedWorkDir dir;
    HistoryStore store;
    QString error;
    QVERIFY(store.open(dir.file("h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    const std::string url = "http://a.example/";
    const EntryWhere mobile{"mobile", ""};
    const EntryWhere austin{"mobile", "Austin,Texas,United States"};
    QVERIFY(store.beginRun(at("2026-12-01T09:30:00+01:00"), &error));
    QVERIFY(store.record(url, "shoes", ranked(0, 9, 1), &error)); // no where: desktop
    HistoryResult onPhone = ranked(0, 4, 1);
    onPhone.where = mobile;
    QVERIFY(store.record(url, "shoes", onPhone, &error));
    HistoryResult inAustin = ranked(0, 2, 1);
    inAustin.where = austin;
    QVERIFY(store.record(url, "shoes", inAustin, &error));
    QVERIFY2(store.commitRun(&error), qPrintable(error));

    const auto rankOf = [&](const EntryWhere& where) {
        EntryHistory history;
        if (!store.loadEntry(url, "shoes", where, &history, &error) || history.runs.size() != 1 ||
            !history.runs[0].bySlot[0])
            return -1;
        return history.runs[0].bySlot[0]->rank.value_or(0);
    };
    QCOMPARE(rankOf(EntryWhere{}), 9);
    QCOMPARE(rankOf(mobile), 4);
    QCOMPARE(rankOf(austin), 2);
    QCOMPARE(rankOf(EntryWhere{"desktop", "Austin,Texas,United States"}), -1);
    QCOMPARE(entryWhere("", "x"), (EntryWhere{"desktop", "x"}));
}

void TestHistory::switchedOffSlotKeepsEarlierPrevious() {
    test::ScopedWorkDir dir;
    HistoryStore store;
    QString error;
    QVERIFY(store.open(dir.file("h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    QVERIFY(store.beginRun(at("2026-11-01T10:00:00Z"), &error));
    QVERIFY(store.record("u", "k", ranked(1, 4, 1), &error));
    QVERIFY(store.commitRun(&error));
    // The engine was switched off in the second run: nothing recorded for it.
    QVERIFY(store.beginRun(at("2026-11-02T10:00:00Z"), &error));
    QVERIFY(store.record("u", "k", ranked(0, 2, 1), &error));
    QVERIFY(store.commitRun(&error));
    QVERIFY(store.beginRun(at("2026-11-03T10:00:00Z"), &error));
    HistoryRecord previous;
    bool found = false;
    QVERIFY(store.previousResult("u", "k", 1, 0, &previous, &found, &error));
    QVERIFY(found);
    QCOMPARE(previous.result.rank, std::optional<int>(4));
    QCOMPARE(previous.time, at("2026-11-01T10:00:00Z"));
}

void TestHistory::uncommittedRunLeavesNothing() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    QString error;
    {
        HistoryStore store;
        openWithOneRun(store, path);
        QVERIFY(store.beginRun(at("2026-12-02T09:00:00Z"), &error));
        QVERIFY(store.record("u", "k", ranked(0, 5, 1), &error));
        QVERIFY(store.record("other", "k", ranked(0, 5, 1), &error));
        // Closed half way: the second run must go.
    }
    HistoryStore store;
    QVERIFY(store.open(path, HistoryStore::Mode::ReadWrite, &error));
    EntryHistory history;
    QVERIFY(store.loadEntry("u", "k", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    QCOMPARE(history.runs[0].bySlot[0]->rank, std::optional<int>(3));
    QVERIFY(store.loadEntry("other", "k", &history, &error));
    QVERIFY(history.runs.empty());
    // A run rolled back in the same store leaves its entries out too, and the next run works.
    QVERIFY(store.beginRun(at("2026-12-03T09:00:00Z"), &error));
    QVERIFY(store.record("third", "k", ranked(0, 1, 1), &error));
    store.rollbackRun();
    QVERIFY(store.beginRun(at("2026-12-04T09:00:00Z"), &error));
    QVERIFY(store.record("third", "k", ranked(0, 2, 1), &error));
    QVERIFY2(store.commitRun(&error), qPrintable(error));
    QVERIFY(store.loadEntry("third", "k", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    QCOMPARE(history.runs[0].bySlot[0]->rank, std::optional<int>(2));
}

void TestHistory::crashedProcessLeavesNoHalfRun() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    QString error;
    {
        HistoryStore store;
        openWithOneRun(store, path);
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kCrashChildVar), path);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitCode(), 9); // died in the middle of its run

    HistoryStore store;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QVERIFY(store.checkIntegrity(&error));
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    QVERIFY(store.exportCsv(&csv, &error));
    // The header and the first run's one result.
    QCOMPARE(csv.data().count("\r\n"), 2);
    QVERIFY(store.beginRun(at("2026-12-03T09:00:00Z"), &error));
    QVERIFY(store.record("u", "k", ranked(0, 2, 1), &error));
    QVERIFY(store.commitRun(&error));
}

void TestHistory::failedWriteDropsWholeRun() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    QString error;
    HistoryStore store;
    openWithOneRun(store, path);
    {
        // Stands in for a write that fails half way through a run (a full disk, an I/O error).
        RawConnection other(path);
        QVERIFY(other.exec("CREATE TRIGGER refuse BEFORE INSERT ON result WHEN NEW.text = "
                           "CAST('boom' AS BLOB) BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    }
    QVERIFY(store.beginRun(at("2026-12-02T09:00:00Z"), &error));
    QVERIFY(store.record("u", "k", ranked(0, 2, 1), &error));
    QVERIFY(store.record("new entry", "k", ranked(0, 2, 1), &error));
    HistoryResult boom = ranked(1, 5, 1);
    boom.text = "boom";
    error.clear();
    QVERIFY(!store.record("u", "k", boom, &error));
    QVERIFY2(error.contains(QStringLiteral("refused")), qPrintable(error));
    const QString first = error;
    // The rest of the run is refused with the same reason, the commit too.
    QVERIFY(!store.runInProgress());
    QVERIFY(!store.record("u", "k", ranked(2, 1, 1), &error));
    QCOMPARE(error, first);
    QVERIFY(!store.commitRun(&error));
    QCOMPARE(error, first);

    EntryHistory history;
    QVERIFY(store.loadEntry("u", "k", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    QCOMPARE(history.runs[0].bySlot[0]->rank, std::optional<int>(3));
    QVERIFY(store.loadEntry("new entry", "k", &history, &error));
    QVERIFY(history.runs.empty());
    // The next run records as usual.
    QVERIFY(store.beginRun(at("2026-12-03T09:00:00Z"), &error));
    QVERIFY(store.record("new entry", "k", ranked(0, 4, 1), &error));
    QVERIFY2(store.commitRun(&error), qPrintable(error));
    QVERIFY(store.loadEntry("new entry", "k", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(1));
}

void TestHistory::errorRecordedWithItsText() {
    test::ScopedWorkDir dir;
    HistoryStore store;
    QString error;
    QVERIFY(store.open(dir.file("h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    QVERIFY(store.beginRun(at("2026-12-01T09:00:00Z"), &error));
    HistoryResult failed;
    failed.slot = 3;
    failed.engine = "Looksmart";
    failed.source = "classic";
    failed.text = "error";
    failed.error = "The engine answered HTTP 503 on every try.";
    QVERIFY(store.record("u", "k", failed, &error));
    QVERIFY(store.commitRun(&error));
    EntryHistory history;
    QVERIFY(store.loadEntry("u", "k", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    const HistoryResult& loaded = *history.runs[0].bySlot[3];
    QCOMPARE(loaded.text, std::string("error"));
    QCOMPARE(loaded.error, failed.error);
    QVERIFY(!loaded.rank && !loaded.page);
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    QVERIFY(store.exportEntryCsv("u", "k", &csv, &error));
    QVERIFY(csv.data().contains(
        ",3,Looksmart,classic,error,,,The engine answered HTTP 503 on every try.\r\n"));
}

// The calls a result service billed for a result come back with it, from a new file and from one
// brought up from the version before, whose results had none.
void TestHistory::callsOfEachResult() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    {
        HistoryStore store;
        QString error;
        QVERIFY(store.open(path, HistoryStore::Mode::ReadWrite, &error));
        QVERIFY(store.beginRun(at("2026-12-01T09:00:00Z"), &error));
        HistoryResult viaService = ranked(1, 14, 2);
        viaService.source = "serpapi:bing";
        viaService.calls = 2;
        QVERIFY(store.record("u", "k", viaService, &error));
        QVERIFY(store.record("u", "k", ranked(0, 3, 1), &error));
        QVERIFY(store.commitRun(&error));
        EntryHistory history;
        QVERIFY(store.loadEntry("u", "k", &history, &error));
        QCOMPARE(history.runs[0].bySlot[1]->calls, 2);
        QCOMPARE(history.runs[0].bySlot[0]->calls, 0);
        HistoryRecord previous;
        bool found = false;
        QVERIFY(store.previousResult("u", "k", 1, 0, &previous, &found, &error));
        QVERIFY(found);
        QCOMPARE(previous.result.calls, 2);
    }
    // As the version before left it: no calls column.
    {
        RawConnection raw(path);
        for (const char* column : {"calls", "results", "results_partial", "page_sizes",
                                   "ranking_site", "sites_in_results"})
            QVERIFY(raw.exec(QStringLiteral("ALTER TABLE result DROP COLUMN %1").arg(column)));
        QVERIFY(raw.exec("PRAGMA user_version = 3"));
    }
    HistoryStore store;
    QString error;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QCOMPARE(store.schemaVersion(), kHistorySchemaVersion);
    EntryHistory history;
    QVERIFY(store.loadEntry("u", "k", &history, &error));
    QCOMPARE(history.runs[0].bySlot[1]->calls, 0);
    QCOMPARE(history.runs[0].bySlot[1]->text, std::string("Rank 14 / Page 2"));
}

void TestHistory::recordFromWorkerThread() {
    test::ScopedWorkDir dir;
    HistoryStore store;
    QString error;
    QVERIFY(store.open(dir.file("h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    QVERIFY(store.beginRun(at("2026-12-01T09:00:00Z"), &error));
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&store, w] {
            for (int i = 0; i < 50; ++i)
                store.record("u" + std::to_string(w * 100 + i), "k", ranked(w, i + 1, 1), nullptr);
        });
    }
    for (auto& worker : workers)
        worker.join();
    QVERIFY2(store.commitRun(&error), qPrintable(error));
    EntryHistory history;
    QVERIFY(store.loadEntry("u349", "k", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    QCOMPARE(history.runs[0].bySlot[3]->rank, std::optional<int>(50));
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    QVERIFY(store.exportCsv(&csv, &error));
    QCOMPARE(csv.data().count("\r\n"), 1 + 200);
}

void TestHistory::sitesKeptAtMostHundred() {
    test::ScopedWorkDir dir;
    HistoryStore store;
    QString error;
    QVERIFY(store.open(dir.file("h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    std::vector<std::string> sites;
    for (int i = 0; i < 150; ++i)
        sites.push_back("http://s" + std::to_string(i) + ".example/\n\0x" + std::string(1, '\0'));
    QVERIFY(store.beginRun(at("2026-12-01T09:00:00Z"), &error));
    QVERIFY(store.record("u", "k", ranked(0, 151, 16, sites), &error));
    QVERIFY(store.record("u", "k", ranked(1, 1, 1), &error));
    QVERIFY(store.commitRun(&error));
    EntryHistory history;
    QVERIFY(store.loadEntry("u", "k", &history, &error, true));
    const auto& kept = history.runs[0].bySlot[0]->sitesAbove;
    QCOMPARE(kept.size(), std::size_t(kHistoryMaxSites));
    QCOMPARE(kept[99], sites[99]);
    QVERIFY(history.runs[0].bySlot[1]->sitesAbove.empty());
}

// Each site text is kept once: a later run (another store, which knows none of them yet) finds
// the texts an earlier one wrote, and every result reads back its own list in its own order.
void TestHistory::sitesKeptOnceAcrossRuns() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    const std::vector<std::string> first = {"http://a.example/", "", "http://b.example/"};
    const std::vector<std::string> second = {"http://b.example/", "http://c.example/",
                                             "http://a.example/", "http://a.example/"};
    QString error;
    for (const auto* sites : {&first, &second}) {
        HistoryStore store;
        QVERIFY(store.open(path, HistoryStore::Mode::ReadWrite, &error));
        QVERIFY(store.beginRun(QDateTime::currentDateTime(), &error));
        QVERIFY(store.record("u", "k", ranked(0, 9, 1, *sites), &error));
        QVERIFY(store.record("v", "k", ranked(2, 9, 1, *sites), &error));
        QVERIFY2(store.commitRun(&error), qPrintable(error));
    }
    HistoryStore store;
    QVERIFY(store.open(path, HistoryStore::Mode::ReadOnly, &error));
    for (const char* url : {"u", "v"}) {
        EntryHistory history;
        QVERIFY(store.loadEntry(url, "k", &history, &error, true));
        QCOMPARE(history.runs.size(), std::size_t(2));
        const int slot = url[0] == 'u' ? 0 : 2;
        QCOMPARE(history.runs[0].bySlot[slot]->sitesAbove, second);
        QCOMPARE(history.runs[1].bySlot[slot]->sitesAbove, first);
    }
    store.close();
    RawConnection check(path);
    QCOMPARE(check.value("SELECT COUNT(*) FROM site").toInt(), 4);
}

// The whole list a scan counted comes back in order with its pages and the matched address,
// from both ways of reading; an "error" keeps its partial list.
void TestHistory::keptResultsRoundTrip() {
    QTemporaryDir dir;
    const QString path = dir.filePath("h.history.sqlite");
    HistoryStore store;
    QString error;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QVERIFY(store.beginRun(QDateTime::currentDateTime(), &error));
    HistoryResult found = ranked(0, 3, 1, {"a.example/1", "b.example/2"});
    found.results = {"a.example/1", "b.example/2", "www.target.example/x", "c.example/"};
    found.pageSizes = {4};
    found.rankingUrl = "www.target.example/x";
    QVERIFY(store.record("u", "k", found, &error));
    HistoryResult failed = notFound(2);
    failed.text = "error";
    failed.error = "The engine answered HTTP 500.";
    failed.results = {"a.example/1", "d.example/"};
    failed.pageSizes = {2};
    failed.resultsPartial = true;
    QVERIFY(store.record("u", "k", failed, &error));
    QVERIFY(store.commitRun(&error));

    EntryHistory history;
    QVERIFY2(store.loadEntry("u", "k", &history, &error, true), qPrintable(error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    const HistoryResult& back = *history.runs[0].bySlot[0];
    QCOMPARE(back.results, found.results);
    QCOMPARE(back.pageSizes, found.pageSizes);
    QCOMPARE(back.rankingUrl, found.rankingUrl);
    QCOMPARE(back.sitesAbove, found.sitesAbove);
    QVERIFY(!back.resultsPartial);
    QVERIFY(history.runs[0].bySlot[2]->resultsPartial);
    QCOMPARE(history.runs[0].bySlot[2]->results, failed.results);
    QVERIFY(history.runs[0].bySlot[2]->rankingUrl.empty());

    HistoryRecord previous;
    bool seen = false;
    QVERIFY(store.previousResult("u", "k", EntryWhere{}, 0, 0, &previous, &seen, &error, true));
    QVERIFY(seen);
    QCOMPARE(previous.result.results, found.results);
    QCOMPARE(previous.result.rankingUrl, found.rankingUrl);
    // Without asking for them, none are read.
    QVERIFY(store.previousResult("u", "k", EntryWhere{}, 0, 0, &previous, &seen, &error));
    QVERIFY(previous.result.results.empty());
}

// The sites above are the start of the kept results, or not (the target past the hundredth,
// a caller that kept no results); the ranking URL is among them or not. Each reads back as
// recorded, and a list repeated from the run before reads back in its own order.
void TestHistory::keptListsBesideTheSitesAbove() {
    QTemporaryDir dir;
    const QString path = dir.filePath("h.history.sqlite");
    std::vector<std::string> hundred;
    for (int i = 1; i <= kHistoryMaxResults; ++i)
        hundred.push_back("http://s" + std::to_string(i) + ".example/p");
    HistoryResult deep = ranked(0, 120, 12, hundred);
    deep.results = hundred;
    deep.rankingUrl = "http://www.target.example/";
    HistoryResult onlyAbove = ranked(1, 3, 1, {"http://x.example/", "http://y.example/"});
    HistoryResult wholeDepth = ranked(2, 2, 1, {"http://s2.example/p"});
    wholeDepth.results = {"http://s2.example/p", "http://www.target.example/a",
                          "http://s1.example/p", "http://www.target.example/b"};
    wholeDepth.rankingUrl = "http://www.target.example/a";
    wholeDepth.pageSizes = {4};
    QString error;
    for (int run = 0; run < 2; ++run) {
        HistoryStore store;
        QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
        QVERIFY(store.beginRun(QDateTime::currentDateTime(), &error));
        for (const HistoryResult* r : {&deep, &onlyAbove, &wholeDepth})
            QVERIFY2(store.record("u", "k", *r, &error), qPrintable(error));
        QVERIFY2(store.commitRun(&error), qPrintable(error));
        // The second run has the same lists turned round.
        std::reverse(deep.results.begin(), deep.results.end());
        std::reverse(deep.sitesAbove.begin(), deep.sitesAbove.end());
    }
    HistoryStore store;
    QVERIFY(store.open(path, HistoryStore::Mode::ReadOnly, &error));
    EntryHistory history;
    QVERIFY2(store.loadEntry("u", "k", &history, &error, true), qPrintable(error));
    QCOMPARE(history.runs.size(), std::size_t(2));
    for (std::size_t run = 0; run < 2; ++run) {
        std::vector<std::string> expected = hundred;
        if (run == 0)
            std::reverse(expected.begin(), expected.end());
        const HistoryResult& back = *history.runs[run].bySlot[0];
        QCOMPARE(back.results, expected);
        QCOMPARE(back.sitesAbove, expected);
        QCOMPARE(back.rankingUrl, deep.rankingUrl);
        QCOMPARE(history.runs[run].bySlot[1]->sitesAbove, onlyAbove.sitesAbove);
        QVERIFY(history.runs[run].bySlot[1]->results.empty());
        QCOMPARE(history.runs[run].bySlot[2]->results, wholeDepth.results);
        QCOMPARE(history.runs[run].bySlot[2]->sitesAbove, wholeDepth.sitesAbove);
        QCOMPARE(history.runs[run].bySlot[2]->rankingUrl, wholeDepth.rankingUrl);
    }
}

// A kept list that cannot be read is an error of the read that asks for it, never a crash; what
// does not ask for the lists reads on.
void TestHistory::damagedKeptLists_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("list cut inside a number") << "results = X'0280'";
    QTest::newRow("id below 1") << "results = X'0201'";
    QTest::newRow("id of no site") << "results = X'C801'";
    QTest::newRow("more sites above than results") << "sites_in_results = 9";
    QTest::newRow("negative sites above") << "sites_in_results = -1";
    QTest::newRow("page sizes cut") << "page_sizes = X'FF'";
    QTest::newRow("ranking URL of no site") << "ranking_site = 99999";
}
void TestHistory::damagedKeptLists() {
    QFETCH(QString, change);
    QTemporaryDir dir;
    const QString path = dir.filePath("h.history.sqlite");
    QString error;
    {
        HistoryStore store;
        QVERIFY(store.open(path, HistoryStore::Mode::ReadWrite, &error));
        QVERIFY(store.beginRun(QDateTime::currentDateTime(), &error));
        HistoryResult r = ranked(0, 2, 1, {"http://a.example/"});
        r.results = {"http://a.example/", "http://t.example/", "http://b.example/"};
        r.pageSizes = {3};
        r.rankingUrl = "http://t.example/";
        QVERIFY(store.record("u", "k", r, &error));
        QVERIFY(store.commitRun(&error));
    }
    {
        RawConnection raw(path);
        QVERIFY(raw.exec("UPDATE result SET " + change));
    }
    HistoryStore store;
    QVERIFY(store.open(path, HistoryStore::Mode::ReadOnly, &error));
    EntryHistory history;
    error.clear();
    QVERIFY(!store.loadEntry("u", "k", &history, &error, true));
    QVERIFY2(error.contains("cannot be read"), qPrintable(error));
    HistoryRecord previous;
    bool found = false;
    QVERIFY(!store.previousResult("u", "k", EntryWhere{}, 0, 0, &previous, &found, &error, true));
    QVERIFY(store.loadEntry("u", "k", &history, &error));
    QCOMPARE(history.runs[0].bySlot[0]->rank, std::optional<int>(2));
}

// The reads of many entries give what the reads of one entry give: the runs, the results with
// their kept ones, and the latest before a time, also for a phone history, an entry without a
// history and an entry named twice.
void TestHistory::manyEntriesReadAtOnce() {
    QTemporaryDir dir;
    const QString path = dir.filePath("h.history.sqlite");
    HistoryStore store;
    QString error;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    const EntryWhere phone = entryWhere("mobile", "Lyon");
    const QString days[] = {"2026-11-01T09:00:00Z", "2026-11-20T09:00:00Z", "2026-12-01T09:00:00Z"};
    for (int run = 0; run < 3; ++run) {
        QVERIFY(store.beginRun(at(days[run]), &error));
        HistoryResult a = ranked(0, 3 + run, 1, {"x.example/"});
        a.results = {"x.example/", "y.example/" + std::to_string(run), "u/"};
        a.pageSizes = {3};
        a.rankingUrl = "u/";
        QVERIFY(store.record("u", "k", a, &error));
        if (run != 1) // slot 1 skipped in the middle run
            QVERIFY(store.record("u", "k", notFound(1), &error));
        HistoryResult b = ranked(0, 9, 1);
        b.where = phone;
        if (run == 0)
            QVERIFY(store.record("u", "k", b, &error));
        QVERIFY(store.record("other", "k", ranked(0, 1, 1), &error));
        QVERIFY2(store.commitRun(&error), qPrintable(error));
    }
    const std::vector<EntryKey> keys{
        {"u", "k", {}}, {"u", "k", phone}, {"none", "k", {}}, {"u", "k", {}}};

    std::vector<HistoryRunTime> runs;
    QVERIFY2(store.runsOf(keys, &runs, &error), qPrintable(error));
    QCOMPARE(runs.size(), std::size_t(3));
    QCOMPARE(runs[0].time, at(days[0]));
    QCOMPARE(runs[2].time, at(days[2]));
    QVERIFY(store.runsOf({{"none", "k", {}}}, &runs, &error));
    QVERIFY(runs.empty());

    for (const QDateTime& since : {QDateTime(), at(days[1])}) {
        std::vector<EntryHistory> many;
        QVERIFY2(store.loadEntriesSince(keys, since, &many, &error, true), qPrintable(error));
        QCOMPARE(many.size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            EntryHistory one;
            QVERIFY(
                store.loadEntry(keys[i].url, keys[i].keywords, keys[i].where, &one, &error, true));
            if (since.isValid())
                std::erase_if(one.runs, [&](const HistoryRun& r) { return r.time < since; });
            QCOMPARE(many[i].where, keys[i].where);
            QCOMPARE(many[i].runs.size(), one.runs.size());
            for (std::size_t r = 0; r < one.runs.size(); ++r) {
                QCOMPARE(many[i].runs[r].runId, one.runs[r].runId);
                QCOMPARE(many[i].runs[r].time, one.runs[r].time);
                for (int s = 0; s < kHistorySlots; ++s) {
                    const auto& m = many[i].runs[r].bySlot[s];
                    const auto& o = one.runs[r].bySlot[s];
                    QCOMPARE(bool(m), bool(o));
                    if (m) {
                        QCOMPARE(m->text, o->text);
                        QCOMPARE(m->results, o->results);
                        QCOMPARE(m->sitesAbove, o->sitesAbove);
                        QCOMPARE(m->rankingUrl, o->rankingUrl);
                    }
                }
            }
        }
        QCOMPARE(many[0].runs.size(), since.isValid() ? std::size_t(2) : std::size_t(3));
    }

    std::vector<LatestResults> latest;
    QVERIFY2(store.latestBefore(keys, at(days[2]), &latest, &error, true), qPrintable(error));
    QCOMPARE(latest.size(), keys.size());
    // Slot 0 from the middle run; slot 1, skipped there, from the first.
    QCOMPARE(latest[0][0]->time, at(days[1]));
    QCOMPARE(latest[0][0]->result.rank, std::optional<int>(4));
    QCOMPARE(latest[0][0]->result.results[1], std::string("y.example/1"));
    QCOMPARE(latest[0][1]->time, at(days[0]));
    QVERIFY(!latest[0][2]);
    QCOMPARE(latest[1][0]->result.rank, std::optional<int>(9));
    QVERIFY(!latest[2][0]);
    QCOMPARE(latest[3][0]->runId, latest[0][0]->runId);
    QVERIFY(store.latestBefore(keys, at(days[0]), &latest, &error));
    QVERIFY(!latest[0][0] && !latest[1][0]);
}

void TestHistory::lockedDatabase() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    QString error;
    {
        HistoryStore store;
        openWithOneRun(store, path);
    }
    const QByteArray before = readFile(path);

    {
        // Another program is writing: reading still works, a run cannot start.
        RawConnection other(path);
        QVERIFY(other.ok());
        QVERIFY(other.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(
            other.exec(QStringLiteral("INSERT INTO run (started_ms, utc_offset) VALUES (1, 0)")));
        HistoryStore store;
        QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
        error.clear();
        QVERIFY(!store.beginRun(at("2026-12-02T09:00:00Z"), &error));
        QVERIFY2(error.contains(QStringLiteral("locked")), qPrintable(error));
        QVERIFY(error.contains(path));
        QVERIFY(!store.runInProgress());
        QVERIFY(!store.record("u", "k", ranked(0, 1, 1), &error));
        QVERIFY(other.exec(QStringLiteral("ROLLBACK")));
    }
    QCOMPARE(readFile(path), before);

    {
        // Another program holds the file for itself: even opening gives up after the time-out.
        RawConnection other(path);
        QVERIFY(other.exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE")));
        QVERIFY(other.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QVERIFY(
            other.exec(QStringLiteral("INSERT INTO run (started_ms, utc_offset) VALUES (1, 0)")));
        HistoryStore store;
        error.clear();
        QVERIFY(!store.open(path, HistoryStore::Mode::ReadWrite, &error));
        QVERIFY2(error.contains(QStringLiteral("locked")), qPrintable(error));
        QVERIFY(!store.isOpen());
        QVERIFY(other.exec(QStringLiteral("ROLLBACK")));
    }
    QCOMPARE(readFile(path), before);
}

void TestHistory::refusedFiles_data() {
    QTest::addColumn<QByteArray>("content"); // empty: a damaged history made by the test
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason");
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += char((i * 7919) % 251);
    QTest::newRow("garbage") << garbage << QString() << "not a history database";
    QTest::newRow("short header") << QByteArray("SQLite format 3\0\x10", 18) << QString()
                                  << "not a history database";
    QTest::newRow("text file") << QByteArray("http://a.example/\r\nshoes\r\n") << QString()
                               << "not a history database";
    QTest::newRow("damaged pages") << QByteArray() << "damage"
                                   << "damaged";
    QTest::newRow("other database") << QByteArray() << "foreign"
                                    << "not a Tallowick history";
    QTest::newRow("newer format") << QByteArray() << "newer"
                                  << "newer version";
}

void TestHistory::refusedFiles() {
    QFETCH(QByteArray, content);
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    if (setup.isEmpty()) {
        writeFile(path, content);
    } else if (setup == QStringLiteral("damage")) {
        {
            HistoryStore store;
            QString error;
            QVERIFY(store.open(path, HistoryStore::Mode::ReadWrite, &error));
            QVERIFY(store.beginRun(at("2026-12-01T09:00:00Z"), &error));
            for (int i = 0; i < 2000; ++i)
                QVERIFY(store.record("u" + std::to_string(i), "k", ranked(0, i + 1, 1), &error));
            QVERIFY(store.commitRun(&error));
        }
        QByteArray data = readFile(path);
        QVERIFY(data.size() > 20000);
        // Pages past the first overwritten with noise; the header stays.
        for (qsizetype i = 4096; i < 16384; ++i)
            data[i] = char((i * 31) & 0xff);
        writeFile(path, data);
    } else {
        RawConnection other(path);
        QVERIFY(other.ok());
        if (setup == QStringLiteral("foreign")) {
            QVERIFY(other.exec(QStringLiteral("CREATE TABLE notes (t TEXT)")));
            QVERIFY(other.exec(QStringLiteral("INSERT INTO notes VALUES ('mine')")));
        } else {
            QVERIFY(other.exec(QStringLiteral("CREATE TABLE entry (id INTEGER PRIMARY KEY)")));
            QVERIFY(other.exec(QStringLiteral("CREATE TABLE run (id INTEGER PRIMARY KEY)")));
            QVERIFY(other.exec(QStringLiteral("CREATE TABLE result (id INTEGER PRIMARY KEY)")));
            QVERIFY(other.exec(QStringLiteral("PRAGMA user_version = 7")));
        }
    }
    const QByteArray before = readFile(path);
    const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files);

    HistoryStore store;
    QString error;
    QVERIFY(!store.open(path, HistoryStore::Mode::ReadWrite, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(error.contains(path));
    QVERIFY(!store.isOpen());
    QVERIFY(!store.beginRun(QDateTime::currentDateTime(), &error));
    QVERIFY(!store.record("u", "k", ranked(0, 1, 1), &error));
    store.close();
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), filesBefore);

    // The window's loader reads without the whole-file check, so a damaged page may go unseen
    // until it is read; either way it leaves the file alone.
    EntryHistory history;
    const bool loaded = loadEntryHistory(dir.file("h.dat"), "u", "k", &history, &error);
    if (setup != QStringLiteral("damage"))
        QVERIFY(!loaded);
    QCOMPARE(readFile(path), before);
}

// One byte of the entry index changed: the table and the index disagree, which the quick check
// does not see. The file was sound when last written, so a check result may be remembered; the
// change voids it, also when the file's times are put back.
void TestHistory::damagedIndexIsCaught_data() {
    QTest::addColumn<bool>("timesPutBack");
    QTest::newRow("index byte changed") << false;
    QTest::newRow("times put back") << true;
}

void TestHistory::damagedIndexIsCaught() {
    QFETCH(bool, timesPutBack);
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    const auto url = [](int i) {
        return QStringLiteral("http://entry-%1.example/").arg(i, 4, 10, QLatin1Char('0'));
    };
    {
        HistoryStore store;
        QString error;
        QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
        QVERIFY(store.beginRun(at("2026-12-01T09:00:00Z"), &error));
        // Few enough that the whole index is its root page.
        for (int i = 0; i < 50; ++i)
            QVERIFY(store.record(url(i).toStdString(), "k", ranked(0, 3, 1), &error));
        QVERIFY2(store.commitRun(&error), qPrintable(error));
    }
    // The same file opened again for writing is still fine.
    {
        HistoryStore store;
        QString error;
        QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    }
    qint64 root = 0;
    qint64 pageSize = 0;
    {
        RawConnection raw(path);
        root = raw.value("SELECT rootpage FROM sqlite_master WHERE name = "
                         "'sqlite_autoindex_entry_1'")
                   .toLongLong();
        pageSize = raw.value("PRAGMA page_size").toLongLong();
    }
    QVERIFY(root > 1 && pageSize >= 512);
    QByteArray data = readFile(path);
    const QByteArray key = url(42).toUtf8() + 'k';
    const qsizetype at = data.indexOf(key, (root - 1) * pageSize);
    QVERIFY(at > 0 && at + key.size() <= root * pageSize);
    data[at + key.size() - 1] = 'j'; // the keywords of entry 42 in the index alone
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    writeFile(path, data);
    if (timesPutBack) {
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    {
        RawConnection raw(path);
        QCOMPARE(raw.value("PRAGMA quick_check").toString(), QStringLiteral("ok"));
    }
    const QByteArray damaged = readFile(path);

    HistoryStore store;
    QString error;
    QVERIFY(!store.open(path, HistoryStore::Mode::ReadWrite, &error));
    QVERIFY2(error.contains("damaged") && error.contains(path), qPrintable(error));
    QCOMPARE(readFile(path), damaged);
    QVERIFY(!QFile::exists(path + "-wal"));
}

// Files Tallowick never wrote that look like an old history at first sight are not brought up
// to date: only a file that is table for table and column for column a known older format is.
void TestHistory::foreignLookalikeLeftAlone_data() {
    QTest::addColumn<QStringList>("statements");
    const QString entry = "CREATE TABLE entry (id INTEGER PRIMARY KEY, url BLOB NOT NULL, "
                          "keywords BLOB NOT NULL, UNIQUE (url, keywords))";
    const QString run = "CREATE TABLE run (id INTEGER PRIMARY KEY, started_ms INTEGER NOT NULL, "
                        "utc_offset INTEGER NOT NULL)";
    const QString resultV2 = "CREATE TABLE result (id INTEGER PRIMARY KEY, run_id INTEGER NOT "
                             "NULL, entry_id INTEGER NOT NULL, slot INTEGER NOT NULL, engine TEXT "
                             "NOT NULL, text BLOB NOT NULL, rank INTEGER, page INTEGER, error "
                             "BLOB, sites BLOB, source TEXT NOT NULL DEFAULT 'classic')";
    const QString index = "CREATE INDEX result_entry ON result (entry_id, slot, run_id)";
    QTest::newRow("same names, other columns")
        << QStringList{"CREATE TABLE entry (id INTEGER PRIMARY KEY, name TEXT)",
                       "CREATE TABLE run (id INTEGER PRIMARY KEY, at TEXT)",
                       "CREATE TABLE result (id INTEGER PRIMARY KEY, sites TEXT)",
                       "INSERT INTO result VALUES (1, 'mine')", "PRAGMA user_version = 2"};
    QTest::newRow("a table more") << QStringList{
        entry, run, resultV2, index, "CREATE TABLE notes (t TEXT)", "PRAGMA user_version = 2"};
    QTest::newRow("a column more") << QStringList{entry,
                                                  run,
                                                  resultV2,
                                                  index,
                                                  "ALTER TABLE result ADD COLUMN mine TEXT",
                                                  "PRAGMA user_version = 2"};
    QTest::newRow("an index missing")
        << QStringList{entry, run, resultV2, "PRAGMA user_version = 2"};
    QTest::newRow("a trigger") << QStringList{
        entry,
        run,
        resultV2,
        index,
        "CREATE TRIGGER t AFTER INSERT ON run BEGIN DELETE FROM entry; END",
        "PRAGMA user_version = 2"};
    QTest::newRow("format 2 under version 1")
        << QStringList{entry, run, resultV2, index, "PRAGMA user_version = 1"};
    QTest::newRow("another program's mark") << QStringList{
        entry, run, resultV2, index, "PRAGMA user_version = 2", "PRAGMA application_id = 1234"};
}

void TestHistory::foreignLookalikeLeftAlone() {
    QFETCH(QStringList, statements);
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    {
        RawConnection other(path);
        QVERIFY(other.ok());
        for (const QString& sql : statements)
            QVERIFY(other.exec(sql));
    }
    const QByteArray before = readFile(path);
    const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files);
    for (const auto mode : {HistoryStore::Mode::ReadWrite, HistoryStore::Mode::ReadOnly}) {
        HistoryStore store;
        QString error;
        QVERIFY(!store.open(path, mode, &error));
        QVERIFY2(error.contains("not a Tallowick history"), qPrintable(error));
    }
    EntryHistory history;
    QString error;
    QVERIFY(!loadEntryHistory(dir.file("h.dat"), "u", "k", &history, &error));
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), filesBefore);
}

// Files of the last format written before the mark existed (3) are recognised, brought up to
// date and marked when next opened; new files are marked from the start.
void TestHistory::filesAreMarked() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    {
        // Format 3 as it was written, unmarked, with one run.
        RawConnection raw(path);
        for (const char* statement :
             {"CREATE TABLE entry (id INTEGER PRIMARY KEY, url BLOB NOT NULL, keywords BLOB NOT "
              "NULL, UNIQUE (url, keywords))",
              "CREATE TABLE run (id INTEGER PRIMARY KEY, started_ms INTEGER NOT NULL, "
              "utc_offset INTEGER NOT NULL)",
              "CREATE TABLE result (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES "
              "run (id), entry_id INTEGER NOT NULL REFERENCES entry (id), slot INTEGER NOT NULL "
              "CHECK (slot BETWEEN 0 AND 3), engine TEXT NOT NULL, text BLOB NOT NULL, rank "
              "INTEGER, page INTEGER, error BLOB, sites BLOB, source TEXT NOT NULL DEFAULT "
              "'classic')",
              "CREATE INDEX result_entry ON result (entry_id, slot, run_id)",
              "CREATE TABLE site (id INTEGER PRIMARY KEY, hash INTEGER NOT NULL, text BLOB NOT "
              "NULL)",
              "CREATE INDEX site_hash ON site (hash)",
              "INSERT INTO entry VALUES (1, CAST('u' AS BLOB), CAST('k' AS BLOB))",
              "INSERT INTO run VALUES (1, 1764579600000, 0)",
              "INSERT INTO result (run_id, entry_id, slot, engine, text, rank, page) VALUES (1, "
              "1, 0, 'Google', 'Rank 3 / Page 1', 3, 1)",
              "PRAGMA user_version = 3"})
            QVERIFY2(raw.exec(QString::fromLatin1(statement)), statement);
        QCOMPARE(raw.value("PRAGMA application_id").toInt(), 0);
    }
    EntryHistory history;
    QString error;
    QVERIFY2(loadEntryHistory(dir.file("h.dat"), "u", "k", &history, &error), qPrintable(error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    QCOMPARE(history.runs[0].bySlot[0]->rank, std::optional<int>(3));
    {
        RawConnection raw(path);
        QCOMPARE(raw.value("PRAGMA application_id").toInt(), 0x54574B48);
        QCOMPARE(raw.value("PRAGMA user_version").toInt(), kHistorySchemaVersion);
    }
    // A new file is marked from the start.
    HistoryStore store;
    openWithOneRun(store, dir.file("new.history.sqlite"));
    store.close();
    RawConnection raw(dir.file("new.history.sqlite"));
    QCOMPARE(raw.value("PRAGMA application_id").toInt(), 0x54574B48);
}

// A symbolic link in the place of the history or of one of SQLite's files beside it is refused
// for reading and writing: nothing is made or changed where it points.
void TestHistory::linkedFilesRefused_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("dangling");
    QTest::newRow("history to another list's") << "" << false;
    QTest::newRow("history to nowhere") << "" << true;
    QTest::newRow("write-ahead log") << "-wal" << true;
    QTest::newRow("shared memory") << "-shm" << true;
    QTest::newRow("journal") << "-journal" << true;
}

void TestHistory::linkedFilesRefused() {
    QFETCH(QString, suffix);
    QFETCH(bool, dangling);
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    const QString other = dir.file("other.history.sqlite");
    if (!suffix.isEmpty()) {
        HistoryStore store;
        openWithOneRun(store, path);
    }
    if (!dangling) {
        HistoryStore store;
        openWithOneRun(store, other);
    }
    const QByteArray mine = readFile(path);
    const QByteArray theirs = readFile(other);
    QVERIFY(QFile::link(other, path + suffix));

    for (const auto mode : {HistoryStore::Mode::ReadWrite, HistoryStore::Mode::ReadOnly}) {
        HistoryStore store;
        QString error;
        QVERIFY(!store.open(path, mode, &error));
        QVERIFY2(error.contains("symbolic link"), qPrintable(error));
    }
    EntryHistory history;
    QString error;
    QVERIFY(!loadEntryHistory(dir.file("h.dat"), "u", "k", &history, &error));
    QVERIFY2(error.contains("symbolic link"), qPrintable(error));
    QCOMPARE(readFile(other), theirs);
    QCOMPARE(readFile(path + suffix), theirs);
    if (!suffix.isEmpty())
        QCOMPARE(readFile(path), mine);
    QVERIFY(!QFile::exists(other + "-wal"));
}

void TestHistory::readOnlyOpen() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    HistoryStore store;
    QString error;
    QVERIFY(!store.open(path, HistoryStore::Mode::ReadOnly, &error));
    QVERIFY(!QFile::exists(path));
    EntryHistory history;
    QVERIFY(loadEntryHistory(dir.file("h.dat"), "u", "k", &history, &error));
    QVERIFY(history.runs.empty());
    QVERIFY(!QFile::exists(path));
    QVERIFY(
        !store.open(dir.file("missing/h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    QVERIFY2(error.contains(QStringLiteral("folder")), qPrintable(error));
}

void TestHistory::migrationFromVersion1() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    {
        // Version 1 as it was written: no source, sites as plain lines.
        RawConnection v1(path);
        QVERIFY(v1.ok());
        QVERIFY(v1.exec("CREATE TABLE entry (id INTEGER PRIMARY KEY, url BLOB NOT NULL, "
                        "keywords BLOB NOT NULL, UNIQUE (url, keywords))"));
        QVERIFY(v1.exec("CREATE TABLE run (id INTEGER PRIMARY KEY, started_ms INTEGER NOT NULL, "
                        "utc_offset INTEGER NOT NULL)"));
        QVERIFY(v1.exec("CREATE TABLE result (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL, "
                        "entry_id INTEGER NOT NULL, slot INTEGER NOT NULL, engine TEXT NOT NULL, "
                        "text BLOB NOT NULL, rank INTEGER, page INTEGER, error BLOB, sites TEXT)"));
        QVERIFY(v1.exec("CREATE INDEX result_entry ON result (entry_id, slot, run_id)"));
        QVERIFY(v1.exec("INSERT INTO entry VALUES (1, CAST('http://a.example/' AS BLOB), "
                        "CAST('shoes' AS BLOB))"));
        QVERIFY(v1.exec("INSERT INTO run VALUES (1, 1764579600000, 3600)"));
        QVERIFY(v1.exec("INSERT INTO result VALUES (1, 1, 1, 0, 'Google', "
                        "CAST('Rank 3 / Page 1' AS BLOB), 3, 1, NULL, "
                        "'http://one.example/' || char(10) || 'http://two.example/')"));
        QVERIFY(v1.exec("INSERT INTO result VALUES (2, 1, 1, 1, 'Altavista', "
                        "CAST('not found' AS BLOB), NULL, NULL, NULL, NULL)"));
        QVERIFY(v1.exec("PRAGMA user_version = 1"));
    }
    HistoryStore store;
    QString error;
    QVERIFY(!store.open(path, HistoryStore::Mode::ReadOnly, &error));
    QVERIFY2(error.contains(QStringLiteral("older format")), qPrintable(error));
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QCOMPARE(store.schemaVersion(), kHistorySchemaVersion);
    EntryHistory history;
    QVERIFY(store.loadEntry("http://a.example/", "shoes", &history, &error, true));
    QCOMPARE(history.runs.size(), std::size_t(1));
    QCOMPARE(history.runs[0].time,
             QDateTime::fromMSecsSinceEpoch(1764579600000)); // same instant
    QCOMPARE(history.runs[0].time.offsetFromUtc(), 3600);
    const HistoryResult& google = *history.runs[0].bySlot[0];
    QCOMPARE(google.source, std::string("classic"));
    QCOMPARE(google.sitesAbove,
             (std::vector<std::string>{"http://one.example/", "http://two.example/"}));
    QCOMPARE(history.runs[0].bySlot[1]->text, std::string("not found"));

    QVERIFY(store.beginRun(at("2026-12-02T09:00:00Z"), &error));
    HistoryResult api = ranked(0, 2, 1);
    api.source = "api";
    QVERIFY(store.record("http://a.example/", "shoes", api, &error));
    QVERIFY(store.commitRun(&error));
    store.close();

    HistoryStore again;
    QVERIFY(again.open(path, HistoryStore::Mode::ReadOnly, &error));
    QVERIFY(again.loadEntry("http://a.example/", "shoes", &history, &error));
    QCOMPARE(history.runs.size(), std::size_t(2));
    QCOMPARE(history.runs[0].bySlot[0]->source, std::string("api"));
}

// Version 2 kept each result's sites packed and compressed; version 3 keeps each text once.
void TestHistory::migrationFromVersion2() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    const std::vector<std::string> first = {"http://top.example/", "http://b.example/x\n,\"y\""};
    const std::vector<std::string> second = {"http://top.example/", "http://c.example/"};
    {
        RawConnection v2(path);
        QVERIFY(v2.ok());
        QVERIFY(v2.exec("CREATE TABLE entry (id INTEGER PRIMARY KEY, url BLOB NOT NULL, "
                        "keywords BLOB NOT NULL, UNIQUE (url, keywords))"));
        QVERIFY(v2.exec("CREATE TABLE run (id INTEGER PRIMARY KEY, started_ms INTEGER NOT NULL, "
                        "utc_offset INTEGER NOT NULL)"));
        QVERIFY(v2.exec("CREATE TABLE result (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL, "
                        "entry_id INTEGER NOT NULL, slot INTEGER NOT NULL, engine TEXT NOT NULL, "
                        "text BLOB NOT NULL, rank INTEGER, page INTEGER, error BLOB, sites BLOB, "
                        "source TEXT NOT NULL DEFAULT 'classic')"));
        QVERIFY(v2.exec("CREATE INDEX result_entry ON result (entry_id, slot, run_id)"));
        QVERIFY(v2.exec("INSERT INTO entry VALUES (1, CAST('http://a.example/' AS BLOB), "
                        "CAST('shoes' AS BLOB))"));
        QVERIFY(v2.exec("INSERT INTO run VALUES (1, 1764579600000, 3600)"));
        QVERIFY(v2.exec("INSERT INTO run VALUES (2, 1764666000000, 3600)"));
        int id = 0;
        for (const auto* sites : {&first, &second}) {
            ++id;
            QVERIFY(v2.exec(QStringLiteral("INSERT INTO result VALUES (%1, %1, 1, 0, 'Google', "
                                           "CAST('Rank 3 / Page 1' AS BLOB), 3, 1, NULL, "
                                           "X'%2', 'classic')")
                                .arg(id)
                                .arg(QString::fromLatin1(packSites(*sites).toHex()))));
        }
        QVERIFY(v2.exec("PRAGMA user_version = 2"));
    }
    HistoryStore store;
    QString error;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QCOMPARE(store.schemaVersion(), kHistorySchemaVersion);
    EntryHistory history;
    QVERIFY2(store.loadEntry("http://a.example/", "shoes", &history, &error, true),
             qPrintable(error));
    QCOMPARE(history.runs.size(), std::size_t(2));
    QCOMPARE(history.runs[0].bySlot[0]->sitesAbove, second);
    QCOMPARE(history.runs[1].bySlot[0]->sitesAbove, first);
    store.close();
    // The top site is kept once for both results.
    RawConnection check(path);
    QCOMPARE(check.value("SELECT COUNT(*) FROM site").toInt(), 3);
    QCOMPARE(check.value("PRAGMA user_version").toInt(), kHistorySchemaVersion);
    QCOMPARE(check.value("PRAGMA application_id").toInt(), 0x54574B48);
}

// A file of the version before keeps its results, which read back with empty kept lists; the
// next run keeps its lists beside them.
void TestHistory::migrationFromVersion5() {
    test::ScopedWorkDir dir;
    const QString path = dir.file("h.history.sqlite");
    const std::vector<std::string> above = {"http://a.example/", "http://b.example/"};
    QString error;
    {
        HistoryStore store;
        QVERIFY(store.open(path, HistoryStore::Mode::ReadWrite, &error));
        QVERIFY(store.beginRun(at("2026-12-01T09:00:00Z"), &error));
        QVERIFY(store.record("u", "k", ranked(0, 3, 1, above), &error));
        QVERIFY(store.record("u", "k", notFound(2), &error));
        QVERIFY(store.commitRun(&error));
    }
    // As version 5 left it: none of the kept results' columns.
    {
        RawConnection raw(path);
        for (const char* column :
             {"results", "results_partial", "page_sizes", "ranking_site", "sites_in_results"})
            QVERIFY(raw.exec(QStringLiteral("ALTER TABLE result DROP COLUMN %1").arg(column)));
        QVERIFY(raw.exec("PRAGMA user_version = 5"));
    }
    HistoryStore store;
    QVERIFY2(store.open(path, HistoryStore::Mode::ReadWrite, &error), qPrintable(error));
    QCOMPARE(store.fileSchemaVersion(), 5);
    QCOMPARE(store.schemaVersion(), kHistorySchemaVersion);
    EntryHistory history;
    QVERIFY2(store.loadEntry("u", "k", &history, &error, true), qPrintable(error));
    QCOMPARE(history.runs.size(), std::size_t(1));
    const HistoryResult& old = *history.runs[0].bySlot[0];
    QCOMPARE(old.sitesAbove, above);
    QCOMPARE(old.text, std::string("Rank 3 / Page 1"));
    QVERIFY(old.results.empty() && old.pageSizes.empty() && old.rankingUrl.empty());
    QVERIFY(!old.resultsPartial);
    QCOMPARE(history.runs[0].bySlot[2]->text, std::string("not found"));

    QVERIFY(store.beginRun(at("2026-12-02T09:00:00Z"), &error));
    HistoryResult now = ranked(0, 2, 1, {"http://b.example/"});
    now.results = {"http://b.example/", "http://www.u.example/", "http://a.example/"};
    now.pageSizes = {3};
    now.rankingUrl = "http://www.u.example/";
    QVERIFY(store.record("u", "k", now, &error));
    QVERIFY2(store.commitRun(&error), qPrintable(error));
    QVERIFY(store.loadEntry("u", "k", &history, &error, true));
    QCOMPARE(history.runs.size(), std::size_t(2));
    QCOMPARE(history.runs[0].bySlot[0]->results, now.results);
    QCOMPARE(history.runs[0].bySlot[0]->sitesAbove, now.sitesAbove);
    QCOMPARE(history.runs[1].bySlot[0]->sitesAbove, above);
    QVERIFY(history.runs[1].bySlot[0]->results.empty());
}

void TestHistory::csvQuoting() {
    test::ScopedWorkDir dir;
    HistoryStore store;
    QString error;
    QVERIFY(store.open(dir.file("h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    const std::string url = "http://a.example/?q=1,2";
    const std::string keywords = "say \"hi\", then\r\nnext line\nand more";
    QVERIFY(store.beginRun(at("2026-12-01T09:30:05+01:00"), &error));
    QVERIFY(store.record(url, keywords, ranked(0, 9, 1), &error));
    QVERIFY(store.record("plain", "caf\xc3\xa9", notFound(2), &error));
    QVERIFY(store.commitRun(&error));
    QVERIFY(store.beginRun(at("2026-12-02T09:30:05-05:00"), &error));
    QVERIFY(store.record(url, keywords, ranked(0, 7, 1), &error));
    QVERIFY(store.commitRun(&error));

    QBuffer all;
    all.open(QIODevice::WriteOnly);
    QVERIFY(store.exportCsv(&all, &error));
    const QByteArray expected =
        "time,url,keywords,slot,engine,source,text,rank,page,error\r\n"
        "2026-12-01T09:30:05+01:00,\"http://a.example/?q=1,2\","
        "\"say \"\"hi\"\", then\r\nnext line\nand more\",0,Google,classic,Rank 9 / Page "
        "1,9,1,\r\n"
        "2026-12-01T09:30:05+01:00,plain,caf\xc3\xa9,2,Lycos,classic,not found,,,\r\n"
        "2026-12-02T09:30:05-05:00,\"http://a.example/?q=1,2\","
        "\"say \"\"hi\"\", then\r\nnext line\nand more\",0,Google,classic,Rank 7 / Page "
        "1,7,1,\r\n";
    QCOMPARE(all.data(), expected);

    QBuffer one;
    one.open(QIODevice::WriteOnly);
    QVERIFY(store.exportEntryCsv("plain", "caf\xc3\xa9", &one, &error));
    QCOMPARE(one.data(), QByteArray("time,url,keywords,slot,engine,source,text,rank,page,error\r\n"
                                    "2026-12-01T09:30:05+01:00,plain,caf\xc3\xa9,2,Lycos,classic,"
                                    "not found,,,\r\n"));
}

// Texts a spreadsheet would run get an apostrophe before them; numbers and times stay bare.
void TestHistory::csvFormulaCells() {
    test::ScopedWorkDir dir;
    HistoryStore store;
    QString error;
    QVERIFY(store.open(dir.file("h.history.sqlite"), HistoryStore::Mode::ReadWrite, &error));
    QVERIFY(store.beginRun(at("2026-12-01T09:30:05+01:00"), &error));
    HistoryResult failed = notFound(2);
    failed.text = "error";
    failed.error = "=HYPERLINK(\"http://x.example/\",\"go\")";
    QVERIFY(store.record("@evil.example", "-x", failed, &error));
    QVERIFY(store.record("+a.example", "-5", ranked(0, 9, 1), &error));
    QVERIFY(store.commitRun(&error));
    QBuffer all;
    all.open(QIODevice::WriteOnly);
    QVERIFY(store.exportCsv(&all, &error));
    QCOMPARE(all.data(),
             QByteArray("time,url,keywords,slot,engine,source,text,rank,page,error\r\n"
                        "2026-12-01T09:30:05+01:00,'@evil.example,'-x,2,Lycos,classic,error,,,"
                        "\"'=HYPERLINK(\"\"http://x.example/\"\",\"\"go\"\")\"\r\n"
                        "2026-12-01T09:30:05+01:00,'+a.example,-5,0,Google,classic,"
                        "Rank 9 / Page 1,9,1,\r\n"));
}

void TestHistory::changeWords_data() {
    QTest::addColumn<QString>("previous"); // "", "9", "nf", "err"
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("words");
    QTest::newRow("better") << "9"
                            << "7"
                            << "up 2";
    QTest::newRow("worse") << "7"
                           << "10"
                           << "down 3";
    QTest::newRow("same place") << "4"
                                << "4"
                                << "same";
    QTest::newRow("found now") << "nf"
                               << "12"
                               << "new";
    QTest::newRow("lost") << "12"
                          << "nf"
                          << "dropped out";
    QTest::newRow("still missing") << "nf"
                                   << "nf"
                                   << "same";
    QTest::newRow("error before") << "err"
                                  << "3"
                                  << "unknown";
    QTest::newRow("error now") << "3"
                               << "err"
                               << "unknown";
    QTest::newRow("first run") << ""
                               << "3"
                               << "";
}

void TestHistory::changeWords() {
    QFETCH(QString, previous);
    QFETCH(QString, current);
    QFETCH(QString, words);
    auto make = [](const QString& what) {
        if (what == QStringLiteral("nf"))
            return notFound(0);
        if (what == QStringLiteral("err")) {
            HistoryResult r = notFound(0);
            r.text = "error";
            r.error = "blocked";
            return r;
        }
        return ranked(0, what.toInt(), 1);
    };
    const HistoryResult now = make(current);
    if (previous.isEmpty()) {
        QCOMPARE(rankChangeText(nullptr, now), words);
        QCOMPARE(previousResultTip(nullptr, now), QString());
        return;
    }
    const HistoryResult before = make(previous);
    QCOMPARE(rankChangeText(&before, now), words);
}

void TestHistory::chartAxisScaledToRanks() {
    EntryHistory history;
    for (int i = 0; i < 3; ++i) {
        HistoryRun run;
        run.runId = 3 - i;
        run.time = at(QStringLiteral("2026-12-0%1T09:00:00Z").arg(3 - i));
        run.bySlot[0] = ranked(0, 40 + 5 * i, 4); // 40, 45, 50, newest first
        history.runs.push_back(run);
    }
    history.runs[1].bySlot[1] = notFound(1);
    HistoryChart chart = buildHistoryChart(history);
    QCOMPARE(chart.bestSeen, std::optional<int>(40));
    QCOMPARE(chart.worstSeen, std::optional<int>(50));
    QVERIFY(chart.yMin > 30 && chart.yMin < 40); // not from 1
    QVERIFY(chart.notFoundY > 50);
    QVERIFY(chart.yMax > chart.notFoundY);
    QCOMPARE(chart.errorY, 0.0);
    QCOMPARE(chart.ranked[0].size(), std::size_t(3));
    QCOMPARE(chart.ranked[0].front().y, 50.0); // oldest first
    QCOMPARE(chart.notFound[1].size(), std::size_t(1));
    QVERIFY(!chart.rankTicks.empty());
    QVERIFY(chart.rankTicks.front() >= 30);
    QVERIFY(chart.rankTicks.back() <= 55);

    const auto summary = summarizeHistory(history);
    QCOMPARE(summary[0].bestRank, std::optional<int>(40));
    QCOMPARE(summary[0].change, QStringLiteral("up 5"));
    QCOMPARE(summary[1].change, QString()); // one run only
}

// Runs of one slot, newest first as loaded: offsets in seconds from 2026-12-08 10:00 local.
static EntryHistory runsAt(const QList<qint64>& seconds, const QList<int>& ranks) {
    const QDateTime base(QDate(2026, 12, 8), QTime(10, 0));
    EntryHistory history;
    for (qsizetype i = seconds.size() - 1; i >= 0; --i) {
        HistoryRun run;
        run.runId = i + 1;
        run.time = base.addSecs(seconds[i]);
        run.bySlot[0] = ranked(0, ranks[i % ranks.size()], 1);
        history.runs.push_back(run);
    }
    return history;
}

// The time axis holds the runs with at least one run's width either side, its ends on whole
// steps, and labels the span needs: close runs no longer stand on one line.
void TestHistory::chartTimeAxis_data() {
    QTest::addColumn<QList<qint64>>("seconds");
    QTest::addColumn<qint64>("leastPad"); // seconds either side
    QTest::addColumn<qint64>("mostSpan"); // seconds of the whole axis
    QTest::addColumn<QString>("format");
    QTest::newRow("three runs two minutes apart")
        << QList<qint64>{0, 120, 240} << qint64(120) << qint64(20 * 60) << "HH:mm";
    QTest::newRow("one run") << QList<qint64>{0} << qint64(60) << qint64(3 * 3600) << "HH:mm";
    QTest::newRow("seconds apart")
        << QList<qint64>{0, 5, 10} << qint64(5) << qint64(240) << "HH:mm:ss";
    QTest::newRow("past midnight") << QList<qint64>{0, 6 * 3600, 12 * 3600, 18 * 3600}
                                   << qint64(6 * 3600) << qint64(2 * 86400) << "MM-dd HH:mm";
    QTest::newRow("over two days") << QList<qint64>{0, 20 * 3600, 40 * 3600} << qint64(20 * 3600)
                                   << qint64(5 * 86400) << "yyyy-MM-dd";
    QTest::newRow("a month, weekly")
        << QList<qint64>{0, 7 * 86400, 14 * 86400, 21 * 86400, 28 * 86400} << qint64(7 * 86400)
        << qint64(120 * 86400) << "yyyy-MM-dd";
    QTest::newRow("same moment twice")
        << QList<qint64>{60, 60} << qint64(60) << qint64(3 * 3600) << "HH:mm";
}

void TestHistory::chartTimeAxis() {
    QFETCH(QList<qint64>, seconds);
    QFETCH(qint64, leastPad);
    QFETCH(qint64, mostSpan);
    QFETCH(QString, format);
    const HistoryChart chart = buildHistoryChart(runsAt(seconds, {5}));
    QVERIFY(chart.axisFromMs <= chart.timeMinMs - leastPad * 1000);
    QVERIFY(chart.axisToMs >= chart.timeMaxMs + leastPad * 1000);
    QVERIFY(chart.axisToMs - chart.axisFromMs <= mostSpan * 1000);
    QCOMPARE(chart.timeFormat, format);
    QVERIFY(chart.timeTickCount >= 2 && chart.timeTickCount <= 8);
    // Every tick on a whole step: the ends are a whole number of steps apart.
    QCOMPARE((chart.axisToMs - chart.axisFromMs) % (chart.timeTickCount - 1), qint64(0));
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(chart.axisFromMs);
    QCOMPARE(from.time().msec(), 0);
    if (format != QStringLiteral("HH:mm:ss"))
        QCOMPARE(from.time().second(), 0);
    // Within one day the day is named once, in the axis title.
    if (format.startsWith(QStringLiteral("HH")))
        QVERIFY2(chart.timeTitle.contains(QStringLiteral("2026-12-08")),
                 qPrintable(chart.timeTitle));
}

// Ranks get at least ten places, integer ticks, and room beyond the outermost points.
void TestHistory::chartRankScale_data() {
    QTest::addColumn<QList<int>>("ranks");
    QTest::addColumn<int>("firstTick");
    QTest::newRow("29 to 34") << QList<int>{29, 31, 34} << 0;
    QTest::newRow("rank 1 only") << QList<int>{1} << 1;
    QTest::newRow("1 and 3") << QList<int>{1, 3} << 1;
    QTest::newRow("2 to 12") << QList<int>{2, 12} << 1;
    QTest::newRow("wide") << QList<int>{3, 480, 990} << 1;
}

void TestHistory::chartRankScale() {
    QFETCH(QList<int>, ranks);
    QFETCH(int, firstTick);
    QList<qint64> seconds;
    for (qsizetype i = 0; i < ranks.size(); ++i)
        seconds << 120 * i;
    const HistoryChart chart = buildHistoryChart(runsAt(seconds, ranks));
    const int best = *std::min_element(ranks.begin(), ranks.end());
    const int worst = *std::max_element(ranks.begin(), ranks.end());
    QVERIFY(chart.yMax - chart.yMin >= 10);
    // Room beyond the outermost points, so their markers are not cut.
    const double room = (chart.yMax - chart.yMin) * 0.03;
    QVERIFY(chart.yMin <= best - std::max(0.4, room));
    QVERIFY(chart.yMax >= worst + std::max(0.4, room));
    QVERIFY(chart.yMin > -(chart.yMax - chart.yMin) * 0.1); // little room above rank 1
    QVERIFY(!chart.rankTicks.empty());
    if (firstTick > 0)
        QCOMPARE(chart.rankTicks.front(), firstTick);
    for (std::size_t i = 0; i < chart.rankTicks.size(); ++i) {
        QVERIFY(chart.rankTicks[i] >= chart.yMin && chart.rankTicks[i] <= chart.yMax);
        if (i > 0)
            QVERIFY(chart.rankTicks[i] > chart.rankTicks[i - 1]);
    }
    QVERIFY(chart.rankTicks.size() <= 11);
}

int main(int argc, char* argv[]) {
    tw::test::isolate();
    if (const QByteArray child = qgetenv(kCrashChildVar); !child.isEmpty()) {
        QCoreApplication app(argc, argv);
        return crashChild(QString::fromLocal8Bit(child));
    }
    QCoreApplication app(argc, argv);
    TestHistory tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "test_history.moc"
