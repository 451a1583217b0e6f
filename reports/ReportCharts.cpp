#include "reports/ReportCharts.h"

#include <algorithm>
#include <cmath>

namespace tw::reports {

namespace {

// Dark enough to read on white, told apart in print.
const char* const kColours[] = {"#1f5fa8", "#c8501e", "#2e8b3e", "#8a3ea8",
                                "#a88a1e", "#1e8a8a", "#a81e5a", "#555555"};

// A round step for about four grid lines up to top.
double niceStep(double top) {
    const double raw = std::max(top, 1e-9) / 4.0;
    const double unit = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (raw <= m * unit)
            return m * unit;
    }
    return 10.0 * unit;
}

QString num(double v) {
    return QString::number(v, 'f', 1);
}

} // namespace

QString lineColour(int i) {
    return QString::fromLatin1(kColours[i % int(std::size(kColours))]);
}

QString xmlEscaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '&')
            out += QLatin1String("&amp;");
        else if (u == '<')
            out += QLatin1String("&lt;");
        else if (u == '>')
            out += QLatin1String("&gt;");
        else if (u == '"')
            out += QLatin1String("&quot;");
        else if (u == '\'')
            out += QLatin1String("&#39;");
        else if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF)
            continue;
        else
            out += c;
    }
    return out;
}

QString chartSvg(const ChartData& chart) {
    const double w = chart.width, h = chart.height;
    const double left = 48, right = 12, top = 28;
    const int legendRows = int(chart.lines.size() + 2) / 3;
    const double bottom = 30 + 16.0 * legendRows;
    const double plotW = w - left - right, plotH = h - top - bottom;

    double lo = 0.0, hi = 0.0;
    bool anyValue = false;
    for (const ChartLine& line : chart.lines) {
        for (const std::optional<double>& v : line.values) {
            if (!v)
                continue;
            hi = anyValue ? std::max(hi, *v) : *v;
            anyValue = true;
        }
    }
    if (chart.rankAxis) {
        lo = 1.0;
        hi = std::max(hi, 10.0);
    } else {
        hi = std::max(hi, 5.0);
    }
    const double step = chart.rankAxis ? std::max(1.0, std::ceil(niceStep(hi - lo))) : niceStep(hi);
    hi = lo + std::ceil((hi - lo) / step) * step;
    const auto yOf = [&](double v) {
        const double f = (v - lo) / (hi - lo);
        return chart.rankAxis ? top + f * plotH : top + (1.0 - f) * plotH;
    };

    const int n = int(chart.times.size());
    const qint64 t0 = n > 0 ? chart.times.front().toMSecsSinceEpoch() : 0;
    const qint64 span = n > 1 ? chart.times.back().toMSecsSinceEpoch() - t0 : 0;
    const auto xOf = [&](int i) {
        if (span <= 0)
            return left + plotW / 2;
        return left + plotW * double(chart.times[i].toMSecsSinceEpoch() - t0) / double(span);
    };

    QString s;
    s += QStringLiteral("<svg width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" version=\"1.2\" "
                        "baseProfile=\"tiny\" font-family=\"DejaVu Sans, Arial, sans-serif\" "
                        "role=\"img\">\n")
             .arg(chart.width)
             .arg(chart.height);
    s += QStringLiteral("<title>%1</title>\n").arg(xmlEscaped(chart.title));
    s += QStringLiteral("<rect x=\"0\" y=\"0\" width=\"%1\" height=\"%2\" fill=\"#ffffff\"/>\n")
             .arg(chart.width)
             .arg(chart.height);
    s += QStringLiteral("<text x=\"%1\" y=\"18\" font-size=\"13\" font-weight=\"bold\" "
                        "fill=\"#222222\">%2</text>\n")
             .arg(num(left))
             .arg(xmlEscaped(chart.title));
    for (double v = lo; v <= hi + step / 2; v += step) {
        const double y = yOf(v);
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#dddddd\" "
                            "stroke-width=\"1\"/>\n")
                 .arg(num(left), num(y), num(left + plotW));
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"10\" fill=\"#555555\" "
                            "text-anchor=\"end\">%3</text>\n")
                 .arg(num(left - 6), num(y + 3.5),
                      chart.rankAxis ? QString::number(qRound(v))
                                     : QString::number(v, 'g', 3) + QLatin1Char('%'));
    }
    s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#888888\" "
                        "stroke-width=\"1\"/>\n")
             .arg(num(left), num(top), num(top + plotH));
    if (n > 0) {
        const QString first = chart.times.front().toLocalTime().date().toString(Qt::ISODate);
        const QString last = chart.times.back().toLocalTime().date().toString(Qt::ISODate);
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"10\" fill=\"#555555\" "
                            "text-anchor=\"%3\">%4</text>\n")
                 .arg(num(n > 1 ? left : left + plotW / 2), num(top + plotH + 14),
                      n > 1 ? QStringLiteral("start") : QStringLiteral("middle"), first);
        if (n > 1)
            s += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"10\" fill=\"#555555\" "
                                "text-anchor=\"end\">%3</text>\n")
                     .arg(num(left + plotW), num(top + plotH + 14), last);
    }
    if (!anyValue)
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"11\" fill=\"#555555\" "
                            "text-anchor=\"middle\">no rank in the period</text>\n")
                 .arg(num(left + plotW / 2), num(top + plotH / 2));

    for (int li = 0; li < int(chart.lines.size()); ++li) {
        const ChartLine& line = chart.lines[li];
        const QString colour = lineColour(li);
        // A gap (no value) breaks the line; a lone point still shows as a dot.
        QString points;
        int inSegment = 0;
        const auto flush = [&] {
            if (inSegment > 1)
                s += QStringLiteral("<polyline fill=\"none\" stroke=\"%1\" stroke-width=\"2\" "
                                    "points=\"%2\"/>\n")
                         .arg(colour, points.trimmed());
            points.clear();
            inSegment = 0;
        };
        for (int i = 0; i < n && i < int(line.values.size()); ++i) {
            if (!line.values[i]) {
                flush();
                continue;
            }
            const double v = std::clamp(*line.values[i], lo, hi);
            points += num(xOf(i)) + QLatin1Char(',') + num(yOf(v)) + QLatin1Char(' ');
            ++inSegment;
            s += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"2.5\" fill=\"%3\"/>\n")
                     .arg(num(xOf(i)), num(yOf(v)), colour);
        }
        flush();
        const double lx = left + (li % 3) * (plotW / 3);
        const double ly = top + plotH + 30 + 16.0 * (li / 3);
        s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"10\" height=\"10\" fill=\"%3\"/>\n")
                 .arg(num(lx), num(ly - 9), colour);
        QString name = line.name;
        if (name.size() > 34)
            name = name.left(33) + QChar(0x2026);
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"10\" fill=\"#222222\">%3</text>\n")
                 .arg(num(lx + 14), num(ly), xmlEscaped(name));
    }
    s += QStringLiteral("</svg>\n");
    return s;
}

} // namespace tw::reports

#include "reports/ReportModel.h"

namespace tw::reports {

namespace {
std::vector<QDateTime> runTimes(const Report& report) {
    std::vector<QDateTime> times;
    for (const ReportRun& run : report.runs)
        times.push_back(run.time);
    return times;
}
} // namespace

ChartData visibilityChart(const Report& report, const ReportColumn& column) {
    ChartData chart;
    chart.title = QStringLiteral("Visibility on %1").arg(columnTitle(column));
    chart.height = 200;
    chart.times = runTimes(report);
    for (const VisibilitySeries& series : column.visibility) {
        ChartLine line;
        line.name = series.site.empty() ? QStringLiteral("Your targets")
                                        : QString::fromStdString(series.site);
        for (double v : series.values)
            line.values.push_back(v);
        chart.lines.push_back(std::move(line));
    }
    return chart;
}

ChartData entryChart(const Report& report, const EntrySeries& series) {
    ChartData chart;
    const ReportEntry& e = report.entries[series.entry];
    chart.title = QString::fromStdString(e.keywords);
    chart.times = runTimes(report);
    chart.rankAxis = true;
    chart.width = 320;
    chart.height = 170;
    for (const ReportColumn& column : report.columns) {
        ChartLine line;
        line.name = columnTitle(column);
        for (const std::optional<int>& r : series.ranks[column.slot])
            line.values.push_back(r ? std::optional<double>(*r) : std::nullopt);
        chart.lines.push_back(std::move(line));
    }
    return chart;
}

} // namespace tw::reports
