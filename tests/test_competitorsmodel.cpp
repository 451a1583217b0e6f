// The competitors' numbers without widgets: the sites above the targets, a competitor's rank and
// its change in the latest run, the visibility per run on a hand-worked history, and the
// competitors file as the window writes it.

#include "history/CompetitorsModel.h"
#include "support/CompetitorsHistory.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QtTest>

using namespace tw;

class TestCompetitorsModel : public QObject {
    Q_OBJECT

private slots:
    void siteOfResult_data();
    void siteOfResult();
    void sitesAbove_data();
    void sitesAbove();
    void offeredFromLatestRunOnly();
    void viewOfHandMadeHistory();
    void visibilityPerRun();
    void rankChangeOfCompetitor_data();
    void rankChangeOfCompetitor();
    void savesTextAsTyped();
};

void TestCompetitorsModel::siteOfResult_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("site");
    QTest::newRow("www and path") << "https://www.Rival.example/a?b"
                                  << "rival.example";
    QTest::newRow("sub-domain kept") << "http://shop.rival.example/"
                                     << "shop.rival.example";
    QTest::newRow("port and user") << "http://me@rival.example:8080/x"
                                   << "rival.example";
    QTest::newRow("no scheme") << "rival.example/page"
                               << "rival.example";
    QTest::newRow("trailing dot") << "http://www.rival.example./"
                                  << "rival.example";
    QTest::newRow("IPv6") << "http://[::1]:80/"
                          << "[::1]";
    QTest::newRow("host named www") << "http://www./"
                                    << "www";
    QTest::newRow("no host") << "http:///path"
                             << "";
}

void TestCompetitorsModel::siteOfResult() {
    QFETCH(QString, url);
    QFETCH(QString, site);
    QCOMPARE(QString::fromStdString(tw::siteOfResult(url.toStdString())), site);
}

void TestCompetitorsModel::sitesAbove_data() {
    QTest::addColumn<int>("rank");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QStringList>("sitesAbove");
    QTest::addColumn<QString>("expected"); // site:count, most often first
    const QStringList list = {"http://a.example/1", "http://www.a.example/2", "http://b.example/",
                              "http://www.my-site.example/", "http://c.example/"};
    // Found: the results before the target, each site once per scan.
    QTest::newRow("found") << 4 << list << QStringList() << "a.example:1 b.example:1";
    QTest::newRow("target first") << 1
                                  << QStringList(
                                         {"http://www.my-site.example/", "http://b.example/"})
                                  << QStringList() << "";
    // Not found: every kept result was above.
    QTest::newRow("not found") << 0 << QStringList({"http://b.example/", "http://c.example/"})
                               << QStringList() << "b.example:1 c.example:1";
    // A history from before whole lists were kept: its sites above.
    QTest::newRow("sites above only")
        << 2 << QStringList() << QStringList({"http://d.example/"}) << "d.example:1";
    QTest::newRow("nothing kept") << 0 << QStringList() << QStringList() << "";
}

void TestCompetitorsModel::sitesAbove() {
    QFETCH(int, rank);
    QFETCH(QStringList, results);
    QFETCH(QStringList, sitesAbove);
    QFETCH(QString, expected);
    HistoryResult r;
    if (rank > 0)
        r.rank = rank;
    for (const QString& url : results)
        r.results.push_back(url.toStdString());
    for (const QString& url : sitesAbove)
        r.sitesAbove.push_back(url.toStdString());
    SitesAboveCounter counter;
    counter.add("www.my-site.example", r);
    QStringList got;
    for (const SiteCount& s : counter.top(10))
        got << QStringLiteral("%1:%2").arg(QString::fromStdString(s.site)).arg(s.count);
    QCOMPARE(got.join(' '), expected);
    QCOMPARE(counter.scans(), 1);
}

void TestCompetitorsModel::offeredFromLatestRunOnly() {
    tw::test::ScopedWorkDir dir;
    QString error;
    QVERIFY2(tw::test::recordCompetitorsHistory(dir.file("list.dat"), &error), qPrintable(error));
    SitesAboveCounter counter;
    QVERIFY2(
        countSitesAbove(dir.file("list.dat"), tw::test::competitorsEntries(), &counter, &error),
        qPrintable(error));
    // Google's latest of blue (ranked first: nothing above) and red (an error after foo and
    // rival), and Lycos's blue (rival twice above it, once counted); run 1's other.example is
    // not counted.
    QCOMPARE(counter.scans(), 3);
    QStringList got;
    for (const SiteCount& s : counter.top(10))
        got << QStringLiteral("%1:%2").arg(QString::fromStdString(s.site)).arg(s.count);
    QCOMPARE(got, QStringList({"rival.example:2", "foo.example:1"}));

    // A list never ranked has nothing to offer, and is no error.
    SitesAboveCounter none;
    QVERIFY(countSitesAbove(dir.file("other.dat"), tw::test::competitorsEntries(), &none, &error));
    QCOMPARE(none.scans(), 0);
}

namespace {
CompetitorsData loaded(const QString& dataFile) {
    CompetitorsData data(tw::test::kRivals);
    QString error;
    if (!loadCompetitorsData(dataFile, tw::test::competitorsEntries(), &data, &error))
        qWarning() << error;
    return data;
}

QStringList rowTexts(const CompetitorsRow& row) {
    QStringList texts = {row.yours.rank, row.yours.change};
    for (const RankCell& c : row.competitors)
        texts << c.rank << c.change;
    return texts;
}
} // namespace

void TestCompetitorsModel::viewOfHandMadeHistory() {
    tw::test::ScopedWorkDir dir;
    QString error;
    QVERIFY2(tw::test::recordCompetitorsHistory(dir.file("list.dat"), &error), qPrintable(error));
    const CompetitorsData data = loaded(dir.file("list.dat"));
    QCOMPARE(data.slotsWithResults(), std::vector<int>({0, 2}));

    const CompetitorsSlotView google = data.view(0);
    QCOMPARE(int(google.rows.size()), 3);
    // Blue: up from 3 to 1; rival from first to second; other in neither list of three.
    QCOMPARE(rowTexts(google.rows[0]), QStringList({"Rank 1 / Page 1", "up 2", "Rank 2 / Page 1",
                                                    "down 1", "not in the first 3", "same"}));
    // Red ended in an error after two results: rival is among them, where other was is not
    // known.
    QCOMPARE(rowTexts(google.rows[1]), QStringList({"error", "unknown", "Rank 2 / Page 1", "same",
                                                    "not in the first 2", "unknown"}));
    QCOMPARE(rowTexts(google.rows[2]),
             QStringList({"not ranked yet", "", "not ranked yet", "", "not ranked yet", ""}));

    // Lycos has one run: nothing to compare with.
    const CompetitorsSlotView lycos = data.view(2);
    QCOMPARE(rowTexts(lycos.rows[0]),
             QStringList({"Rank 3 / Page 1", "", "Rank 1 / Page 1", "", "not in the first 3", ""}));
    QCOMPARE(lycos.sites,
             std::vector<std::string>({"www.my-site.example", "rival.example", "other.example"}));
    QCOMPARE(google.targets,
             std::vector<std::string>({"www.my-site.example", "www.my-site.example/shop"}));
}

void TestCompetitorsModel::visibilityPerRun() {
    tw::test::ScopedWorkDir dir;
    QString error;
    QVERIFY2(tw::test::recordCompetitorsHistory(dir.file("list.dat"), &error), qPrintable(error));
    const CompetitorsSlotView google = loaded(dir.file("list.dat")).view(0);
    QCOMPARE(int(google.runs.size()), 2);
    auto at = [](const VisibilityRun& run, const char* site) {
        const auto it = run.bySite.find(site);
        return it == run.bySite.end() ? -1.0 : it->second;
    };
    // Run 1 over two entries: blue at 3 (18.66); rival 1st and 2nd (31.73 + 24.71); other 1st
    // in red's list.
    const VisibilityRun& first = google.runs[0];
    QCOMPARE(first.entries, 2);
    QCOMPARE(first.time, QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC));
    QVERIFY(qFuzzyCompare(at(first, "www.my-site.example"), 18.66 / 2));
    QCOMPARE(at(first, "www.my-site.example/shop"), 0.0);
    QVERIFY(qFuzzyCompare(at(first, "rival.example"), (31.73 + 24.71) / 2));
    QVERIFY(qFuzzyCompare(at(first, "other.example"), 31.73 / 2));
    // Run 2: blue first, rival second in both lists; the error counts in the mean.
    const VisibilityRun& second = google.runs[1];
    QCOMPARE(second.entries, 2);
    QVERIFY(qFuzzyCompare(at(second, "www.my-site.example"), 31.73 / 2));
    QVERIFY(qFuzzyCompare(at(second, "rival.example"), 24.71));
    QCOMPARE(at(second, "other.example"), 0.0);

    const CompetitorsSlotView lycos = loaded(dir.file("list.dat")).view(2);
    QCOMPARE(int(lycos.runs.size()), 1);
    QCOMPARE(lycos.runs[0].entries, 1);
    QVERIFY(qFuzzyCompare(at(lycos.runs[0], "rival.example"), 31.73));
}

void TestCompetitorsModel::rankChangeOfCompetitor_data() {
    QTest::addColumn<int>("before");     // position, 0: not in the list, -1: no run before
    QTest::addColumn<int>("beforeKept"); // results the list held
    QTest::addColumn<bool>("beforePartial");
    QTest::addColumn<int>("now");
    QTest::addColumn<int>("nowKept");
    QTest::addColumn<QString>("change");
    QTest::newRow("up") << 6 << 20 << false << 4 << 20 << "up 2";
    QTest::newRow("new") << 0 << 20 << false << 9 << 20 << "new";
    QTest::newRow("dropped out") << 3 << 20 << false << 0 << 20 << "dropped out";
    QTest::newRow("out both times") << 0 << 20 << false << 0 << 20 << "same";
    QTest::newRow("no run before") << -1 << 0 << false << 4 << 20 << "";
    QTest::newRow("nothing kept before") << 0 << 0 << false << 4 << 20 << "unknown";
    QTest::newRow("error list without it") << 0 << 5 << true << 4 << 20 << "unknown";
    QTest::newRow("error list with it") << 2 << 5 << true << 4 << 20 << "down 2";
}

void TestCompetitorsModel::rankChangeOfCompetitor() {
    QFETCH(int, before);
    QFETCH(int, beforeKept);
    QFETCH(bool, beforePartial);
    QFETCH(int, now);
    QFETCH(int, nowKept);
    QFETCH(QString, change);
    const SiteRank previous{std::max(0, before), before > 0 ? 1 : 0, beforeKept};
    const SiteRank current{now, now > 0 ? 1 : 0, nowKept};
    QCOMPARE(siteRankChangeText(before < 0 ? nullptr : &previous, beforePartial, current, false),
             change);
}

void TestCompetitorsModel::savesTextAsTyped() {
    tw::test::ScopedWorkDir dir;
    const QString path = dir.file("list.competitors.txt");
    QString error;
    // Comments and blank lines stay, a last line end is added.
    QVERIFY2(saveCompetitorsText(path, "# rivals\nrival.example\n\nother.example/shop", &error),
             qPrintable(error));
    QCOMPARE(tw::test::readFile(path),
             QByteArray("# rivals\nrival.example\n\nother.example/shop\n"));
    // A site with a blank is refused with the line named; the file stays as it was.
    QVERIFY(!saveCompetitorsText(path, "rival.example\nmy rival.example\n", &error));
    QVERIFY2(error.contains("Line 2") && error.contains("blank"), qPrintable(error));
    QCOMPARE(tw::test::readFile(path),
             QByteArray("# rivals\nrival.example\n\nother.example/shop\n"));
    // Nothing but blanks: no competitors, no file.
    QVERIFY2(saveCompetitorsText(path, " \n\n", &error), qPrintable(error));
    QVERIFY(!QFile::exists(path));
}

TW_TEST_MAIN_CORE(TestCompetitorsModel)
#include "test_competitorsmodel.moc"
