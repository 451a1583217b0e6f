// The competitors' windows offscreen: the Competitors view of a hand-made history (its table,
// slot choice, visibility and chart), the Competitors dialog editing the file and offering the
// sites above, and the competitors' lines and columns in the History window.
// With TW_SHOT_DIR set, each test leaves a picture of its window there.

#include "data/Competitors.h"
#include "data/EntryListModel.h"
#include "history/CompetitorsCommand.h"
#include "history/CompetitorsDlg.h"
#include "history/CompetitorsViewDlg.h"
#include "history/HistoryDlg.h"
#include "support/CompetitorsHistory.h"
#include "support/GuiTest.h"
#include "support/TestEnv.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace tw;

namespace {
const QStringList kLabels = {"Google", "Altavista", "Lycos", "Looksmart"};

void shoot(QWidget* window, const char* name, QSize size) {
    const QString dir = qEnvironmentVariable("TW_SHOT_DIR");
    if (dir.isEmpty())
        return;
    window->show();
    window->resize(size);
    QApplication::processEvents();
    window->grab().save(dir + QLatin1Char('/') + QLatin1String(name));
}

QStringList row(const QTableWidget* table, int r) {
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(r, c) ? table->item(r, c)->text() : QString());
    return texts;
}

QStringList headers(const QAbstractItemModel* model) {
    QStringList texts;
    for (int c = 0; c < model->columnCount(); ++c)
        texts << model->headerData(c, Qt::Horizontal).toString();
    return texts;
}
} // namespace

class TestCompetitorsDlg : public QObject {
    Q_OBJECT

    tw::test::ScopedWorkDir* m_dir = nullptr;
    QString dataFile() const { return m_dir->file("list.dat"); }

private slots:
    void init() {
        tw::test::answerMessageBoxes();
        m_dir = new tw::test::ScopedWorkDir;
        QString error;
        QVERIFY2(tw::test::recordCompetitorsHistory(dataFile(), &error), qPrintable(error));
    }
    void cleanup() {
        delete m_dir;
        m_dir = nullptr;
    }
    void viewTableAndSlots();
    void viewVisibility();
    void dialogOffersAndAdds();
    void dialogRefusesBlankAndWritesFile();
    void commandsNeedListFile();
    void historyLinesAndColumns();
};

void TestCompetitorsDlg::viewTableAndSlots() {
    CompetitorsData data(tw::test::kRivals);
    QString error;
    QVERIFY(loadCompetitorsData(dataFile(), tw::test::competitorsEntries(), &data, &error));
    CompetitorsViewDlg dlg;
    dlg.setData(std::move(data), kLabels);
    // Only the columns that have results can be chosen.
    QCOMPARE(dlg.slotCombo()->count(), 2);
    QCOMPARE(dlg.slotCombo()->itemText(0), QStringLiteral("Google"));
    QCOMPARE(dlg.slotCombo()->itemText(1), QStringLiteral("Lycos"));
    QCOMPARE(dlg.shownSlot(), 0);
    QCOMPARE(headers(dlg.table()->model()),
             QStringList({"URL", "Keywords", "You", "change", "rival.example", "change",
                          "other.example", "change"}));
    QCOMPARE(row(dlg.table(), 0),
             QStringList({"www.my-site.example", "blue widgets", "Rank 1 / Page 1", "up 2",
                          "Rank 2 / Page 1", "down 1", "not in the first 3", "same"}));
    QCOMPARE(dlg.table()->rowCount(), 3);
    QVERIFY(dlg.note()->text().isEmpty());

    dlg.slotCombo()->setCurrentIndex(1);
    emit dlg.slotCombo()->activated(1);
    QCOMPARE(dlg.shownSlot(), 2);
    QCOMPARE(row(dlg.table(), 0).mid(2, 3),
             QStringList({"Rank 3 / Page 1", "", "Rank 1 / Page 1"}));

    // Without competitors the view still shows the list's own ranks, and says how to add some.
    CompetitorsData alone;
    QVERIFY(loadCompetitorsData(dataFile(), tw::test::competitorsEntries(), &alone, &error));
    dlg.setData(std::move(alone), kLabels);
    QCOMPARE(dlg.table()->columnCount(), 4);
    QVERIFY(dlg.note()->text().contains("Competitors..."));
}

void TestCompetitorsDlg::viewVisibility() {
    CompetitorsData data(tw::test::kRivals);
    QString error;
    QVERIFY(loadCompetitorsData(dataFile(), tw::test::competitorsEntries(), &data, &error));
    CompetitorsViewDlg dlg;
    dlg.setData(std::move(data), kLabels);
    shoot(&dlg, "competitors-view.png", {900, 600});

    // Per site: the latest run, and the run before.
    QCOMPARE(dlg.visibilityTable()->rowCount(), 4);
    QCOMPARE(row(dlg.visibilityTable(), 0),
             QStringList({"www.my-site.example", "15.9 %", "9.3 %"}));
    QCOMPARE(row(dlg.visibilityTable(), 2), QStringList({"rival.example", "24.7 %", "28.2 %"}));
    QCOMPARE(row(dlg.visibilityTable(), 3), QStringList({"other.example", "0.0 %", "15.9 %"}));

    // A line per site, a point per run.
    QCOMPARE(dlg.chart()->series().size(), 4);
    QLineSeries* rival = dlg.visibilitySeries("rival.example");
    QVERIFY(rival);
    QCOMPARE(rival->count(), 2);
    QVERIFY(qFuzzyCompare(rival->at(0).y(), (31.73 + 24.71) / 2));
    QVERIFY(qFuzzyCompare(rival->at(1).y(), 24.71));
    QVERIFY(rival->at(0).x() < rival->at(1).x());
    QVERIFY(dlg.visibilitySeries("www.my-site.example/shop"));
    QVERIFY(dlg.visibilitySeries("www.my-site.example")->name().contains("(you)"));
}

void TestCompetitorsDlg::dialogOffersAndAdds() {
    const QString path = datafile::CompetitorsPath(dataFile());
    tw::test::writeFile(path, "# watched\nfoo.example\n");
    EntryListModel model;
    for (const ListEntry& e : tw::test::competitorsEntries())
        model.appendEntry(e.url, e.keywords);
    bool checked = false;
    tw::test::ModalDriver<CompetitorsDlg> driver([&](CompetitorsDlg* dlg) {
        QTableWidget* offered = dlg->offeredTable();
        QCOMPARE(offered->rowCount(), 2);
        QCOMPARE(row(offered, 0).mid(0, 2), QStringList({"rival.example", "2 of 3"}));
        // A site the list has already cannot be added twice.
        QCOMPARE(offered->item(1, 0)->text(), QStringLiteral("foo.example"));
        QVERIFY(!dlg->addButton(1)->isEnabled());
        QVERIFY(dlg->addButton(0)->isEnabled());
        dlg->addButton(0)->click();
        QCOMPARE(dlg->sitesEdit()->toPlainText(),
                 QStringLiteral("# watched\nfoo.example\nrival.example\n"));
        QVERIFY(!dlg->addButton(0)->isEnabled());
        shoot(dlg, "competitors-dialog.png", {700, 380});
        dlg->accept();
        checked = true;
    });
    EditCompetitors(nullptr, model, dataFile(), false);
    QVERIFY(driver.opened());
    QVERIFY(checked);
    QCOMPARE(tw::test::readFile(path), QByteArray("# watched\nfoo.example\nrival.example\n"));

    // Read-only: shown, but nothing is added or written.
    tw::test::ModalDriver<CompetitorsDlg> readOnly([&](CompetitorsDlg* dlg) {
        QVERIFY(!dlg->addButton(1)->isEnabled());
        QVERIFY(dlg->sitesEdit()->isReadOnly());
        dlg->sitesEdit()->setPlainText("changed.example\n");
        dlg->accept();
    });
    EditCompetitors(nullptr, model, dataFile(), true);
    QVERIFY(readOnly.opened());
    QCOMPARE(tw::test::readFile(path), QByteArray("# watched\nfoo.example\nrival.example\n"));
}

void TestCompetitorsDlg::dialogRefusesBlankAndWritesFile() {
    const QString path = datafile::CompetitorsPath(dataFile());
    CompetitorsDlg dlg(path);
    dlg.setText("rival.example\n");
    dlg.show();
    dlg.sitesEdit()->setPlainText("rival.example\nmy rival\n");
    dlg.accept();
    // Refused with the parser's reason; the dialog stays and nothing is written.
    const auto shown = tw::testing::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.contains("Line 2"), qPrintable(shown[0].text));
    QVERIFY(dlg.isVisible());
    QVERIFY(!QFile::exists(path));

    dlg.sitesEdit()->setPlainText("rival.example\n# my rival\n");
    dlg.accept();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(tw::test::readFile(path), QByteArray("rival.example\n# my rival\n"));
}

void TestCompetitorsDlg::commandsNeedListFile() {
    EntryListModel model;
    model.appendEntry("www.my-site.example", "blue widgets");
    {
        tw::test::ModalDriver<QDialog> none([](QDialog*) { QFAIL("no dialog should open"); });
        EditCompetitors(nullptr, model, QString(), false);
        ShowCompetitors(nullptr, model, QString());
    }
    const auto shown = tw::testing::takeShownMessages();
    QCOMPARE(shown.size(), 2);
    QVERIFY(shown[0].text.contains("no data file"));

    // A list not written yet: its competitors wait beside where it will be.
    tw::test::ModalDriver<CompetitorsDlg> unsaved([](CompetitorsDlg* dlg) {
        QCOMPARE(dlg->offeredTable()->rowCount(), 0);
        dlg->sitesEdit()->setPlainText("rival.example\n");
        dlg->accept();
    });
    EditCompetitors(nullptr, model, m_dir->file("new.dat"), false);
    QVERIFY(unsaved.opened());
    QCOMPARE(tw::test::readFile(m_dir->file("new.competitors.txt")), QByteArray("rival.example\n"));
    QVERIFY(tw::testing::takeShownMessages().isEmpty());

    // A competitors file the view cannot use is named, not taken for none.
    tw::test::writeFile(datafile::CompetitorsPath(dataFile()), "a b\n");
    ShowCompetitors(nullptr, model, dataFile());
    const auto refused = tw::testing::takeShownMessages();
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused[0].text.contains("Line 1"), qPrintable(refused[0].text));
}

void TestCompetitorsDlg::historyLinesAndColumns() {
    EntryHistory history;
    QString error;
    QVERIFY(loadEntryHistoryWithResults(dataFile(), tw::test::competitorsEntries()[0], &history,
                                        &error));
    HistoryDlg dlg;
    dlg.setHistory(std::move(history), kLabels, tw::test::kRivals);
    // Each competitor in each column that kept result lists: Google and Lycos.
    const std::vector<QLineSeries*>& lines = dlg.competitorSeries();
    QCOMPARE(int(lines.size()), 4);
    QCOMPARE(lines[0]->name(), QStringLiteral("rival.example (Google)"));
    QCOMPARE(lines[1]->name(), QStringLiteral("rival.example (Lycos)"));
    QCOMPARE(lines[2]->name(), QStringLiteral("other.example (Google)"));
    // Oldest run first: rival first, then second.
    QCOMPARE(lines[0]->count(), 2);
    QCOMPARE(lines[0]->at(0).y(), 1.0);
    QCOMPARE(lines[0]->at(1).y(), 2.0);
    QCOMPARE(lines[2]->count(), 0);
    QVERIFY(dlg.pointTip(lines[0], lines[0]->at(1)).contains("rival.example: Rank 2 / Page 1"));

    QCOMPARE(headers(dlg.model()).mid(5),
             QStringList({"rival.example (Google)", "rival.example (Lycos)",
                          "other.example (Google)", "other.example (Lycos)"}));
    // Newest run first; Lycos ran once.
    QCOMPARE(dlg.model()->index(0, 5).data().toString(), QStringLiteral("Rank 2 / Page 1"));
    QCOMPARE(dlg.model()->index(1, 5).data().toString(), QStringLiteral("Rank 1 / Page 1"));
    QCOMPARE(dlg.model()->index(0, 7).data().toString(), QStringLiteral("not in the first 3"));
    QCOMPARE(dlg.model()->index(1, 6).data().toString(), QString());
    shoot(&dlg, "history-competitors.png", {900, 640});

    // A click on its name in the legend hides a line, and the name stays to show it again.
    dlg.show();
    QList<QLegendMarker*> markers = dlg.chart()->legend()->markers(lines[0]);
    QCOMPARE(markers.size(), 1);
    emit markers[0]->clicked();
    QVERIFY(!lines[0]->isVisible());
    QVERIFY(markers[0]->isVisible());
    QVERIFY(lines[1]->isVisible());
    emit markers[0]->clicked();
    QVERIFY(lines[0]->isVisible());
}

TW_TEST_MAIN_GUI(TestCompetitorsDlg)
#include "test_competitorsdlg.moc"
