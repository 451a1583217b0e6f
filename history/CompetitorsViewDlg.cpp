#include "history/CompetitorsViewDlg.h"

#include "base/ShownText.h"
#include "history/HistoryModel.h"
#include "ui/DialogUnits.h"

#include <QBrush>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tw {

namespace {
// Ten well-told-apart line colours; further sites take them again.
const QColor kSiteColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                               QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                               QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                               QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
                               QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf)};

// The line colour of the i-th site, also its swatch in the visibility table.
QColor siteColour(std::size_t i) {
    return kSiteColours[i % std::size(kSiteColours)];
}

QString percent(double value) {
    return QStringLiteral("%1 %").arg(value, 0, 'f', 1);
}

QString whereText(const EntryWhere& where) {
    QString text = shownText(where.device);
    if (!where.location.empty())
        text += QStringLiteral(", ") + shownText(where.location);
    return text;
}

QTableWidgetItem* item(const QString& text) {
    return new QTableWidgetItem(text);
}
} // namespace

CompetitorsViewDlg::CompetitorsViewDlg(QWidget* parent) : CResizableDlg(IDD, parent) {
    setWindowTitle(QStringLiteral("Competitors"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    const DialogUnits du(this);

    auto* slotLabel = new QLabel(QStringLiteral("&Engine column:"), this);
    SetControlId(slotLabel, IDC_SLOT_LABEL);
    du.place(slotLabel, 7, 9, 52, 10);
    m_slotCombo = new QComboBox(this);
    SetControlId(m_slotCombo, IDC_SLOT);
    du.place(m_slotCombo, 60, 7, 90, 14);
    slotLabel->setBuddy(m_slotCombo);
    connect(m_slotCombo, &QComboBox::activated, this,
            [this](int index) { showSlot(m_slotCombo->itemData(index).toInt()); });

    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    SetControlId(m_note, IDC_NOTE);
    du.place(m_note, 158, 7, 355, 16);

    m_table = new QTableWidget(this);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(du.y(10));
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetControlId(m_table, IDC_TABLE);
    du.place(m_table, 7, 26, 506, 130);

    m_visibility = new QTableWidget(0, 3, this);
    m_visibility->setHorizontalHeaderLabels(
        {QStringLiteral("Site"), QStringLiteral("Latest run"), QStringLiteral("Run before")});
    m_visibility->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_visibility->setSelectionMode(QAbstractItemView::NoSelection);
    m_visibility->verticalHeader()->hide();
    m_visibility->verticalHeader()->setDefaultSectionSize(du.y(10));
    m_visibility->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_visibility->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_visibility->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_visibility->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    m_visibility->setToolTip(
        QStringLiteral("The share of the clicks a site's ranks would get, averaged over the "
                       "entries ranked in a run (click shares of positions 1 to 10 from "
                       "Backlinko's 2019 study of organic click-through rates; a site further "
                       "down, or not in the results kept, gets none)."));
    SetControlId(m_visibility, IDC_VISIBILITY);
    du.place(m_visibility, 7, 161, 206, 138);

    m_chart = new QChart;
    // Site names are long: the visibility table beside the chart, its names in the lines'
    // colours, is the legend.
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->setBackgroundRoundness(0);
    m_chartView = new QChartView(m_chart, this);
    m_chartView->setRenderHint(QPainter::Antialiasing);
    SetControlId(m_chartView, IDC_CHART);
    du.place(m_chartView, 218, 161, 295, 138);

    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setDefault(true);
    SetControlId(m_close, IDC_CLOSE);
    du.place(m_close, 463, 305, 50, 14);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    SetTemplateSize(520, 326);
}

CompetitorsViewDlg::~CompetitorsViewDlg() = default;

void CompetitorsViewDlg::OnInitDialog() {
    CResizableDlg::OnInitDialog();
    AnchorControl(IDC_NOTE, ANCHOR_SIZE_X);
    AnchorControl(IDC_TABLE, ANCHOR_SIZE_X | ANCHOR_SIZE_Y);
    AnchorControl(IDC_VISIBILITY, ANCHOR_MOVE_Y);
    AnchorControl(IDC_CHART, ANCHOR_SIZE_X | ANCHOR_MOVE_Y);
    AnchorControl(IDC_CLOSE, ANCHOR_MOVE_X | ANCHOR_MOVE_Y);
    m_close->setFocus();
}

void CompetitorsViewDlg::setData(CompetitorsData data, const QStringList& slotLabels) {
    m_data = std::move(data);
    m_labels = slotLabels;
    while (m_labels.size() < kHistorySlots)
        m_labels << QStringLiteral("Engine %1").arg(m_labels.size() + 1);
    m_slotCombo->clear();
    const std::vector<int> withResults = m_data.slotsWithResults();
    for (const int slot : withResults)
        m_slotCombo->addItem(m_labels[slot], slot);
    m_slotCombo->setEnabled(withResults.size() > 1);
    showSlot(withResults.empty() ? 0 : withResults.front());
}

void CompetitorsViewDlg::showSlot(int slot) {
    m_slot = slot;
    const int index = m_slotCombo->findData(slot);
    if (index >= 0)
        m_slotCombo->setCurrentIndex(index);
    const CompetitorsSlotView view = m_data.view(slot);
    if (m_data.slotsWithResults().empty())
        m_note->setText(QStringLiteral("No run of this list has been recorded yet."));
    else if (m_data.competitors().empty())
        m_note->setText(QStringLiteral("This list has no competitors yet: add them with "
                                       "Competitors... in the list's menu."));
    else
        m_note->clear();
    fillTable(view);
    fillVisibility(view);
    rebuildChart(view);
}

void CompetitorsViewDlg::fillTable(const CompetitorsSlotView& view) {
    const std::vector<std::string>& competitors = m_data.competitors();
    const bool anyWhere = std::any_of(view.rows.begin(), view.rows.end(), [](const auto& row) {
        return row.entry.where != EntryWhere{};
    });
    QStringList headers = {QStringLiteral("URL"), QStringLiteral("Keywords")};
    if (anyWhere)
        headers << QStringLiteral("Where");
    const int first = int(headers.size());
    headers << QStringLiteral("You") << QStringLiteral("change");
    for (const std::string& site : competitors)
        headers << shownText(site) << QStringLiteral("change");
    m_table->clear();
    m_table->setColumnCount(int(headers.size()));
    m_table->setRowCount(int(view.rows.size()));
    m_table->setHorizontalHeaderLabels(headers);

    // Every other group shaded, so each rank stays with its change.
    const QBrush shade(palette().color(QPalette::AlternateBase));
    for (int r = 0; r < int(view.rows.size()); ++r) {
        const CompetitorsRow& row = view.rows[std::size_t(r)];
        m_table->setItem(r, 0, item(shownText(row.entry.url)));
        m_table->setItem(r, 1, item(shownText(row.entry.keywords)));
        if (anyWhere)
            m_table->setItem(r, 2, item(whereText(row.entry.where)));
        m_table->setItem(r, first, item(row.yours.rank));
        m_table->setItem(r, first + 1, item(row.yours.change));
        for (int c = 0; c < int(row.competitors.size()); ++c) {
            const RankCell& cell = row.competitors[std::size_t(c)];
            const int column = first + 2 + 2 * c;
            auto* rank = item(cell.rank);
            auto* change = item(cell.change);
            if (c % 2 == 0) {
                rank->setBackground(shade);
                change->setBackground(shade);
            }
            const QString tip = shownText(competitors[std::size_t(c)]);
            rank->setToolTip(tip + QStringLiteral(": rank in the latest run"));
            change->setToolTip(tip + QStringLiteral(": change since the run before"));
            m_table->setItem(r, column, rank);
            m_table->setItem(r, column + 1, change);
        }
    }
    m_table->resizeColumnsToContents();
}

void CompetitorsViewDlg::fillVisibility(const CompetitorsSlotView& view) {
    const DialogUnits du(this);
    const VisibilityRun* latest = view.runs.empty() ? nullptr : &view.runs.back();
    const VisibilityRun* before = view.runs.size() < 2 ? nullptr : &view.runs[view.runs.size() - 2];
    m_visibility->setRowCount(int(view.sites.size()));
    for (int r = 0; r < int(view.sites.size()); ++r) {
        const std::string& site = view.sites[std::size_t(r)];
        auto valueIn = [&site](const VisibilityRun* run) {
            if (!run)
                return QString();
            const auto it = run->bySite.find(site);
            return percent(it == run->bySite.end() ? 0.0 : it->second);
        };
        QPixmap swatch(du.x(6), du.y(6));
        swatch.fill(siteColour(std::size_t(r)));
        auto* name = item(shownText(site));
        name->setData(Qt::DecorationRole, swatch);
        name->setToolTip(name->text());
        // Yours in bold, as their lines are drawn thicker.
        if (std::find(view.targets.begin(), view.targets.end(), site) != view.targets.end()) {
            QFont bold = name->font();
            bold.setBold(true);
            name->setFont(bold);
        }
        m_visibility->setItem(r, 0, name);
        m_visibility->setItem(r, 1, item(valueIn(latest)));
        m_visibility->setItem(r, 2, item(valueIn(before)));
    }
    if (latest)
        m_visibility->horizontalHeaderItem(1)->setToolTip(
            QStringLiteral("%1, %2 entries")
                .arg(latest->time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                .arg(latest->entries));
}

void CompetitorsViewDlg::rebuildChart(const CompetitorsSlotView& view) {
    m_chart->removeAllSeries();
    for (QAbstractAxis* axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    m_series.clear();
    m_chart->setTitle(view.runs.empty() ? QStringLiteral("No run has been recorded yet.")
                                        : QStringLiteral("Visibility per run"));

    std::vector<qint64> times;
    double highest = 0;
    for (const VisibilityRun& run : view.runs) {
        times.push_back(run.time.toMSecsSinceEpoch());
        for (const auto& [site, value] : run.bySite)
            highest = std::max(highest, value);
    }
    std::sort(times.begin(), times.end());
    const RunTimeAxis axis = runTimeAxis(times, QDateTime::currentMSecsSinceEpoch());
    auto* timeAxis = new QDateTimeAxis;
    timeAxis->setTickCount(axis.tickCount);
    timeAxis->setFormat(axis.format);
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(axis.fromMs),
                       QDateTime::fromMSecsSinceEpoch(axis.toMs));
    timeAxis->setTitleText(axis.title);
    m_chart->addAxis(timeAxis, Qt::AlignBottom);
    auto* valueAxis = new QValueAxis;
    // Whole tens of percent, at least up to ten, ticks every five.
    const double top = std::max(10.0, std::ceil(highest / 10.0) * 10.0);
    valueAxis->setRange(0, top);
    valueAxis->setTickCount(int(top / 5) + 1);
    valueAxis->setLabelFormat(QStringLiteral("%.0f %%"));
    valueAxis->setTitleText(QStringLiteral("Visibility"));
    m_chart->addAxis(valueAxis, Qt::AlignLeft);

    for (std::size_t i = 0; i < view.sites.size(); ++i) {
        const std::string& site = view.sites[i];
        const bool yours =
            std::find(view.targets.begin(), view.targets.end(), site) != view.targets.end();
        auto* line = new QLineSeries;
        line->setName(yours ? shownText(site) + QStringLiteral(" (you)") : shownText(site));
        QPen pen(siteColour(i), yours ? 3 : 2);
        if (!yours)
            pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        line->setPointsVisible(true);
        for (const VisibilityRun& run : view.runs) {
            const auto it = run.bySite.find(site);
            line->append(double(run.time.toMSecsSinceEpoch()),
                         it == run.bySite.end() ? 0.0 : it->second);
        }
        m_chart->addSeries(line);
        line->attachAxis(timeAxis);
        line->attachAxis(valueAxis);
        m_series[site] = line;
    }
}

QLineSeries* CompetitorsViewDlg::visibilitySeries(const std::string& site) const {
    const auto it = m_series.find(site);
    return it == m_series.end() ? nullptr : it->second;
}

} // namespace tw
