#include "reports/ReportHtml.h"

#include "data/DataFile.h"
#include "data/OutputFile.h"
#include "reports/ReportCharts.h"

namespace tw::reports {

namespace {

const char* const kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; color: #222; margin: 24px; font-size: 14px; }
header { display: flex; align-items: center; gap: 24px; border-bottom: 2px solid #1f5fa8;
         padding-bottom: 12px; }
header img { max-height: 72px; max-width: 220px; }
h1 { font-size: 24px; margin: 0 0 4px 0; }
h2 { font-size: 18px; margin: 24px 0 8px 0; color: #1f5fa8; }
h3 { font-size: 15px; margin: 16px 0 6px 0; }
.meta { color: #555; margin: 2px 0; }
table { border-collapse: collapse; margin: 8px 0 16px 0; font-size: 12px; }
th, td { border: 1px solid #ccc; padding: 3px 6px; text-align: left; vertical-align: top; }
th { background: #eef2f8; }
td.num { text-align: right; }
td.url { word-break: break-all; max-width: 260px; }
.up { color: #2e7d32; } .down { color: #c62828; }
.charts { display: flex; flex-wrap: wrap; gap: 8px; }
.chart { break-inside: avoid; page-break-inside: avoid; }
footer { margin-top: 24px; border-top: 1px solid #ccc; padding-top: 8px; color: #555;
         font-size: 12px; }
@page { size: auto; margin: 15mm; }
@media print {
  body { margin: 0; }
  section { page-break-before: always; break-before: page; }
  tr { page-break-inside: avoid; break-inside: avoid; }
  thead { display: table-header-group; }
  footer { page-break-before: always; break-before: page; }
}
)";

QString esc(const QString& text) {
    return xmlEscaped(text);
}
QString esc(const std::string& text) {
    return xmlEscaped(QString::fromUtf8(text));
}

QString changeClass(RankChange change) {
    switch (change) {
    case RankChange::Up:
    case RankChange::New:
        return QStringLiteral(" class=\"up\"");
    case RankChange::Down:
    case RankChange::DroppedOut:
        return QStringLiteral(" class=\"down\"");
    default:
        return {};
    }
}

QString percent(double v) {
    return QString::number(v, 'f', 1) + QLatin1Char('%');
}

void summary(QString& h, const Report& report, const ReportColumn& c) {
    h += QStringLiteral("<h3>%1</h3>\n<table>\n<thead><tr>").arg(esc(columnTitle(c)));
    for (const char* head : {"Top 3", "Top 10", "Top 100", "Up", "Down", "New", "Dropped", "Errors",
                             "Visibility now", "At the start"})
        h += QStringLiteral("<th>%1</th>").arg(QLatin1String(head));
    h += QStringLiteral("</tr></thead>\n<tbody><tr>");
    for (int n : {c.top3, c.top10, c.top100, c.up, c.down, c.added, c.dropped, c.errors})
        h += QStringLiteral("<td class=\"num\">%1</td>").arg(n);
    h += QStringLiteral("<td class=\"num\">%1</td><td class=\"num\">%2</td></tr></tbody>\n"
                        "</table>\n")
             .arg(percent(c.visibilityNow), percent(c.visibilityStart));
    if (c.visibility.size() > 1) {
        h += QStringLiteral("<table>\n<thead><tr><th>Competitor</th><th>Visibility now</th>"
                            "<th>At the start</th></tr></thead>\n<tbody>\n");
        for (std::size_t i = 1; i < c.visibility.size(); ++i)
            h += QStringLiteral("<tr><td>%1</td><td class=\"num\">%2</td><td class=\"num\">%3"
                                "</td></tr>\n")
                     .arg(esc(c.visibility[i].site), percent(c.visibility[i].values.back()),
                          percent(c.visibility[i].values.front()));
        h += QStringLiteral("</tbody>\n</table>\n");
    }
    h += QStringLiteral("<div class=\"chart\">\n") + chartSvg(visibilityChart(report, c)) +
         QStringLiteral("</div>\n");
}

void table(QString& h, const Report& report, const ReportColumn& c) {
    h += QStringLiteral("<h3>%1</h3>\n<table>\n<thead><tr><th>Keywords</th><th>Target</th>"
                        "<th>Rank now</th><th>Change</th><th>Best</th><th>Ranking URL</th>")
             .arg(esc(columnTitle(c)));
    for (const std::string& site : report.competitors)
        h += QStringLiteral("<th>%1</th>").arg(esc(site));
    h += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const ReportLine& line : c.lines) {
        const ReportEntry& e = report.entries[line.entry];
        h += QStringLiteral("<tr><td dir=\"auto\">%1</td><td class=\"url\">%2</td><td>%3</td>"
                            "<td%4>%5</td><td class=\"num\">%6</td><td class=\"url\">%7</td>")
                 .arg(esc(e.keywords), esc(e.url), esc(rankWords(line.now)),
                      changeClass(line.change), esc(line.changeText),
                      line.best ? QString::number(*line.best) : QStringLiteral("-"),
                      esc(line.rankingUrl));
        for (std::size_t i = 0; i < report.competitors.size(); ++i)
            h += QStringLiteral("<td>%1</td>")
                     .arg(i < line.competitorRanks.size() ? esc(line.competitorRanks[i])
                                                          : QString());
        h += QStringLiteral("</tr>\n");
    }
    h += QStringLiteral("</tbody>\n</table>\n");
}

} // namespace

QByteArray reportHtml(const Report& report, const Logo& logo) {
    QString h;
    h.reserve(4096 + int(report.entries.size()) * 400 * int(report.columns.size() + 1));
    const QString title = report.title.empty() ? QStringLiteral("Ranking report")
                                               : QString::fromStdString(report.title);
    h += QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                        "<meta name=\"viewport\" content=\"width=device-width\"/>\n"
                        "<title>%1</title>\n<style>")
             .arg(esc(title));
    h += QString::fromLatin1(kStyle);
    h += QStringLiteral("</style>\n</head>\n<body>\n<header>\n");
    if (logo.kind != Logo::None)
        h += QStringLiteral("<img src=\"data:%1;base64,%2\" alt=\"\"/>\n")
                 .arg(logo.mimeType(), QString::fromLatin1(logo.bytes.toBase64()));
    h += QStringLiteral("<div>\n<h1>%1</h1>\n").arg(esc(title));
    if (!report.sender.empty())
        h += QStringLiteral("<p class=\"meta\">%1</p>\n").arg(esc(report.sender));
    h += QStringLiteral("<p class=\"meta\">%1</p>\n<p class=\"meta\">Period: %2</p>\n"
                        "<p class=\"meta\">Made on %3</p>\n</div>\n</header>\n")
             .arg(esc(scopeText(report)), esc(periodText(report)),
                  report.made.toString(QStringLiteral("yyyy-MM-dd HH:mm")));

    if (report.columns.empty())
        h += QStringLiteral("<p>No column has results in the period: nothing to report yet.</p>\n");
    else {
        h += QStringLiteral("<section id=\"summary\">\n<h2>Summary</h2>\n");
        for (const ReportColumn& c : report.columns)
            summary(h, report, c);
        h += QStringLiteral("</section>\n<section id=\"tables\">\n<h2>Keywords</h2>\n");
        for (const ReportColumn& c : report.columns)
            table(h, report, c);
        h += QStringLiteral("</section>\n");
    }
    if (!report.entrySeries.empty()) {
        h += QStringLiteral("<section id=\"entries\">\n<h2>Rank over the period</h2>\n"
                            "<div class=\"charts\">\n");
        for (const EntrySeries& s : report.entrySeries)
            h += QStringLiteral("<div class=\"chart\">\n") + chartSvg(entryChart(report, s)) +
                 QStringLiteral("</div>\n");
        h += QStringLiteral("</div>\n</section>\n");
    }
    h += QStringLiteral("<footer>\n<h2>How the ranks were obtained</h2>\n");
    for (const QString& line : methodLines(report))
        h += QStringLiteral("<p>%1</p>\n").arg(esc(line));
    h += QStringLiteral("</footer>\n</body>\n</html>\n");
    return h.toUtf8();
}

bool writeHtmlReport(const Report& report, const QString& path, QString* error) {
    Logo logo;
    if (!readLogo(report.logoPath, &logo, error))
        return false;
    const QByteArray bytes = reportHtml(report, logo);
    QString reason;
    if (outputfile::Write(path, bytes.constData(), bytes.size(), &reason))
        return true;
    if (error)
        *error = QStringLiteral("The report \"%1\" could not be written: %2")
                     .arg(datafile::DisplayPath(path), reason);
    return false;
}

} // namespace tw::reports
