// A list's competitors: the file beside the data file, where a competitor ranks in a kept result
// list, and the visibility of targets and competitors over a run's entries.
#include "data/Competitors.h"
#include "history/KeptResults.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>

namespace {

using Sites = std::vector<std::string>;

// n results of filler sites, with the given sites at the given 1-based positions.
Sites resultsWith(int n, const std::vector<std::pair<int, std::string>>& placed) {
    Sites out;
    for (int i = 1; i <= n; ++i)
        out.push_back("http://filler" + std::to_string(i) + ".example/");
    for (const auto& [position, site] : placed)
        out[std::size_t(position - 1)] = site;
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Sites)

class TestCompetitors : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<Sites>("sites");
        QTest::addColumn<QString>("says"); // part of the error

        QTest::newRow("empty") << QByteArray() << true << Sites{} << "";
        QTest::newRow("comments and blank lines")
            << QByteArray("# rivals of the shop\n\nrival.example\n   \n# old: gone.example\n"
                          "www.other.example/shop  # their shop pages\n")
            << true << Sites{"rival.example", "www.other.example/shop"} << "";
        QTest::newRow("CR LF, tabs and blanks at either end")
            << QByteArray("\trival.example \r\nother.example\r\n") << true
            << Sites{"rival.example", "other.example"} << "";
        QTest::newRow("each once, in order") << QByteArray("b.example\na.example\nb.example\n")
                                             << true << Sites{"b.example", "a.example"} << "";
        QTest::newRow("byte order mark")
            << QByteArray("\xEF\xBB\xBFrival.example\n") << true << Sites{"rival.example"} << "";
        QTest::newRow("a site with a blank")
            << QByteArray("rival.example\n# fine\nbad site.example\n") << false << Sites{}
            << "Line 3: \"bad site.example\" has a blank in it.";
    }
    void parse() {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(Sites, sites);
        QFETCH(QString, says);
        Sites got{"left over"};
        QString error;
        QCOMPARE(datafile::ParseCompetitors(text, &got, &error), ok);
        QCOMPARE(got, sites);
        QVERIFY2(error.contains(says), qPrintable(error));
    }

    // The file beside the data file: none is no competitors, a written list reads back, an empty
    // list removes the file, and a file that is not valid or not readable is refused with its
    // name.
    void file() {
        tw::test::ScopedWorkDir dir;
        const QString path = datafile::CompetitorsPath(dir.file("shop.dat"));
        QCOMPARE(path, dir.file("shop.competitors.txt"));
        Sites sites{"x"};
        QString error;
        QVERIFY(datafile::ReadCompetitors(path, &sites, &error));
        QVERIFY(sites.empty());

        QVERIFY(datafile::WriteCompetitors(path, {"rival.example", "other.example/shop"}, &error));
        QVERIFY(datafile::ReadCompetitors(path, &sites, &error));
        QCOMPARE(sites, (Sites{"rival.example", "other.example/shop"}));
        QVERIFY(datafile::WriteCompetitors(path, {}, &error));
        QVERIFY(!QFile::exists(path));

        tw::test::writeFile(path, "ok.example\nnot ok.example\n");
        QVERIFY(!datafile::ReadCompetitors(path, &sites, &error));
        QVERIFY(sites.empty());
        QVERIFY2(error.contains("shop.competitors.txt") && error.contains("Line 2"),
                 qPrintable(error));
        QFile::remove(path);
        QVERIFY(QDir(dir.path()).mkdir("shop.competitors.txt"));
        error.clear();
        QVERIFY(!datafile::ReadCompetitors(path, &sites, &error));
        QVERIFY2(error.contains("could not be read"), qPrintable(error));
    }

    void siteRank_data() {
        QTest::addColumn<Sites>("results");
        QTest::addColumn<QList<int>>("pageSizes");
        QTest::addColumn<QString>("site");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("text");

        const Sites thirty = resultsWith(30, {{4, "http://www.rival.example/a"},
                                              {13, "http://shop.example/x"},
                                              {27, "https://www.rival.example/b"}});
        QTest::newRow("first position counts")
            << thirty << QList<int>{10, 10, 10} << "rival.example" << 4 << 1 << "Rank 4 / Page 1";
        QTest::newRow("letter case") << thirty << QList<int>{10, 10, 10} << "WWW.Rival.Example" << 4
                                     << 1 << "Rank 4 / Page 1";
        QTest::newRow("pages of their own sizes")
            << thirty << QList<int>{8, 4, 18} << "shop.example" << 13 << 3 << "Rank 13 / Page 3";
        QTest::newRow("past the pages told, pages of ten")
            << thirty << QList<int>{10} << "shop.example" << 13 << 2 << "Rank 13 / Page 2";
        QTest::newRow("not in the list") << thirty << QList<int>{10, 10, 10} << "absent.example"
                                         << 0 << 0 << "not in the first 30";
        QTest::newRow("nothing kept")
            << Sites{} << QList<int>{} << "rival.example" << 0 << 0 << "no results kept";
    }
    void siteRank() {
        QFETCH(Sites, results);
        QFETCH(QList<int>, pageSizes);
        QFETCH(QString, site);
        QFETCH(int, position);
        QFETCH(int, page);
        QFETCH(QString, text);
        const tw::SiteRank r = tw::siteRank(
            results, std::vector<int>(pageSizes.begin(), pageSizes.end()), site.toStdString());
        QCOMPARE(r.position, position);
        QCOMPARE(r.page, page);
        QCOMPARE(r.kept, int(results.size()));
        QCOMPARE(QString::fromStdString(tw::siteRankText(r)), text);
    }

    // Four entries of one slot, worked by hand with the click shares of positions 1 to 10
    // (31.73, 24.71, 18.66, 13.60, ...; 11 and on get none):
    //   1. www.my-site.example at 1; rival at 2
    //   2. www.my-site.example at 3; rival at 1
    //   3. shop.example not found; rival at 11
    //   4. www.my-site.example not ranked, nothing kept
    // my-site: (31.73 + 18.66) / 4 = 12.5975; shop: 0; rival: (24.71 + 31.73) / 4 = 14.11.
    void visibility() {
        const Sites first = {"http://www.my-site.example/", "http://www.rival.example/",
                             "http://other.example/"};
        const Sites second = {"http://rival.example/x", "http://other.example/",
                              "http://www.my-site.example/page"};
        const Sites third = resultsWith(11, {{11, "http://rival.example/"}});
        const std::vector<tw::VisibilityEntry> entries = {
            {"www.my-site.example", 1, &first},
            {"www.my-site.example", 3, &second},
            {"shop.example", std::nullopt, &third},
            {"www.my-site.example", std::nullopt, nullptr},
        };
        const auto v = tw::visibility(entries, {"rival.example", "absent.example"});
        QCOMPARE(v.size(), std::size_t(4));
        QCOMPARE(v.at("www.my-site.example"), 12.5975);
        QCOMPARE(v.at("shop.example"), 0.0);
        QCOMPARE(v.at("rival.example"), 14.11);
        QCOMPARE(v.at("absent.example"), 0.0);

        // Naming one's own site as a competitor too, or a competitor twice, counts it once.
        const auto same =
            tw::visibility(entries, {"www.my-site.example", "rival.example", "rival.example"});
        QCOMPARE(same.size(), std::size_t(3));
        QCOMPARE(same.at("www.my-site.example"), 12.5975);
        QCOMPARE(same.at("rival.example"), 14.11);

        QVERIFY(tw::visibility({}, {"rival.example"}).empty());
    }
};

TW_TEST_MAIN_CORE(TestCompetitors)
#include "test_competitors.moc"
