#include "settings/RegistrySettings.h"
#include "settings/SearchSettings.h"
#include "settings/ServiceAddresses.h"
#include "support/SettingsFile.h"
#include "support/TestEnv.h"

#include <sys/stat.h>

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

    // A file too large, or no regular file, is neither read (nor waited on) nor replaced, and
    // the reason names it; one of exactly the limit is read.
    void refusedFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason"); // empty: read as usual
        QTest::newRow("1 MiB") << "limit" << QString();
        QTest::newRow("over 1 MiB") << "big"
                                    << "larger than 1 MiB";
        QTest::newRow("pipe") << "fifo"
                              << "not a regular file";
        QTest::newRow("link to /dev/zero") << "zero"
                                           << "not a regular file";
        QTest::newRow("folder") << "folder"
                                << "not a regular file";
    }
    void refusedFiles() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = tw::test::settingsPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        const QByteArray line = "m_MaxPages=7\n";
        const qsizetype limit = qsizetype(CRegistrySettings::kMaxFileSize);
        if (kind == "limit" || kind == "big") {
            const qsizetype size = kind == "limit" ? limit : limit + 1;
            writeSettingsFile(QByteArray(size - line.size() - 1, '#') + "\n" + line);
        } else if (kind == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (kind == "zero") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else {
            QVERIFY(QDir().mkdir(path));
        }
        const QByteArray before = kind == "big" ? readSettingsFile() : QByteArray();
        CRegistrySettings store;
        std::string error;
        if (reason.isEmpty()) {
            QVERIFY(CRegistrySettings::CheckStore(kApp, &error));
            QCOMPARE(store.ReadInt(kApp, "m_MaxPages"), 7);
            return;
        }
        QVERIFY(!CRegistrySettings::CheckStore(kApp, &error));
        const QString message = QString::fromStdString(error);
        QVERIFY2(message.contains(reason), qPrintable(message));
        QVERIFY2(message.contains(path), qPrintable(message));
        QCOMPARE(store.ReadInt(kApp, "m_MaxPages"), -1);
        CSearchSettings settings;
        settings.Load();
        QCOMPARE(settings.m_MaxPages, 20);
        QVERIFY(!store.WriteString(kApp, "m_MaxPages", "5"));
        const QFileInfo info(path);
        if (kind == "big")
            QCOMPARE(readSettingsFile(), before);
        else if (kind == "zero")
            QCOMPARE(info.symLinkTarget(), QStringLiteral("/dev/zero"));
        else
            QVERIFY(!info.isFile());
        if (kind == "folder")
            QVERIFY(QDir().rmdir(path));
        else
            QVERIFY(QFile::remove(path));
    }

    // A write changes the line of its value and nothing else: comments, blank lines, unknown
    // values and lines of no meaning stay where the user put them.
    void writeKeepsTheRestOfTheFile_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");
        const QByteArray notes = "; my settings\n# hosts for the simulator\n[General]\n"
                                 "GoogleHost = 127.0.0.1:8080\nMyNote=keep\n\n"
                                 "not a setting at all\nm_MaxPages =  \"20\"  \n";
        QTest::newRow("same value: untouched")
            << notes << QByteArray("m_MaxPages") << QByteArray("20") << notes;
        QTest::newRow("changed value: its line only")
            << notes << QByteArray("m_MaxPages") << QByteArray("5")
            << QByteArray(notes).replace("m_MaxPages =  \"20\"  ", "m_MaxPages =  5");
        QTest::newRow("new value in name order")
            << notes << QByteArray("bGoogle") << QByteArray("0")
            << QByteArray(notes).replace("m_MaxPages", "bGoogle=0\nm_MaxPages");
        QTest::newRow("new value after the last, before closing comments")
            << QByteArray("[General]\nbGoogle=1\n; end of my values\n\n[Other]\nx=1\n")
            << QByteArray("m_MaxPages") << QByteArray("5")
            << QByteArray("[General]\nbGoogle=1\nm_MaxPages=5\n; end of my values\n\n"
                          "[Other]\nx=1\n");
        QTest::newRow("CR LF file")
            << QByteArray("; note\r\n[General]\r\nUpgradeDate=1 2 2003\r\nzeta=1\r\n")
            << QByteArray("bLycos") << QByteArray("1")
            << QByteArray("; note\r\n[General]\r\nUpgradeDate=1 2 2003\r\nbLycos=1\r\nzeta=1\r\n");
        QTest::newRow("last line without line end")
            << QByteArray("[General]\nbGoogle=1") << QByteArray("bLycos") << QByteArray("0")
            << QByteArray("[General]\nbGoogle=1\nbLycos=0\n");
        QTest::newRow("changed value on the last line")
            << QByteArray("[General]\nbGoogle=1") << QByteArray("bGoogle") << QByteArray("0")
            << QByteArray("[General]\nbGoogle=0");
        QTest::newRow("every line of a repeated value")
            << QByteArray("[General]\nbLycos=1\n;x\nbLycos = 1\n") << QByteArray("bLycos")
            << QByteArray("0") << QByteArray("[General]\nbLycos=0\n;x\nbLycos = 0\n");
        QTest::newRow("values above the first section are the General ones")
            << QByteArray("; top\nbGoogle=1\n[Other]\nm_MaxPages=99\n") << QByteArray("m_MaxPages")
            << QByteArray("5")
            << QByteArray("; top\nbGoogle=1\nm_MaxPages=5\n[Other]\nm_MaxPages=99\n");
        QTest::newRow("only other sections: General above them")
            << QByteArray("; top\n[Other]\nx=1\n") << QByteArray("bGoogle") << QByteArray("1")
            << QByteArray("; top\n[General]\nbGoogle=1\n\n[Other]\nx=1\n");
        QTest::newRow("comments only")
            << QByteArray("# nothing yet") << QByteArray("bGoogle") << QByteArray("1")
            << QByteArray("# nothing yet\n[General]\nbGoogle=1\n");
        QTest::newRow("escaped value")
            << QByteArray("[General]\n;c\nv=a\n") << QByteArray("v") << QByteArray(" a\tb ")
            << QByteArray("[General]\n;c\nv=\\x20a\\tb\\x20\n");
    }
    void writeKeepsTheRestOfTheFile() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        writeSettingsFile(before);
        CRegistrySettings store;
        QVERIFY(store.WriteString(kApp, name.toStdString(), value.toStdString()));
        QCOMPARE(readSettingsFile(), after);
        QCOMPARE(QByteArray::fromStdString(store.ReadString(kApp, name.toStdString())), value);
    }

    // The file holds the result services' keys: made owner-only, and made so again when it was
    // opened up by hand.
    void fileIsOwnerOnly() {
        const auto mode = [] {
            struct stat st {};
            return ::stat(QFile::encodeName(tw::test::settingsPath()).constData(), &st) == 0
                       ? int(st.st_mode & 0777)
                       : -1;
        };
        CRegistrySettings store;
        QVERIFY(store.WriteString(kApp, "SerperKey", "sk-a"));
        QCOMPARE(mode(), 0600);
        QVERIFY(::chmod(QFile::encodeName(tw::test::settingsPath()).constData(), 0644) == 0);
        QVERIFY(store.WriteString(kApp, "SerperKey", "sk-b"));
        QCOMPARE(mode(), 0600);
        QCOMPARE(store.ReadString(kApp, "SerperKey"), std::string("sk-b"));
    }

    // What the program writes at every exit and on the settings dialog's OK leaves a
    // hand-written file as it was apart from the values themselves.
    void savingKeepsCommentsAndUnknownValues() {
        const QByteArray before = "; Tallowick! settings\n[General]\n"
                                  "# local engines\nGoogleHost=127.0.0.1:8080\n"
                                  "UpgradeUrl=http://127.0.0.1:8080/up.html\n\n"
                                  "FutureOption=yes\nm_MaxPages=5\n";
        writeSettingsFile(before);
        CSearchSettings s;
        s.Load();
        s.SetEngineEnabled(Lycos, false);
        s.Save();
        CRegistrySettings().WriteString(kApp, "UpgradeDate", "12 5 2002");
        QCOMPARE(readSettingsFile(),
                 QByteArray("; Tallowick! settings\n[General]\n"
                            "# local engines\nGoogleHost=127.0.0.1:8080\n"
                            "UpgradeDate=12 5 2002\n"
                            "UpgradeUrl=http://127.0.0.1:8080/up.html\n\n"
                            "FutureOption=yes\nbAltavista=1\nbGoogle=1\nbLooksmart=1\nbLycos=0\n"
                            "m_MaxPages=5\nm_MaxThreads=3\n"));
        // Saved again unchanged: the file is not even rewritten.
        const QDateTime earlier = QDateTime::currentDateTime().addSecs(-3600);
        {
            QFile file(tw::test::settingsPath());
            QVERIFY(file.open(QIODevice::Append));
            QVERIFY(file.setFileTime(earlier, QFileDevice::FileModificationTime));
        }
        s.Save();
        QCOMPARE(QFileInfo(tw::test::settingsPath()).lastModified(), earlier);
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
        QCOMPARE((QList<int>{s.m_MaxPages, s.m_MaxThreads, s.m_engineOn[Google],
                             s.m_engineOn[AltaVista], s.m_engineOn[Lycos]}),
                 values);
        QCOMPARE(s.m_engineOn[LookSmart], 1);
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
