// The History window, offscreen: the chart's series and marker rows, its rank axis, the runs
// table, the summary and the CSV export.

#include "history/HistoryDlg.h"
#include "history/HistoryText.h"
#include "support/TestEnv.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTextDocument>
#include <QtTest>

using namespace tw;

namespace {
const QStringList kLabels = {QStringLiteral("Google"), QStringLiteral("Altavista"),
                             QStringLiteral("Lycos"), QStringLiteral("Looksmart")};

HistoryResult result(int slot, const std::string& text, std::optional<int> rank = {},
                     std::string error = {}) {
    HistoryResult r;
    r.slot = slot;
    r.engine = kLabels[slot].toStdString();
    r.source = slot == 3 ? "api" : "classic";
    r.text = text;
    r.rank = rank;
    if (rank)
        r.page = (*rank - 1) / 10 + 1;
    r.error = std::move(error);
    return r;
}

// Three runs, newest first: Google 40 <- 45 <- 50; Altavista not found once; Lycos an error.
EntryHistory sample() {
    EntryHistory history;
    history.url = "http://shop.example/";
    history.keywords = "red, \"shoes\"";
    const int ranks[3] = {40, 45, 50};
    for (int i = 0; i < 3; ++i) {
        HistoryRun run;
        run.runId = 3 - i;
        run.time = QDateTime(QDate(2026, 12, 3 - i), QTime(9, 30), Qt::OffsetFromUTC, 3600);
        run.bySlot[0] = result(0, "Rank " + std::to_string(ranks[i]) + " / Page 5", ranks[i]);
        history.runs.push_back(run);
    }
    history.runs[0].bySlot[1] = result(1, "Rank 42 / Page 5", 42);
    history.runs[1].bySlot[1] = result(1, "not found");
    history.runs[0].bySlot[2] = result(2, "error", {}, "The engine blocked the search.");
    history.runs[2].bySlot[3] = result(3, "Rank 44 / Page 5", 44);
    return history;
}

QStringList axisLabels(QCategoryAxis* axis) {
    return axis->categoriesLabels();
}
} // namespace

class TestHistoryDlg : public QObject {
    Q_OBJECT

private slots:
    void init() {
        tw::testing::setAutoAnswer(true);
        tw::testing::takeShownMessages();
    }
    void seriesAndMarkers();
    void rankAxisScaledToRanks();
    void runsTableAndSummary();
    void pointTooltips();
    void exportWritesEntryCsv();
    void emptyHistory();
    void resizesWithWindow();
    void paintsChart();
    void threeCloseRuns();
    void historyTextShownAsTyped();
};

void TestHistoryDlg::seriesAndMarkers() {
    HistoryDlg dlg;
    dlg.setHistory(sample(), kLabels);
    for (int s = 0; s < kHistorySlots; ++s)
        QCOMPARE(dlg.slotSeries(s)->name(), kLabels[s]);
    QCOMPARE(dlg.slotSeries(0)->count(), 3);
    // Oldest first, at their ranks.
    QCOMPARE(dlg.slotSeries(0)->at(0).y(), 50.0);
    QCOMPARE(dlg.slotSeries(0)->at(2).y(), 40.0);
    QCOMPARE(dlg.slotSeries(0)->at(2).x(),
             double(QDateTime(QDate(2026, 12, 3), QTime(9, 30), Qt::OffsetFromUTC, 3600)
                        .toMSecsSinceEpoch()));
    QCOMPARE(dlg.slotSeries(1)->count(), 1);
    QCOMPARE(dlg.slotSeries(2)->count(), 0);

    QCOMPARE(dlg.notFoundSeries(1)->count(), 1);
    QCOMPARE(dlg.errorSeries(2)->count(), 1);
    QCOMPARE(dlg.notFoundSeries(0)->count(), 0);
    QCOMPARE(dlg.errorSeries(0)->count(), 0);
    // Marker rows lie below the lowest rank (greater values, drawn lower), errors below "not
    // found", and none of them at rank 0.
    const double notFoundY = dlg.notFoundSeries(1)->at(0).y();
    const double errorY = dlg.errorSeries(2)->at(0).y();
    QVERIFY(notFoundY > 50);
    QVERIFY(errorY > notFoundY);
    QVERIFY(dlg.notFoundSeries(1)->markerShape() != dlg.errorSeries(2)->markerShape());
    QCOMPARE(dlg.chart()->series().size(), 3 * kHistorySlots);
}

void TestHistoryDlg::rankAxisScaledToRanks() {
    HistoryDlg dlg;
    dlg.setHistory(sample(), kLabels);
    QCategoryAxis* axis = dlg.rankAxis();
    QVERIFY(axis->isReverse());
    QVERIFY(axis->min() > 30 && axis->min() < 40);
    QVERIFY(axis->max() > dlg.errorSeries(2)->at(0).y());
    QVERIFY(axis->max() < 70);
    const QStringList labels = axisLabels(axis);
    QVERIFY(labels.contains(QStringLiteral("not found")));
    QVERIFY(labels.contains(QStringLiteral("error")));
    QVERIFY(labels.contains(QStringLiteral("40")) || labels.contains(QStringLiteral("39")) ||
            labels.contains(QStringLiteral("38")) || labels.contains(QStringLiteral("37")));
    QVERIFY(!labels.contains(QStringLiteral("1")));
    QVERIFY(dlg.timeAxis()->min() <
            QDateTime(QDate(2026, 12, 1), QTime(9, 30), Qt::OffsetFromUTC, 3600));
    QVERIFY(dlg.timeAxis()->max() >
            QDateTime(QDate(2026, 12, 3), QTime(9, 30), Qt::OffsetFromUTC, 3600));

    // A site at the top gets an axis from 1 and no marker rows.
    EntryHistory top;
    for (int i = 0; i < 2; ++i) {
        HistoryRun run;
        run.runId = 2 - i;
        run.time = QDateTime(QDate(2026, 12, 2 - i), QTime(9, 30), Qt::UTC);
        run.bySlot[0] = result(0, "Rank 1 / Page 1", 1 + 2 * i);
        top.runs.push_back(run);
    }
    dlg.setHistory(top, kLabels);
    QVERIFY(dlg.rankAxis()->min() < 1 && dlg.rankAxis()->min() > 0);
    QVERIFY(dlg.rankAxis()->max() > 10 && dlg.rankAxis()->max() < 12); // at least 1 to 10
    QVERIFY(!axisLabels(dlg.rankAxis()).contains(QStringLiteral("not found")));
    QVERIFY(axisLabels(dlg.rankAxis()).contains(QStringLiteral("1")));
}

void TestHistoryDlg::runsTableAndSummary() {
    HistoryDlg dlg;
    dlg.setHistory(sample(), kLabels);
    QAbstractItemModel* model = dlg.runsView()->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->columnCount(), 5);
    for (int s = 0; s < kHistorySlots; ++s)
        QCOMPARE(model->headerData(1 + s, Qt::Horizontal).toString(), kLabels[s]);
    const QString newest = QDateTime(QDate(2026, 12, 3), QTime(9, 30), Qt::OffsetFromUTC, 3600)
                               .toLocalTime()
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QCOMPARE(model->index(0, 0).data().toString(), newest);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("Rank 40 / Page 5"));
    QCOMPARE(model->index(2, 1).data().toString(), QStringLiteral("Rank 50 / Page 5"));
    QCOMPARE(model->index(1, 2).data().toString(), QStringLiteral("not found"));
    QCOMPARE(model->index(0, 3).data().toString(), QStringLiteral("error"));
    QVERIFY(model->index(0, 3).data(Qt::ToolTipRole).toString().contains("blocked"));
    QCOMPARE(model->index(0, 4).data().toString(), QString());

    QTableWidget* summary = dlg.summaryTable();
    // Column for column beneath the runs: a name, then the four slots.
    QCOMPARE(summary->item(0, 1)->text(), QStringLiteral("Rank 40 / Page 5"));
    QCOMPARE(summary->item(1, 1)->text(), QStringLiteral("up 5"));
    QCOMPARE(summary->item(1, 2)->text(), QStringLiteral("new"));
    QCOMPARE(summary->item(0, 3)->text(), QStringLiteral("never ranked"));
    QCOMPARE(summary->item(1, 4)->text(), QStringLiteral("no earlier run"));
    QVERIFY(summary->item(0, 4)->toolTip().startsWith(kLabels[3]));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    for (int column = 0; column < 5; ++column)
        QCOMPARE(summary->columnViewportPosition(column),
                 dlg.runsView()->columnViewportPosition(column));
}

void TestHistoryDlg::pointTooltips() {
    HistoryDlg dlg;
    dlg.setHistory(sample(), kLabels);
    QLineSeries* google = dlg.slotSeries(0);
    const QString tip = dlg.pointTip(google, google->at(1));
    QVERIFY2(tip.contains(QStringLiteral("Rank 45 / Page 5")), qPrintable(tip));
    QVERIFY(tip.contains(QStringLiteral("classic")));
    QVERIFY(tip.contains(QDateTime(QDate(2026, 12, 2), QTime(9, 30), Qt::OffsetFromUTC, 3600)
                             .toLocalTime()
                             .toString(QStringLiteral("yyyy-MM-dd"))));
    const QString errorTip = dlg.pointTip(dlg.errorSeries(2), dlg.errorSeries(2)->at(0));
    QVERIFY2(errorTip.contains(QStringLiteral("error: The engine blocked the search.")),
             qPrintable(errorTip));
    QVERIFY(dlg.pointTip(dlg.slotSeries(3), dlg.slotSeries(3)->at(0)).contains("api"));
}

void TestHistoryDlg::exportWritesEntryCsv() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shop.csv"));
    HistoryDlg dlg;
    const EntryHistory history = sample();
    dlg.setHistory(history, kLabels);
    tw::testing::setNextFileName(path);
    dlg.onExport();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    QVERIFY(csv.startsWith(csvHeader()));
    QCOMPARE(csv.count("\r\n"), 1 + 7);
    // Oldest first; the keywords quoted.
    const QByteArray first = "2026-12-01T09:30:00+01:00,http://shop.example/,"
                             "\"red, \"\"shoes\"\"\",0,Google,classic,Rank 50 / Page 5,50,5,\r\n";
    QCOMPARE(csv.mid(csvHeader().size(), first.size()), first);
    QVERIFY(csv.endsWith(",2,Lycos,classic,error,,,The engine blocked the search.\r\n"));
    const auto shown = tw::testing::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown[0].text.contains(path));

    // A folder that does not exist: a warning, nothing written.
    tw::testing::setNextFileName(dir.filePath(QStringLiteral("nope/x.csv")));
    dlg.onExport();
    const auto failed = tw::testing::takeShownMessages();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0].icon, QMessageBox::Warning);

    // Cancelled: nothing shown.
    tw::testing::setNextFileName(QString());
    dlg.onExport();
    QVERIFY(tw::testing::takeShownMessages().isEmpty());
    // Offered in the documents folder (the tests' own), never the temporary or home folder.
    QCOMPARE(tw::testing::lastStartDir(),
             QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QVERIFY(QFileInfo(tw::testing::lastStartDir()).isDir());
}

void TestHistoryDlg::emptyHistory() {
    HistoryDlg dlg;
    EntryHistory none;
    none.url = "http://new.example/";
    none.keywords = "k";
    dlg.setHistory(none, kLabels);
    QVERIFY(!dlg.exportButton()->isEnabled());
    QCOMPARE(dlg.runsView()->model()->rowCount(), 0);
    QVERIFY(!dlg.chart()->title().isEmpty());
    QCOMPARE(dlg.slotSeries(0)->count(), 0);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
}

void TestHistoryDlg::resizesWithWindow() {
    HistoryDlg dlg;
    dlg.setHistory(sample(), kLabels);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QSize chartBefore = dlg.chartView()->size();
    const QRect runsBefore = dlg.runsView()->geometry();
    dlg.resize(dlg.size() + QSize(200, 120));
    QTRY_COMPARE(dlg.chartView()->size(), chartBefore + QSize(200, 120));
    QCOMPARE(dlg.runsView()->geometry().top(), runsBefore.top() + 120);
    QCOMPARE(dlg.runsView()->width(), runsBefore.width() + 200);
    dlg.reject();
}

void TestHistoryDlg::paintsChart() {
    HistoryDlg dlg;
    dlg.setHistory(sample(), kLabels);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.resize(dlg.minimumDialogSize() + QSize(120, 60));
    const QImage image = dlg.grab().toImage();
    // Each column's line colour shows in the picture.
    const QRect plot = dlg.chart()->plotArea().toRect().translated(dlg.chartView()->pos());
    QVERIFY(plot.width() > 200 && plot.height() > 100);
    QSet<QRgb> colours;
    for (int y = plot.top(); y < plot.bottom(); y += 1)
        for (int x = plot.left(); x < plot.right(); x += 1)
            colours.insert(image.pixel(x, y) & 0xffffff);
    QVERIFY(colours.contains(QColor(0x1f, 0x77, 0xb4).rgb() & 0xffffff));
    // For a look by eye: TW_HISTORY_SCREENSHOT=/tmp/history.png
    const QString keep = qEnvironmentVariable("TW_HISTORY_SCREENSHOT");
    if (!keep.isEmpty())
        QVERIFY(image.save(keep));
}

// Three runs two minutes apart, ranked 29 to 34 on one column only: the runs stand apart on a
// time axis of minutes, the ranks do not fill the height, and the legend names only that column.
void TestHistoryDlg::threeCloseRuns() {
    EntryHistory history;
    history.url = "http://shop.example/";
    history.keywords = "shoes";
    const QDateTime first(QDate(2026, 12, 8), QTime(10, 0));
    const int ranks[3] = {29, 34, 31};
    for (int i = 0; i < 3; ++i) {
        HistoryRun run;
        run.runId = 3 - i;
        run.time = first.addSecs(120 * (2 - i));
        run.bySlot[0] = result(0, "Rank " + std::to_string(ranks[i]) + " / Page 3", ranks[i]);
        history.runs.push_back(run);
    }
    HistoryDlg dlg;
    dlg.setHistory(history, kLabels);
    // The axes as the chart data has them (their rules are the history model's tests').
    QVERIFY(dlg.timeAxis()->min() < first && dlg.timeAxis()->max() > first.addSecs(240));
    QCOMPARE(dlg.timeAxis()->format(), QStringLiteral("HH:mm"));
    QVERIFY(dlg.rankAxis()->max() - dlg.rankAxis()->min() >= 10);
    dlg.show(); // the legend's markers are drawn items from here on
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QStringList legend;
    for (QLegendMarker* marker : dlg.chart()->legend()->markers()) {
        if (marker->isVisible())
            legend << marker->label();
    }
    QCOMPARE(legend, QStringList{kLabels[0]});
}

// What the history holds came from pages and providers: its table, tooltips and title show it
// as typed.
void TestHistoryDlg::historyTextShownAsTyped() {
    EntryHistory history;
    history.url = "http://shop.example/\xe2\x80\xae";
    history.keywords = "red\r\nshoes";
    HistoryRun run;
    run.runId = 1;
    run.time = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
    run.bySlot[0] = result(0, "<b>Rank 1</b>\x1b[2J");
    run.bySlot[0]->error = "<img src=\"/tmp/x.png\"><h1>FAKE RANK 1</h1>";
    history.runs.push_back(run);
    HistoryDlg dlg;
    dlg.setHistory(history, kLabels);
    QAbstractItemModel* model = dlg.runsView()->model();
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("<b>Rank 1</b>\\x1B[2J"));
    const QString tip = model->index(0, 1).data(Qt::ToolTipRole).toString();
    QTextDocument doc;
    doc.setHtml(tip);
    QVERIFY(Qt::mightBeRichText(tip)); // our own markup, the text inside it escaped
    QCOMPARE(doc.toPlainText(), QStringLiteral("<b>Rank 1</b>\\x1B[2J: <img src=\"/tmp/x.png\">"
                                               "<h1>FAKE RANK 1</h1>\nsource: classic"));
    QCOMPARE(dlg.windowTitle(),
             QStringLiteral("History of http://shop.example/\\u202E for \"red\\r\\nshoes\""));
}

TW_TEST_MAIN_GUI(TestHistoryDlg)
#include "test_historydlg.moc"
