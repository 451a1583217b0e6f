// Client report figures: building the report of a long list from its history, and writing it as
// HTML and as PDF. Prints; asserts nothing.
//   report [ENTRIES [RUNS]] [--keep FOLDER] [--logo FILE]   (default 2000 entries, 6 runs;
//   --keep leaves the history and the two reports in FOLDER to look at)

#include "reports/ReportHtml.h"
#include "reports/ReportPdf.h"
#include "support/SampleHistory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <random>

using namespace tw;

namespace {

// The process's processor time in seconds: on a shared, loaded machine the wall clock says more
// about the neighbours than about the report.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString keep, logo;
    if (const qsizetype k = args.indexOf(QStringLiteral("--keep")); k >= 0 && k + 1 < args.size()) {
        keep = args[k + 1];
        args.remove(k, 2);
    }
    if (const qsizetype k = args.indexOf(QStringLiteral("--logo")); k >= 0 && k + 1 < args.size()) {
        logo = args[k + 1];
        args.remove(k, 2);
    }
    const int entries = args.size() > 0 ? args[0].toInt() : 2000;
    const int runs = args.size() > 1 ? args[1].toInt() : 6;
    QTemporaryDir scratch;
    const QString folder = keep.isEmpty() ? scratch.path() : QDir(keep).absolutePath();
    QDir().mkpath(folder);
    const QString data = folder + QStringLiteral("/client.dat");
    QFile::remove(historyPathFor(data));

    const std::vector<std::string> rivals{"rival-shoes.example", "bigstore.example"};
    std::mt19937 random(7);
    const std::vector<std::string> words{"red",     "blue", "running", "leather", "cheap",
                                         "women's", "kids", "winter",  "trail",   "vegan"};
    std::vector<std::string> keywords;
    for (int i = 0; i < entries; ++i)
        keywords.push_back(words[i % 10] + " " + words[(i / 10) % 10] + " shoes" +
                           (i >= 100 ? " " + std::to_string(i) : std::string()));
    std::vector<int> rank(entries);
    for (int& r : rank)
        r = int(random() % 40) + 1;
    QElapsedTimer clock;
    clock.start();
    const QDateTime last = QDateTime::currentDateTime().addSecs(-3600);
    for (int run = 0; run < runs; ++run) {
        std::vector<test::SampleRecord> records;
        for (int i = 0; i < entries; ++i) {
            rank[i] = std::max(1, rank[i] + int(random() % 7) - 3);
            for (int slot = 0; slot < 2; ++slot) {
                const int r = rank[i] + slot * 2;
                std::vector<std::string> results;
                for (int p = 1; p <= 50; ++p)
                    results.push_back(
                        p == r       ? "https://shop.example/" + std::to_string(i)
                        : p % 9 == 1 ? "https://www." + rivals[p % 2] + "/p" + std::to_string(p)
                                     : "https://site" + std::to_string(p * 31 + i) + ".example/");
                HistoryResult result = test::sampleResult(
                    slot, r <= 50 ? std::optional<int>(r) : std::nullopt, i % 97 == 5, results);
                if (slot == 1) {
                    result.engine = "Bing";
                    result.source = "serpapi:bing";
                }
                records.push_back({"https://shop.example/", keywords[i], std::move(result)});
            }
        }
        QString error;
        if (!test::recordRun(data, last.addDays(-6 * (runs - 1 - run)), records, &error)) {
            std::fprintf(stderr, "report: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("history: %d entries x %d runs x 2 columns recorded in %.2f s\n", entries, runs,
                double(clock.elapsed()) / 1000);

    reports::ReportRequest request;
    request.dataFilePath = data;
    for (const std::string& k : keywords)
        request.entries.push_back({"https://shop.example/", k, {}});
    request.competitors = rivals;
    request.depth = 5;
    request.title = "Monthly search ranking report";
    request.sender = "Jane Doe Web Services";
    request.periodDays = 30;
    request.logoPath = logo;

    clock.restart();
    double cpu = cpuSeconds();
    reports::Report report;
    QString error;
    if (!reports::buildReport(request, &report, &error)) {
        std::fprintf(stderr, "report: %s\n", qPrintable(error));
        return 1;
    }
    const double built = double(clock.elapsed()) / 1000;
    const double builtCpu = cpuSeconds() - cpu;
    clock.restart();
    cpu = cpuSeconds();
    const QString html = folder + QStringLiteral("/report.html");
    const bool htmlOk = reports::writeHtmlReport(report, html, &error);
    const double htmlSeconds = double(clock.elapsed()) / 1000;
    const double htmlCpu = cpuSeconds() - cpu;
    clock.restart();
    cpu = cpuSeconds();
    const QString pdf = folder + QStringLiteral("/report.pdf");
    const bool pdfOk = reports::writePdfReport(report, pdf, &error);
    const double pdfSeconds = double(clock.elapsed()) / 1000;
    const double pdfCpu = cpuSeconds() - cpu;
    if (!htmlOk || !pdfOk) {
        std::fprintf(stderr, "report: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("report model: %.2f s; HTML: %.2f s (%lld bytes); PDF: %.2f s (%lld bytes); "
                "model + PDF: %.2f s\n",
                built, htmlSeconds, QFileInfo(html).size(), pdfSeconds, QFileInfo(pdf).size(),
                built + pdfSeconds);
    std::printf("processor time: model %.2f s; HTML %.2f s; PDF %.2f s; model + PDF %.2f s\n",
                builtCpu, htmlCpu, pdfCpu, builtCpu + pdfCpu);
    return 0;
}
