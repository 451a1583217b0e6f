// The client report's numbers on a hand-made history, and its HTML: well-formed, one SVG per
// chart, nothing fetched from elsewhere, untrusted keywords kept as text.
#include "history/KeptResults.h"
#include "reports/ReportCharts.h"
#include "reports/ReportHtml.h"
#include "reports/ReportLogo.h"
#include "reports/ReportModel.h"
#include "support/SampleHistory.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QXmlStreamReader>

using namespace tw;
using namespace tw::reports;
using tw::test::recordRun;
using tw::test::sampleResult;

namespace {

QDateTime at(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

const std::string kSite = "http://a.example/";

// Six entries ranked on Google over four runs; AltaVista ranked only before the period.
// The last run is on 2026-12-01, so a 30-day period starts with the run of 2026-11-02.
QString makeSampleList(const QString& folder) {
    const QString data = folder + QStringLiteral("/client.dat");
    QString error;
    const auto run = [&](const char* time, std::vector<tw::test::SampleRecord> records) {
        QVERIFY2(recordRun(data, at(time), records, &error), qPrintable(error));
    };
    run("2026-10-20T09:00:00Z",
        {{kSite, "old shoes", sampleResult(0, 7)}, {kSite, "red shoes", sampleResult(1, 2)}});
    run("2026-11-02T09:00:00Z", {{kSite, "red shoes", sampleResult(0, 5)},
                                 {kSite, "blue shoes", sampleResult(0, 4)},
                                 {kSite, "green shoes", sampleResult(0, std::nullopt)},
                                 {kSite, "pink shoes", sampleResult(0, 9)},
                                 {kSite, "grey shoes", sampleResult(0, 1)}});
    run("2026-11-20T09:00:00Z", {{kSite, "red shoes", sampleResult(0, 2)}});
    run("2026-12-01T09:00:00Z",
        {{kSite, "red shoes",
          sampleResult(0, 3, false,
                       {"http://rival.example/x", "http://other.example/", kSite + "red"})},
         {kSite, "blue shoes", sampleResult(0, 12)},
         {kSite, "green shoes", sampleResult(0, 8)},
         {kSite, "pink shoes", sampleResult(0, std::nullopt)},
         {kSite, "grey shoes", sampleResult(0, std::nullopt, true)}});
    return data;
}

ReportRequest sampleRequest(const QString& data) {
    ReportRequest request;
    request.dataFilePath = data;
    for (const char* k :
         {"red shoes", "blue shoes", "green shoes", "pink shoes", "grey shoes", "old shoes"})
        request.entries.push_back({kSite, k, {}});
    request.entries[0].options.tags = "red, sale";
    request.competitors = {"rival.example"};
    request.depth = 5;
    request.title = "Monthly report";
    request.sender = "Jane Doe Web";
    return request;
}

// The start tags of the document, and the attribute values and texts it holds.
struct Parsed {
    QString error;
    QStringList elements;
    QStringList attributes; // "name=value"
    QString text;
};

Parsed parse(const QByteArray& html) {
    Parsed p;
    QXmlStreamReader xml(html);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            p.elements << xml.name().toString();
            for (const QXmlStreamAttribute& a : xml.attributes())
                p.attributes << a.name().toString() + QLatin1Char('=') + a.value().toString();
        } else if (xml.isCharacters()) {
            p.text += xml.text().toString();
        }
    }
    if (xml.hasError())
        p.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return p;
}

} // namespace

class TestReports : public QObject {
    Q_OBJECT
private slots:
    void periodPicksTheRunNearestToTheDaysBefore_data();
    void periodPicksTheRunNearestToTheDaysBefore();
    void numbersOfAHandMadeHistory();
    void tagsChooseTheEntries();
    void noHistoryIsAnEmptyReport();
    void htmlIsSelfContainedAndWellFormed();
    void logoMustBeAnImage_data();
    void logoMustBeAnImage();
};

void TestReports::periodPicksTheRunNearestToTheDaysBefore_data() {
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("none") << QStringList{} << 30 << -1 << -1;
    QTest::newRow("one run") << QStringList{"2026-12-01T00:00:00Z"} << 30 << 0 << 0;
    QTest::newRow("nearest after the aim")
        << QStringList{"2026-12-01T00:00:00Z", "2026-10-20T00:00:00Z", "2026-11-03T00:00:00Z"} << 30
        << 2 << 0;
    QTest::newRow("tie goes to the earlier")
        << QStringList{"2026-10-31T00:00:00Z", "2026-11-02T00:00:00Z", "2026-12-01T00:00:00Z"} << 30
        << 0 << 2;
    QTest::newRow("all runs younger than the period")
        << QStringList{"2026-11-30T00:00:00Z", "2026-11-29T00:00:00Z", "2026-12-01T00:00:00Z"} << 30
        << 1 << 2;
}

void TestReports::periodPicksTheRunNearestToTheDaysBefore() {
    QFETCH(QStringList, times);
    QFETCH(int, days);
    std::vector<QDateTime> t;
    for (const QString& s : times)
        t.push_back(QDateTime::fromString(s, Qt::ISODate));
    QFETCH(int, first);
    QFETCH(int, last);
    const auto [start, end] = periodRuns(t, days);
    QCOMPARE(start, first);
    QCOMPARE(end, last);
}

void TestReports::numbersOfAHandMadeHistory() {
    tw::test::ScopedWorkDir dir;
    const QString data = makeSampleList(dir.path());
    Report report;
    QString error;
    QVERIFY2(buildReport(sampleRequest(data), &report, &error), qPrintable(error));

    QCOMPARE(int(report.runs.size()), 3); // 2026-11-02, 11-20, 12-01
    QCOMPARE(report.start()->time, at("2026-11-02T09:00:00Z"));
    QCOMPARE(report.end()->time, at("2026-12-01T09:00:00Z"));
    // AltaVista has results only before the period: no column of its own.
    QCOMPARE(int(report.columns.size()), 1);
    const ReportColumn& c = report.columns[0];
    QCOMPARE(c.engine, std::string("Google"));
    QCOMPARE(c.top3, 1);   // red 3
    QCOMPARE(c.top10, 3);  // red 3, green 8, old 7 (recorded before the period)
    QCOMPARE(c.top100, 4); // and blue 12
    QCOMPARE(c.up, 1);
    QCOMPARE(c.down, 1);
    QCOMPARE(c.added, 1);
    QCOMPARE(c.dropped, 1);
    QCOMPARE(c.errors, 1);

    // By rank, then "not found", then "error".
    QStringList order, changes, best, ranks;
    for (const ReportLine& line : c.lines) {
        order << QString::fromStdString(report.entries[line.entry].keywords);
        changes << line.changeText;
        best << (line.best ? QString::number(*line.best) : QStringLiteral("-"));
        ranks << rankWords(line.now);
    }
    QCOMPARE(order, (QStringList{"red shoes", "old shoes", "green shoes", "blue shoes",
                                 "pink shoes", "grey shoes"}));
    QCOMPARE(changes, (QStringList{"up 2", "same", "new", "down 8", "dropped out", "unknown"}));
    QCOMPARE(best, (QStringList{"2", "7", "8", "4", "9", "1"}));
    QCOMPARE(ranks.last(), QStringLiteral("error"));
    QCOMPARE(ranks[4], QStringLiteral("not found"));
    QCOMPARE(c.lines[0].rankingUrl, kSite + "red");
    QCOMPARE(c.lines[0].competitorRanks, (std::vector<std::string>{"Rank 1 / Page 1"}));

    // Six entries count; the start run had no result for "old shoes" but its earlier one.
    const double now = (clickShare(3) + clickShare(8) + clickShare(7)) / 6;
    const double start =
        (clickShare(5) + clickShare(4) + clickShare(9) + clickShare(1) + clickShare(7)) / 6;
    QCOMPARE(c.visibilityNow, now);
    QCOMPARE(c.visibilityStart, start);
    QCOMPARE(int(c.visibility.size()), 2);
    QCOMPARE(c.visibility[1].site, std::string("rival.example"));
    QCOMPARE(c.visibility[1].values, (std::vector<double>{0.0, 0.0, clickShare(1) / 6}));

    // Entry charts: one series per entry, a point per period run where it was ranked.
    QCOMPARE(int(report.entrySeries.size()), 6);
    const auto& red = report.entrySeries[0].ranks[0];
    QCOMPARE(red, (std::vector<std::optional<int>>{5, 2, 3}));
    QVERIFY(methodLines(report).join(' ').contains(QStringLiteral("Up to 5 result pages")));
}

void TestReports::tagsChooseTheEntries() {
    tw::test::ScopedWorkDir dir;
    ReportRequest request = sampleRequest(makeSampleList(dir.path()));
    request.tags = {"SALE"};
    Report report;
    QString error;
    QVERIFY2(buildReport(request, &report, &error), qPrintable(error));
    QCOMPARE(int(report.entries.size()), 1);
    QCOMPARE(int(report.columns.size()), 1);
    QCOMPARE(int(report.columns[0].lines.size()), 1);
    QCOMPARE(report.columns[0].top3, 1);
    QVERIFY(scopeText(report).contains(QStringLiteral("tags: SALE")));
}

void TestReports::noHistoryIsAnEmptyReport() {
    tw::test::ScopedWorkDir dir;
    ReportRequest request = sampleRequest(dir.file(QStringLiteral("new.dat")));
    Report report;
    QString error;
    QVERIFY2(buildReport(request, &report, &error), qPrintable(error));
    QVERIFY(!report.hasHistory());
    QVERIFY(report.columns.empty());
    QVERIFY(parse(reportHtml(report, {})).error.isEmpty());
    QVERIFY(!QFileInfo::exists(historyPathFor(request.dataFilePath)));
}

void TestReports::htmlIsSelfContainedAndWellFormed() {
    tw::test::ScopedWorkDir dir;
    const QString data = makeSampleList(dir.path());
    QString error;
    const char* hostile = "<script>alert('x')</script> & \"shoes\"";
    QVERIFY(recordRun(data, at("2026-12-01T10:00:00Z"), {{kSite, hostile, sampleResult(0, 40)}},
                      &error));
    ReportRequest request = sampleRequest(data);
    request.entries.push_back({kSite, hostile, {}});
    request.title = "Report <b>for</b> Acme";
    const QString logoPath = dir.file(QStringLiteral("logo.svg"));
    tw::test::writeFile(logoPath, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" "
                                  "height=\"10\"><rect width=\"10\" height=\"10\"/></svg>");
    request.logoPath = logoPath;
    Report report;
    QVERIFY2(buildReport(request, &report, &error), qPrintable(error));
    const QString out = dir.file(QStringLiteral("report.html"));
    QVERIFY2(writeHtmlReport(report, out, &error), qPrintable(error));

    const Parsed p = parse(tw::test::readFile(out));
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    // One visibility chart per column, one rank chart per entry.
    QCOMPARE(int(p.elements.count(QStringLiteral("svg"))),
             int(report.columns.size() + report.entrySeries.size()));
    QCOMPARE(int(report.entrySeries.size()), 7);
    for (const char* banned : {"script", "link", "iframe", "object", "embed"})
        QVERIFY2(!p.elements.contains(QLatin1String(banned)), banned);
    for (const QString& a : p.attributes) {
        const QString name = a.section('=', 0, 0), value = a.section('=', 1);
        if (name == QLatin1String("src") || name == QLatin1String("href"))
            QVERIFY2(value.startsWith(QLatin1String("data:")), qPrintable(a));
        QVERIFY2(!name.startsWith(QLatin1String("on")), qPrintable(a));
    }
    QVERIFY(!p.text.contains(QLatin1String("url(")));
    QVERIFY(!p.text.contains(QLatin1String("@import")));
    QVERIFY(p.attributes.contains(QStringLiteral("src=data:image/svg+xml;base64,") +
                                  QString::fromLatin1(tw::test::readFile(logoPath).toBase64())));
    // The untrusted texts came out as text.
    QVERIFY(p.text.contains(QString::fromLatin1(hostile)));
    QVERIFY(p.text.contains(QStringLiteral("Report <b>for</b> Acme")));
    for (const char* words : {"up 2", "down 8", "dropped out", "Rank 3 / Page 1", "Jane Doe Web",
                              "Rank 1 / Page 1", "Top 10", "Up to 5 result pages"})
        QVERIFY2(p.text.contains(QLatin1String(words)), words);
    QVERIFY(!p.text.contains(QLatin1String("Tallowick")));
}

void TestReports::logoMustBeAnImage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("text") << QByteArray("just some words\n") << false;
    QTest::newRow("html") << QByteArray("<html><body>hi</body></html>") << false;
    QTest::newRow("broken svg") << QByteArray("<svg><rect></svg>") << false;
    QTest::newRow("png header")
        << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x06\0\0\0", 29) << true;
    QTest::newRow("svg") << QByteArray("<?xml version=\"1.0\"?><svg width=\"4\" height=\"4\"/>")
                         << true;
}

void TestReports::logoMustBeAnImage() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, accepted);
    tw::test::ScopedWorkDir dir;
    const QString path = dir.file(QStringLiteral("logo.file"));
    tw::test::writeFile(path, bytes);
    Logo logo;
    QString error;
    QCOMPARE(readLogo(path, &logo, &error), accepted);
    if (!accepted) {
        QVERIFY2(error.contains(QLatin1String("logo.file")), qPrintable(error));
        QVERIFY2(error.contains(QLatin1String("not an image")), qPrintable(error));
        Report report;
        report.logoPath = path;
        const QString out = dir.file(QStringLiteral("r.html"));
        QVERIFY(!writeHtmlReport(report, out, &error));
        QVERIFY(!QFileInfo::exists(out));
    }
}

TW_TEST_MAIN_CORE(TestReports)
#include "test_reports.moc"
