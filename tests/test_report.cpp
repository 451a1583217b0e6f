#include "results/Report.h"
#include "support/FifoReader.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QFile>

#include <memory>

#include <sys/stat.h>

namespace {

using tw::test::readFile;
const std::string kHeader = "Tallowick! Results by Tallowick Software http://www.tallowick.example/"
                            "\r\nResults Produced on 3/7/2002 09:05 \r\n\r\n\r\n";
const std::string kRule = "\r\n----------------------------------\r\n\r\n";

EntryRow makeRow(const std::string& url, const std::string& keywords, const std::string& g,
                 const std::string& a, const std::string& l, const std::string& s) {
    EntryRow row;
    row.cells = {"", url, g, a, l, s, keywords};
    return row;
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void format_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty list") << 0 << QByteArray();
        QTest::newRow("ranked, never ranked, being ranked")
            << 3
            << QByteArray::fromStdString(
                   "1. mydomain\r\nTarget Keywords: blue widgets\r\n"
                   "Google           Rank 15 / Page 2\r\nAltavista        not found\r\n"
                   "Lycos            Rank 3 / Page 1\r\nLooksmart        not found\r\n" +
                   kRule +
                   "2. caf\xc3\xa9.example\r\nTarget Keywords: \r\nGoogle           -\r\n"
                   "Altavista        -\r\nLycos            -\r\nLooksmart        -\r\n" +
                   kRule +
                   "3. busy.example *\r\nTarget Keywords: red \"gadgets\"\r\n"
                   "Google           Rank 1 / Page 1\r\nAltavista        \r\n"
                   "Lycos            \r\nLooksmart        \r\n" +
                   kRule);
    }
    void format() {
        QFETCH(int, rows);
        QFETCH(QByteArray, body);
        std::vector<EntryRow> list;
        list.push_back(makeRow("mydomain", "blue widgets", "Rank 15 / Page 2", "not found",
                               "Rank 3 / Page 1", "not found"));
        list.push_back(makeRow("caf\xc3\xa9.example", "", "-", "-", "-", "-"));
        list.push_back(makeRow("busy.example *", "red \"gadgets\"", "Rank 1 / Page 1", "", "", ""));
        list.resize(rows);
        const QDateTime clock(QDate(2002, 3, 7), QTime(9, 5, 59));
        QCOMPARE(QByteArray::fromStdString(report::FormatReport(list, clock)),
                 QByteArray::fromStdString(kHeader) + body);

        tw::test::ScopedWorkDir dir;
        QVERIFY(report::SaveReport(dir.file("r.txt"), list, clock));
        QCOMPARE(readFile(dir.file("r.txt")), QByteArray::fromStdString(kHeader) + body);
    }

    // A named pipe that another program reads is written into, not replaced by a file.
    void writesIntoAPipe() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file("report.fifo");
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        std::vector<EntryRow> rows;
        rows.push_back(makeRow("www.mine.example", "blue widgets", "-", "-", "-", "-"));
        const QDateTime clock(QDate(2002, 3, 7), QTime(9, 5));
        tw::test::FifoReader reader(path);
        QString error;
        QVERIFY2(report::SaveReport(path, rows, clock, &error), qPrintable(error));
        struct stat st {};
        QVERIFY(lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QCOMPARE(reader.Result(), QByteArray::fromStdString(report::FormatReport(rows, clock)));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{"report.fifo"});
    }

    // Writing the report to /dev/null leaves it the device it was (the superuser could
    // otherwise replace it with a regular file).
    void devNullStaysADevice() {
        struct stat st {};
        if (stat("/dev/null", &st) != 0 || !S_ISCHR(st.st_mode))
            QSKIP("/dev/null is not a character device here");
        QString error;
        QVERIFY2(report::SaveReport("/dev/null", std::vector<EntryRow>(),
                                    QDateTime::currentDateTime(), &error),
                 qPrintable(error));
        QVERIFY(stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
    }

    void dateLine_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("line");
        QTest::newRow("two-digit month and day, 24-hour")
            << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))
            << "Results Produced on 12/31/1999 23:59 ";
    }
    void dateLine() {
        QFETCH(QDateTime, now);
        QFETCH(QString, line);
        QCOMPARE(QString::fromStdString(report::DateLine(now)), line);
    }

    // A report that cannot be written says where and why, and an old report stays whole with
    // nothing half-written beside it.
    void failure_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("folder missing") << "missing/MyResults.txt" << false;
        QTest::newRow("disk full while writing") << "MyResults.txt" << true;
    }
    void failure() {
        QFETCH(QString, name);
        QFETCH(bool, diskFull);
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(name);
        const QByteArray old("old report\r\n");
        if (diskFull) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        }
        std::vector<EntryRow> rows;
        for (int i = 0; i < 50; ++i)
            rows.push_back(makeRow("www.mine.example", "blue widgets", "-", "-", "-", "-"));
        QString error;
        bool saved = true;
        {
            std::unique_ptr<tw::test::ScopedFileSizeLimit> full;
            if (diskFull)
                full = std::make_unique<tw::test::ScopedFileSizeLimit>(1000);
            saved = report::SaveReport(path, rows, QDateTime::currentDateTime(), &error);
        }
        QVERIFY(!saved);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY2(!error.section("\n\n", 1).trimmed().isEmpty(), qPrintable(error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), diskFull ? 1 : 0);
        if (diskFull)
            QCOMPARE(readFile(path), old);
    }
};

TW_TEST_MAIN_CORE(TestReport)
#include "test_report.moc"
