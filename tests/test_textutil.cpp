#include "base/TextUtil.h"
#include "support/TestEnv.h"

#include <QProcess>

#include <clocale>
#include <cstdlib>

class TestTextUtil : public QObject {
    Q_OBJECT
private slots:
    void leadingInt_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << QByteArray("20") << 20;
        QTest::newRow("blanks and sign") << QByteArray("  -7x") << -7;
        QTest::newRow("plus") << QByteArray("+3") << 3;
        QTest::newRow("no digits") << QByteArray("abc") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("sign only") << QByteArray("-") << 0;
        QTest::newRow("huge clamps") << QByteArray("99999999999999999999") << INT_MAX;
        QTest::newRow("huge negative clamps") << QByteArray("-99999999999999999999") << INT_MIN;
        QTest::newRow("stops at dot") << QByteArray("12.5") << 12;
    }
    void leadingInt() {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        QCOMPARE(text::LeadingInt(text.toStdString()), value);
    }

    // Decimal text only: what strtod would read beyond it (hexadecimal, infinity, not-a-number)
    // must not turn into a number.
    void leadingDouble_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << QByteArray("1.1") << 1.1;
        QTest::newRow("blanks, sign, rest") << QByteArray(" \t-2.50 beta") << -2.5;
        QTest::newRow("fraction only") << QByteArray(".5") << 0.5;
        QTest::newRow("trailing point") << QByteArray("+3.") << 3.0;
        QTest::newRow("exponent") << QByteArray("1e5") << 100000.0;
        QTest::newRow("signed exponent") << QByteArray("25E-1x") << 2.5;
        QTest::newRow("exponent without digits") << QByteArray("2e+") << 2.0;
        QTest::newRow("hexadecimal") << QByteArray("0x2") << 0.0;
        QTest::newRow("hexadecimal float") << QByteArray("0x1p3") << 0.0;
        QTest::newRow("infinity") << QByteArray("inf") << 0.0;
        QTest::newRow("infinity, long") << QByteArray("-Infinity") << 0.0;
        QTest::newRow("not a number") << QByteArray("nan") << 0.0;
        QTest::newRow("not a number, payload") << QByteArray("NAN(1)") << 0.0;
        QTest::newRow("point alone") << QByteArray(".") << 0.0;
        QTest::newRow("sign alone") << QByteArray("-") << 0.0;
        QTest::newRow("empty") << QByteArray() << 0.0;
        QTest::newRow("comma") << QByteArray("1,5") << 1.0;
    }
    void leadingDouble() {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        QCOMPARE(text::LeadingDouble(text.toStdString()), value);
    }

    void leadingDoubleIgnoresTheUsersLocale() {
        // Build a locale with a decimal comma of our own, so the test needs no installed one.
        QTemporaryDir dir;
        const QString name = QStringLiteral("de_DE.UTF-8");
        if (QProcess::execute(QStringLiteral("localedef"),
                              {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                               QStringLiteral("UTF-8"), dir.filePath(name)}) != 0)
            QSKIP("localedef cannot build a locale here");
        qputenv("LOCPATH", QFile::encodeName(dir.path()));
        const char* set = std::setlocale(LC_NUMERIC, name.toLatin1().constData());
        qunsetenv("LOCPATH");
        if (!set)
            QSKIP("the built locale cannot be used");
        const double cLibrary = std::strtod("1.5", nullptr);
        const double ours = text::LeadingDouble("1.5");
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(cLibrary, 1.0); // the locale is really in effect
        QCOMPARE(ours, 1.5);
    }

    void caseChangesOnlyAscii() {
        const std::string in = "a\xc3\xa9Z";
        QCOMPARE(text::AsciiUpper(in), std::string("A\xc3\xa9Z"));
        QCOMPARE(text::AsciiLower(in), std::string("a\xc3\xa9z"));
    }

    // What a page or a provider sent, before it reaches a window or a terminal: nothing that
    // moves the cursor, rings, breaks the line or turns the text round is left as it is.
    void showControls_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("plain") << QByteArray("Rank 3 / Page 1") << QByteArray("Rank 3 / Page 1");
        QTest::newRow("markup is not a control")
            << QByteArray("<h1>FAKE RANK 1</h1>") << QByteArray("<h1>FAKE RANK 1</h1>");
        QTest::newRow("terminal sequence") << QByteArray("a\x1b[2Jb") << QByteArray("a\\x1B[2Jb");
        QTest::newRow("CR LF tab") << QByteArray("a\r\n\tb") << QByteArray("a\\r\\n\\tb");
        QTest::newRow("BEL, NUL, DEL")
            << QByteArray("\a\0\x7f", 3) << QByteArray("\\x07\\x00\\x7F");
        QTest::newRow("right-to-left override") << QByteArray("moc.\xe2\x80\xae"
                                                              "exe")
                                                << QByteArray("moc.\\u202Eexe");
        QTest::newRow("isolates") << QByteArray("\xe2\x81\xa6x\xe2\x81\xa9")
                                  << QByteArray("\\u2066x\\u2069");
        QTest::newRow("marks") << QByteArray("\xe2\x80\x8f\xd8\x9c")
                               << QByteArray("\\u200F\\u061C");
        QTest::newRow("line separator") << QByteArray("a\xe2\x80\xa8"
                                                      "b")
                                        << QByteArray("a\\u2028b");
        QTest::newRow("C1 control") << QByteArray("\xc2\x9b"
                                                  "31m")
                                    << QByteArray("\\u009B31m");
        QTest::newRow("letters kept") << QByteArray("caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80")
                                      << QByteArray("caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80");
        QTest::newRow("not UTF-8 kept")
            << QByteArray("caf\xe9 \xe2\x80") << QByteArray("caf\xe9 \xe2\x80");
        QTest::newRow("backslash kept") << QByteArray("C:\\x") << QByteArray("C:\\x");
    }
    void showControls() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, shown);
        QCOMPARE(QByteArray::fromStdString(text::ShowControls(text.toStdString())), shown);
    }
};

TW_TEST_MAIN_CORE(TestTextUtil)
#include "test_textutil.moc"
