#include "app/MainDlg.h"
#include "results/RankDetailsDlg.h"
#include "results/SelectEngineDlg.h"
#include "settings/ServiceAddresses.h"
#include "support/FileSizeLimit.h"
#include "support/GuiTest.h"
#include "support/TestEnv.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"
#include "ui/ShellOpen.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace {
QStringList shownTexts() {
    QStringList texts;
    for (const auto& shown : tw::testing::takeShownMessages())
        texts << shown.text;
    return texts;
}

using tw::test::ModalDriver;

std::string site(int engine, int k) {
    return "http://e" + std::to_string(engine) + "-" + std::to_string(k + 1) + ".example/";
}
} // namespace

class TestResultsCommands : public QObject {
    Q_OBJECT
    std::unique_ptr<tw::test::ScopedWorkDir> m_dir;
    std::unique_ptr<CMainDlg> m_main;
    std::unique_ptr<tw::test::OpenedLinks> m_links;

    EntryListModel& model() { return m_main->entries(); }
    void select(QList<int> rows) {
        auto* selection = m_main->listView()->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(model().index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    int addRow(const QStringList& texts, const std::string& keywords = "blue widgets") {
        return model().appendEntry("www.mine.example *", keywords,
                                   {texts[0].toStdString(), texts[1].toStdString(),
                                    texts[2].toStdString(), texts[3].toStdString()});
    }

private slots:
    void init() {
        m_dir = std::make_unique<tw::test::ScopedWorkDir>();
        m_main = std::make_unique<CMainDlg>();
        m_main->show();
        tw::test::answerMessageBoxes();
        m_links = std::make_unique<tw::test::OpenedLinks>();
    }
    void cleanup() {
        m_links.reset();
        m_main.reset();
        m_dir.reset();
    }

    void viewPage_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("choose"); // engine button to press, -1 for Cancel
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("opened"); // path and query after the engine's host
        QTest::addColumn<QString>("message");
        const QString nf = QStringLiteral("not found");
        const QString g = "/search?q=blue widgets&hl=en&lr=&ie=UTF-8&oe=UTF-8&start=";
        const QString l = "/default.asp?lpv=1&loc=searchhp&tab=web&query=blue widgets";
        const QString s = "/r_search?look=&key=blue widgets";
        QTest::newRow("google page 2")
            << QStringList{"Rank 15 / Page 2", nf, nf, nf} << 0 << "1000" << g + "10&sa=N"
            << "";
        QTest::newRow("google page 1")
            << QStringList{"Rank 3 / Page 1", nf, nf, nf} << 0 << "1000" << g + "0&sa=N"
            << "";
        QTest::newRow("altavista page 3")
            << QStringList{nf, "Rank 22 / Page 3", nf, nf} << 1 << "0100"
            << "/sites/search/web?q=blue widgets&pg=q&avkw=qtrp&kl=XX&stq=20"
            << "";
        QTest::newRow("lycos rank 15") << QStringList{nf, nf, "Rank 15 / Page 2", nf} << 2 << "0010"
                                       << l + "&first=15&page=more"
                                       << "";
        QTest::newRow("lycos rank 10")
            << QStringList{nf, nf, "Rank 10 / Page 1", nf} << 2 << "0010" << l << "";
        QTest::newRow("looksmart page 2")
            << QStringList{nf, nf, nf, "Rank 20 / Page 2"} << 3 << "0001"
            << s + "&skip=15&se=4,1,109,0&search=us302562;local_US"
            << "";
        QTest::newRow("looksmart page 1")
            << QStringList{nf, nf, nf, "Rank 4 / Page 1"} << 3 << "0001" << s << "";
        QTest::newRow("only lycos, cancelled")
            << QStringList{nf, "-", "Rank 2 / Page 1", ""} << -1 << "0010"
            << ""
            << "";
        QTest::newRow("nothing usable") << QStringList{nf, nf, "-", ""} << -1 << ""
                                        << ""
                                        << "Please first click RANK to get a search engine "
                                           "result page to view.";
        QTest::newRow("nothing selected")
            << QStringList{} << -1 << ""
            << ""
            << "Please select an entry to view the search engine result page.";
    }
    void viewPage() {
        QFETCH(QStringList, texts);
        QFETCH(int, choose);
        QFETCH(QString, enabled);
        QFETCH(QString, opened);
        QFETCH(QString, message);
        addRow({"Rank 1 / Page 1", "-", "-", "-"}, "first");
        if (!texts.isEmpty())
            select({addRow(texts), addRow({"Rank 1 / Page 1", "-", "-", "-"}, "last")});
        QString seen;
        ModalDriver<CSelectEngineDlg> driver([&](CSelectEngineDlg* dlg) {
            for (int engine = 0; engine < kEngineCount; ++engine)
                seen += dlg->engineButton(engine)->isEnabled() ? '1' : '0';
            QTest::mouseClick(choose < 0 ? dlg->findChild<QPushButton*>("2")
                                         : dlg->engineButton(choose),
                              Qt::LeftButton);
        });
        m_main->OnViewPage();
        QCOMPARE(driver.opened(), !enabled.isEmpty());
        QCOMPARE(seen, enabled);
        const auto host = [&] { return EngineHost(static_cast<SearchEngine>(choose)); };
        QCOMPARE(m_links->opened,
                 opened.isEmpty()
                     ? QStringList()
                     : QStringList{"http://" + QString::fromStdString(host()) + opened});
        QCOMPARE(shownTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    }

    void details_data() {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("google");
        QTest::addColumn<QList<int>>("lengths"); // empty: the row has no record
        QTest::addColumn<QString>("message");
        const QString notRanked("Please first click RANK to get the results ranked above yours.");
        QTest::newRow("3, 0, 5, 1") << true << "Rank 4 / Page 1" << QList<int>{3, 0, 5, 1} << "";
        QTest::newRow("all lists empty")
            << true << "Rank 4 / Page 1" << QList<int>{0, 0, 0, 0} << "";
        QTest::newRow("nothing selected")
            << false << "Rank 4 / Page 1" << QList<int>{1, 1, 1, 1}
            << "Please select an entry to view the Google results ranked above yours.";
        QTest::newRow("no usable column, record kept")
            << true << "not found" << QList<int>{1, 1, 1, 1} << notRanked;
        QTest::newRow("ranked before the restart, no record")
            << true << "Rank 4 / Page 1" << QList<int>{} << notRanked;
    }
    void details() {
        QFETCH(bool, selected);
        QFETCH(QString, google);
        QFETCH(QList<int>, lengths);
        QFETCH(QString, message);
        const int row = addRow({google, "not found", "-", ""});
        if (!lengths.isEmpty()) {
            auto results = std::make_unique<EntryResults>();
            for (int engine = 0; engine < kEngineCount; ++engine)
                for (int k = 0; k < lengths[engine]; ++k)
                    results->sites[engine].push_back(site(engine, k));
            model().setResults(row, std::move(results));
        }
        select(selected ? QList<int>{row} : QList<int>{});
        ModalDriver<CRankDetailsDlg> driver([&](CRankDetailsDlg* dlg) {
            QCOMPARE(dlg->headingLabel()->text(),
                     "The following web sites are ranked above www.mine.example *\n"
                     "Search phrase: blue widgets");
            QTreeWidget* list = dlg->sitesList();
            const QStringList captions{"Rank", "Google", "Altavista", "Lycos", "Looksmart"};
            const int widths[] = {40, 160, 160, 160, 260};
            for (int col = 0; col < 5; ++col) {
                QCOMPARE(list->headerItem()->text(col), captions[col]);
                QCOMPARE(list->header()->sectionSize(col), widths[col]);
            }
            const int rows = *std::max_element(lengths.begin(), lengths.end());
            QCOMPARE(list->topLevelItemCount(), rows);
            for (int k = 0; k < rows; ++k) {
                QCOMPARE(list->topLevelItem(k)->text(0), QString::number(k + 1));
                for (int e = 0; e < kEngineCount; ++e)
                    QCOMPARE(list->topLevelItem(k)->text(1 + e),
                             k < lengths[e] ? QString::fromStdString(site(e, k)) : QString());
            }
        });
        m_main->OnResults();
        QCOMPARE(driver.opened(), message.isEmpty());
        QCOMPARE(shownTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    }

    void visit_data() {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("message");
        QTest::newRow("quoted") << 0 << "\"https://a.example/\" class=l"
                                << "https://a.example/"
                                << "";
        QTest::newRow("nothing selected") << 0 << ""
                                          << ""
                                          << "Please select an entry visit.";
        QTest::newRow("empty cell") << 1 << ""
                                    << ""
                                    << "Please select a valid Altavista entry to visit.";
        QTest::newRow("local file") << 2 << "file:///etc/passwd"
                                    << ""
                                    << "Please select a valid Lycos entry to visit.";
        QTest::newRow("quoted program") << 3 << "\"C:\\Windows\\calc.exe\""
                                        << ""
                                        << "Please select a valid Looksmart entry to visit.";
    }
    void visit() {
        QFETCH(int, engine);
        QFETCH(QString, text);
        QFETCH(QString, opened);
        QFETCH(QString, message);
        const int row = addRow({"Rank 5 / Page 1", "-", "-", "-"});
        auto results = std::make_unique<EntryResults>();
        if (!text.isEmpty())
            results->sites[engine].push_back(text.toStdString());
        results->sites[(engine + 1) % kEngineCount] = {site(0, 0), site(0, 1)};
        model().setResults(row, std::move(results));
        select({row});
        const bool pick = !message.startsWith("Please select an entry");
        QStringList shown;
        ModalDriver<CRankDetailsDlg> driver([&](CRankDetailsDlg* dlg) {
            // A ranking run may replace the record while the dialog is open.
            model().setResults(row, nullptr);
            if (pick)
                dlg->sitesList()->setCurrentItem(dlg->sitesList()->topLevelItem(0));
            QTest::mouseClick(dlg->findChild<QPushButton*>(QString::number(1017 + engine)),
                              Qt::LeftButton);
            shown = shownTexts();
            QVERIFY(dlg->isVisible());
        });
        m_main->OnResults();
        QVERIFY(driver.opened());
        QCOMPARE(m_links->opened, opened.isEmpty() ? QStringList() : QStringList{opened});
        QCOMPARE(shown, message.isEmpty() ? QStringList() : QStringList{message});
    }

    // Sites cut from result pages and the entry's own texts are shown as typed: markup is not
    // drawn (in the list or its tooltips) and controls read as escapes; Visit still opens the
    // address as it was read.
    void detailsShowTextAsTyped() {
        const std::string markup = "<img src=\"/tmp/x.png\"><h1>FAKE RANK 1</h1>";
        const std::string controls = "http://a.example/\x1b[2J\xe2\x80\xae"
                                     "gpj.exe";
        const int row = model().appendEntry("www.<b>mine</b>.example\r\n", "blue\x07widgets",
                                            {"Rank 3 / Page 1", "-", "-", "-"});
        // The list's cells too: one line each, read as typed; the file keeps the bytes.
        QCOMPARE(model().index(row, ColUrl).data().toString(), "www.<b>mine</b>.example\\r\\n");
        QCOMPARE(model().index(row, ColKeywords).data().toString(), "blue\\x07widgets");
        QCOMPARE(model().cell(row, ColKeywords), std::string("blue\x07widgets"));
        auto results = std::make_unique<EntryResults>();
        results->sites[Google] = {markup, controls};
        model().setResults(row, std::move(results));
        select({row});
        ModalDriver<CRankDetailsDlg> driver([&](CRankDetailsDlg* dlg) {
            QLabel* heading = dlg->headingLabel();
            QCOMPARE(heading->textFormat(), Qt::PlainText);
            QCOMPARE(heading->text(), "The following web sites are ranked above "
                                      "www.<b>mine</b>.example\\r\\n\nSearch phrase: "
                                      "blue\\x07widgets");
            QCOMPARE(tw::test::shownTip(heading->toolTip()), heading->text());
            QTreeWidget* list = dlg->sitesList();
            const QStringList shown{QString::fromStdString(markup),
                                    "http://a.example/\\x1B[2J\\u202Egpj.exe"};
            for (int k = 0; k < 2; ++k) {
                QCOMPARE(list->topLevelItem(k)->text(1), shown[k]);
                QCOMPARE(tw::test::shownTip(list->topLevelItem(k)->toolTip(1)), shown[k]);
            }
            list->setCurrentItem(list->topLevelItem(1));
            QTest::mouseClick(dlg->findChild<QPushButton*>("1017"), Qt::LeftButton);
        });
        m_main->OnResults();
        QVERIFY(driver.opened());
        QCOMPARE(m_links->opened, QStringList{QString::fromStdString(controls)});
        QVERIFY(shownTexts().isEmpty());
    }

    // When no browser can be started, View Page and Visit say so instead of doing nothing.
    void noBrowserIsSaid_data() {
        QTest::addColumn<bool>("visit");
        QTest::newRow("view page") << false;
        QTest::newRow("visit") << true;
    }
    void noBrowserIsSaid() {
        QFETCH(bool, visit);
        m_links->answer = false;
        const int row = addRow({"Rank 3 / Page 1", "-", "-", "-"});
        auto results = std::make_unique<EntryResults>();
        results->sites[Google] = {"http://above.example/"};
        model().setResults(row, std::move(results));
        select({row});
        QStringList shown;
        if (visit) {
            ModalDriver<CRankDetailsDlg> driver([&](CRankDetailsDlg* dlg) {
                dlg->sitesList()->setCurrentItem(dlg->sitesList()->topLevelItem(0));
                QTest::mouseClick(dlg->findChild<QPushButton*>("1017"), Qt::LeftButton);
                shown = shownTexts();
            });
            m_main->OnResults();
            QVERIFY(driver.opened());
        } else {
            ModalDriver<CSelectEngineDlg> driver([&](CSelectEngineDlg* dlg) {
                QTest::mouseClick(dlg->engineButton(0), Qt::LeftButton);
            });
            m_main->OnViewPage();
            QVERIFY(driver.opened());
            shown = shownTexts();
        }
        QCOMPARE(m_links->opened.size(), 1);
        QCOMPARE(shown,
                 QStringList{"No web browser could be started for " + m_links->opened[0] + "."});
    }

    void save_data() {
        QTest::addColumn<QString>("name"); // empty: the file dialog is cancelled
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("elsewhere") << "MyResults.txt" << false;
        QTest::newRow("disk full") << "MyResults.txt" << true;
        QTest::newRow("cancelled") << "" << false;
    }
    void save() {
        QFETCH(QString, name);
        QFETCH(bool, diskFull);
        model().appendEntry("www.mine.example", "blue widgets", {"Rank 15 / Page 2"});
        QTemporaryDir elsewhere;
        const QString path = name.isEmpty() ? QString() : QDir(elsewhere.path()).filePath(name);
        const QByteArray old("old report");
        if (!path.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        }
        tw::testing::setNextFileName(path);
        // As a file dialog may do: leave the process in the folder it showed last.
        QDir::setCurrent(elsewhere.path());
        {
            std::unique_ptr<tw::test::ScopedFileSizeLimit> full;
            if (diskFull)
                full = std::make_unique<tw::test::ScopedFileSizeLimit>(50);
            m_main->OnSave();
        }
        QCOMPARE(QDir::currentPath(), m_main->startDir());
        const QStringList shown = shownTexts();
        QFile file(path);
        const QByteArray bytes =
            !path.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (path.isEmpty()) {
            QVERIFY(shown.isEmpty());
        } else if (diskFull) {
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].contains(QDir::toNativeSeparators(path)) &&
                         !shown[0].startsWith("Results saved"),
                     qPrintable(shown[0]));
            QCOMPARE(bytes, old);
        } else {
            QCOMPARE(shown, QStringList{"Results saved to " + path});
            QVERIFY(bytes.endsWith("1. www.mine.example\r\nTarget Keywords: blue widgets\r\n"
                                   "Google           Rank 15 / Page 2\r\nAltavista        -\r\n"
                                   "Lycos            -\r\nLooksmart        -\r\n\r\n"
                                   "----------------------------------\r\n\r\n"));
        }
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files),
                 path.isEmpty() ? QStringList() : QStringList{name});
    }
};

TW_TEST_MAIN_GUI(TestResultsCommands)
#include "test_resultscommands.moc"
