// The PDF report read back with pdftotext: keywords, ranks, changes and page numbers as text,
// keywords in any script, a long list, a logo that is no image refused, the paper by locale.
#include "reports/ReportPdf.h"
#include "support/SampleHistory.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace tw;
using namespace tw::reports;
using tw::test::recordRun;
using tw::test::sampleResult;

namespace {

const std::string kSite = "http://shop.example/";

QDateTime at(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

// The PDF's text, or a null string (with the reason in *why) when pdftotext cannot read it.
QString pdfText(const QString& pdf, QString* why) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *why = QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Two runs of keywords, 30 days apart; the second moves every rank up by one.
Report sampleReport(const QString& data, const std::vector<std::string>& keywords, QString* error) {
    std::vector<tw::test::SampleRecord> first, second;
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        const int rank = int(i % 50) + 2;
        first.push_back({kSite, keywords[i], sampleResult(0, rank)});
        second.push_back({kSite, keywords[i], sampleResult(0, rank - 1)});
    }
    Report report;
    ReportRequest request;
    request.dataFilePath = data;
    for (const std::string& k : keywords)
        request.entries.push_back({kSite, k, {}});
    request.title = "Shop rankings";
    request.sender = "Jane Doe Web";
    request.depth = 3;
    if (!recordRun(data, at("2026-11-01T09:00:00Z"), first, error) ||
        !recordRun(data, at("2026-12-01T09:00:00Z"), second, error) ||
        !buildReport(request, &report, error))
        return {};
    return report;
}

} // namespace

class TestReportsPdf : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void textReadsBack();
    void keywordsInAnyScript();
    void longList();
    void logoThatIsNoImageIsRefused();
    void paperByLocale_data();
    void paperByLocale();

private:
    bool m_haveReader = false;
};

void TestReportsPdf::initTestCase() {
    m_haveReader = !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

void TestReportsPdf::textReadsBack() {
    if (!m_haveReader)
        QSKIP("pdftotext (poppler-utils) is not installed: scripts/install-deps.sh");
    tw::test::ScopedWorkDir dir;
    QString error;
    const Report report =
        sampleReport(dir.file(QStringLiteral("shop.dat")), {"red shoes", "blue boots"}, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString pdf = dir.file(QStringLiteral("report.pdf"));
    QVERIFY2(writePdfReport(report, pdf, &error), qPrintable(error));
    QVERIFY(tw::test::readFile(pdf).startsWith("%PDF-"));
    const QString text = pdfText(pdf, &error);
    QVERIFY2(!text.isNull(), qPrintable(error));
    for (const char* words : {"Shop rankings", "Jane Doe Web", "red shoes", "blue boots",
                              "Rank 1 / Page 1", "Rank 2 / Page 1", "up 1", "Top 10",
                              "How the ranks were obtained", "Up to 3 result pages", "Page 1 of"})
        QVERIFY2(text.contains(QLatin1String(words)), words);
    QVERIFY(!text.contains(QLatin1String("Tallowick")));
}

void TestReportsPdf::keywordsInAnyScript() {
    if (!m_haveReader)
        QSKIP("pdftotext (poppler-utils) is not installed: scripts/install-deps.sh");
    tw::test::ScopedWorkDir dir;
    const std::vector<std::string> keywords{"красные туфли", "κόκκινα παπούτσια", "红色的鞋子",
                                            "أحذية حمراء", "\xf0\x9f\x91\xa0 shoes"};
    QString error;
    const Report report = sampleReport(dir.file(QStringLiteral("world.dat")), keywords, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString pdf = dir.file(QStringLiteral("world.pdf"));
    QVERIFY2(writePdfReport(report, pdf, &error), qPrintable(error));
    const QString text = pdfText(pdf, &error);
    QVERIFY2(!text.isNull(), qPrintable(error));
    if (qEnvironmentVariableIsSet("TW_KEEP_PDF"))
        QFile::copy(pdf, qEnvironmentVariable("TW_KEEP_PDF"));
    // Right-to-left text is read back in its logical order, words in place: as the joined
    // letter forms that were drawn, between embedding marks.
    QString letters = text.normalized(QString::NormalizationForm_KC);
    letters.remove(QRegularExpression(QStringLiteral("[\\x{202A}-\\x{202E}]")));
    for (int i = 0; i < 4; ++i)
        QVERIFY2(letters.contains(QString::fromStdString(keywords[i])), keywords[i].c_str());
}

void TestReportsPdf::longList() {
    tw::test::ScopedWorkDir dir;
    std::vector<std::string> keywords;
    for (int i = 0; i < 2000; ++i)
        keywords.push_back("keyword " + std::to_string(i));
    QString error;
    const Report report = sampleReport(dir.file(QStringLiteral("long.dat")), keywords, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(report.entrySeries.empty()); // too many entries for a chart each
    const QString pdf = dir.file(QStringLiteral("long.pdf"));
    QVERIFY2(writePdfReport(report, pdf, &error), qPrintable(error));
    if (!m_haveReader)
        QSKIP("pdftotext (poppler-utils) is not installed: scripts/install-deps.sh");
    const QString text = pdfText(pdf, &error);
    QVERIFY2(!text.isNull(), qPrintable(error));
    QVERIFY(text.contains(QLatin1String("keyword 1999")));
    QVERIFY(text.contains(QLatin1String("keyword 0")));
}

void TestReportsPdf::logoThatIsNoImageIsRefused() {
    tw::test::ScopedWorkDir dir;
    QString error;
    Report report = sampleReport(dir.file(QStringLiteral("shop.dat")), {"red shoes"}, &error);
    const QString logo = dir.file(QStringLiteral("logo.png"));
    tw::test::writeFile(logo, "not a picture at all");
    report.logoPath = logo;
    const QString pdf = dir.file(QStringLiteral("report.pdf"));
    tw::test::writeFile(pdf, "the previous report");
    QVERIFY(!writePdfReport(report, pdf, &error));
    QVERIFY2(error.contains(QLatin1String("logo.png")) &&
                 error.contains(QLatin1String("not an image")),
             qPrintable(error));
    QCOMPARE(tw::test::readFile(pdf), QByteArray("the previous report"));
}

void TestReportsPdf::paperByLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("paper");
    QTest::newRow("United States") << "en_US" << int(QPageSize::Letter);
    QTest::newRow("Canada") << "fr_CA" << int(QPageSize::Letter);
    QTest::newRow("Mexico") << "es_MX" << int(QPageSize::Letter);
    QTest::newRow("United Kingdom") << "en_GB" << int(QPageSize::A4);
    QTest::newRow("Germany") << "de_DE" << int(QPageSize::A4);
    QTest::newRow("Japan") << "ja_JP" << int(QPageSize::A4);
}

void TestReportsPdf::paperByLocale() {
    QFETCH(QString, locale);
    QFETCH(int, paper);
    QCOMPARE(int(pageSizeFor(QLocale(locale))), paper);
}

TW_TEST_MAIN_IMPL(TestReportsPdf, QGuiApplication)
#include "test_reports_pdf.moc"
