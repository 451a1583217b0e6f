#include "settings/RegistrySettings.h"
#include "settings/SearchSettings.h"
#include "settings/ServiceAddresses.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"

using tw::test::readSettingsFile;
using tw::test::writeSettingsFile;

namespace {
const std::string kApp = "Tallowick!";
}

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init() { QFile::remove(tw::test::settingsPath()); }

    // What a hand-edited value reads as.
    void readingRules_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("number") << QByteArray("20") << QByteArray("20") << 20;
        QTest::newRow("dash") << QByteArray("-") << QByteArray() << -1;
        QTest::newRow("empty") << QByteArray("") << QByteArray() << -1;
        QTest::newRow("word") << QByteArray("abc") << QByteArray("abc") << 0;
        QTest::newRow("blanks, quotes") << QByteArray(" \" 8 x\" ") << QByteArray(" 8 x") << 8;
        QTest::newRow("list-like") << QByteArray("3,4;5 @x") << QByteArray("3,4;5 @x") << 3;
        QTest::newRow("escapes, NUL")
            << QByteArray("a\\tb\\x41\\q\\x00cut") << QByteArray("a\tbA\\q") << 0;
        QTest::newRow("999 bytes") << QByteArray(999, '5') << QByteArray(999, '5') << INT_MAX;
        QTest::newRow("1000 bytes") << QByteArray(1000, '5') << QByteArray() << -1;
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
        QTest::newRow("type tags") << QByteArray("@ByteArray(abc) @@x");
        QTest::newRow("outer blanks") << QByteArray("  lead and trail ");
        QTest::newRow("quoted") << QByteArray("\"quoted\"");
        QTest::newRow("syntax") << QByteArray("[General];#a=b");
        QTest::newRow("backslashes") << QByteArray("back\\slash\\x41\\n\\");
        QTest::newRow("line breaks") << QByteArray("one\r\ntwo\nthree\r");
        QTest::newRow("bytes") << QByteArray("\t\x01\x7f\xff\xfe caf\xc3\xa9");
    }
    void byteStringsRoundTrip() {
        QFETCH(QByteArray, value);
        CRegistrySettings store;
        QVERIFY(store.WriteString(kApp, "value", value.toStdString()));
        QVERIFY(store.WriteString(kApp, "other", "kept"));
        QCOMPARE(QByteArray::fromStdString(store.ReadString(kApp, "value")), value);
        QCOMPARE(store.ReadString(kApp, "other"), std::string("kept"));
    }

    void damagedOrUnwritableStoreNeverFails() {
        static const char damaged[] = "garbage\n[unclosed\n=no name\n\x00\xff junk\n; c=1\n"
                                      "  m_MaxPages  =  15  \n[Other]\nm_MaxThreads=99\nlast";
        writeSettingsFile(QByteArray(damaged, sizeof(damaged) - 1));
        CRegistrySettings store;
        QCOMPARE(store.ReadString(kApp, "m_MaxPages"), std::string("15"));
        QCOMPARE(store.ReadInt(kApp, "m_MaxThreads"), -1); // another section
        // Writing keeps what could be read; a value is cut at 9,999 bytes.
        QVERIFY(store.WriteString(kApp, "big", std::string(12000, 'x')));
        QCOMPARE(store.ReadString(kApp, "m_MaxPages"), std::string("15"));
        QVERIFY(readSettingsFile().contains("\nbig=" + QByteArray(9999, 'x') + "\n"));
        QVERIFY(readSettingsFile().contains("[Other]\nm_MaxThreads=99\n"));

        // A folder where the file should be: nothing can be written, nothing breaks.
        const std::string blocked = "Tallowick blocked";
        QVERIFY(QDir().mkpath(QString::fromStdString(CRegistrySettings::Location(blocked))));
        QVERIFY(!store.WriteString(blocked, "m_MaxPages", "5"));
        QCOMPARE(store.ReadInt(blocked, "m_MaxPages"), -1);
    }

    void searchSettings_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("values"); // pages, threads, Google, AltaVista, Lycos
        QTest::newRow("first start") << QByteArray() << QList<int>{20, 3, 1, 1, 1};
        QTest::newRow("dash, minus one, empty keep engines on")
            << QByteArray("bGoogle=-\nbAltavista=-1\nbLycos=\n") << QList<int>{20, 3, 1, 1, 1};
        QTest::newRow("0 off, 7 on, word off")
            << QByteArray("bGoogle=0\nbAltavista=7\nbLycos=abc\n") << QList<int>{20, 3, 0, 1, 0};
        QTest::newRow("numbers as stored")
            << QByteArray("m_MaxPages=12\nm_MaxThreads=-1\n") << QList<int>{12, -1, 1, 1, 1};
        QTest::newRow("odd numbers")
            << QByteArray("m_MaxPages=99999999999999999999\nm_MaxThreads=abc\n")
            << QList<int>{INT_MAX, 0, 1, 1, 1};
        QTest::newRow("too long is absent")
            << "m_MaxPages=" + QByteArray(5000, '7') + "\nbGoogle=" + QByteArray(5000, '0')
            << QList<int>{20, 3, 1, 1, 1};
    }
    void searchSettings() {
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, values);
        if (!file.isEmpty())
            writeSettingsFile("[General]\n" + file);
        CSearchSettings s;
        s.Load();
        QCOMPARE(
            (QList<int>{s.m_MaxPages, s.m_MaxThreads, s.m_bGoogle, s.m_bAltavista, s.m_bLycos}),
            values);
        QCOMPARE(s.m_bLooksmart, 1);
        QCOMPARE(QFile::exists(tw::test::settingsPath()),
                 !file.isEmpty()); // reading writes nothing
    }

    void serviceAddresses() {
        QCOMPARE(UpgradePageUrl(),
                 std::string("http://www.tallowick.example/tallowick_upgrade_check.html"));
        writeSettingsFile("[General]\nGoogleHost=127.0.0.1:8080\nAltavistaHost=-\n"
                          "UpgradeUrl=http://127.0.0.1:8080/up.html\n");
        QCOMPARE(EngineHost(Google), std::string("127.0.0.1:8080"));
        QCOMPARE(EngineHost(AltaVista), std::string("www.altavista.com"));
        QCOMPARE(EngineHost(Lycos), std::string("search.lycos.com"));
        QCOMPARE(EngineHost(LookSmart), std::string("search.looksmart.com"));
        QCOMPARE(UpgradePageUrl(), std::string("http://127.0.0.1:8080/up.html"));
    }
};

TW_TEST_MAIN_CORE(TestSettings)
#include "test_settings.moc"
