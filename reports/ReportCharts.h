#pragma once
// A report's charts, drawn once as SVG text: inline in the HTML, rendered into the PDF, so both
// show the same chart. Free of widgets and of drawing.

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace tw::reports {

struct ChartLine {
    QString name;                              // the legend's text
    std::vector<std::optional<double>> values; // one per time; empty: no point there
};

struct ChartData {
    QString title;
    std::vector<QDateTime> times; // the x axis, oldest first
    std::vector<ChartLine> lines;
    bool rankAxis = false; // ranks: 1 at the top, whole numbers; otherwise percent from 0
    int width = 640;
    int height = 240;
};

// One <svg> element, XML well-formed, every text escaped; no reference to anything outside.
QString chartSvg(const ChartData& chart);

// The colour of line i, the same in every chart.
QString lineColour(int i);

// Text escaped for XML content and attribute values; characters XML cannot hold are dropped.
QString xmlEscaped(const QString& text);

} // namespace tw::reports

namespace tw::reports {
struct Report;
struct ReportColumn;
struct EntrySeries;

// The column's visibility over the period: the targets' line, then one per competitor.
ChartData visibilityChart(const Report& report, const ReportColumn& column);
// The entry's rank over the period, one line per column.
ChartData entryChart(const Report& report, const EntrySeries& series);
} // namespace tw::reports
