#include "reports/ReportPdf.h"

#include "data/DataFile.h"
#include "data/OutputFile.h"
#include "reports/ReportCharts.h"
#include "reports/ReportLogo.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <functional>

namespace tw::reports {

namespace {

// Points: the writer is set to 72 dots per inch, so one unit is one point.
constexpr double kMargin = 42;
constexpr double kFooter = 24;
constexpr double kCellPad = 3;

const QColor kInk(0x22, 0x22, 0x22);
const QColor kGrey(0x55, 0x55, 0x55);
const QColor kBlue(0x1f, 0x5f, 0xa8);
const QColor kRule(0xcc, 0xcc, 0xcc);
const QColor kHead(0xee, 0xf2, 0xf8);

QFont font(double points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    // Glyphs DejaVu lacks (CJK) come from whatever installed font has them, or show as boxes.
    f.setStyleHint(QFont::SansSerif);
    return f;
}

struct Cell {
    QString text;
    Qt::Alignment align = Qt::AlignLeft;
    QColor colour = kInk;
};

// Lays the report out top to bottom. The first pass only measures, to count the pages; the
// second draws them with "Page n of m" under each.
class Layout {
public:
    Layout(QPdfWriter& writer, QPainter* painter, const Report& report, const Logo& logo,
           int pageTotal)
        : m_writer(writer), m_painter(painter), m_report(report), m_logo(logo),
          m_pageTotal(pageTotal) {
        const QRectF page(QPointF(0, 0), writer.pageLayout().paintRectPoints().size());
        m_width = page.width() - 2 * kMargin;
        m_top = kMargin;
        m_bottom = page.height() - kMargin - kFooter;
        m_pageHeight = page.height();
        m_y = m_top;
    }

    int pages() const { return m_page; }

    void run() {
        header();
        if (m_report.columns.empty())
            paragraph(QStringLiteral("No column has results in the period: nothing to report "
                                     "yet."),
                      font(10), kInk);
        else {
            heading(QStringLiteral("Summary"));
            for (const ReportColumn& c : m_report.columns)
                summary(c);
            heading(QStringLiteral("Keywords"));
            for (const ReportColumn& c : m_report.columns)
                table(c);
        }
        if (!m_report.entrySeries.empty()) {
            newPage();
            heading(QStringLiteral("Rank over the period"));
            entryCharts();
        }
        newPage();
        heading(QStringLiteral("How the ranks were obtained"));
        for (const QString& line : methodLines(m_report))
            paragraph(line, font(9), kGrey);
        pageFooter();
    }

private:
    bool drawing() const { return m_painter != nullptr; }

    void newPage() {
        pageFooter();
        if (drawing())
            m_writer.newPage();
        ++m_page;
        m_y = m_top;
    }

    void ensure(double height) {
        if (m_y + height > m_bottom && m_y > m_top)
            newPage();
    }

    void pageFooter() {
        if (!drawing())
            return;
        m_painter->setFont(font(8));
        m_painter->setPen(kGrey);
        const QRectF band(kMargin, m_bottom + 8, m_width, kFooter - 8);
        const QString title = QString::fromStdString(m_report.title);
        m_painter->drawText(
            band, Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetricsF(font(8), &m_writer).elidedText(title, Qt::ElideRight, m_width * 0.6));
        m_painter->drawText(band, Qt::AlignRight | Qt::AlignVCenter,
                            QStringLiteral("Page %1 of %2").arg(m_page).arg(m_pageTotal));
    }

    // Words wrap at blanks; a word longer than the width (an address) breaks where it must.
    static QTextOption wrapping(Qt::Alignment align = Qt::AlignLeft) {
        QTextOption option(align);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        return option;
    }

    double textHeight(const QString& text, const QFont& f, double width) const {
        QTextLayout layout(text, f, &m_writer);
        layout.setTextOption(wrapping());
        layout.beginLayout();
        double height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            height += line.height();
        }
        layout.endLayout();
        return std::max(height, QFontMetricsF(f, &m_writer).height());
    }

    void text(const QRectF& box, const QString& text, Qt::Alignment align = Qt::AlignLeft) {
        m_painter->drawText(box, text, wrapping(align));
    }

    void paragraph(const QString& text, const QFont& f, const QColor& colour, double gap = 4) {
        const double h = textHeight(text, f, m_width);
        ensure(h);
        if (drawing()) {
            m_painter->setFont(f);
            m_painter->setPen(colour);
            this->text(QRectF(kMargin, m_y, m_width, h), text);
        }
        m_y += h + gap;
    }

    void heading(const QString& text) {
        // A heading stays with what follows it.
        ensure(80);
        m_y += 4;
        paragraph(text, font(15, true), kBlue, 6);
    }

    void subheading(const QString& text) {
        ensure(60);
        m_y += 4;
        paragraph(text, font(11, true), kInk, 4);
    }

    void header() {
        double x = kMargin;
        double logoHeight = 0;
        if (m_logo.kind != Logo::None) {
            QSizeF size(120, 60);
            QImage image;
            QSvgRenderer svg;
            if (m_logo.kind == Logo::Png && image.loadFromData(m_logo.bytes, "PNG"))
                size = QSizeF(image.size()).scaled(QSizeF(140, 60), Qt::KeepAspectRatio);
            else if (m_logo.kind == Logo::Svg && svg.load(m_logo.bytes))
                size = QSizeF(svg.defaultSize()).scaled(QSizeF(140, 60), Qt::KeepAspectRatio);
            const QRectF box(kMargin, m_y, size.width(), size.height());
            if (drawing()) {
                if (!image.isNull())
                    m_painter->drawImage(box, image);
                else if (svg.isValid())
                    svg.render(m_painter, box);
            }
            x += size.width() + 16;
            logoHeight = size.height();
        }
        const double width = kMargin + m_width - x;
        double y = m_y;
        const auto line = [&](const QString& text, const QFont& f, const QColor& colour) {
            const double h = textHeight(text, f, width);
            if (drawing()) {
                m_painter->setFont(f);
                m_painter->setPen(colour);
                this->text(QRectF(x, y, width, h), text);
            }
            y += h + 2;
        };
        line(m_report.title.empty() ? QStringLiteral("Ranking report")
                                    : QString::fromStdString(m_report.title),
             font(20, true), kInk);
        if (!m_report.sender.empty())
            line(QString::fromStdString(m_report.sender), font(11), kGrey);
        line(scopeText(m_report), font(9), kGrey);
        line(QStringLiteral("Period: ") + periodText(m_report), font(9), kGrey);
        line(QStringLiteral("Made on ") +
                 m_report.made.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             font(9), kGrey);
        m_y = std::max(y, m_y + logoHeight) + 6;
        if (drawing()) {
            m_painter->setPen(QPen(kBlue, 1.5));
            m_painter->drawLine(QPointF(kMargin, m_y), QPointF(kMargin + m_width, m_y));
        }
        m_y += 10;
    }

    // A row of cells; widths are shares of the text width. Breaks the page before it when it
    // does not fit, and then repeats the table's head (repeat).
    void row(const std::vector<Cell>& cells, const std::vector<double>& widths, const QFont& f,
             bool shaded, const std::function<void()>& repeat = {}) {
        double h = 0;
        for (std::size_t i = 0; i < cells.size(); ++i)
            h = std::max(h, textHeight(cells[i].text, f, widths[i] * m_width - 2 * kCellPad));
        h += 2 * kCellPad;
        if (m_y + h > m_bottom && m_y > m_top) {
            newPage();
            if (repeat)
                repeat();
        }
        if (drawing()) {
            m_painter->setFont(f);
            double x = kMargin;
            for (std::size_t i = 0; i < cells.size(); ++i) {
                const QRectF box(x, m_y, widths[i] * m_width, h);
                if (shaded)
                    m_painter->fillRect(box, kHead);
                m_painter->setPen(QPen(kRule, 0.5));
                m_painter->drawRect(box);
                m_painter->setPen(cells[i].colour);
                text(box.adjusted(kCellPad, kCellPad, -kCellPad, -kCellPad), cells[i].text,
                     cells[i].align);
                x += box.width();
            }
        }
        m_y += h;
    }

    void chart(const ChartData& drawn, double x, double width) {
        const double height = width * drawn.height / drawn.width;
        if (drawing()) {
            QSvgRenderer svg(chartSvg(drawn).toUtf8());
            svg.render(m_painter, QRectF(x, m_y, width, height));
        }
    }

    static QString pct(double v) { return QString::number(v, 'f', 1) + QLatin1Char('%'); }

    void summary(const ReportColumn& c) {
        subheading(columnTitle(c));
        const std::vector<double> widths(10, 0.1);
        std::vector<Cell> head, values;
        for (const char* h : {"Top 3", "Top 10", "Top 100", "Up", "Down", "New", "Dropped",
                              "Errors", "Visibility now", "At the start"})
            head.push_back({QString::fromLatin1(h)});
        for (int n : {c.top3, c.top10, c.top100, c.up, c.down, c.added, c.dropped, c.errors})
            values.push_back({QString::number(n), Qt::AlignRight});
        values.push_back({pct(c.visibilityNow), Qt::AlignRight});
        values.push_back({pct(c.visibilityStart), Qt::AlignRight});
        ensure(60);
        row(head, widths, font(8, true), true);
        row(values, widths, font(9), false);
        m_y += 6;
        if (c.visibility.size() > 1) {
            const std::vector<double> w3{0.5, 0.25, 0.25};
            const auto compHead = [&] {
                row({{QStringLiteral("Competitor")},
                     {QStringLiteral("Visibility now")},
                     {QStringLiteral("At the start")}},
                    w3, font(8, true), true);
            };
            compHead();
            for (std::size_t i = 1; i < c.visibility.size(); ++i)
                row({{QString::fromStdString(c.visibility[i].site)},
                     {pct(c.visibility[i].values.back()), Qt::AlignRight},
                     {pct(c.visibility[i].values.front()), Qt::AlignRight}},
                    w3, font(9), false, compHead);
            m_y += 6;
        }
        const ChartData drawn = visibilityChart(m_report, c);
        const double height = m_width * drawn.height / drawn.width;
        ensure(height);
        chart(drawn, kMargin, m_width);
        m_y += height + 8;
    }

    void table(const ReportColumn& c) {
        subheading(columnTitle(c));
        const int rivals = int(m_report.competitors.size());
        std::vector<double> widths{0.17, 0.18, 0.15, 0.09, 0.06, 0.35};
        if (rivals > 0) {
            // The competitors take their room mostly from the ranking URL, which wraps anyway.
            const double share = std::min(0.30, 0.11 * rivals);
            widths[0] -= share * 0.15;
            widths[1] -= share * 0.10;
            widths[5] -= share * 0.75;
            for (int i = 0; i < rivals; ++i)
                widths.push_back(share / rivals);
        }
        std::vector<Cell> head{{QStringLiteral("Keywords")}, {QStringLiteral("Target")},
                               {QStringLiteral("Rank now")}, {QStringLiteral("Change")},
                               {QStringLiteral("Best")},     {QStringLiteral("Ranking URL")}};
        for (const std::string& site : m_report.competitors)
            head.push_back({QString::fromStdString(site)});
        const auto repeatHead = [&] { row(head, widths, font(7.5, true), true); };
        ensure(40);
        repeatHead();
        const QFont f = font(7.5);
        for (const ReportLine& line : c.lines) {
            const ReportEntry& e = m_report.entries[line.entry];
            QColor changeColour = kInk;
            if (line.change == RankChange::Up || line.change == RankChange::New)
                changeColour = QColor(0x2e, 0x7d, 0x32);
            else if (line.change == RankChange::Down || line.change == RankChange::DroppedOut)
                changeColour = QColor(0xc6, 0x28, 0x28);
            std::vector<Cell> cells{
                {QString::fromStdString(e.keywords)},
                {QString::fromStdString(e.url)},
                {rankWords(line.now)},
                {line.changeText, Qt::AlignLeft, changeColour},
                {line.best ? QString::number(*line.best) : QStringLiteral("-"), Qt::AlignRight},
                {QString::fromStdString(line.rankingUrl)}};
            for (int i = 0; i < rivals; ++i)
                cells.push_back({i < int(line.competitorRanks.size())
                                     ? QString::fromStdString(line.competitorRanks[i])
                                     : QString()});
            row(cells, widths, f, false, repeatHead);
        }
        m_y += 10;
    }

    void entryCharts() {
        const double gap = 12;
        const double width = (m_width - gap) / 2;
        int column = 0;
        double rowHeight = 0;
        for (const EntrySeries& s : m_report.entrySeries) {
            const ChartData drawn = entryChart(m_report, s);
            const double height = width * drawn.height / drawn.width;
            if (column == 0)
                ensure(height);
            chart(drawn, kMargin + column * (width + gap), width);
            rowHeight = std::max(rowHeight, height);
            if (++column == 2) {
                column = 0;
                m_y += rowHeight + gap;
                rowHeight = 0;
            }
        }
        if (column != 0)
            m_y += rowHeight + gap;
    }

    QPdfWriter& m_writer;
    QPainter* m_painter;
    const Report& m_report;
    const Logo& m_logo;
    const int m_pageTotal;
    double m_width = 0, m_top = 0, m_bottom = 0, m_pageHeight = 0, m_y = 0;
    int m_page = 1;
};

} // namespace

QPageSize::PageSizeId pageSizeFor(const QLocale& locale) {
    if (locale.measurementSystem() == QLocale::ImperialUSSystem)
        return QPageSize::Letter;
    switch (locale.territory()) {
    case QLocale::UnitedStates:
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::CostaRica:
    case QLocale::DominicanRepublic:
    case QLocale::ElSalvador:
    case QLocale::Guatemala:
    case QLocale::Nicaragua:
    case QLocale::Panama:
    case QLocale::Philippines:
    case QLocale::PuertoRico:
    case QLocale::Venezuela:
        return QPageSize::Letter;
    default:
        return QPageSize::A4;
    }
}

bool reportPdf(const Report& report, QByteArray* pdf, QString* error, QPageSize::PageSizeId paper) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (error)
            *error = QStringLiteral("A PDF report can only be drawn in a graphical application "
                                    "(QGuiApplication; the offscreen platform will do).");
        return false;
    }
    Logo logo;
    if (!readLogo(report.logoPath, &logo, error))
        return false;
    if ((logo.kind == Logo::Png && QImage::fromData(logo.bytes, "PNG").isNull()) ||
        (logo.kind == Logo::Svg && !QSvgRenderer(logo.bytes).isValid())) {
        if (error)
            *error = QStringLiteral("The report logo \"%1\" could not be read as an image. Choose "
                                    "another PNG or SVG image in the settings, or none.")
                         .arg(datafile::DisplayPath(report.logoPath));
        return false;
    }
    QBuffer buffer(pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(paper));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(QString::fromStdString(report.title));
    // The document's creator is the sender, never this program.
    writer.setCreator(report.sender.empty() ? QStringLiteral(" ")
                                            : QString::fromStdString(report.sender));

    Layout measure(writer, nullptr, report, logo, 0);
    measure.run();
    QPainter painter;
    if (!painter.begin(&writer)) {
        if (error)
            *error = QStringLiteral("The PDF report could not be drawn.");
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    Layout draw(writer, &painter, report, logo, measure.pages());
    draw.run();
    painter.end();
    return true;
}

bool writePdfReport(const Report& report, const QString& path, QString* error) {
    QByteArray pdf;
    if (!reportPdf(report, &pdf, error))
        return false;
    QString reason;
    if (outputfile::Write(path, pdf.constData(), pdf.size(), &reason))
        return true;
    if (error)
        *error = QStringLiteral("The report \"%1\" could not be written: %2")
                     .arg(datafile::DisplayPath(path), reason);
    return false;
}

} // namespace tw::reports
