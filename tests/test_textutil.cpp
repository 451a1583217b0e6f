#include "app/TextUtil.h"
#include "support/TestEnv.h"

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

    void caseChangesOnlyAscii() {
        const std::string in = "a\xc3\xa9Z";
        QCOMPARE(text::AsciiUpper(in), std::string("A\xc3\xa9Z"));
        QCOMPARE(text::AsciiLower(in), std::string("a\xc3\xa9z"));
    }
};

TW_TEST_MAIN_CORE(TestTextUtil)
#include "test_textutil.moc"
