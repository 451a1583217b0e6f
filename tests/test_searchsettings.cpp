#include "settings/SearchSettings.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"

using tw::test::readSettingsFile;
using tw::test::writeSettingsFile;

class TestSearchSettings : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::removeSettingsFile(); }

    void firstStartDefaults() {
        CSearchSettings s;
        s.Load();
        QCOMPARE(s.m_MaxPages, 20);
        QCOMPARE(s.m_MaxThreads, 3);
        QVERIFY(s.EngineEnabled(Google) && s.EngineEnabled(AltaVista) && s.EngineEnabled(Lycos) &&
                s.EngineEnabled(LookSmart));
        QVERIFY(!QFile::exists(tw::test::settingsPath())); // loading writes nothing
    }

    void engineFlags_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("flag");
        QTest::newRow("dash keeps default") << QByteArray("-") << 1;
        QTest::newRow("minus one keeps default") << QByteArray("-1") << 1;
        QTest::newRow("empty keeps default") << QByteArray("") << 1;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("one") << QByteArray("1") << 1;
        QTest::newRow("seven") << QByteArray("7") << 1;
        QTest::newRow("minus two") << QByteArray("-2") << 1;
        QTest::newRow("word") << QByteArray("abc") << 0;
        QTest::newRow("blank zero") << QByteArray("\" 0\"") << 0;
        QTest::newRow("huge") << QByteArray("99999999999999999999") << 1;
        QTest::newRow("too long") << QByteArray(5000, '0') << 1;
    }
    void engineFlags() {
        QFETCH(QByteArray, stored);
        QFETCH(int, flag);
        // Each engine reads its own value: only Lycos gets the stored text.
        writeSettingsFile("[General]\nbGoogle=0\nbAltavista=1\nbLycos=" + stored +
                          "\nbLooksmart=0\n");
        CSearchSettings s;
        s.Load();
        QCOMPARE(s.m_bLycos, flag);
        QCOMPARE(s.m_bGoogle, 0);
        QCOMPARE(s.m_bAltavista, 1);
        QCOMPARE(s.m_bLooksmart, 0);
        QCOMPARE(s.EngineEnabled(Lycos), flag == 1);
    }

    void numbers_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("pages");
        QTest::newRow("missing") << QByteArray() << 20;
        QTest::newRow("dash") << QByteArray("m_MaxPages=-\n") << 20;
        QTest::newRow("empty") << QByteArray("m_MaxPages=\n") << 20;
        QTest::newRow("plain") << QByteArray("m_MaxPages=40\n") << 40;
        QTest::newRow("not in the list") << QByteArray("m_MaxPages=12\n") << 12;
        QTest::newRow("word") << QByteArray("m_MaxPages=abc\n") << 0;
        QTest::newRow("minus one") << QByteArray("m_MaxPages=-1\n") << -1;
        QTest::newRow("huge") << QByteArray("m_MaxPages=99999999999999999999\n") << INT_MAX;
        QTest::newRow("5000 chars") << "m_MaxPages=" + QByteArray(5000, '9') + "\n" << 20;
        QTest::newRow("other section") << QByteArray("[Else]\nm_MaxPages=5\n") << 20;
    }
    void numbers() {
        QFETCH(QByteArray, stored);
        QFETCH(int, pages);
        writeSettingsFile("[General]\nm_MaxThreads=8\n" + stored);
        CSearchSettings s;
        s.Load();
        QCOMPARE(s.m_MaxPages, pages);
        QCOMPARE(s.m_MaxThreads, 8);
    }

    void saveWritesAllSix() {
        CSearchSettings s;
        s.m_MaxPages = 12;
        s.m_bAltavista = 0;
        s.Save();
        QCOMPARE(readSettingsFile(), QByteArray("[General]\n"
                                                "bAltavista=0\n"
                                                "bGoogle=1\n"
                                                "bLooksmart=1\n"
                                                "bLycos=1\n"
                                                "m_MaxPages=12\n"
                                                "m_MaxThreads=3\n"));
        CSearchSettings back;
        back.Load();
        QCOMPARE(back.m_MaxPages, 12);
        QCOMPARE(back.m_bAltavista, 0);
        QCOMPARE(back.m_bGoogle, 1);
    }
};

TW_TEST_MAIN_CORE(TestSearchSettings)
#include "test_searchsettings.moc"
