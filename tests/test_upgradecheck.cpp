#include "settings/RegistrySettings.h"
#include "support/PageServer.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"
#include "upgrade/UpgradeCheck.h"

using tw::test::writeSettingsFile;

Q_DECLARE_METATYPE(LineList)

namespace {
const std::string kApp = "Tallowick!";

QDateTime at(int year, int month, int day, int h = 12, int m = 0, int s = 0) {
    return QDateTime(QDate(year, month, day), QTime(h, m, s));
}

std::string storedDate() {
    return CRegistrySettings().ReadString(kApp, "UpgradeDate");
}
} // namespace

class TestUpgradeCheck : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::removeSettingsFile(); }

    void parseCheckDate_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("plain") << QByteArray("12 5 2002") << QDate(2002, 12, 5);
        QTest::newRow("extra blanks and tokens")
            << QByteArray("  3  7   2002 junk 9") << QDate(2002, 3, 7);
        QTest::newRow("leap day") << QByteArray("2 29 2004") << QDate(2004, 2, 29);
        QTest::newRow("two numbers") << QByteArray("3 7") << QDate();
        QTest::newRow("empty") << QByteArray("") << QDate();
        QTest::newRow("zero month") << QByteArray("0 7 2002") << QDate();
        QTest::newRow("zero day") << QByteArray("3 0 2002") << QDate();
        QTest::newRow("zero year") << QByteArray("3 7 0") << QDate();
        QTest::newRow("words") << QByteArray("march seventh two") << QDate();
        QTest::newRow("month 13") << QByteArray("13 5 2002") << QDate();
        QTest::newRow("day 40") << QByteArray("1 40 2002") << QDate();
        QTest::newRow("no leap day") << QByteArray("2 29 2003") << QDate();
        QTest::newRow("negative") << QByteArray("-3 5 2002") << QDate();
        QTest::newRow("huge year") << QByteArray("3 5 99999999999") << QDate();
        QTest::newRow("tabs do not split") << QByteArray("3\t5\t2002") << QDate();
    }
    void parseCheckDate() {
        QFETCH(QByteArray, text);
        QFETCH(QDate, date);
        const std::optional<QDate> got = upgrade::ParseCheckDate(text.toStdString());
        QCOMPARE(got.value_or(QDate()), date);
        if (date.isValid())
            QCOMPARE(QByteArray::fromStdString(upgrade::FormatCheckDate(date)),
                     QByteArray::number(date.month()) + ' ' + QByteArray::number(date.day()) + ' ' +
                         QByteArray::number(date.year()));
    }

    // The reminder is due 16 whole days after 01:01:01 of the stored day; what is stored at
    // exit is the stored day when nothing was due, else the day of the reminder.
    void dueRule_data() {
        QTest::addColumn<QByteArray>("stored"); // empty: no value
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("due");
        QTest::addColumn<QByteArray>("atExit");
        QTest::newRow("first start")
            << QByteArray() << at(2002, 12, 5) << false << QByteArray("12 5 2002");
        QTest::newRow("same day early") << QByteArray("12 5 2002") << at(2002, 12, 5, 0, 30)
                                        << false << QByteArray("12 5 2002");
        QTest::newRow("15 whole days") << QByteArray("11 20 2002") << at(2002, 12, 5, 23, 59)
                                       << false << QByteArray("11 20 2002");
        QTest::newRow("a second short of 16") << QByteArray("11 19 2002") << at(2002, 12, 5, 1, 1)
                                              << false << QByteArray("11 19 2002");
        QTest::newRow("16 whole days") << QByteArray("11 19 2002") << at(2002, 12, 5, 1, 1, 1)
                                       << true << QByteArray("12 5 2002");
        QTest::newRow("over a new year")
            << QByteArray("12 31 2002") << at(2003, 1, 16, 8) << true << QByteArray("1 16 2003");
        QTest::newRow("years old")
            << QByteArray("1 1 1999") << at(2002, 12, 5) << true << QByteArray("12 5 2002");
        QTest::newRow("future") << QByteArray("12 20 2002") << at(2002, 12, 5) << false
                                << QByteArray("12 20 2002");
        QTest::newRow("future, 15 days after")
            << QByteArray("12 20 2002") << at(2003, 1, 4, 23) << false << QByteArray("12 20 2002");
        QTest::newRow("future, 16 days after")
            << QByteArray("12 20 2002") << at(2003, 1, 5, 2) << true << QByteArray("1 5 2003");
        QTest::newRow("zero") << QByteArray("0 5 2002") << at(2002, 12, 5) << false
                              << QByteArray("12 5 2002");
        QTest::newRow("two numbers")
            << QByteArray("11 2002") << at(2002, 12, 5) << false << QByteArray("12 5 2002");
        QTest::newRow("no calendar date")
            << QByteArray("13 40 2002") << at(2002, 12, 5) << false << QByteArray("12 5 2002");
        QTest::newRow("dash") << QByteArray("-") << at(2002, 12, 5) << false
                              << QByteArray("12 5 2002");
        QTest::newRow("too long") << QByteArray("1 1 1999" + QByteArray(100, 'x'))
                                  << at(2002, 12, 5) << false << QByteArray("12 5 2002");
    }
    void dueRule() {
        QFETCH(QByteArray, stored);
        QFETCH(QDateTime, now);
        QFETCH(bool, due);
        QFETCH(QByteArray, atExit);
        if (!stored.isEmpty())
            writeSettingsFile("[General]\nUpgradeDate=" + stored + "\n");
        CUpgradeCheck check;
        check.SetTarget(kApp, 1.0f, "http://127.0.0.1:1/");
        check.SetClock([now] { return now; });
        QCOMPARE(check.IsCheckDue(), due);
        check.SaveCheckDate();
        QCOMPARE(QByteArray::fromStdString(storedDate()), atExit);
    }

    void nothingIsWrittenWithoutADate() {
        CUpgradeCheck check;
        check.SetTarget(kApp, 1.0f, "http://127.0.0.1:1/");
        check.SaveCheckDate();
        QVERIFY(!QFile::exists(tw::test::settingsPath()));
    }

    void parsePage_data() {
        QTest::addColumn<LineList>("lines");
        QTest::addColumn<bool>("versionRead");
        QTest::addColumn<float>("version"); // 5 before the page
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("link"); // "old" before the page
        const std::string v = "<!-- UPGRADE Version -->";
        const std::string d = "<!-- UPGRADE Description -->";
        const std::string e = "<!-- END UPGRADE Description -->";
        const std::string l = "<!-- UPGRADE Download Link -->";
        QTest::newRow("example") << LineList{"<html>", v,      "1.1",
                                             d,        "New:", "  fast",
                                             e,        l,      "http://x/setup.exe",
                                             "</html>"}
                                 << true << 1.1f << QByteArray("New:\n  fast\n")
                                 << QByteArray("http://x/setup.exe");
        QTest::newRow("CR LF page")
            << LineList{v + "\r", "1.2\r", d + "\r", "a\r", e + "\r", l + "\r", "http://y/\r"}
            << true << 1.2f << QByteArray("a\n") << QByteArray("http://y/");
        QTest::newRow("last version and link win, descriptions add up")
            << LineList{v, "1.1", l, "first", d, "one", e, v, "0.5", d, "two", e, l, "second"}
            << true << 0.5f << QByteArray("one\ntwo\n") << QByteArray("second");
        QTest::newRow("markers inside a line")
            << LineList{"x <!-- UPGRADE Version y", "2 and more", "<p><!-- UPGRADE Download Link"}
            << true << 2.0f << QByteArray() << QByteArray("old");
        QTest::newRow("version marker on the last line")
            << LineList{"text", v} << false << 5.0f << QByteArray() << QByteArray("old");
        QTest::newRow("link marker on the last line")
            << LineList{v, "1.5", l} << true << 1.5f << QByteArray() << QByteArray("old");
        QTest::newRow("description runs to the last line")
            << LineList{d, "a", "b"} << false << 5.0f << QByteArray("a\nb\n") << QByteArray("old");
        QTest::newRow("description and end on one line")
            << LineList{d + " text " + e, "after"} << false << 5.0f << QByteArray()
            << QByteArray("old");
        QTest::newRow("end line with text is not taken")
            << LineList{d, "kept", "dropped " + e, "after"} << false << 5.0f << QByteArray("kept\n")
            << QByteArray("old");
        QTest::newRow("value lines are not markers")
            << LineList{v, l, "http://not-a-link/", l, v, d, v, "9", e} << false << 5.0f
            << QByteArray("<!-- UPGRADE Version -->\n9\n")
            << QByteArray("<!-- UPGRADE Version -->");
        QTest::newRow("markers are case-sensitive")
            << LineList{"<!-- upgrade version", "3"} << false << 5.0f << QByteArray()
            << QByteArray("old");
        QTest::newRow("version with text after it")
            << LineList{v, "  1.25 beta 7"} << true << 1.25f << QByteArray() << QByteArray("old");
        QTest::newRow("long version line") << LineList{v, "3" + std::string(10000, '0') + "x"}
                                           << false << 5.0f << QByteArray() << QByteArray("old");
        QTest::newRow("version line without a number")
            << LineList{v, "soon"} << false << 5.0f << QByteArray() << QByteArray("old");
        QTest::newRow("empty page")
            << LineList{} << false << 5.0f << QByteArray() << QByteArray("old");
    }
    void parsePage() {
        QFETCH(LineList, lines);
        QFETCH(bool, versionRead);
        QFETCH(float, version);
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, link);
        CUpgradeCheck check;
        check.m_fLatestVersion = 5.0f;
        check.m_strDownloadLink = "old";
        check.m_strDescription = "stale";
        check.ParseUpgradePage(&lines);
        QCOMPARE(check.m_bVersionRead, versionRead);
        QCOMPARE(check.m_fLatestVersion, version);
        QCOMPARE(QByteArray::fromStdString(check.m_strDescription), description);
        QCOMPARE(QByteArray::fromStdString(check.m_strDownloadLink), link);
    }

    void noPageReadsNothing() {
        CUpgradeCheck check;
        check.m_strDescription = "stale";
        check.ParseUpgradePage(nullptr);
        QVERIFY(!check.m_bVersionRead);
        QVERIFY(check.m_strDescription.empty());
    }

    void versions_data() {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("text");
        const QByteArray none = "\nNo upgrade is available.";
        QTest::newRow("same") << QByteArray("1.0") << int(CUpgradeCheck::Outcome::NotNewer)
                              << "You have the most recent version v1.00." + none;
        QTest::newRow("older") << QByteArray("0.9") << int(CUpgradeCheck::Outcome::NotNewer)
                               << "You have the most recent version v0.90." + none;
        QTest::newRow("newer") << QByteArray("1.01") << int(CUpgradeCheck::Outcome::Newer)
                               << QByteArray("A new upgrade of Tallowick! is available for "
                                             "download.\n\nDescription:\n\nFaster ranking.\nFewer "
                                             "bugs.\n\n\nWould you like to download the upgrade "
                                             "now?");
        QTest::newRow("just above in float")
            << QByteArray("1.0000001") << int(CUpgradeCheck::Outcome::Newer) << QByteArray();
        QTest::newRow("equal once narrowed")
            << QByteArray("1.00000001") << int(CUpgradeCheck::Outcome::NotNewer)
            << "You have the most recent version v1.00." + none;
    }
    void versions() {
        QFETCH(QByteArray, version);
        QFETCH(int, outcome);
        QFETCH(QByteArray, text);
        tw::test::PageServer server;
        server.setPage(tw::test::upgradePage(version.toStdString(), "http://x/", "\r\n"));
        CUpgradeCheck check;
        check.SetTarget(kApp, 1.0f, server.url());
        const QDateTime now = at(2002, 12, 5);
        check.SetClock([now] { return now; });
        QCOMPARE(int(check.CheckNow()), outcome);
        QCOMPARE(check.m_dtLastCheck, now);
        QCOMPARE(check.m_strDownloadLink, std::string("http://x/"));
        if (text.isEmpty())
            return;
        const std::string shown = outcome == int(CUpgradeCheck::Outcome::Newer)
                                      ? check.NewUpgradeText()
                                      : check.NotNewerText();
        QCOMPARE(QByteArray::fromStdString(shown), text);
    }

    void unreadablePageIsNotReportedAsUpToDate() {
        tw::test::PageServer server;
        server.setPage("<html>maintenance</html>\n");
        CUpgradeCheck check;
        check.SetTarget(kApp, 1.0f, server.url());
        // A version read earlier in the run does not make a later unreadable page look newer.
        server.setPage(tw::test::upgradePage("2.0"));
        QCOMPARE(check.CheckNow(), CUpgradeCheck::Outcome::Newer);
        server.setPage("<html>maintenance</html>\n");
        check.m_dtLastCheck = QDateTime();
        QCOMPARE(check.CheckNow(), CUpgradeCheck::Outcome::Unreadable);
        QVERIFY(check.m_dtLastCheck.isValid()); // counts as a check
        QCOMPARE(QByteArray::fromStdString(check.UnreadableText()),
                 "The upgrade page could not be read.\n\n" +
                     QByteArray::fromStdString(server.url()));

        // A missing page is a page too, only without a version.
        check.SetTarget(kApp, 1.0f, server.url("/missing.html"));
        QCOMPARE(check.CheckNow(), CUpgradeCheck::Outcome::Unreadable);
    }

    void unreachableServer() {
        CUpgradeCheck check;
        check.SetTarget(kApp, 1.0f, "http://127.0.0.1:1/tallowick_upgrade_check.html");
        QCOMPARE(check.CheckNow(), CUpgradeCheck::Outcome::Unreadable);
        QVERIFY(check.m_dtLastCheck.isValid());
        // The fetcher's own words say why.
        QVERIFY(!check.m_fetcher.LastError().empty());
        QCOMPARE(check.UnreadableText(),
                 "The upgrade page could not be read.\n\n" + check.m_fetcher.LastError());
    }
};

TW_TEST_MAIN_CORE(TestUpgradeCheck)
#include "test_upgradecheck.moc"
