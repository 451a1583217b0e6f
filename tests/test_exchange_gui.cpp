#include "data/EntryListModel.h"
#include "exchange/ImportTargetDlg.h"
#include "exchange/WindowImport.h"
#include "support/GuiTest.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>

namespace {

using tw::test::writeFile;
QStringList shownTexts() {
    QStringList out;
    for (const auto& m : tw::testing::takeShownMessages())
        out << m.text;
    return out;
}

QStringList urlsOf(const EntryListModel& model) {
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << QString::fromStdString(model.cell(row, ColNumber) + " " + model.cell(row, ColUrl) +
                                      " " + model.cell(row, ColKeywords));
    return out;
}
} // namespace

class TestExchangeGui : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::answerMessageBoxes(); }

    void targetDialog_data() {
        QTest::addColumn<QStringList>("typed"); // tried in turn; the last is accepted
        QTest::addColumn<QStringList>("messages");
        const QString noUrl = QStringLiteral("Please enter a target URL to search for.");
        const QString badUrl = QStringLiteral(
            "Please enter a valid URL or part of a URL to search for.\n\nExample: example.com");
        QTest::newRow("accepted at once") << QStringList{"www.example.com"} << QStringList{};
        QTest::newRow("empty, then good") << QStringList{"", "example.com"} << QStringList{noUrl};
        QTest::newRow("blank inside, then good")
            << QStringList{"example .com", " example.com", "example.com/x"}
            << QStringList{badUrl, badUrl};
    }
    void targetDialog() {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, messages);
        tw::ImportTargetDlg dlg(QStringLiteral("phrases.txt"));
        tw::test::ModalDriver<tw::ImportTargetDlg> driver([typed](tw::ImportTargetDlg* d) {
            for (const QString& text : typed) {
                d->urlEdit()->setText(text);
                d->accept();
            }
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(dlg.url()), typed.last());
        QCOMPARE(shownTexts(), messages);
    }

    void importCsv() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("list.csv"), "URL;Keywords\r\nold.com;k\r\nnew.com;\"a; b\"\r\n"
                                        ";no url\r\n");
        EntryListModel model;
        model.appendEntry("old.com", "k");
        tw::testing::setNextFileName(dir.file("list.csv"));
        const tw::exchange::WindowImport outcome =
            tw::exchange::runWindowImport(nullptr, model, dir.path());
        QVERIFY(outcome.read);
        QCOMPARE(outcome.firstRow, 1);
        QCOMPARE(outcome.rowCount, 1);
        QCOMPARE(urlsOf(model), (QStringList{"1 old.com k", "2 new.com a; b"}));
        QCOMPARE(shownTexts(),
                 QStringList{"1 entry added, 1 already in the list, 1 line skipped.\n\n"
                             "skipped lines: 4."});
    }

    void importPlainText() {
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("phrases.txt"), "blue widgets\n\nred cars\n");
        EntryListModel model;
        tw::testing::setNextFileName(dir.file("phrases.txt"));
        tw::test::ModalDriver<tw::ImportTargetDlg> driver([](tw::ImportTargetDlg* d) {
            d->urlEdit()->setText(QStringLiteral("shop.example"));
            d->accept();
        });
        const auto outcome = tw::exchange::runWindowImport(nullptr, model, dir.path());
        QVERIFY(outcome.read);
        QCOMPARE(outcome.rowCount, 2);
        QCOMPARE(urlsOf(model),
                 (QStringList{"1 shop.example blue widgets", "2 shop.example red cars"}));
        QCOMPARE(shownTexts(),
                 QStringList{"2 entries added, 0 already in the list, 0 lines skipped."});
    }

    // Nothing is added when the user cancels a dialog or the file cannot be read.
    void nothingAdded_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("cancelTarget");
        QTest::addColumn<QString>("message");
        QTest::newRow("file dialog cancelled") << QString() << false << QString();
        QTest::newRow("target dialog cancelled") << "phrases.txt" << true << QString();
        QTest::newRow("missing file")
            << "missing.csv" << false << "could not be read: No such file or directory";
        QTest::newRow("folder") << "folder.csv" << false << "could not be read: Is a directory";
    }
    void nothingAdded() {
        QFETCH(QString, file);
        QFETCH(bool, cancelTarget);
        QFETCH(QString, message);
        tw::test::ScopedWorkDir dir;
        writeFile(dir.file("phrases.txt"), "blue widgets\n");
        QDir(dir.path()).mkdir(QStringLiteral("folder.csv"));
        EntryListModel model;
        model.appendEntry("old.com", "k");
        tw::testing::setNextFileName(file.isEmpty() ? QString() : dir.file(file));
        // Closes the target dialog unanswered (as Cancel) if it opens.
        tw::test::ModalDriver<tw::ImportTargetDlg> driver([](tw::ImportTargetDlg*) {});
        const auto outcome = tw::exchange::runWindowImport(nullptr, model, dir.path());
        QVERIFY(!outcome.read);
        QCOMPARE(driver.opened(), cancelTarget);
        QCOMPARE(outcome.rowCount, 0);
        QCOMPARE(model.rowCount(), 1);
        const QStringList shown = shownTexts();
        if (message.isEmpty()) {
            QVERIFY(shown.isEmpty());
        } else {
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown.first().contains(message), qPrintable(shown.first()));
            QVERIFY(shown.first().endsWith(QStringLiteral("Nothing was added.")));
        }
    }
};

TW_TEST_MAIN_GUI(TestExchangeGui)
#include "test_exchange_gui.moc"
