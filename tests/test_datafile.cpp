#include "data/DataFile.h"
#include "data/DataFileSession.h"
#include "data/EntryOptions.h"
#include "support/FileSizeLimit.h"
#include "support/ScopedNobody.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using tw::test::readFile;
using tw::test::writeFile;
using Entry = QList<QByteArray>; // url, keywords, google, altavista, lycos, looksmart

QList<Entry> entriesOf(const std::vector<EntryRow>& rows) {
    QList<Entry> out;
    for (const EntryRow& row : rows) {
        Entry e;
        for (int col : {int(ColUrl), int(ColKeywords), EngineColumn(Google),
                        EngineColumn(AltaVista), EngineColumn(Lycos), EngineColumn(LookSmart)})
            e.append(QByteArray::fromStdString(row.cells[col]));
        out.append(e);
    }
    return out;
}

Entry entry(const char* url, const char* kw, const char* g, const char* a, const char* l,
            const char* s) {
    return {url, kw, g, a, l, s};
}

using Session = datafile::CDataFileSession;

using tw::test::ScopedNobody;
} // namespace

Q_DECLARE_METATYPE(QList<Entry>)

class TestDataFile : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<Entry>>("expected");
        const Entry full = entry("a.example", "cars", "Rank 7 / Page 1", "not found", "-", "x");
        QTest::newRow("empty file") << QByteArray() << QList<Entry>{};
        QTest::newRow("crlf") << QByteArray("a.example\r\ncars\r\nRank 7 / Page 1\r\nnot found\r\n"
                                            "-\r\nx\r\n")
                              << QList<Entry>{full};
        QTest::newRow("lf") << QByteArray("a.example\ncars\nRank 7 / Page 1\nnot found\n-\nx\n")
                            << QList<Entry>{full};
        QTest::newRow("last line without line end")
            << QByteArray("a.example\r\ncars\r\nRank 7 / Page 1\r\nnot found\r\n-\r\nx")
            << QList<Entry>{full};
        QTest::newRow("empty result lines read as dash")
            << QByteArray("u\r\nk\r\n\r\n\r\n\r\n\r\n")
            << QList<Entry>{entry("u", "k", "-", "-", "-", "-")};
        QTest::newRow("empty url and keywords stay empty")
            << QByteArray("\r\n\r\nr\r\nr\r\nr\r\nr\r\n")
            << QList<Entry>{entry("", "", "r", "r", "r", "r")};
        QTest::newRow("trailing blank line adds a row")
            << QByteArray("u\r\nk\r\n1\r\n2\r\n3\r\n4\r\n\r\n")
            << QList<Entry>{entry("u", "k", "1", "2", "3", "4"), entry("", "", "", "", "", "")};
        QTest::newRow("ends after keywords line end")
            << QByteArray("u\r\nk\r\n") << QList<Entry>{entry("u", "k", "-", "", "", "")};
        QTest::newRow("ends inside keywords line")
            << QByteArray("u\r\nk") << QList<Entry>{entry("u", "k", "", "", "", "")};
        QTest::newRow("url line only")
            << QByteArray("u\n") << QList<Entry>{entry("u", "", "", "", "", "")};
        QTest::newRow("ends inside second entry")
            << QByteArray("u\nk\n1\n2\n3\n4\nv\nw\n5")
            << QList<Entry>{entry("u", "k", "1", "2", "3", "4"), entry("v", "w", "5", "", "", "")};
        QTest::newRow("lone carriage returns are text")
            << QByteArray("a\rb\r\nk\r\r\n1\n2\n3\n4\n")
            << QList<Entry>{entry("a\rb", "k\r", "1", "2", "3", "4")};
        QTest::newRow("url on the last line without a line end")
            << QByteArray("u1\r\nk1\r\ng\r\na\r\nl\r\ns\r\nwww.new-entry.example")
            << QList<Entry>{entry("u1", "k1", "g", "a", "l", "s"),
                            entry("www.new-entry.example", "", "-", "-", "-", "-")};
        QTest::newRow("only a url, without a line end")
            << QByteArray("www.only-url.example")
            << QList<Entry>{entry("www.only-url.example", "", "-", "-", "-", "-")};
        QTest::newRow("last url ends in half a line end")
            << QByteArray("u\nk\n1\n2\n3\n4\nv\r")
            << QList<Entry>{entry("u", "k", "1", "2", "3", "4"),
                            entry("v", "", "-", "-", "-", "-")};
        QTest::newRow("carriage return alone after the last entry")
            << QByteArray("u\r\nk\r\n1\r\n2\r\n3\r\n4\r\n\r")
            << QList<Entry>{entry("u", "k", "1", "2", "3", "4")};
        QTest::newRow("cr line ends") << QByteArray("u1\rk1\rg\ra\rl\rs\r")
                                      << QList<Entry>{entry("u1", "k1", "g", "a", "l", "s")};
        QTest::newRow("cr line ends, two entries, no final line end")
            << QByteArray("u1\rk1\rg\ra\rl\rs\ru2\rk2\r\r\r\rx")
            << QList<Entry>{entry("u1", "k1", "g", "a", "l", "s"),
                            entry("u2", "k2", "-", "-", "-", "x")};
        QTest::newRow("cr line ends, ends after keywords")
            << QByteArray("u\rk\r") << QList<Entry>{entry("u", "k", "-", "", "", "")};
    }
    void parse() {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<Entry>, expected);
        const std::vector<EntryRow> rows = datafile::ParseEntries(bytes);
        QCOMPARE(entriesOf(rows), expected);
        for (size_t i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].cells[ColNumber], std::to_string(i + 1));
            QVERIFY(!rows[i].results);
        }
    }

    // Whatever the bytes, a saved file loads back to the same cells and saves to the same bytes.
    void roundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray binary;
        for (int c = 0; c < 256; ++c)
            if (c != '\n' && c != '\r')
                binary.append(char(c));
        QByteArray nul("ab\0cd", 5);
        auto six = [](const QByteArray& cell) {
            QByteArray out;
            for (int i = 0; i < 6; ++i)
                out += cell + "\r\n";
            return out;
        };
        QTest::newRow("binary bytes") << six(binary);
        QTest::newRow("nul bytes") << six(nul);
        QTest::newRow("1 MB line") << six(QByteArray(1 << 20, 'x'));
        QByteArray many;
        for (int i = 0; i < 100000; ++i)
            many += "site" + QByteArray::number(i) + ".example\r\nkeywords " +
                    QByteArray::number(i) + "\r\nRank 3 / Page 1\r\nnot found\r\n-\r\n-\r\n";
        QTest::newRow("100000 entries") << many;
        QTest::newRow("empty list") << QByteArray();
    }
    void roundTrip() {
        QFETCH(QByteArray, bytes);
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        writeFile(path, bytes);
        EntryListModel model;
        QString error;
        QVERIFY(datafile::LoadEntries(path, model, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(model.rowCount(), static_cast<int>(bytes.count('\n') / 6));
        QFile::remove(path);
        QVERIFY2(datafile::SaveEntries(path, model, &error), qPrintable(error));
        QVERIFY(readFile(path) == bytes);
    }

    // Whatever was read is what the next save writes: no entry is lost on the way.
    void savedAsRead_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray first("u1\r\nk1\r\ng\r\na\r\nl\r\ns\r\n");
        QTest::newRow("entry added without a line end")
            << first + "www.new-entry.example"
            << first + "www.new-entry.example\r\n\r\n-\r\n-\r\n-\r\n-\r\n";
        QTest::newRow("one url alone")
            << QByteArray("www.only-url.example")
            << QByteArray("www.only-url.example\r\n\r\n-\r\n-\r\n-\r\n-\r\n");
        QTest::newRow("cr line ends") << QByteArray("u1\rk1\rg\ra\rl\rs\r") << first;
    }
    void savedAsRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, saved);
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        writeFile(path, bytes);
        EntryListModel model;
        QVERIFY(datafile::LoadEntries(path, model));
        QVERIFY(datafile::SaveEntries(path, model));
        QCOMPARE(readFile(path), saved);
    }

    void lfFileSavesWithCrLf() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        writeFile(path, "u\nk\n\n2\n3\n4");
        EntryListModel model;
        QVERIFY(datafile::LoadEntries(path, model));
        QVERIFY(datafile::SaveEntries(path, model));
        QCOMPARE(readFile(path), QByteArray("u\r\nk\r\n-\r\n2\r\n3\r\n4\r\n"));
    }

    void missingFileIsAnEmptyList() {
        tw::test::ScopedWorkDir dir;
        EntryListModel model;
        model.appendEntry("old", "row");
        QString error;
        QVERIFY(!datafile::FileExists(dir.file(QStringLiteral("tallowick.dat"))));
        QVERIFY(datafile::LoadEntries(dir.file(QStringLiteral("tallowick.dat")), model, &error));
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(error.isEmpty());
    }

    void unreadableFileIsReported() {
        tw::test::ScopedWorkDir dir;
        // A folder in the file's place: it exists, but cannot be read as a file.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("tallowick.dat")));
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        QVERIFY(datafile::FileExists(path));
        EntryListModel model;
        model.appendEntry("old", "row");
        QString error;
        QVERIFY(!datafile::LoadEntries(path, model, &error));
        QCOMPARE(model.rowCount(), 0);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    }

    // A named pipe or device in the data file's place is refused at once: opening it to read
    // would wait for a writer forever.
    void pipeIsNotWaitedFor() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        std::vector<EntryRow> rows;
        QString error;
        QVERIFY(!datafile::LoadEntries(path, rows, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        Session session(path);
        QVERIFY(!session.Load(rows));
    }

    // A folder that takes no new file (so no temporary copy) with the list itself writable:
    // the list is written in place rather than lost.
    void savesInPlaceWhenTheFolderTakesNoNewFile() {
        tw::test::ScopedWorkDir dir;
        const QString folder = dir.file(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/tallowick.dat");
        writeFile(path, "old\r\nlist\r\n-\r\n-\r\n-\r\n-\r\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther));
        // Others may look into the folders on the way but create nothing in the last one.
        for (const QString& d : {dir.path(), folder})
            QVERIFY(chmod(QFile::encodeName(d).constData(), 0755) == 0);
        std::vector<EntryRow> rows(1);
        rows[0].cells[ColUrl] = "new";
        rows[0].cells[ColKeywords] = "list";
        bool saved = false;
        QString error;
        bool checked = false;
        if (geteuid() == 0 && !tw::test::NobodyMayReach(path, W_OK))
            QSKIP(tw::test::NobodyCannotReach(dir.path()).constData());
        {
            ScopedNobody nobody;
            if (nobody.binds()) {
                checked = true;
                saved = datafile::SaveEntries(path, rows, &error);
            }
        }
        QVERIFY(chmod(QFile::encodeName(folder).constData(), 0700) == 0);
        if (!checked)
            QSKIP("permission bits do not bind the superuser here and no other user is at hand");
        QVERIFY2(saved, qPrintable(error));
        QCOMPARE(readFile(path), QByteArray("new\r\nlist\r\n\r\n\r\n\r\n\r\n"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("tallowick.dat")});
    }

    // One holder at a time: the second learns who has the list; once it is let go, the next
    // one gets it.
    void lockIsHeldByOneAtATime() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        Session first(path);
        QCOMPARE(first.Lock(), Session::LockResult::Locked);
        QVERIFY(first.IsLocked());
        QVERIFY(QFile::exists(path + QStringLiteral(".lock")));

        Session second(path);
        QString message;
        QCOMPARE(second.Lock(&message), Session::LockResult::InUse);
        QVERIFY(!second.IsLocked());
        QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
        QVERIFY2(message.contains(QString::number(QCoreApplication::applicationPid())),
                 qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("test_datafile")), qPrintable(message));

        first.Unlock();
        QVERIFY(!QFile::exists(path + QStringLiteral(".lock")));
        QCOMPARE(second.Lock(), Session::LockResult::Locked);
        QCOMPARE(first.Lock(), Session::LockResult::InUse);
    }

    // A lock whose holder no longer runs, or whose file names no holder and is held open by
    // nobody, is taken over.
    void staleLockIsTakenOver_data() {
        QTest::addColumn<QByteArray>("lockFile");
        // Beyond any process number the system hands out.
        QTest::newRow("holder gone") << QByteArray("999999999\ntallowick-rank\n\n");
        QTest::newRow("no holder named") << QByteArray();
        QTest::newRow("blank lines") << QByteArray("\n\n\n");
        // As in a container, where every run may get the same process number.
        QTest::newRow("earlier process with this number")
            << QByteArray::number(QCoreApplication::applicationPid()) + "\ntest_datafile\n\n";
    }
    void staleLockIsTakenOver() {
        QFETCH(QByteArray, lockFile);
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        writeFile(path + QStringLiteral(".lock"), lockFile);
        Session session(path);
        QString message;
        QCOMPARE(session.Lock(&message), Session::LockResult::Locked);
        QVERIFY(message.isEmpty());
    }

    // Where no lock file can be made the list is still usable, unlocked.
    void noLockWhereNoneCanBeMade() {
        tw::test::ScopedWorkDir dir;
        Session session(dir.file(QStringLiteral("missing/tallowick.dat")));
        QCOMPARE(session.Lock(), Session::LockResult::NoLock);
        QVERIFY(!session.IsLocked());
    }

    // A change on disk is seen by the bytes, even one that keeps the size and the time stamp;
    // what was read or saved last is what counts.
    void changeOnDiskIsSeen() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        const QByteArray original("u1\r\nk1\r\n-\r\n-\r\n-\r\n-\r\n");
        writeFile(path, original);
        Session session(path);
        QVERIFY(!session.ChangedOnDisk()); // nothing read yet
        std::vector<EntryRow> rows;
        QVERIFY(session.Load(rows));
        QCOMPARE(rows.size(), size_t(1));
        QVERIFY(!session.ChangedOnDisk());

        const QDateTime stamp = QFileInfo(path).lastModified();
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.write("u2") == 2 && f.flush()); // same size
            QVERIFY(f.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        QCOMPARE(QFileInfo(path).lastModified(), stamp);
        QString message;
        QVERIFY(session.ChangedOnDisk(&message));
        QVERIFY2(message.contains(QDir::toNativeSeparators(path)) &&
                     message.contains(QStringLiteral("changed")),
                 qPrintable(message));

        writeFile(path, original); // changed back: nothing to lose
        QVERIFY(!session.ChangedOnDisk());

        rows[0].cells[EngineColumn(Google)] = "Rank 1 / Page 1";
        QVERIFY(session.Save(rows));
        QVERIFY(!session.ChangedOnDisk()); // what it wrote itself

        QVERIFY(QFile::remove(path));
        QVERIFY(session.ChangedOnDisk(&message));
        QVERIFY2(message.contains(QStringLiteral("removed")), qPrintable(message));
    }

    void fileMadeWhileOpenIsAChange() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        Session session(path);
        std::vector<EntryRow> rows;
        QVERIFY(session.Load(rows));
        QVERIFY(rows.empty());
        writeFile(path, QByteArray()); // still no entries: nothing to lose
        QVERIFY(!session.ChangedOnDisk());
        writeFile(path, "www.made-meanwhile.example\r\n");
        QVERIFY(session.ChangedOnDisk());
    }

    void failedSaveKeepsTheOldFileAndSaysWhy() {
        tw::test::ScopedWorkDir dir;
        EntryListModel model;
        model.appendEntry("u", "k");
        QString error;
        const QString missingDir = dir.file(QStringLiteral("gone/tallowick.dat"));
        QVERIFY(!datafile::SaveEntries(missingDir, model, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(missingDir)), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("\n\n")) && !error.endsWith(QStringLiteral("\n\n.")));

        // A target that cannot be replaced leaves what is there untouched.
        const QString blocked = dir.file(QStringLiteral("blocked"));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("blocked/keep")));
        QVERIFY(!datafile::SaveEntries(blocked, model, &error));
        QVERIFY(QDir(blocked + QStringLiteral("/keep")).exists());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());

        // A disk that fills up part-way leaves the old list whole.
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
        }
        for (int i = 0; i < 100; ++i)
            model.appendEntry("www.example.com", "used cars");
        bool saved = true;
        {
            tw::test::ScopedFileSizeLimit full(1000);
            QVERIFY(full.active());
            saved = datafile::SaveEntries(path, model, &error);
        }
        QVERIFY(!saved);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("old\r\n"));
    }

    // Options follow their entries through a load, an edit of URL and keywords and a save; rows
    // that match no entry stay in the file; entries sharing URL and keywords keep theirs apart.
    void optionsFileRoundTrip() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("client.dat"));
        const QString optionsPath = dir.file(QStringLiteral("client.entries.csv"));
        QCOMPARE(datafile::optionsPathFor(path), optionsPath);
        writeFile(path, "a.example\r\nshoes\r\n-\r\n-\r\n-\r\n-\r\n"
                        "b.example\r\nboots\r\n-\r\n-\r\n-\r\n-\r\n"
                        "b.example\r\nboots\r\n-\r\n-\r\n-\r\n-\r\n");
        writeFile(optionsPath,
                  "url,keywords,country,language,device,location,tags\r\n"
                  "gone.example,hats,de,de,,,old\r\n"
                  "a.example,shoes,gb,en,mobile,\"Leeds,England,\"\"UK\"\"\",\"acme, shoes\"\r\n"
                  "b.example,boots,,,,,\r\n"
                  "b.example,boots,,,mobile,,\r\n");
        Session session(path);
        std::vector<EntryRow> rows;
        QVERIFY(session.Load(rows));
        QVERIFY2(session.optionsError().isEmpty(), qPrintable(session.optionsError()));
        QCOMPARE(session.keptOptionRows(), 1);
        QCOMPARE(rows.size(), size_t(3));
        QCOMPARE(rows[0].options.location, std::string("Leeds,England,\"UK\""));
        QCOMPARE(rows[0].options.tags, std::string("acme, shoes"));
        QCOMPARE(rows[1].options, datafile::EntryOptions{});
        QCOMPARE(rows[2].options.device, std::string("mobile"));

        rows[0].cells[ColUrl] = "www.a.example";
        rows[0].cells[ColKeywords] = "red shoes";
        QVERIFY(session.Save(rows));
        QCOMPARE(readFile(optionsPath),
                 QByteArray("url,keywords,country,language,device,location,tags\r\n"
                            "www.a.example,red shoes,gb,en,mobile,\"Leeds,England,\"\"UK\"\"\","
                            "\"acme, shoes\"\r\n"
                            "b.example,boots,,,,,\r\n"
                            "b.example,boots,,,mobile,,\r\n"
                            "gone.example,hats,de,de,,,old\r\n"));

        Session again(path);
        std::vector<EntryRow> back;
        QVERIFY(again.Load(back));
        QCOMPARE(back[0].options, rows[0].options);
        QCOMPARE(back[2].options.device, std::string("mobile"));
        QCOMPARE(again.keptOptionRows(), 1);
    }

    void noOptionsMakeNoFile() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        Session session(path);
        std::vector<EntryRow> rows(1);
        rows[0].cells[ColUrl] = "a.example";
        QVERIFY(session.Save(rows));
        QVERIFY(!QFileInfo::exists(dir.file(QStringLiteral("tallowick.entries.csv"))));
    }

    // What cannot be trusted is told once and never written over; the list itself still loads
    // and saves.
    void damagedOptionsFileIsKept_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("folder");
        QTest::newRow("quote never closes")
            << QByteArray("url,keywords,country\r\na.example,shoes,\"gb\r\n") << false;
        QTest::newRow("no header") << QByteArray("a.example,shoes,gb\r\n") << false;
        QTest::newRow("a folder") << QByteArray() << true;
    }
    void damagedOptionsFileIsKept() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, folder);
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("tallowick.dat"));
        const QString optionsPath = dir.file(QStringLiteral("tallowick.entries.csv"));
        writeFile(path, "a.example\r\nshoes\r\n-\r\n-\r\n-\r\n-\r\n");
        if (folder)
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("tallowick.entries.csv")));
        else
            writeFile(optionsPath, bytes);
        Session session(path);
        std::vector<EntryRow> rows;
        QVERIFY(session.Load(rows));
        QCOMPARE(rows.size(), size_t(1));
        QVERIFY(session.optionsError().contains(QDir::toNativeSeparators(optionsPath)));
        rows[0].options.device = "mobile";
        rows[0].cells[EngineColumn(Google)] = "Rank 2 / Page 1";
        QString error;
        QVERIFY2(session.Save(rows, &error), qPrintable(error));
        QVERIFY(readFile(path).contains("Rank 2 / Page 1"));
        if (folder)
            QVERIFY(QFileInfo(optionsPath).isDir());
        else
            QCOMPARE(readFile(optionsPath), bytes);
    }

    void normalizeOptions_data() {
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("expected"); // "country/language/device" or "error: ..."
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << "//";
        QTest::newRow("lowered and trimmed") << " US"
                                             << "EN "
                                             << "Mobile"
                                             << "us/en/mobile";
        QTest::newRow("uk is gb") << "uk"
                                  << "en"
                                  << "desktop"
                                  << "gb/en/desktop";
        QTest::newRow("three letters") << "usa"
                                       << ""
                                       << ""
                                       << "error: country";
        QTest::newRow("language name") << ""
                                       << "english"
                                       << ""
                                       << "error: language";
        QTest::newRow("tablet") << ""
                                << ""
                                << "tablet"
                                << "error: device";
    }
    void normalizeOptions() {
        QFETCH(QString, country);
        QFETCH(QString, language);
        QFETCH(QString, device);
        QFETCH(QString, expected);
        datafile::EntryOptions o{
            country.toStdString(), language.toStdString(), device.toStdString(), {}, {}};
        QString error;
        if (datafile::normalizeOptions(o, &error)) {
            QCOMPARE(QString::fromStdString(o.country + "/" + o.language + "/" + o.device),
                     expected);
        } else {
            QVERIFY2(expected.startsWith(QStringLiteral("error: ")), qPrintable(error));
            QVERIFY2(error.contains(expected.mid(7)), qPrintable(error));
        }
    }

    void tagsAndWhere() {
        QVERIFY(datafile::hasTag(" Acme , shoes,", "acme"));
        QVERIFY(!datafile::hasTag("acmeshoes", "acme"));
        QCOMPARE(datafile::splitTags(" a, ,b "), (std::vector<std::string>{"a", "b"}));
        QCOMPARE(datafile::whereText({{}, {}, "mobile", "Austin,Texas,United States", {}}),
                 std::string("mobile, Austin"));
        QCOMPARE(datafile::whereText({{}, {}, "desktop", {}, {}}), std::string());
    }
};

TW_TEST_MAIN_CORE(TestDataFile)
#include "test_datafile.moc"
