#include "base/ResultLinks.h"
#include "support/TestEnv.h"

#include <QFile>

#include <random>

using namespace rank;

Q_DECLARE_METATYPE(SearchEngine)

namespace {

std::string Fixture(const char* name) {
    QFile f(QStringLiteral(TW_TEST_DATA_DIR "/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll().toStdString();
}

QStringList Q(const std::vector<std::string>& v) {
    QStringList out;
    for (const auto& s : v)
        out << QString::fromStdString(s);
    return out;
}

std::vector<std::string> Pieces(std::string_view text) {
    std::vector<std::string> out;
    CPieceReader reader(text);
    std::string piece;
    while (reader.Next(piece))
        out.push_back(piece);
    return out;
}

} // namespace

class TestResultLinks : public QObject {
    Q_OBJECT
private slots:
    void fixturePages_data() {
        QTest::addColumn<SearchEngine>("engine");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("google") << Google << "scan_google.html"
                                << QStringList{"http://www.alpha.example/",
                                               "\"http://www.Beta.example/shop/\"",
                                               "http://www.alpha.example/",
                                               "http://www.gamma.example/ class=l"};
        QTest::newRow("altavista")
            << AltaVista << "scan_altavista.html"
            << QStringList{"http://www.one.example/", "http://www.two.example/",
                           "http://www.three.example/"};
        QTest::newRow("lycos") << Lycos << "scan_lycos.html"
                               << QStringList{"http://www.one.example/", "http://www.two.example/"};
        QTest::newRow("lycos without its title")
            << Lycos << "scan_lycos_notitle.html" << QStringList{};
        QTest::newRow("looksmart")
            << LookSmart << "scan_looksmart.html"
            << QStringList{"http://search.looksmart.com/", "http://www.one.example/",
                           "http://www.two.example/", "http://www.parent.example/"};
    }
    void fixturePages() {
        QFETCH(SearchEngine, engine);
        QFETCH(QString, file);
        QFETCH(QStringList, links);
        QCOMPARE(Q(CountedLinks(engine, Fixture(file.toLatin1().constData()))), links);
    }

    void markersInAnyCaseStartOnlyAtTheirLine() {
        // The start marker switches extraction on for the rest of the page, its line included.
        const std::string page = "<a href=http://www.early.example/>x</a>\n"
                                 "searched THE web <a href=http://www.same-line.example/>y</a>\n"
                                 "<A HREF=http://www.later.example/>z</a>\n";
        QCOMPARE(Q(CountedLinks(Google, page)),
                 (QStringList{"http://www.same-line.example/", "http://www.later.example/"}));
        // A new page starts switched off again.
        CResultLinks picker(Google);
        picker.StartPage();
        int n = 0;
        picker.ScanLine("Searched the web", [&](std::string_view) { return ++n, true; });
        picker.StartPage();
        picker.ScanLine("<a href=http://www.x.example/>",
                        [&](std::string_view) { return ++n, true; });
        QCOMPARE(n, 0);
    }

    void piecesOfLongLines_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("crlf and lf") << QByteArray("ab\r\ncd\nef") << QList<int>{2, 2, 2};
        QTest::newRow("empty lines") << QByteArray("\n\r\n") << QList<int>{0, 0};
        QTest::newRow("long line") << QByteArray(2500, 'x') << QList<int>{999, 999, 502};
        QTest::newRow("exactly one piece") << QByteArray(999, 'x') + "\nz" << QList<int>{999, 1};
        QTest::newRow("nul bytes") << QByteArray("a\0b\nc", 5) << QList<int>{3, 1};
    }
    void piecesOfLongLines() {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, sizes);
        QList<int> got;
        for (const auto& p : Pieces(std::string_view(text.constData(), size_t(text.size()))))
            got << int(p.size());
        QCOMPARE(got, sizes);
    }

    void anchorAcrossThePieceCutIsNotFound() {
        // "A HREF" starts three bytes before the cut after 999 bytes.
        const std::string filler(996, 'x');
        const std::string page =
            "Searched the web\n" + filler +
            "<a href=http://www.cut.example/> <a href=http://www.after.example/>\n";
        QCOMPARE(Q(CountedLinks(Google, page)), QStringList{"http://www.after.example/"});
    }

    void lookSmartTakesOnlyTheFirstAnchorOfALine() {
        const std::string page = "<p><b>x</b> <a href=\"http://www.first.example/\">1</a>"
                                 "<a href=\"http://www.second.example/\">2</a>\n";
        QCOMPARE(Q(CountedLinks(LookSmart, page)), QStringList{"http://www.first.example/"});
    }

    // Random and malformed pages: every engine finishes, and what it counts is sane.
    void malformedPagesEndCleanly() {
        const std::vector<std::string> parts = {"A HREF",
                                                "a href=",
                                                "=",
                                                ">",
                                                "<",
                                                "'",
                                                "\"",
                                                "\">",
                                                "STATUS=",
                                                "status='",
                                                "#999999\">",
                                                "<A HREF=\"HTTP://",
                                                "<a href=\"http://",
                                                "<BR>",
                                                "PR=LOOKSITESPARENT;",
                                                "Searched the web",
                                                "AltaVista found",
                                                "<TITLE>Lycos Search Results",
                                                "http://",
                                                "x",
                                                std::string(1, '\0'),
                                                "\n",
                                                "\r\n",
                                                "\xff\xfe"};
        std::mt19937 rng(20261207);
        for (int round = 0; round < 300; ++round) {
            std::string page;
            const int n = int(rng() % 400);
            for (int i = 0; i < n; ++i) {
                if (rng() % 8 == 0)
                    page += char(rng() % 256);
                else
                    page += parts[rng() % parts.size()];
            }
            // Markers right at the very end, without anything behind them.
            page += parts[rng() % 15];
            for (int e = 0; e < kEngineCount; ++e) {
                for (const auto& link : CountedLinks(SearchEngine(e), page)) {
                    QVERIFY(link.find("http://") != std::string::npos);
                    QVERIFY(link.size() <= kMaxPiece);
                    QVERIFY(page.find(link) != std::string::npos);
                }
            }
        }
    }

    void tenMegabyteLinesEndCleanly() {
        const std::vector<std::string> fills = {"A HREF=http://x>", "status='http://x",
                                                "#999999\">http://x",
                                                std::string("<a href=\"http://x\0", 18)};
        for (const auto& fill : fills) {
            std::string line;
            line.reserve(10 << 20);
            while (line.size() < (10u << 20))
                line += fill;
            for (int e = 0; e < kEngineCount; ++e) {
                const std::string page =
                    "Searched the web AltaVista found <TITLE>Lycos Search Results\n" + line +
                    ">'<\">";
                bool sane = true;
                // A single line handed over whole is taken in pieces as well.
                CResultLinks picker{SearchEngine(e)};
                picker.StartPage();
                picker.ScanLine(page, [&](std::string_view l) {
                    sane = sane && l.size() <= kMaxPiece;
                    return true;
                });
                QVERIFY(sane);
            }
        }
    }

    // Which links count as the target, for every source (pages and result services alike).
    void matchRule_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("matches");
        // What held and holds.
        QTest::newRow("target in the host") << "http://www.My-Site.example/shop/"
                                            << "my-site.example" << true;
        QTest::newRow("target with its path") << "http://www.my-site.example/shop/page.html"
                                              << "WWW.MY-SITE.EXAMPLE/shop" << true;
        QTest::newRow("bare site inside the target")
            << "http://www.my-site.example"
            << "http://www.my-site.example/deep/page.html" << true;
        QTest::newRow("quoted link") << "\"http://www.my-site.example/\""
                                     << "www.my-site.example/" << true;
        QTest::newRow("target's own query where the link's begins")
            << "http://www.my-site.example/page?id=5&x=1"
            << "my-site.example/page?id=5" << true;
        QTest::newRow("other site") << "http://www.other.example/"
                                    << "my-site.example" << false;
        // A link that holds no full host is inside every target that begins like it.
        QTest::newRow("no dot in the link") << "http://w"
                                            << "http://www.my-site.example/" << false;
        QTest::newRow("a host without its domain") << "http://localhost/"
                                                   << "http://localhost/x/my-site.example" << false;
        QTest::newRow("scheme alone") << "http://"
                                      << "http://www.my-site.example/" << false;
        // The target named in the link's query, fragment or attributes names nothing.
        QTest::newRow("target in the query") << "http://evil.example/?q=www.my-site.example"
                                             << "www.my-site.example" << false;
        QTest::newRow("target in the fragment") << "http://evil.example/page#www.my-site.example"
                                                << "www.my-site.example" << false;
        QTest::newRow("target in an attribute")
            << "\"http://evil.example/\" title=\"www.my-site.example\""
            << "www.my-site.example" << false;
        QTest::newRow("target's query elsewhere in the link's")
            << "http://www.my-site.example/page?x=1&id=5"
            << "my-site.example/page?id=5" << false;
    }
    void matchRule() {
        QFETCH(QString, link);
        QFETCH(QString, target);
        QFETCH(bool, matches);
        QCOMPARE(LinkMatches(link.toStdString(), target.toLower().toStdString()), matches);
    }
};

TW_TEST_MAIN_CORE(TestResultLinks)
#include "test_resultlinks.moc"
