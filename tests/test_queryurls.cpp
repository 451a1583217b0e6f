#include "base/Engines.h"
#include "base/QueryUrls.h"
#include "support/TestEnv.h"

using namespace rank;

Q_DECLARE_METATYPE(SearchEngine)

namespace {
QByteArray B(const std::string& s) {
    return QByteArray::fromStdString(s);
}
} // namespace

class TestQueryUrls : public QObject {
    Q_OBJECT
private slots:
    void scanQuery_data() {
        QTest::addColumn<SearchEngine>("engine");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("counted");
        QTest::addColumn<QByteArray>("url");
        const QByteArray g = "http://h:81/search?q=blue widgets&hl=en&lr=&ie=UTF-8&oe=UTF-8";
        const QByteArray a = "http://h:81/sites/search/web?q=blue widgets&pg=q&avkw=qtrp&kl=XX";
        const QByteArray l = "http://h:81/r_search?look=&key=blue widgets";
        QTest::newRow("google first") << Google << 0 << 0 << g;
        QTest::newRow("google second") << Google << 1 << 10 << g + "&start=10&sa=N";
        QTest::newRow("google third") << Google << 2 << 3 << g + "&start=20&sa=N";
        QTest::newRow("altavista first") << AltaVista << 0 << 0 << a;
        QTest::newRow("altavista third") << AltaVista << 2 << 20 << a + "&stq=20";
        QTest::newRow("lycos first")
            << Lycos << 0 << 0
            << QByteArray("http://h:81/default.asp?lpv=1&loc=searchhp&tab=web&query=blue widgets");
        QTest::newRow("lycos after ten counted")
            << Lycos << 1 << 10
            << QByteArray("http://h:81/default.asp?query=blue widgets&first=11&page=more&ca=w&cl=fw"
                          "&sv=3:a;d:0;9:0;d:0;9:0;6:b99eed;9:0;&gi=0");
        QTest::newRow("lycos after nothing counted")
            << Lycos << 1 << 0
            << QByteArray("http://h:81/default.asp?query=blue widgets&first=1&page=more&ca=w&cl=fw"
                          "&sv=3:a;d:0;9:0;d:0;9:0;6:b99eed;9:0;&gi=0");
        QTest::newRow("looksmart first") << LookSmart << 0 << 0 << l;
        QTest::newRow("looksmart second")
            << LookSmart << 1 << 16 << l + "&skip=15&se=4,1,109,0&search=us302562;local_US";
        QTest::newRow("looksmart third")
            << LookSmart << 2 << 32 << l + "&skip=30&se=4,1,109,0&search=us302562;local_US";
    }
    void scanQuery() {
        QFETCH(SearchEngine, engine);
        QFETCH(int, page);
        QFETCH(int, counted);
        QFETCH(QByteArray, url);
        QCOMPARE(B(ScanQueryUrl(engine, "h:81", "blue widgets", page, counted)), url);
    }

    // The result pages opened for the user, for the keywords blue widgets.
    void viewPage_data() {
        QTest::addColumn<SearchEngine>("engine");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QByteArray>("pathAndQuery");
        QTest::newRow("google page 2")
            << Google << QByteArray("Rank 15 / Page 2")
            << QByteArray("/search?q=blue widgets&hl=en&lr=&ie=UTF-8&oe=UTF-8&start=10&sa=N");
        QTest::newRow("google page 1")
            << Google << QByteArray("Rank 3 / Page 1")
            << QByteArray("/search?q=blue widgets&hl=en&lr=&ie=UTF-8&oe=UTF-8&start=0&sa=N");
        QTest::newRow("altavista page 3")
            << AltaVista << QByteArray("Rank 22 / Page 3")
            << QByteArray("/sites/search/web?q=blue widgets&pg=q&avkw=qtrp&kl=XX&stq=20");
        QTest::newRow("lycos rank 15") << Lycos << QByteArray("Rank 15 / Page 2")
                                       << QByteArray("/default.asp?lpv=1&loc=searchhp&tab=web"
                                                     "&query=blue widgets&first=15&page=more");
        QTest::newRow("lycos rank 10")
            << Lycos << QByteArray("Rank 10 / Page 1")
            << QByteArray("/default.asp?lpv=1&loc=searchhp&tab=web&query=blue widgets");
        QTest::newRow("looksmart page 2")
            << LookSmart << QByteArray("Rank 20 / Page 2")
            << QByteArray("/r_search?look=&key=blue "
                          "widgets&skip=15&se=4,1,109,0&search=us302562;local_US");
        QTest::newRow("looksmart page 1") << LookSmart << QByteArray("Rank 4 / Page 1")
                                          << QByteArray("/r_search?look=&key=blue widgets");
    }
    void viewPage() {
        QFETCH(SearchEngine, engine);
        QFETCH(QByteArray, result);
        QFETCH(QByteArray, pathAndQuery);
        const std::string position = PositionValue(engine, result.toStdString());
        QVERIFY(IsUsablePosition(position));
        QCOMPARE(B(ViewPageUrl(engine, "h", "blue widgets", position)), "http://h" + pathAndQuery);
    }

    void positionValue_data() {
        QTest::addColumn<SearchEngine>("engine");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QByteArray>("position");
        QTest::addColumn<bool>("usable");
        QTest::newRow("page") << Google << QByteArray("Rank 15 / Page 2") << QByteArray("2")
                              << true;
        QTest::newRow("rank") << Lycos << QByteArray("Rank 15 / Page 2") << QByteArray("15")
                              << true;
        QTest::newRow("not found")
            << AltaVista << QByteArray("not found") << QByteArray("not found") << false;
        QTest::newRow("lycos not found")
            << Lycos << QByteArray("not found") << QByteArray("not found") << false;
        QTest::newRow("never ranked") << LookSmart << QByteArray("-") << QByteArray("-") << false;
        QTest::newRow("empty") << Google << QByteArray("") << QByteArray("") << false;
        QTest::newRow("word at the end") << Google << QByteArray("Page") << QByteArray("") << false;
        QTest::newRow("rank without slash")
            << Lycos << QByteArray("Rank 7") << QByteArray("7") << true;
    }
    void positionValue() {
        QFETCH(SearchEngine, engine);
        QFETCH(QByteArray, result);
        QFETCH(QByteArray, position);
        QFETCH(bool, usable);
        const std::string value = PositionValue(engine, result.toStdString());
        QCOMPARE(B(value), position);
        QCOMPARE(IsUsablePosition(value), usable);
    }

    void keywordsReachTheEngineAsTyped_data() {
        QTest::addColumn<QByteArray>("keywords");
        QTest::addColumn<QByteArray>("inUrl");
        QTest::newRow("plus ampersand hash")
            << QByteArray("c++ & c#") << QByteArray("c%2B%2B %26 c%23");
        QTest::newRow("percent") << QByteArray("100% cotton") << QByteArray("100%25 cotton");
        QTest::newRow("non-ascii left alone")
            << QByteArray("caf\xc3\xa9") << QByteArray("caf\xc3\xa9");
    }
    void keywordsReachTheEngineAsTyped() {
        QFETCH(QByteArray, keywords);
        QFETCH(QByteArray, inUrl);
        const std::string kw = keywords.toStdString();
        for (int e = 0; e < kEngineCount; ++e) {
            const auto engine = SearchEngine(e);
            for (int page = 0; page < 2; ++page)
                QVERIFY(ScanQueryUrl(engine, "h", kw, page, 5).find(inUrl.toStdString()) !=
                        std::string::npos);
            QVERIFY(ViewPageUrl(engine, "h", kw, "20").find(inUrl.toStdString()) !=
                    std::string::npos);
        }
    }

    // A slot ranked on another engine opens that engine's public result page of the position's
    // page, and is named after it; the slot's own settings host plays no part.
    void relabelledSlotOpensItsEngine_data() {
        QTest::addColumn<SearchEngine>("slot");
        QTest::addColumn<QByteArray>("engine");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("label");
        QTest::newRow("google on google page 3")
            << Google << QByteArray("google") << QByteArray("Rank 25 / Page 3")
            << QByteArray("https://www.google.com/search?q=a%26b c&start=20")
            << QByteArray("Google");
        QTest::newRow("altavista on bing page 2")
            << AltaVista << QByteArray("bing") << QByteArray("Rank 14 / Page 2")
            << QByteArray("https://www.bing.com/search?q=a%26b c&first=11") << QByteArray("Bing");
        QTest::newRow("lycos on yahoo: the page, not the rank")
            << Lycos << QByteArray("yahoo") << QByteArray("Rank 31 / Page 4")
            << QByteArray("https://search.yahoo.com/search?p=a%26b c&b=31") << QByteArray("Yahoo");
        QTest::newRow("looksmart on duckduckgo")
            << LookSmart << QByteArray("duckduckgo") << QByteArray("Rank 3 / Page 1")
            << QByteArray("https://duckduckgo.com/?q=a%26b c") << QByteArray("DuckDuckGo");
        QTest::newRow("google on brave page 2")
            << Google << QByteArray("brave") << QByteArray("Rank 12 / Page 2")
            << QByteArray("https://search.brave.com/search?q=a%26b c&offset=1")
            << QByteArray("Brave");
        QTest::newRow("other searxng engine: no public page")
            << AltaVista << QByteArray("mojeek") << QByteArray("Rank 2 / Page 1") << QByteArray()
            << QByteArray("Mojeek");
    }
    void relabelledSlotOpensItsEngine() {
        QFETCH(SearchEngine, slot);
        QFETCH(QByteArray, engine);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, label);
        const std::string before = ViewPageUrl(slot, "h", "a&b c", "2");
        engines::SetSlotEngine(slot, engine.toStdString());
        const std::string position = PositionValue(slot, text.toStdString());
        const std::string opened = ViewPageUrl(slot, "h", "a&b c", position);
        const std::string name = engines::SlotLabel(slot);
        engines::SetSlotEngine(slot, "");
        QCOMPARE(B(opened), url);
        QCOMPARE(B(name), label);
        QCOMPARE(ViewPageUrl(slot, "h", "a&b c", "2"), before);
        QCOMPARE(engines::SlotLabel(slot), std::string(engines::Info(slot).name));
    }
};

TW_TEST_MAIN_CORE(TestQueryUrls)
#include "test_queryurls.moc"
