// What changed in a run: each result against a hand-made rank history (errors looked past,
// first results, "not found" twice), the counts and biggest moves per column, and the last-run
// file beside the data file.
#include "history/HistoryStore.h"
#include "rank/LastRun.h"
#include "rank/RunChanges.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

using rank::ChangeKind;

namespace {
const std::string kUrl = "www.target.example";
const std::string kKeywords = "blue widgets";

// "9": ranked 9th, "nf": not found, "err": error.
tw::HistoryResult Result(const QString& text, int slot = 0) {
    tw::HistoryResult r;
    r.slot = slot;
    r.engine = "Google";
    r.source = "classic";
    if (text == QLatin1String("nf")) {
        r.text = "not found";
    } else if (text == QLatin1String("err")) {
        r.text = "error";
        r.error = "no answer";
    } else {
        r.rank = text.toInt();
        r.page = (*r.rank - 1) / 10 + 1;
        r.text = "Rank " + std::to_string(*r.rank) + " / Page " + std::to_string(*r.page);
    }
    return r;
}

rank::ResultChange Move(int row, int slot, ChangeKind kind, int places) {
    rank::ResultChange c;
    c.row = row;
    c.slot = slot;
    c.kind = kind;
    c.places = places;
    return c;
}
} // namespace

class TestRunChanges : public QObject {
    Q_OBJECT

private slots:
    // The earlier runs (oldest first) and this run's result -> how it is counted, the places,
    // the text compared with and the History window's word.
    void againstHistory_data() {
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QString>("now");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("places");
        QTest::addColumn<QString>("oldText");
        QTest::addColumn<QString>("word");
        const auto k = [](ChangeKind kind) { return int(kind); };
        QTest::newRow("first result") << QStringList{} << "4" << k(ChangeKind::New) << 0 << ""
                                      << "";
        QTest::newRow("first, not found") << QStringList{} << "nf" << k(ChangeKind::New) << 0 << ""
                                          << "";
        QTest::newRow("up") << QStringList{"12", "9"} << "3" << k(ChangeKind::Up) << 6
                            << "Rank 9 / Page 1"
                            << "up 6";
        QTest::newRow("down") << QStringList{"5"} << "8" << k(ChangeKind::Down) << 3
                              << "Rank 5 / Page 1"
                              << "down 3";
        QTest::newRow("same") << QStringList{"5"} << "5" << k(ChangeKind::Same) << 0
                              << "Rank 5 / Page 1"
                              << "same";
        QTest::newRow("not found twice")
            << QStringList{"nf"} << "nf" << k(ChangeKind::Same) << 0 << "not found"
            << "same";
        QTest::newRow("dropped out")
            << QStringList{"3"} << "nf" << k(ChangeKind::Dropped) << 0 << "Rank 3 / Page 1"
            << "dropped out";
        QTest::newRow("came in") << QStringList{"nf"} << "14" << k(ChangeKind::Entered) << 0
                                 << "not found"
                                 << "new";
        QTest::newRow("error now")
            << QStringList{"3"} << "err" << k(ChangeKind::Error) << 0 << "Rank 3 / Page 1"
            << "unknown";
        QTest::newRow("error, first result")
            << QStringList{} << "err" << k(ChangeKind::Error) << 0 << ""
            << "";
        QTest::newRow("errors before are looked past")
            << QStringList{"9", "err", "err"} << "3" << k(ChangeKind::Up) << 6 << "Rank 9 / Page 1"
            << "up 6";
        QTest::newRow("only errors before")
            << QStringList{"err", "err"} << "3" << k(ChangeKind::New) << 0 << ""
            << "";
        QTest::newRow("error now after an error")
            << QStringList{"4", "err"} << "err" << k(ChangeKind::Error) << 0 << "error"
            << "unknown";
    }
    void againstHistory() {
        QFETCH(QStringList, earlier);
        QFETCH(QString, now);
        QFETCH(int, kind);
        QFETCH(int, places);
        QFETCH(QString, oldText);
        QFETCH(QString, word);
        QTemporaryDir dir;
        const QString dataFile = dir.filePath("list.dat");
        tw::HistoryStore store;
        QString error;
        QVERIFY2(
            store.open(tw::historyPathFor(dataFile), tw::HistoryStore::Mode::ReadWrite, &error),
            qPrintable(error));
        QDateTime time(QDate(2026, 12, 1), QTime(7, 30));
        for (const QString& text : earlier) {
            QVERIFY(store.beginRun(time, &error));
            QVERIFY(store.record(kUrl, kKeywords, Result(text), &error));
            // Another slot and another entry never count for this one.
            QVERIFY(store.record(kUrl, kKeywords, Result("1", 1), &error));
            QVERIFY(store.record("www.other.example", kKeywords, Result("2"), &error));
            QVERIFY2(store.commitRun(&error), qPrintable(error));
            time = time.addDays(1);
        }
        // This run in progress, its own result already recorded: it is not "before".
        QVERIFY(store.beginRun(time, &error));
        QVERIFY(store.record(kUrl, kKeywords, Result(now), &error));
        QVERIFY(store.flush(&error));
        const rank::ResultChange c =
            rank::CompareWithHistory(store, 0, 7, kUrl, kKeywords, Result(now));
        QCOMPARE(int(c.kind), kind);
        QCOMPARE(c.places, places);
        QCOMPARE(QString::fromStdString(c.oldText), oldText);
        QCOMPARE(c.word, word);
        QCOMPARE(c.row, 7);
        QCOMPARE(c.newText, Result(now).text);
        store.rollbackRun();
    }

    // Counts per column the run wrote in, and the five biggest moves each way, biggest first,
    // equal ones in list order.
    void countsAndBiggestMoves() {
        std::vector<rank::ResultChange> all;
        const int ups[] = {2, 9, 4, 9, 1, 7, 3};
        for (int row = 0; row < 7; ++row)
            all.push_back(Move(row, 0, ChangeKind::Up, ups[row]));
        all.push_back(Move(7, 0, ChangeKind::Down, 5));
        all.push_back(Move(8, 0, ChangeKind::Down, 12));
        for (const ChangeKind kind : {ChangeKind::Same, ChangeKind::Same, ChangeKind::New,
                                      ChangeKind::Dropped, ChangeKind::Entered, ChangeKind::Error})
            all.push_back(Move(int(all.size()), 0, kind, 0));
        all.push_back(Move(3, 2, ChangeKind::Dropped, 0));
        // Handed in as the workers end, not in row order.
        std::reverse(all.begin(), all.end());

        const rank::RunChanges changes = rank::SummariseChanges(all);
        QVERIFY(changes.bySlot[0]);
        QVERIFY(!changes.bySlot[1]);
        QVERIFY(changes.bySlot[2]);
        QVERIFY(!changes.bySlot[3]);
        const rank::ChangeCounts& google = changes.bySlot[0]->counts;
        QCOMPARE(google.up, 7);
        QCOMPARE(google.down, 2);
        QCOMPARE(google.same, 2);
        QCOMPARE(google.added, 1);
        QCOMPARE(google.dropped, 1);
        QCOMPARE(google.entered, 1);
        QCOMPARE(google.error, 1);
        QCOMPARE(changes.bySlot[2]->counts.Total(), 1);
        QCOMPARE(rank::CountsText(google),
                 std::string("7 up, 2 down, 2 same, 1 new, 1 dropped out, 1 came in, 1 error"));

        std::vector<std::pair<int, int>> up;
        for (const rank::ResultChange& c : changes.bySlot[0]->biggestUp)
            up.push_back({c.row, c.places});
        QCOMPARE(up, (std::vector<std::pair<int, int>>{{1, 9}, {3, 9}, {5, 7}, {2, 4}, {6, 3}}));
        QCOMPARE(changes.bySlot[0]->biggestDown.size(), std::size_t(2));
        QCOMPARE(changes.bySlot[0]->biggestDown[0].row, 8);

        QVERIFY(changes.Find(3, 2));
        QCOMPARE(int(changes.Find(3, 2)->kind), int(ChangeKind::Dropped));
        QVERIFY(!changes.Find(3, 1));
        QVERIFY(!changes.Find(99, 0));
    }

    // Written beside the data file and read back; none yet is no error, a damaged one is.
    void lastRunFile() {
        QTemporaryDir dir;
        const QString dataFile = dir.filePath("acme.dat");
        QCOMPARE(rank::LastRunPath(dataFile), dir.filePath("acme.lastrun.json"));
        QString error = "x";
        QVERIFY(!rank::ReadLastRun(dataFile, &error));
        QVERIFY(error.isEmpty());

        rank::LastRun run;
        run.time = QDateTime(QDate(2026, 12, 8), QTime(7, 30), QTimeZone(3600));
        run.finished = run.time.addSecs(252);
        run.status = 3;
        run.message = QStringLiteral("The entry list is in use. Nothing was ranked.");
        rank::ChangeCounts counts;
        counts.up = 18;
        counts.added = 1;
        counts.error = 2;
        run.changes[2] = counts;
        QVERIFY2(rank::WriteLastRun(dataFile, run, &error), qPrintable(error));

        QFile file(rank::LastRunPath(dataFile));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();
        QVERIFY2(text.contains("\"time\": \"2026-12-08T07:30:00+01:00\""), text.constData());
        QVERIFY(text.contains("\"lycos\": {"));
        QVERIFY(!text.contains("\"google\""));

        const std::optional<rank::LastRun> back = rank::ReadLastRun(dataFile, &error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(back->time, run.time);
        QCOMPARE(back->finished, run.finished);
        QCOMPARE(back->status, 3);
        QCOMPARE(back->message, run.message);
        QVERIFY(!back->changes[0]);
        QVERIFY(back->changes[2]);
        QCOMPARE(*back->changes[2], counts);

        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("{\"time\": ");
        file.close();
        QVERIFY(!rank::ReadLastRun(dataFile, &error));
        QVERIFY(error.contains("acme.lastrun.json"));
    }
};

int main(int argc, char* argv[]) {
    tw::test::isolate();
    QCoreApplication app(argc, argv);
    TestRunChanges tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "test_runchanges.moc"
