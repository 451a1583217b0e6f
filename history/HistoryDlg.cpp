#include "history/HistoryDlg.h"

#include "base/ShownText.h"
#include "data/OutputFile.h"
#include "history/HistoryText.h"
#include "ui/DialogUnits.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QDir>
#include <QHeaderView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tw {

namespace {
// Line colours of the four engine columns; the markers of a column take its colour.
const QColor kSlotColours[kHistorySlots] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                            QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};
// Competitors' lines: colours apart from the slots', and a dash per slot.
const QColor kCompetitorColours[] = {QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                                     QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
                                     QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf)};
const Qt::PenStyle kSlotDashes[kHistorySlots] = {Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                                 Qt::DashDotDotLine};
} // namespace

HistoryDlg::HistoryDlg(QWidget* parent) : CResizableDlg(IDD, parent) {
    setWindowTitle(QStringLiteral("History"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    const DialogUnits du(this);

    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->setBackgroundRoundness(0);
    m_chartView = new QChartView(m_chart, this);
    m_chartView->setRenderHint(QPainter::Antialiasing);
    SetControlId(m_chartView, IDC_CHART);
    du.place(m_chartView, 7, 7, 426, 160);

    m_model = new HistoryTableModel(this);
    m_runs = new QTableView(this);
    m_runs->setModel(m_model);
    m_runs->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_runs->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_runs->verticalHeader()->hide();
    m_runs->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_runs->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_runs->verticalHeader()->setDefaultSectionSize(du.y(10));
    SetControlId(m_runs, IDC_RUNS);
    du.place(m_runs, 7, 172, 426, 78);

    // Beneath the runs, column for column: the first column names the line.
    m_summary = new QTableWidget(2, 1 + kHistorySlots, this);
    m_summary->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Best rank ever")));
    m_summary->setItem(1, 0, new QTableWidgetItem(QStringLiteral("Change since previous run")));
    m_summary->horizontalHeader()->hide();
    m_summary->verticalHeader()->hide();
    m_summary->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_summary->setSelectionMode(QAbstractItemView::NoSelection);
    m_summary->setFocusPolicy(Qt::NoFocus);
    m_summary->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_summary->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_summary->verticalHeader()->setDefaultSectionSize(du.y(10));
    m_summary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_summary->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SetControlId(m_summary, IDC_SUMMARY);
    du.place(m_summary, 7, 254, 426, 22);
    // The first column of both tables fits the longest name, the slots share the rest.
    const int firstColumn =
        m_summary->fontMetrics().horizontalAdvance(QStringLiteral("Change since previous run")) +
        du.x(8);
    for (QHeaderView* header : {m_runs->horizontalHeader(), m_summary->horizontalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Stretch);
        header->setSectionResizeMode(0, QHeaderView::Fixed);
        header->resizeSection(0, firstColumn);
    }

    connect(m_runs->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                if (m_summaryFollowsRuns && section >= 1 && section <= kHistorySlots)
                    m_summary->horizontalHeader()->resizeSection(section, size);
            });
    connect(m_runs->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        m_summary->horizontalScrollBar()->setValue(m_summaryFollowsRuns ? value : 0);
    });

    m_export = new QPushButton(QStringLiteral("&Export..."), this);
    m_export->setAutoDefault(false);
    SetControlId(m_export, IDC_EXPORT);
    du.place(m_export, 7, 281, 50, 14);
    connect(m_export, &QPushButton::clicked, this, &HistoryDlg::onExport);

    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setDefault(true);
    SetControlId(m_close, IDC_CLOSE);
    du.place(m_close, 383, 281, 50, 14);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(m_runs, m_export);
    setTabOrder(m_export, m_close);

    SetTemplateSize(440, 302);
    setHistory({}, {QStringLiteral("Google"), QStringLiteral("Altavista"), QStringLiteral("Lycos"),
                    QStringLiteral("Looksmart")});
}

HistoryDlg::~HistoryDlg() = default;

void HistoryDlg::OnInitDialog() {
    CResizableDlg::OnInitDialog();
    AnchorControl(IDC_CHART, ANCHOR_SIZE_X | ANCHOR_SIZE_Y);
    AnchorControl(IDC_RUNS, ANCHOR_SIZE_X | ANCHOR_MOVE_Y);
    AnchorControl(IDC_SUMMARY, ANCHOR_SIZE_X | ANCHOR_MOVE_Y);
    AnchorControl(IDC_EXPORT, ANCHOR_MOVE_Y);
    AnchorControl(IDC_CLOSE, ANCHOR_MOVE_X | ANCHOR_MOVE_Y);
    m_close->setFocus();
}

void HistoryDlg::setHistory(EntryHistory history, const QStringList& slotLabels,
                            std::vector<std::string> competitors) {
    m_labels = slotLabels;
    while (m_labels.size() < kHistorySlots)
        m_labels << QStringLiteral("Engine %1").arg(m_labels.size() + 1);
    const QString title = history.url.empty()
                              ? QStringLiteral("History")
                              : QStringLiteral("History of %1 for \"%2\"")
                                    .arg(shownText(history.url), shownText(history.keywords));
    setWindowTitle(title);
    m_model->setHistory(std::move(history), m_labels, std::move(competitors));
    // The slots' columns share the width; with competitors' columns beside them each column
    // fits its texts and the table scrolls (fillSummary sizes the slots' columns).
    m_summaryFollowsRuns = m_model->columnCount() > 1 + kHistorySlots;
    QHeaderView* header = m_runs->horizontalHeader();
    for (int c = 1; c < m_model->columnCount(); ++c)
        header->setSectionResizeMode(c, !m_summaryFollowsRuns ? QHeaderView::Stretch
                                        : c <= kHistorySlots  ? QHeaderView::Interactive
                                                              : QHeaderView::ResizeToContents);
    for (int c = 1; c <= kHistorySlots; ++c)
        m_summary->horizontalHeader()->setSectionResizeMode(
            c, m_summaryFollowsRuns ? QHeaderView::Interactive : QHeaderView::Stretch);
    m_export->setEnabled(!m_model->history().runs.empty());
    rebuildChart();
    fillSummary();
}

void HistoryDlg::rebuildChart() {
    m_chart->removeAllSeries();
    for (QAbstractAxis* axis : m_chart->axes())
        m_chart->removeAxis(axis);
    delete m_rankAxis;
    delete m_timeAxis;
    m_points.clear();
    m_lines.fill(nullptr);
    m_notFound.fill(nullptr);
    m_errors.fill(nullptr);
    m_competitorLines.clear();

    const EntryHistory& history = m_model->history();
    const HistoryChart data = buildHistoryChart(history, m_model->competitors());
    m_chart->setTitle(history.runs.empty() ? QStringLiteral("No run has been recorded yet.")
                                           : QString());

    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setTickCount(data.timeTickCount);
    m_timeAxis->setFormat(data.timeFormat);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(data.axisFromMs),
                         QDateTime::fromMSecsSinceEpoch(data.axisToMs));
    m_timeAxis->setTitleText(data.timeTitle);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);

    m_rankAxis = new QCategoryAxis;
    m_rankAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_rankAxis->setRange(data.yMin, data.yMax);
    m_rankAxis->setStartValue(data.yMin);
    m_rankAxis->setReverse(true);
    m_rankAxis->setTitleText(QStringLiteral("Rank"));
    for (const int tick : data.rankTicks)
        m_rankAxis->append(QString::number(tick), tick);
    if (data.notFoundY > 0)
        m_rankAxis->append(QStringLiteral("not found"), data.notFoundY);
    if (data.errorY > 0)
        m_rankAxis->append(QStringLiteral("error"), data.errorY);
    m_chart->addAxis(m_rankAxis, Qt::AlignLeft);

    // Markers of the columns that share a run and a row are moved apart a little, so each shows.
    const double spread = std::max(0.12, (data.yMax - data.yMin) / 120.0);
    auto attach = [this](QXYSeries* series, std::vector<HistoryPoint> points, double shift) {
        for (const HistoryPoint& point : points)
            series->append(double(point.timeMs), point.y + shift);
        m_chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_rankAxis);
        connect(series, &QXYSeries::hovered, this, [this, series](const QPointF& at, bool on) {
            if (!on) {
                QToolTip::hideText();
                return;
            }
            QToolTip::showText(QCursor::pos(), pointTip(series, at), m_chartView);
        });
        m_points[series] = std::move(points);
    };
    for (int s = 0; s < kHistorySlots; ++s) {
        const QColor colour = kSlotColours[s];
        auto* line = new QLineSeries;
        line->setName(m_labels[s]);
        line->setPen(QPen(colour, 2));
        line->setPointsVisible(true);
        m_lines[std::size_t(s)] = line;
        attach(line, data.ranked[std::size_t(s)], 0);

        const double shift = (s - 1.5) * spread;
        auto* notFound = new QScatterSeries;
        notFound->setName(m_labels[s] + QStringLiteral(": not found"));
        notFound->setMarkerShape(QScatterSeries::MarkerShapeCircle);
        notFound->setMarkerSize(9);
        notFound->setColor(Qt::white);
        notFound->setBorderColor(colour);
        m_notFound[std::size_t(s)] = notFound;
        attach(notFound, data.notFound[std::size_t(s)], shift);

        auto* errors = new QScatterSeries;
        errors->setName(m_labels[s] + QStringLiteral(": error"));
        errors->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
        errors->setMarkerSize(11);
        errors->setColor(colour);
        errors->setBorderColor(colour.darker());
        m_errors[std::size_t(s)] = errors;
        attach(errors, data.errors[std::size_t(s)], shift);

        // One legend entry per column that has a point: the marker rows are named on the rank
        // axis, and a column never ranked in this history (switched off) has nothing to show.
        for (QLegendMarker* marker : m_chart->legend()->markers(line))
            marker->setVisible(data.hasData(s));
        for (QLegendMarker* marker : m_chart->legend()->markers(notFound))
            marker->setVisible(false);
        for (QLegendMarker* marker : m_chart->legend()->markers(errors))
            marker->setVisible(false);
    }

    // Competitors dashed, in colours of their own; each slot that kept result lists has a line.
    std::map<std::string, int> competitorIndex;
    for (const HistoryChart::CompetitorLine& c : data.competitorLines) {
        const int index =
            competitorIndex.emplace(c.site, int(competitorIndex.size())).first->second;
        auto* line = new QLineSeries;
        line->setName(shownText(c.site) + QStringLiteral(" (") + m_labels[c.slot] +
                      QLatin1Char(')'));
        QPen pen(kCompetitorColours[std::size_t(index) % std::size(kCompetitorColours)], 2);
        pen.setStyle(kSlotDashes[c.slot]);
        line->setPen(pen);
        line->setPointsVisible(true);
        m_competitorLines.push_back(line);
        attach(line, c.points, 0);
        for (QLegendMarker* marker : m_chart->legend()->markers(line))
            connect(marker, &QLegendMarker::clicked, this,
                    [this, line] { setLineShown(line, !line->isVisible()); });
    }
}

void HistoryDlg::setLineShown(QLineSeries* line, bool shown) {
    line->setVisible(shown);
    // The legend keeps its name, greyed, so that it can be clicked again.
    for (QLegendMarker* marker : m_chart->legend()->markers(line)) {
        marker->setVisible(true);
        QColor label = m_chart->legend()->labelColor();
        label.setAlphaF(shown ? 1.0 : 0.4);
        marker->setLabelBrush(label);
        QBrush brush = marker->brush();
        QColor colour = line->pen().color();
        colour.setAlphaF(shown ? 1.0 : 0.25);
        brush.setColor(colour);
        marker->setBrush(brush);
    }
}

QString HistoryDlg::pointTip(QXYSeries* series, const QPointF& value) const {
    const auto it = m_points.find(series);
    if (it == m_points.end() || it->second.empty())
        return {};
    const std::vector<HistoryPoint>& points = it->second;
    std::size_t nearest = 0;
    double distance = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double d = std::abs(double(points[i].timeMs) - value.x());
        if (d < distance) {
            distance = d;
            nearest = i;
        }
    }
    return points[nearest].tip;
}

void HistoryDlg::fillSummary() {
    const auto summary = summarizeHistory(m_model->history());
    const bool anyRun = !m_model->history().runs.empty();
    for (int s = 0; s < kHistorySlots; ++s) {
        const SlotSummary& slot = summary[std::size_t(s)];
        QString best = QStringLiteral("never ranked");
        if (slot.bestRank)
            best = slot.bestText.isEmpty() ? QStringLiteral("Rank %1").arg(*slot.bestRank)
                                           : slot.bestText;
        QString change = slot.change;
        if (change.isEmpty())
            change = anyRun ? QStringLiteral("no earlier run") : QString();
        if (!anyRun)
            best.clear();
        auto* bestItem = new QTableWidgetItem(best);
        bestItem->setToolTip(m_labels[s] + QStringLiteral(": best rank ever"));
        m_summary->setItem(0, 1 + s, bestItem);
        auto* changeItem = new QTableWidgetItem(change);
        changeItem->setToolTip(m_labels[s] + QStringLiteral(": change since the previous run"));
        m_summary->setItem(1, 1 + s, changeItem);
    }
    if (!m_summaryFollowsRuns)
        return;
    // Column for column with the runs above, each as wide as the wider of the two needs.
    const QAbstractItemView* runs = m_runs;
    const QAbstractItemView* summaryView = m_summary;
    for (int c = 1; c <= kHistorySlots; ++c) {
        const int width = std::max({m_runs->horizontalHeader()->sectionSizeHint(c),
                                    runs->sizeHintForColumn(c), summaryView->sizeHintForColumn(c)});
        m_runs->horizontalHeader()->resizeSection(c, width);
        m_summary->horizontalHeader()->resizeSection(c, width);
    }
}

void HistoryDlg::onExport() {
    const EntryHistory& history = m_model->history();
    if (history.runs.empty()) {
        tw::messageBox(this, QStringLiteral("There is no history of this entry to export."));
        return;
    }
    const QString path = tw::saveFileName(
        this, QStringLiteral("Export History"), tw::exportFolder(), QStringLiteral("History"),
        QStringLiteral("CSV Files (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    QByteArray csv = csvHeader();
    for (auto run = history.runs.rbegin(); run != history.runs.rend(); ++run) {
        for (const auto& slot : run->bySlot) {
            if (slot)
                csv += csvLine(run->time, history.url, history.keywords, *slot);
        }
    }
    QString reason;
    if (!outputfile::Write(path, csv.constData(), csv.size(), &reason)) {
        tw::messageBox(this,
                       QStringLiteral("The history could not be written to %1: %2")
                           .arg(QDir::toNativeSeparators(path), reason),
                       QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    tw::messageBox(this, QStringLiteral("History saved to ") + path);
}

} // namespace tw
