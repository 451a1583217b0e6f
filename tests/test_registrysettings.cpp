#include "settings/RegistrySettings.h"
#include "settings/ServiceAddresses.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QStandardPaths>

using tw::test::readSettingsFile;
using tw::test::settingsPath;
using tw::test::writeSettingsFile;

namespace {
const std::string kApp = "Tallowick!";
}

class TestRegistrySettings : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::removeSettingsFile(); }

    void fileLivesInTheUsersConfigFolder() {
        // Under test the user's config folder is a temporary one (XDG_CONFIG_HOME outside tests).
        const QString expected =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QStringLiteral("/Tallowick!/Tallowick!.ini");
        QVERIFY(expected.startsWith(tw::test::isolate().path()));
        QCOMPARE(settingsPath(), expected);
        QVERIFY(CRegistrySettings().WriteString(kApp, "m_MaxPages", "7"));
        QVERIFY(QFile::exists(expected));
    }

    // What a hand-edited value reads as.
    void readingRules_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("number") << QByteArray("20") << QByteArray("20") << 20;
        QTest::newRow("dash is absent") << QByteArray("-") << QByteArray() << -1;
        QTest::newRow("quoted dash is absent") << QByteArray("\"-\"") << QByteArray() << -1;
        QTest::newRow("empty") << QByteArray("") << QByteArray() << -1;
        QTest::newRow("minus one") << QByteArray("-1") << QByteArray("-1") << -1;
        QTest::newRow("word") << QByteArray("abc") << QByteArray("abc") << 0;
        QTest::newRow("blanks around")
            << QByteArray("  7 apples \t") << QByteArray("7 apples") << 7;
        QTest::newRow("quoted") << QByteArray("\" 8 \"") << QByteArray(" 8 ") << 8;
        QTest::newRow("huge") << QByteArray("99999999999999999999")
                              << QByteArray("99999999999999999999") << INT_MAX;
        QTest::newRow("commas and semicolons") << QByteArray("3,4;5") << QByteArray("3,4;5") << 3;
        QTest::newRow("type tag") << QByteArray("@Invalid()") << QByteArray("@Invalid()") << 0;
        QTest::newRow("escapes") << QByteArray("a\\tb\\x41\\q\\") << QByteArray("a\tbA\\q\\") << 0;
        QTest::newRow("cut at NUL") << QByteArray("12\\x00junk") << QByteArray("12") << 12;
        QTest::newRow("999 bytes") << QByteArray(999, '5') << QByteArray(999, '5') << INT_MAX;
        QTest::newRow("1000 bytes") << QByteArray(1000, '5') << QByteArray() << -1;
        QTest::newRow("5000 bytes") << QByteArray(5000, 'x') << QByteArray() << -1;
    }
    void readingRules() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, text);
        QFETCH(int, number);
        writeSettingsFile("[General]\nvalue=" + line + "\r\n");
        CRegistrySettings store;
        QCOMPARE(QByteArray::fromStdString(store.ReadString(kApp, "value")), text);
        QCOMPARE(store.ReadInt(kApp, "value"), number);
    }

    void byteStringsRoundTrip_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("commas") << QByteArray("a, b,c");
        QTest::newRow("type tag") << QByteArray("@ByteArray(abc)");
        QTest::newRow("double at") << QByteArray("@@x");
        QTest::newRow("outer blanks") << QByteArray("  lead and trail ");
        QTest::newRow("one blank") << QByteArray(" ");
        QTest::newRow("quoted") << QByteArray("\"quoted\"");
        QTest::newRow("two quotes") << QByteArray("\"\"");
        QTest::newRow("one quote") << QByteArray("\"");
        QTest::newRow("comment-like") << QByteArray(";not a comment # nor this");
        QTest::newRow("equals") << QByteArray("a=b=c");
        QTest::newRow("section-like") << QByteArray("[General]");
        QTest::newRow("backslashes") << QByteArray("back\\slash\\x41\\n\\");
        QTest::newRow("line breaks") << QByteArray("one\r\ntwo\nthree\r");
        QTest::newRow("controls") << QByteArray("\t\x01\x1f\x7f");
        QTest::newRow("not utf-8") << QByteArray("\xff\xfe\x80 bytes");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac");
        QTest::newRow("999 mixed")
            << QByteArray(333, ',') + QByteArray(333, '\\') + QByteArray(333, '@');
    }
    void byteStringsRoundTrip() {
        QFETCH(QByteArray, value);
        CRegistrySettings store;
        QVERIFY(store.WriteString(kApp, "other", "kept"));
        QVERIFY(store.WriteString(kApp, "value", value.toStdString()));
        QCOMPARE(QByteArray::fromStdString(store.ReadString(kApp, "value")), value);
        QCOMPARE(store.ReadString(kApp, "other"), std::string("kept"));
        // One line per value: nothing in a value can start a line of its own.
        QCOMPARE(readSettingsFile().count('\n'), 3);
    }

    void writeLimits() {
        CRegistrySettings store;
        QVERIFY(store.WriteString(kApp, "nul", std::string("ab\0cd", 5)));
        QCOMPARE(store.ReadString(kApp, "nul"), std::string("ab"));

        QVERIFY(store.WriteString(kApp, "big", std::string(12000, 'x')));
        QVERIFY(readSettingsFile().contains("big=" + QByteArray(9999, 'x') + "\n"));
        QCOMPARE(store.ReadString(kApp, "big"), std::string());
    }

    void damagedFileKeepsWhatIsReadable() {
        static const char damaged[] = "garbage without equals\n"
                                      "[unclosed\n"
                                      "=no name\n"
                                      "\x00\xff\xfe binary junk\n"
                                      "; comment=ignored\n"
                                      "   m_MaxPages  =  15  \n"
                                      "[General]\n"
                                      "bGoogle=\"0\"\n"
                                      "[Other]\n"
                                      "m_MaxThreads=99\n"
                                      "trailing line without end";
        writeSettingsFile(QByteArray(damaged, sizeof(damaged) - 1));
        CRegistrySettings store;
        QCOMPARE(store.ReadString(kApp, "m_MaxPages"), std::string("15"));
        QCOMPARE(store.ReadInt(kApp, "bGoogle"), 0);
        QCOMPARE(store.ReadInt(kApp, "m_MaxThreads"), -1); // it is in another section
        QCOMPARE(store.ReadString(kApp, " comment"), std::string());

        QVERIFY(store.WriteString(kApp, "bLycos", "1"));
        QCOMPARE(store.ReadString(kApp, "m_MaxPages"), std::string("15"));
        QCOMPARE(store.ReadInt(kApp, "bGoogle"), 0);
        QCOMPARE(store.ReadInt(kApp, "bLycos"), 1);
        QVERIFY(readSettingsFile().contains("[Other]\nm_MaxThreads=99\n"));
    }

    void missingFolderIsCreatedByTheFirstWrite() {
        const std::string app = "Tallowick fresh";
        const QString folder = QFileInfo(settingsPath(app)).path();
        QVERIFY(!QDir(folder).exists());
        CRegistrySettings store;
        QCOMPARE(store.ReadString(app, "m_MaxPages"), std::string());
        QCOMPARE(store.ReadInt(app, "m_MaxPages"), -1);
        QVERIFY(!QDir(folder).exists()); // reading creates nothing
        QVERIFY(store.WriteString(app, "m_MaxPages", "5"));
        QCOMPARE(store.ReadInt(app, "m_MaxPages"), 5);
    }

    void unwritableStoreFailsQuietly() {
        const std::string app = "Tallowick blocked";
        // A folder where the file should be: nothing can be written there.
        QVERIFY(QDir().mkpath(settingsPath(app)));
        CRegistrySettings store;
        QCOMPARE(store.ReadString(app, "m_MaxPages"), std::string());
        QVERIFY(!store.WriteString(app, "m_MaxPages", "5"));
        QVERIFY(QFileInfo(settingsPath(app)).isDir());
    }

    void serviceAddresses_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("google");
        QTest::addColumn<QByteArray>("looksmart");
        QTest::addColumn<QByteArray>("upgrade");
        const QByteArray upgrade = "http://www.tallowick.example/tallowick_upgrade_check.html";
        QTest::newRow("none") << QByteArray() << QByteArray("www.google.com")
                              << QByteArray("search.looksmart.com") << upgrade;
        QTest::newRow("dash") << QByteArray("GoogleHost=-\nUpgradeUrl=-\n")
                              << QByteArray("www.google.com") << QByteArray("search.looksmart.com")
                              << upgrade;
        QTest::newRow("set") << QByteArray("GoogleHost=127.0.0.1:8080\n"
                                           "LooksmartHost = localhost:9 \n"
                                           "UpgradeUrl=http://127.0.0.1:8080/up.html\n")
                             << QByteArray("127.0.0.1:8080") << QByteArray("localhost:9")
                             << QByteArray("http://127.0.0.1:8080/up.html");
    }
    void serviceAddresses() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, google);
        QFETCH(QByteArray, looksmart);
        QFETCH(QByteArray, upgrade);
        if (!file.isEmpty())
            writeSettingsFile("[General]\n" + file);
        QCOMPARE(QByteArray::fromStdString(EngineHost(Google)), google);
        QCOMPARE(QByteArray::fromStdString(EngineHost(LookSmart)), looksmart);
        QCOMPARE(QByteArray::fromStdString(UpgradePageUrl()), upgrade);
        QCOMPARE(EngineHost(AltaVista), std::string("www.altavista.com"));
        QCOMPARE(EngineHost(Lycos), std::string("search.lycos.com"));
        QCOMPARE(readSettingsFile(), file.isEmpty() ? QByteArray() : "[General]\n" + file);
    }
};

TW_TEST_MAIN_CORE(TestRegistrySettings)
#include "test_registrysettings.moc"
