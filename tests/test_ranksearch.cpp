#include "base/Engines.h"
#include "base/PageFetcher.h"
#include "base/QueryUrls.h"
#include "base/ResultLinks.h"
#include "rank/RankProgress.h"
#include "rank/RankSearch.h"
#include "sim/EngineSim.h"
#include "sim/SimServer.h"
#include "support/TestEnv.h"

#include <QFile>

#include <atomic>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

Q_DECLARE_METATYPE(SearchEngine)

namespace {

struct Report {
    int percent;
    std::string line;
    std::string url;
};

class CFakeProgress : public IRankProgress {
public:
    void ReportPage(int percent, const std::string& line, const std::string& url) override {
        reports.push_back({percent, line, url});
    }
    bool IsCancelled() const override { return cancel.load(); }
    std::vector<Report> reports;
    std::atomic<bool> cancel{false};
};

// Serves pages without a network: page n (1-based) is what serve returns; nullopt is a download
// that failed.
class CScriptedSearch : public CRankSearch {
public:
    std::function<std::optional<std::string>(int page, const std::string& url)> serve;
    std::vector<std::string> urls;
    bool saveFails = false; // the page arrives, but the scratch file cannot be written

protected:
    bool DownloadPage(const std::string& url, const std::string& pageFile,
                      std::string& error) override {
        urls.push_back(url);
        const auto body = serve(int(urls.size()), url);
        if (!body) {
            error = "connection refused";
            return false;
        }
        const LineList lines = SplitLines(*body);
        if (lines.empty())
            return false;
        if (saveFails)
            return true;
        std::ofstream out(pageFile, std::ios::binary);
        for (const auto& line : lines)
            out << line << "\r\n";
        return true;
    }
};

std::string PathOf(const std::string& url) {
    return url.substr(url.find('/', 7));
}

std::string Fixture(const char* name) {
    QFile f(QStringLiteral(TW_TEST_DATA_DIR "/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll().toStdString();
}

const char* const kPageParameter[] = {"&start=", "&stq=", "&first=", "&skip="};

bool Scan(CRankSearch& s, SearchEngine e, const std::string& target, const std::string& kw,
          const std::string& file) {
    switch (e) {
    case Google:
        return s.ScanGoogle(target, kw, file);
    case AltaVista:
        return s.ScanAltaVista(target, kw, file);
    case Lycos:
        return s.ScanLycos(target, kw, file);
    case LookSmart:
        return s.ScanLookSmart(target, kw, file);
    }
    return false;
}

// Links a scan counts on simulator page `page` (1-based) of an engine, in order.
std::vector<std::string> CountedOnPage(const sim::CResultModel& model, SearchEngine e,
                                       const std::string& kw, int page) {
    std::vector<std::string> out;
    if (e == LookSmart)
        out.push_back("http://search.looksmart.com/");
    const int per = sim::kPerPage[e];
    for (int n = (page - 1) * per + 1; n <= page * per; ++n)
        out.push_back(model.ResultUrl(e, kw, n));
    return out;
}

int CountedRankOf(SearchEngine e, int r) {
    return e == LookSmart ? r + 1 : r;
}

} // namespace

class TestRankSearch : public QObject {
    Q_OBJECT

    sim::CResultModel m_model{11, 1000};
    sim::CEngineSim m_engines{m_model};

    void serveSimulator(CScriptedSearch& s) {
        s.serve = [this](int, const std::string& url) {
            return std::optional<std::string>(m_engines.RespondTo(PathOf(url)).body);
        };
    }

    static void engines() {
        QTest::addColumn<SearchEngine>("engine");
        for (int e = 0; e < kEngineCount; ++e)
            QTest::newRow(engines::Info(SearchEngine(e)).name) << SearchEngine(e);
    }

private slots:
    void initTestCase() {
        // The target is planted at the 5th place of the third page.
        m_model.AddPlant(Google, 25, "http://www.Target-Site.example/", "blue widgets");
        m_model.AddPlant(AltaVista, 25, "http://www.Target-Site.example/", "blue widgets");
        m_model.AddPlant(Lycos, 25, "http://www.Target-Site.example/", "blue widgets");
        m_model.AddPlant(LookSmart, 35, "http://www.Target-Site.example/", "blue widgets");
    }

    void foundOnTheThirdPage_data() { engines(); }
    void foundOnTheThirdPage() {
        QFETCH(SearchEngine, engine);
        tw::test::ScopedWorkDir dir;
        CFakeProgress progress;
        CScriptedSearch s;
        s.m_pProgressDlg = &progress;
        serveSimulator(s);
        QVERIFY(Scan(s, engine, "WWW.TARGET-SITE.EXAMPLE", "blue widgets", "tempgoogle.html0"));
        // LookSmart counts one navigation link per page as well.
        const int rank = engine == LookSmart ? 35 + 3 : 25;
        QCOMPARE(s.m_nRank, rank);
        QCOMPARE(s.m_nPage, 3);
        std::vector<std::string> above;
        for (int page = 1; page <= 3; ++page)
            for (const auto& link : CountedOnPage(m_model, engine, "blue widgets", page))
                above.push_back(link);
        above.resize(size_t(rank - 1));
        QVERIFY(s.m_sitesAbove[engine] == above);
        for (int e = 0; e < kEngineCount; ++e)
            QVERIFY(e == engine || s.m_sitesAbove[e].empty());
        QCOMPARE(int(s.urls.size()), 3);
        QCOMPARE(int(progress.reports.size()), 3);
        const int percents[] = {0, 5, 10};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(progress.reports[i].percent, percents[i]);
            QCOMPARE(progress.reports[i].line,
                     std::string(rank::PageLabel(engine)) + std::to_string(i + 1) + "/20");
            QCOMPARE(progress.reports[i].url, std::string("WWW.TARGET-SITE.EXAMPLE"));
        }
        QVERIFY(!QFile::exists(dir.file("tempgoogle.html0")));
    }

    void depthOneSendsNoPageParameter_data() { engines(); }
    void depthOneSendsNoPageParameter() {
        QFETCH(SearchEngine, engine);
        tw::test::ScopedWorkDir dir;
        CScriptedSearch s;
        s.m_nMaxPages = 1;
        serveSimulator(s);
        QVERIFY(!Scan(s, engine, "www.nowhere.example", "blue widgets", "scratch"));
        QCOMPARE(int(s.urls.size()), 1);
        QCOMPARE(s.urls[0], rank::ScanQueryUrl(engine, s.m_hosts[engine], "blue widgets", 0, 0));
        QVERIFY(s.urls[0].find(kPageParameter[engine]) == std::string::npos);
    }

    void neverFoundInTwentyPages_data() { engines(); }
    void neverFoundInTwentyPages() {
        QFETCH(SearchEngine, engine);
        tw::test::ScopedWorkDir dir;
        CScriptedSearch s;
        serveSimulator(s);
        QVERIFY(!Scan(s, engine, "www.nowhere.example", "red widgets", "scratch"));
        QCOMPARE(s.m_nRank, 0);
        QCOMPARE(s.m_nPage, 0);
        std::vector<std::string> all;
        for (int page = 1; page <= 20; ++page)
            for (const auto& link : CountedOnPage(m_model, engine, "red widgets", page))
                all.push_back(link);
        QVERIFY(s.m_sitesAbove[engine] == all);
        QCOMPARE(int(s.urls.size()), 20);
        QCOMPARE(s.m_nPagesFetched, 20);
        QCOMPARE(s.m_nFailedPages, 0);
        // The page parameters the engines are asked with.
        const char* third[] = {"&start=20&sa=N", "&stq=20", "&first=21&", "&skip=30&"};
        const char* second[] = {"&start=10&sa=N", "&stq=10", "&first=11&", "&skip=15&"};
        QVERIFY(s.urls[1].find(second[engine]) != std::string::npos);
        QVERIFY(s.urls[2].find(third[engine]) != std::string::npos);
        QVERIFY(!QFile::exists(dir.file("scratch")));
    }

    // What a scan keeps of what it counted: every result in order (at most 100, the target's
    // own included), the results of each page read and the matched address. Read to the whole
    // depth it goes on past the target, which still ranks where it was first found; an error
    // keeps the pages read whole before the failing one, marked partial.
    void keptResults_data() {
        QTest::addColumn<SearchEngine>("engine");
        QTest::addColumn<QString>("scan");
        for (int e = 0; e < kEngineCount; ++e) {
            for (const char* scan : {"found", "whole depth", "not found", "error"})
                QTest::addRow("%s, %s", engines::Info(SearchEngine(e)).name, scan)
                    << SearchEngine(e) << QString::fromLatin1(scan);
        }
    }
    void keptResults() {
        QFETCH(SearchEngine, engine);
        QFETCH(QString, scan);
        tw::test::ScopedWorkDir dir;
        const PageRetry retry = CRankSearch::Retry();
        CRankSearch::SetRetry({{1, 1}});
        CScriptedSearch s;
        s.m_nMaxPages = scan == "not found" ? 20 : 5;
        s.m_bReadWholeDepth = scan == "whole depth";
        // The third page fails on every try.
        s.serve = [&](int request, const std::string& url) -> std::optional<std::string> {
            if (scan == "error" && request >= 3)
                return std::nullopt;
            return m_engines.RespondTo(PathOf(url)).body;
        };
        const std::string kw = scan == "not found" ? "red widgets" : "blue widgets";
        const bool found = Scan(s, engine, "www.target-site.example", kw, "scratch");
        CRankSearch::SetRetry(retry);

        const int perPage = int(CountedOnPage(m_model, engine, kw, 1).size());
        const int rank = engine == LookSmart ? 35 + 3 : 25;
        const int pagesRead = scan == "found"       ? 3
                              : scan == "not found" ? 20
                              : scan == "error"     ? 2
                                                    : 5;
        std::vector<std::string> counted;
        for (int page = 1; page <= pagesRead; ++page)
            for (const auto& link : CountedOnPage(m_model, engine, kw, page))
                counted.push_back(link);
        std::vector<int> sizes(std::size_t(pagesRead), perPage);
        if (scan == "found") {
            counted.resize(std::size_t(rank));
            sizes.back() = rank - 2 * perPage;
        }
        counted.resize(std::min<std::size_t>(counted.size(), CRankSearch::kMaxResultsKept));
        QVERIFY(s.m_results == counted);
        QVERIFY(s.m_pageSizes == sizes);
        QCOMPARE(s.m_bResultsPartial, scan == "error");
        QCOMPARE(int(s.urls.size()), scan == "error" ? 2 + 3 : pagesRead);

        const bool targetThere = scan == "found" || scan == "whole depth";
        QCOMPARE(found, targetThere);
        if (targetThere) {
            QCOMPARE(s.m_nRank, rank);
            QCOMPARE(s.m_nPage, 3);
            QCOMPARE(s.m_strRankingUrl, std::string("http://www.Target-Site.example/"));
            // The sites above are what they always were, reading on or not.
            QVERIFY(s.m_sitesAbove[engine] ==
                    std::vector<std::string>(counted.begin(), counted.begin() + (rank - 1)));
        } else {
            QCOMPARE(s.m_nRank, 0);
            QVERIFY(s.m_strRankingUrl.empty());
            QCOMPARE(s.m_strScanError.empty(), scan != "error");
        }
    }

    // The second page fails on its first tries: it is asked for again, and counting goes on as
    // if it had come at once. Failing on every try ends the scan in an error instead.
    void aFailedPageIsTriedAgain_data() {
        QTest::addColumn<SearchEngine>("engine");
        QTest::addColumn<int>("failures");
        for (int e = 0; e < kEngineCount; ++e) {
            for (int failures : {1, 2, 3})
                QTest::addRow("%s, %d failed tries", engines::Info(SearchEngine(e)).name, failures)
                    << SearchEngine(e) << failures;
        }
    }
    void aFailedPageIsTriedAgain() {
        QFETCH(SearchEngine, engine);
        QFETCH(int, failures);
        tw::test::ScopedWorkDir dir;
        CScriptedSearch s;
        s.m_nMaxPages = 3;
        s.serve = [&](int request, const std::string& url) -> std::optional<std::string> {
            if (request >= 2 && request < 2 + failures)
                return std::nullopt;
            return m_engines.RespondTo(PathOf(url)).body;
        };
        QVERIFY(!Scan(s, engine, "www.nowhere.example", "green widgets", "scratch"));
        // The same page is asked for on every try.
        for (int i = 2; i < 2 + failures && i < int(s.urls.size()); ++i)
            QCOMPARE(s.urls[i], s.urls[1]);
        QCOMPARE(s.m_nPagesFetched, failures < 3 ? 3 : 2);
        if (failures < 3) {
            QCOMPARE(int(s.urls.size()), 3 + failures);
            std::vector<std::string> expected;
            for (int page = 1; page <= 3; ++page)
                for (const auto& link : CountedOnPage(m_model, engine, "green widgets", page))
                    expected.push_back(link);
            QVERIFY(s.m_sitesAbove[engine] == expected);
            QCOMPARE(s.m_nFailedPages, 0);
            QVERIFY(s.m_strScanError.empty());
        } else {
            QCOMPARE(int(s.urls.size()), 4);
            QCOMPARE(s.m_nFailedPages, 1);
            QCOMPARE(s.m_strScanError, std::string("connection refused"));
            QCOMPARE(s.m_strFirstErrorUrl, s.urls[1]);
        }
        QVERIFY(!s.m_bCancelled);
    }

    // Cancel while a failed page waits to be tried again: the wait ends at once, the scan
    // comes to no answer and is not an error.
    void cancelCutsTheWaitBeforeATry() {
        tw::test::ScopedWorkDir dir;
        const PageRetry saved = CRankSearch::Retry();
        CRankSearch::SetRetry({{60000, 60000}});
        CFakeProgress progress;
        CScriptedSearch s;
        s.m_pProgressDlg = &progress;
        std::thread canceller;
        s.serve = [&](int, const std::string&) -> std::optional<std::string> {
            canceller = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                progress.cancel = true;
            });
            return std::nullopt;
        };
        QVERIFY(!s.ScanGoogle("www.nowhere.example", "blue widgets", "scratch"));
        canceller.join();
        CRankSearch::SetRetry(saved);
        QVERIFY(s.m_bCancelled);
        QVERIFY(s.m_strScanError.empty());
        QCOMPARE(int(s.urls.size()), 1);
    }

    // A page of bare links: only so many sites are kept, and cut, but every link still counts.
    void densePagesKeepABoundedList() {
        tw::test::ScopedWorkDir dir;
        std::string page = "Searched the web\n";
        for (int i = 1; i <= 3000; ++i) {
            page += "<A HREF=http://www.site" + std::to_string(i) + ".example/>r</a>\n";
        }
        CScriptedSearch s;
        s.m_nMaxPages = 1;
        s.serve = [&](int, const std::string&) { return std::optional<std::string>(page); };
        QVERIFY(s.ScanGoogle("www.site2999.example", "kw", "scratch"));
        QCOMPARE(s.m_nRank, 2999);
        const auto& above = s.m_sitesAbove[Google];
        QCOMPARE(int(above.size()), CRankSearch::kMaxKeptPerPage);
        QCOMPARE(above[999], std::string("http://www.site1000.example/"));
    }

    void lycosAfterAFailedFirstPageAsksForTheFirstResultAgain() {
        tw::test::ScopedWorkDir dir;
        CScriptedSearch s;
        s.m_nMaxPages = 2;
        s.serve = [&](int page, const std::string& url) -> std::optional<std::string> {
            if (page == 1)
                return std::string(); // an empty answer
            return m_engines.RespondTo(PathOf(url)).body;
        };
        QVERIFY(!s.ScanLycos("www.nowhere.example", "blue widgets", "scratch"));
        QVERIFY(s.urls[1].find("&first=1&") != std::string::npos);
        QCOMPARE(s.m_sitesAbove[Lycos].size(), size_t(10));
    }

    void cancelWhilePageFourDownloads() {
        tw::test::ScopedWorkDir dir;
        CFakeProgress progress;
        CScriptedSearch s;
        s.m_pProgressDlg = &progress;
        s.serve = [&](int page, const std::string& url) -> std::optional<std::string> {
            if (page == 4)
                progress.cancel = true;
            return m_engines.RespondTo(PathOf(url)).body;
        };
        QVERIFY(!s.ScanGoogle("www.nowhere.example", "blue widgets", "scratch"));
        QCOMPARE(int(s.urls.size()), 4);
        QCOMPARE(s.m_sitesAbove[Google].size(), size_t(40));
        QCOMPARE(s.m_nPage, 0);
        // Every later scan of the entry ends at once.
        QVERIFY(!s.ScanAltaVista("www.nowhere.example", "blue widgets", "scratch"));
        QCOMPARE(int(s.urls.size()), 4);
    }

    // One hand-made page: capital letters, links listed twice, engine links in between.
    void matchingOnAFixedPage_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("rank");
        QTest::addColumn<int>("above");
        QTest::newRow("capital target") << QByteArray("WWW.GAMMA.EXAMPLE") << 4 << 3;
        QTest::newRow("target holds the link")
            << QByteArray("http://www.alpha.example/deep/page.html") << 1 << 0;
        QTest::newRow("engine link is not a result") << QByteArray("groups.google.com") << 0 << 4;
        QTest::newRow("quoted link") << QByteArray("www.beta.example/shop") << 2 << 1;
    }
    void matchingOnAFixedPage() {
        QFETCH(QByteArray, target);
        QFETCH(int, rank);
        QFETCH(int, above);
        tw::test::ScopedWorkDir dir;
        CScriptedSearch s;
        s.m_nMaxPages = 1;
        const std::string page = Fixture("scan_google.html");
        s.serve = [&](int, const std::string&) { return std::optional<std::string>(page); };
        QCOMPARE(s.ScanGoogle(target.toStdString(), "blue widgets", "scratch"), rank > 0);
        QCOMPARE(s.m_nRank, rank);
        QCOMPARE(s.m_nPage, rank > 0 ? 1 : 0);
        QCOMPARE(int(s.m_sitesAbove[Google].size()), above);
    }

    void staleScratchFileIsNeverRead() {
        tw::test::ScopedWorkDir dir;
        {
            std::ofstream old("scratch", std::ios::binary);
            old << Fixture("scan_google.html");
        }
        CScriptedSearch s;
        s.m_nMaxPages = 2;
        s.saveFails = true;
        s.serve = [](int, const std::string&) { return std::optional<std::string>("x\n"); };
        QVERIFY(!s.ScanGoogle("www.gamma.example", "blue widgets", "scratch"));
        QVERIFY(s.m_sitesAbove[Google].empty());
        QVERIFY(!QFile::exists(dir.file("scratch")));
    }

    void malformedPagesThroughTheScan() {
        tw::test::ScopedWorkDir dir;
        std::string page = "Searched the web AltaVista found <TITLE>Lycos Search Results\n";
        page += std::string(3 << 20, 'A') + "A HREF=" + std::string(1, '\0') + "status='";
        page += "\n<a href=\"http://x\">" + std::string("#999999\">") + "\n'";
        for (int e = 0; e < kEngineCount; ++e) {
            CScriptedSearch s;
            s.m_nMaxPages = 2;
            s.serve = [&](int, const std::string&) { return std::optional<std::string>(page); };
            QVERIFY(!Scan(s, SearchEngine(e), "www.nowhere.example", "kw", "scratch"));
        }
    }

    // The whole way: real downloads from the simulator over HTTP.
    void againstTheSimulatorServer_data() { engines(); }
    void againstTheSimulatorServer() {
        QFETCH(SearchEngine, engine);
        tw::test::ScopedWorkDir dir;
        sim::CResultModel model(3, 1000);
        model.AddPlant(-1, 14, "http://www.shop.example/", "c++ & c# 100%");
        sim::CEngineSim engines(model);
        sim::CSimServer server(engines, {});
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        CRankSearch s;
        s.m_hosts.fill(server.HostPort());
        QVERIFY(Scan(s, engine, "www.shop.example", "c++ & c# 100%", "scratch"));
        const int page = engine == LookSmart ? 1 : 2;
        QCOMPARE(s.m_nPage, page);
        QCOMPARE(s.m_nRank, engine == LookSmart ? 15 : 14);
        QCOMPARE(s.m_nFailedPages, 0);
        QCOMPARE(int(server.Requests().size()), page);
        server.Stop();
    }

    void failingAndBlockingEngines_data();
    void failingAndBlockingEngines();

    void aHangingEngineEndsInAnError() {
        tw::test::ScopedWorkDir dir;
        const FetchLimits saved = CPageFetcher::Limits();
        FetchLimits quick = saved;
        quick.pageTimeoutMs = 300;
        CPageFetcher::SetLimits(quick);
        sim::CResultModel model(3, 1000);
        sim::CEngineSim engines(model);
        sim::ServerOptions options;
        options.hangEngine = AltaVista;
        sim::CSimServer server(engines, options);
        std::string error;
        QVERIFY2(server.Start(error), error.c_str());
        CRankSearch s;
        s.m_hosts.fill(server.HostPort());
        s.m_nMaxPages = 2;
        QVERIFY(!s.ScanAltaVista("www.shop.example", "kw", "scratch"));
        // Three tries of the first page, then no answer: not "not found".
        QCOMPARE(s.m_nPagesFetched, 1);
        QCOMPARE(s.m_nFailedPages, 1);
        QCOMPARE(int(server.Requests().size()), 3);
        QVERIFY(!s.m_strScanError.empty());
        QVERIFY(!s.m_strFirstError.empty());
        QVERIFY(s.m_strFirstErrorUrl.find("/sites/search/web?q=kw") != std::string::npos);
        server.Stop();
        CPageFetcher::SetLimits(saved);
    }
};

// How an engine that refuses or fails is read: each ends the scan in an error with its reason,
// after the page was tried three times; a refusal that passes lets the scan go on.
void TestRankSearch::failingAndBlockingEngines_data() {
    QTest::addColumn<int>("engine");
    QTest::addColumn<int>("status"); // for every request of the engine; -1: none
    QTest::addColumn<int>("block");  // sim::BlockKind; -1: none
    QTest::addColumn<QList<int>>("script");
    QTest::addColumn<QString>("error"); // empty: found
    using sim::BlockKind;
    const QString blocked = QString::fromLatin1(rank::kBlockedText);
    QTest::newRow("404") << int(Google) << 404 << -1 << QList<int>{} << "HTTP 404";
    QTest::newRow("500") << int(Lycos) << 500 << -1 << QList<int>{} << "HTTP 500";
    QTest::newRow("dropped") << int(AltaVista) << sim::kDropped << -1 << QList<int>{}
                             << "No complete answer";
    QTest::newRow("429") << int(Google) << -1 << int(BlockKind::Status429) << QList<int>{}
                         << blocked;
    QTest::newRow("503") << int(LookSmart) << -1 << int(BlockKind::Status503) << QList<int>{}
                         << blocked;
    QTest::newRow("captcha page") << int(Google) << -1 << int(BlockKind::Captcha) << QList<int>{}
                                  << blocked;
    QTest::newRow("javascript page")
        << int(Google) << -1 << int(BlockKind::EnableJs) << QList<int>{} << blocked;
    QTest::newRow("redirect to /sorry/")
        << int(Google) << -1 << int(BlockKind::Redirect) << QList<int>{} << blocked;
    QTest::newRow("503 twice, then the page")
        << int(Google) << -1 << -1 << QList<int>{503, 503} << QString();
    QTest::newRow("dropped, then the page")
        << int(Lycos) << -1 << -1 << QList<int>{sim::kDropped} << QString();
}

void TestRankSearch::failingAndBlockingEngines() {
    QFETCH(int, engine);
    QFETCH(int, status);
    QFETCH(int, block);
    QFETCH(QList<int>, script);
    QFETCH(QString, error);
    tw::test::ScopedWorkDir dir;
    sim::CResultModel model(3, 1000);
    model.AddPlant(-1, 4, "http://www.shop.example/", "kw");
    sim::CEngineSim engines(model);
    sim::ServerOptions options;
    if (status >= 0)
        options.engineStatus[engine] = status;
    if (block >= 0) {
        options.blockEngine = engine;
        options.blockKind = sim::BlockKind(block);
    }
    options.statusScript.assign(script.begin(), script.end());
    sim::CSimServer server(engines, options);
    std::string startError;
    QVERIFY2(server.Start(startError), startError.c_str());
    CRankSearch s;
    s.m_hosts.fill(server.HostPort());
    s.m_nMaxPages = 2;
    const bool found = Scan(s, SearchEngine(engine), "www.shop.example", "kw", "scratch");
    QCOMPARE(found, error.isEmpty());
    QVERIFY2(QString::fromStdString(s.m_strScanError).contains(error), s.m_strScanError.c_str());
    QCOMPARE(s.m_strScanError.empty(), error.isEmpty());
    // A redirect is followed, so each try of it is two requests.
    const int perTry = block == int(sim::BlockKind::Redirect) ? 2 : 1;
    QCOMPARE(int(server.Requests().size()), error.isEmpty() ? int(script.size()) + 1 : 3 * perTry);
    if (found)
        QCOMPARE(s.m_nRank, CountedRankOf(SearchEngine(engine), 4));
    server.Stop();
}

TW_TEST_MAIN_CORE(TestRankSearch)
#include "test_ranksearch.moc"
