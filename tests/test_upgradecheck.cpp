#include "settings/RegistrySettings.h"
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
    void init() { QFile::remove(tw::test::settingsPath()); }

    // The reminder is due 16 whole days after 01:01:01 of the stored day; what is stored at
    // exit is the stored day when nothing was due, else the day of the reminder.
    void dueRule_data() {
        QTest::addColumn<QByteArray>("stored"); // empty: no value
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("due");
        QTest::addColumn<QByteArray>("atExit");
        QTest::newRow("first start")
            << QByteArray() << at(2002, 12, 5) << false << QByteArray("12 5 2002");
        QTest::newRow("15 whole days") << QByteArray("11 20 2002") << at(2002, 12, 5, 23, 59)
                                       << false << QByteArray("11 20 2002");
        QTest::newRow("a second short of 16") << QByteArray("11 19 2002") << at(2002, 12, 5, 1, 1)
                                              << false << QByteArray("11 19 2002");
        QTest::newRow("16 whole days") << QByteArray("11 19 2002") << at(2002, 12, 5, 1, 1, 1)
                                       << true << QByteArray("12 5 2002");
        QTest::newRow("future") << QByteArray("12 20 2002") << at(2002, 12, 5) << false
                                << QByteArray("12 20 2002");
        QTest::newRow("future, 16 days after")
            << QByteArray("12 20 2002") << at(2003, 1, 5, 2) << true << QByteArray("1 5 2003");
        QTest::newRow("zero") << QByteArray("0 5 2002") << at(2002, 12, 5) << false
                              << QByteArray("12 5 2002");
        QTest::newRow("no calendar date")
            << QByteArray("13 40 2002") << at(2002, 12, 5) << false << QByteArray("12 5 2002");
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
        QTest::newRow("long version line") << LineList{v, "3" + std::string(10000, '0') + "x"}
                                           << false << 5.0f << QByteArray() << QByteArray("old");
        // Only a decimal number is a version: hexadecimal, infinity and not-a-number are not
        // read as one, so none of them announces an upgrade.
        QTest::newRow("hexadecimal version")
            << LineList{v, "0x2"} << true << 0.0f << QByteArray() << QByteArray("old");
        QTest::newRow("infinite version")
            << LineList{v, "inf"} << false << 5.0f << QByteArray() << QByteArray("old");
        QTest::newRow("not-a-number version")
            << LineList{v, "nan"} << false << 5.0f << QByteArray() << QByteArray("old");
        QTest::newRow("exponent") << LineList{v, "1.5e1\r"} << true << 15.0f << QByteArray()
                                  << QByteArray("old");
        QTest::newRow("exponent beyond a float")
            << LineList{v, "1e39"} << false << 5.0f << QByteArray() << QByteArray("old");
        QTest::newRow("version line without a number")
            << LineList{v, "soon"} << false << 5.0f << QByteArray() << QByteArray("old");
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
};

TW_TEST_MAIN_CORE(TestUpgradeCheck)
#include "test_upgradecheck.moc"
