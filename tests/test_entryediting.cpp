#include "app/AddUrlDlg.h"
#include "app/MainDlg.h"
#include "support/GuiTest.h"
#include "support/TestEnv.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <functional>

namespace {
using Fill = std::function<void(CAddUrlDlg*)>;

// Answers the entry dialogs that the next command opens, one action per dialog, in order.
// Records what each dialog showed when it opened.
class DialogScript {
public:
    explicit DialogScript(QList<Fill> steps) : m_steps(std::move(steps)) { arm(); }
    QStringList seenUrls;
    int opened = 0;

private:
    void arm() {
        QTimer::singleShot(0, [this] {
            auto* dlg = qobject_cast<CAddUrlDlg*>(QApplication::activeModalWidget());
            if (!dlg) {
                arm(); // not open yet
                return;
            }
            ++opened;
            seenUrls << dlg->urlEdit()->text();
            const Fill step = m_steps.takeFirst();
            if (!m_steps.isEmpty())
                arm();
            step(dlg);
        });
    }
    QList<Fill> m_steps;
};

Fill answer(const QString& url, const QString& keywords) {
    return [url, keywords](CAddUrlDlg* dlg) {
        dlg->urlEdit()->setText(url);
        dlg->keywordsEdit()->setText(keywords);
        dlg->accept();
    };
}

Fill cancel() {
    return [](CAddUrlDlg* dlg) { dlg->reject(); };
}

void fill(CMainDlg& dlg, int rows) {
    for (int i = 1; i <= rows; ++i)
        dlg.entries().appendEntry("u" + std::to_string(i), "k" + std::to_string(i),
                                  {"Rank 1 / Page 1", "not found", "-", ""});
}

void selectRows(CMainDlg& dlg, const QList<int>& rows) {
    auto* sel = dlg.listView()->selectionModel();
    sel->clearSelection();
    for (int row : rows)
        sel->select(dlg.entries().index(row, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList column(const CMainDlg& dlg, int col) {
    QStringList out;
    for (int row = 0; row < dlg.entries().rowCount(); ++row)
        out << QString::fromStdString(dlg.entries().cell(row, col));
    return out;
}

QStringList shownTexts() {
    QStringList out;
    for (const auto& m : tw::testing::takeShownMessages())
        out << m.text;
    return out;
}
} // namespace

class TestEntryEditing : public QObject {
    Q_OBJECT
private slots:
    void init() { tw::test::answerMessageBoxes(); }

    void validation_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("message"); // empty: accepted
        const QString noUrl = "Please enter a target URL to search for.";
        const QString badUrl = "Please enter a valid URL or part of a URL to search for.";
        const QString noKeywords = "Please enter target keywords to use for the search.";
        QTest::newRow("both empty") << ""
                                    << "" << noUrl;
        QTest::newRow("url empty") << ""
                                   << "cars" << noUrl;
        QTest::newRow("leading space") << " example.com"
                                       << "cars" << badUrl;
        QTest::newRow("trailing space") << "example.com "
                                        << "" << badUrl;
        QTest::newRow("keywords empty") << "example.com"
                                        << "" << noKeywords;
        QTest::newRow("accepted") << "example.com"
                                  << "used cars"
                                  << "";
        QTest::newRow("anything but a space") << "a\tb/c?d"
                                              << " "
                                              << "";
    }
    void validation() {
        QFETCH(QString, url);
        QFETCH(QString, keywords);
        QFETCH(QString, message);
        CAddUrlDlg dlg;
        dlg.show();
        dlg.urlEdit()->setText(url);
        dlg.keywordsEdit()->setText(keywords);
        dlg.accept();
        const auto shown = tw::testing::takeShownMessages();
        if (message.isEmpty()) {
            QVERIFY(shown.isEmpty());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(dlg.m_strUrl, url.toStdString());
            QCOMPARE(dlg.m_strKeywords, keywords.toStdString());
        } else {
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].text.startsWith(message), qPrintable(shown[0].text));
            QCOMPARE(shown[0].caption, QStringLiteral("Tallowick!"));
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.urlEdit()->text(), url); // kept as typed
        }
    }

    void addAppendsNumberedRow() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        fill(dlg, 3);
        DialogScript script({answer("new.example", "fresh words")});
        dlg.OnAddEntry();
        QCOMPARE(dlg.entryCount(), 4);
        QCOMPARE(dlg.entries().cell(3, ColNumber), std::string("4"));
        QCOMPARE(dlg.entries().cell(3, ColUrl), std::string("new.example"));
        QCOMPARE(dlg.entries().cell(3, ColKeywords), std::string("fresh words"));
        for (int col = EngineColumn(Google); col <= EngineColumn(LookSmart); ++col)
            QCOMPARE(dlg.entries().cell(3, col), std::string("-"));
        QCOMPARE(dlg.selectedEntry(), -1);

        DialogScript cancelled({cancel()});
        dlg.OnAddEntry();
        QCOMPARE(dlg.entryCount(), 4);
    }

    // Each selected row gets its own dialog, top first; Cancel skips only that row; results stay.
    void editSeveralRows() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        fill(dlg, 4);
        auto* record = new EntryResults;
        dlg.entries().setResults(3, std::unique_ptr<EntryResults>(record));
        selectRows(dlg, {3, 1});
        DialogScript script({cancel(), answer("changed.example", "new words")});
        dlg.OnEditEntry();
        QCOMPARE(script.opened, 2);
        QCOMPARE(script.seenUrls, (QStringList{"u2", "u4"}));
        QCOMPARE(column(dlg, ColUrl), (QStringList{"u1", "u2", "u3", "changed.example"}));
        QCOMPARE(column(dlg, ColKeywords), (QStringList{"k1", "k2", "k3", "new words"}));
        QCOMPARE(dlg.entries().cell(3, EngineColumn(Google)), std::string("Rank 1 / Page 1"));
        QCOMPARE(dlg.entries().results(3), record);
    }

    // Bytes that are not valid UTF-8 survive an edit that leaves their field alone.
    void editKeepsUntouchedBytes() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        const std::string latin1Url = "caf\xe9.example";
        dlg.entries().appendEntry(latin1Url, "old");
        selectRows(dlg, {0});
        DialogScript script({[](CAddUrlDlg* d) {
            d->keywordsEdit()->setText("new");
            d->accept();
        }});
        dlg.OnEditEntry();
        QCOMPARE(dlg.entries().cell(0, ColUrl), latin1Url);
        QCOMPARE(dlg.entries().cell(0, ColKeywords), std::string("new"));
    }

    void removeSelectedRowsAndRenumber() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        fill(dlg, 5);
        selectRows(dlg, {3, 1});
        dlg.OnRemoveEntry();
        QCOMPARE(dlg.entryCount(), 3);
        QCOMPARE(column(dlg, ColNumber), (QStringList{"1", "2", "3"}));
        QCOMPARE(column(dlg, ColUrl), (QStringList{"u1", "u3", "u5"}));
        QCOMPARE(dlg.selectedRows(), QList<int>{0});

        selectRows(dlg, {0, 1, 2});
        dlg.OnRemoveEntry();
        QCOMPARE(dlg.entryCount(), 0);
        QCOMPARE(dlg.selectedEntry(), -1);
        QVERIFY(shownTexts().isEmpty());
    }

    void commandsNeedASelection() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        fill(dlg, 2);
        dlg.OnEditEntry();
        dlg.OnRemoveEntry();
        QCOMPARE(shownTexts(), (QStringList{"Please select an entry to edit.",
                                            "Please select an entry to remove."}));
        QCOMPARE(dlg.entryCount(), 2);

        // A double-click on the empty part of the list edits, and so asks for a selection.
        QWidget* viewport = dlg.listView()->viewport();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(10, viewport->height() - 5));
        QCOMPARE(shownTexts(), QStringList{"Please select an entry to edit."});
    }

    // The five fields below URL and keywords: codes chosen or typed, checked before the dialog
    // closes; editing an entry's URL and keywords keeps its options.
    void addAndEditWithOptions() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        DialogScript add({
            [](CAddUrlDlg* d) {
                d->urlEdit()->setText(QStringLiteral("acme.example"));
                d->keywordsEdit()->setText(QStringLiteral("plumber"));
                d->countryBox()->setEditText(QStringLiteral("usa"));
                d->accept(); // refused: stays open
                QVERIFY(d->isVisible());
                d->countryBox()->setCurrentIndex(d->countryBox()->findData(QStringLiteral("gb")));
                d->languageBox()->setEditText(QStringLiteral(" EN"));
                d->deviceBox()->setCurrentIndex(d->deviceBox()->findData(QStringLiteral("mobile")));
                d->locationEdit()->setText(QStringLiteral("Austin,Texas,United States"));
                d->tagsEdit()->setText(QStringLiteral("acme, local"));
                d->accept();
            },
        });
        dlg.OnAddEntry();
        QCOMPARE(shownTexts().size(), 1);
        QCOMPARE(dlg.entries().rowCount(), 1);
        const datafile::EntryOptions expected{"gb", "en", "mobile", "Austin,Texas,United States",
                                              "acme, local"};
        QCOMPARE(dlg.entries().options(0), expected);
        QCOMPARE(dlg.entries().index(0, ColTags).data().toString(), QStringLiteral("acme, local"));
        QCOMPARE(dlg.entries().index(0, ColWhere).data().toString(),
                 QStringLiteral("mobile, Austin"));

        selectRows(dlg, {0});
        QString shownCountry;
        DialogScript edit({[&shownCountry](CAddUrlDlg* d) {
            shownCountry = d->countryBox()->currentText();
            d->urlEdit()->setText(QStringLiteral("www.acme.example"));
            d->accept();
        }});
        dlg.OnEditEntry();
        QCOMPARE(shownCountry, QStringLiteral("gb - United Kingdom"));
        QCOMPARE(dlg.entries().cell(0, ColUrl), std::string("www.acme.example"));
        QCOMPARE(dlg.entries().options(0), expected);
    }

    void doubleClickOnRowEditsIt() {
        tw::test::ScopedWorkDir dir;
        CMainDlg dlg;
        dlg.show();
        fill(dlg, 2);
        DialogScript script({cancel()});
        const QRect rect = dlg.listView()->visualRect(dlg.entries().index(1, ColUrl));
        QTest::mouseClick(dlg.listView()->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(dlg.listView()->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(script.seenUrls, QStringList{"u2"});
    }
};

TW_TEST_MAIN_GUI(TestEntryEditing)
#include "test_entryediting.moc"
