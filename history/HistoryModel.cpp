#include "history/HistoryModel.h"

#include "base/ShownText.h"
#include "history/HistoryText.h"
#include "history/KeptResults.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {
QString timeText(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

bool isError(const HistoryResult& r) {
    return !r.error.empty() || r.text == "error";
}

// A result's lines for a tooltip: its text, the error, the source. What the history holds came
// from pages and providers: shown as text, its controls as escapes.
QString resultLines(const HistoryResult& r) {
    QString tip = shownText(r.text);
    if (!r.error.empty())
        tip += QStringLiteral(": ") + shownText(r.error);
    return tip + QStringLiteral("\nsource: ") + shownText(r.source);
}

QString pointTip(const QString& time, const HistoryResult& r) {
    return plainToolTip(time + QLatin1Char('\n') + resultLines(r));
}
} // namespace

namespace {
constexpr qint64 kSecondMs = 1000;
constexpr qint64 kMinuteMs = 60 * kSecondMs;
constexpr qint64 kHourMs = 60 * kMinuteMs;
constexpr qint64 kDayMs = 24 * kHourMs;

// Milliseconds of the local calendar (the UTC offset added), so steps fall on local hours and
// midnights.
qint64 localMs(qint64 utcMs) {
    return utcMs + qint64(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * kSecondMs;
}

qint64 floorTo(qint64 utcMs, qint64 step) {
    const qint64 local = localMs(utcMs);
    qint64 r = local % step;
    if (r < 0)
        r += step;
    return utcMs - r;
}

qint64 ceilTo(qint64 utcMs, qint64 step) {
    return floorTo(utcMs + step - 1, step);
}

} // namespace

RunTimeAxis runTimeAxis(const std::vector<qint64>& times, qint64 nowMs) {
    RunTimeAxis axis;
    qint64 from = nowMs - kDayMs;
    qint64 to = nowMs;
    if (!times.empty()) {
        from = times.front();
        to = times.back();
        // At least one run's width either side: the closest two runs' distance, a twentieth of
        // the span, and never less than a minute. A single run gets half an hour each side.
        qint64 closest = 0;
        for (std::size_t i = 1; i < times.size(); ++i) {
            const qint64 gap = times[i] - times[i - 1];
            if (gap > 0 && (closest == 0 || gap < closest))
                closest = gap;
        }
        qint64 pad = closest > 0 ? std::max(closest, (to - from) / 20) : 30 * kMinuteMs;
        pad = std::max(pad, kMinuteMs);
        from -= pad;
        to += pad;
    }
    static const qint64 kSteps[] = {
        kSecondMs,      2 * kSecondMs,  5 * kSecondMs, 10 * kSecondMs, 15 * kSecondMs,
        30 * kSecondMs, kMinuteMs,      2 * kMinuteMs, 5 * kMinuteMs,  10 * kMinuteMs,
        15 * kMinuteMs, 30 * kMinuteMs, kHourMs,       2 * kHourMs,    3 * kHourMs,
        6 * kHourMs,    12 * kHourMs,   kDayMs,        2 * kDayMs,     7 * kDayMs,
        14 * kDayMs,    28 * kDayMs,    91 * kDayMs,   182 * kDayMs,   364 * kDayMs};
    constexpr qint64 kMaxTicks = 7;
    qint64 step = 0;
    for (const qint64 candidate : kSteps) {
        if ((to - from) / candidate + 2 <= kMaxTicks) {
            step = candidate;
            break;
        }
    }
    if (step == 0) // centuries of runs: even ticks, no round step
        step = (to - from) / (kMaxTicks - 1) + 1;
    const qint64 first = floorTo(from, step);
    qint64 last = ceilTo(to, step);
    // The local calendar may shift by an hour between the ends (summer time): whole steps only.
    last = first + std::max<qint64>(1, (last - first + step / 2) / step) * step;
    axis.fromMs = first;
    axis.toMs = last;
    axis.tickCount = int((last - first) / step) + 1;

    const QDate firstDay = QDateTime::fromMSecsSinceEpoch(first).date();
    const bool oneDay = QDateTime::fromMSecsSinceEpoch(last).date() == firstDay;
    axis.title = QStringLiteral("Run");
    if (step >= kDayMs) {
        axis.format = QStringLiteral("yyyy-MM-dd");
    } else if (oneDay || step < kMinuteMs) {
        axis.format = step < kMinuteMs ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
        axis.title += QStringLiteral(", ") + firstDay.toString(QStringLiteral("yyyy-MM-dd"));
        if (!oneDay)
            axis.title +=
                QStringLiteral(" to ") +
                QDateTime::fromMSecsSinceEpoch(last).date().toString(QStringLiteral("yyyy-MM-dd"));
    } else {
        axis.format = QStringLiteral("MM-dd HH:mm");
    }
    return axis;
}

namespace {
void placeTimeAxis(HistoryChart& chart, const std::vector<qint64>& times, qint64 nowMs) {
    const RunTimeAxis axis = runTimeAxis(times, nowMs);
    chart.axisFromMs = axis.fromMs;
    chart.axisToMs = axis.toMs;
    chart.timeTickCount = axis.tickCount;
    chart.timeFormat = axis.format;
    chart.timeTitle = axis.title;
}
} // namespace

bool HistoryChart::hasData(int slot) const {
    if (slot < 0 || slot >= kHistorySlots)
        return false;
    const auto s = std::size_t(slot);
    return !ranked[s].empty() || !notFound[s].empty() || !errors[s].empty();
}

std::vector<int> slotsWithKeptResults(const EntryHistory& history) {
    std::vector<int> kept;
    for (int s = 0; s < kHistorySlots; ++s) {
        for (const HistoryRun& run : history.runs) {
            const auto& slot = run.bySlot[std::size_t(s)];
            if (slot && !slot->results.empty()) {
                kept.push_back(s);
                break;
            }
        }
    }
    return kept;
}

HistoryChart buildHistoryChart(const EntryHistory& history, qint64 nowMs) {
    return buildHistoryChart(history, {}, nowMs);
}

HistoryChart buildHistoryChart(const EntryHistory& history,
                               const std::vector<std::string>& competitors, qint64 nowMs) {
    HistoryChart chart;
    // The competitors' points, oldest run first; their ranks widen the axis like the target's.
    std::optional<int> competitorBest;
    std::optional<int> competitorWorst;
    const std::vector<int> keptSlots = slotsWithKeptResults(history);
    for (const std::string& site : competitors) {
        for (const int s : keptSlots) {
            HistoryChart::CompetitorLine line;
            line.site = site;
            line.slot = s;
            for (auto it = history.runs.rbegin(); it != history.runs.rend(); ++it) {
                const auto& slot = it->bySlot[std::size_t(s)];
                if (!slot)
                    continue;
                const SiteRank rank = siteRank(slot->results, slot->pageSizes, site);
                if (rank.position <= 0)
                    continue;
                HistoryPoint point;
                point.timeMs = it->time.toMSecsSinceEpoch();
                point.y = rank.position;
                point.tip =
                    plainToolTip(timeText(it->time) + QLatin1Char('\n') + shownText(site) +
                                 QStringLiteral(": ") + QString::fromStdString(siteRankText(rank)));
                competitorBest = std::min(competitorBest.value_or(rank.position), rank.position);
                competitorWorst = std::max(competitorWorst.value_or(rank.position), rank.position);
                line.points.push_back(std::move(point));
            }
            chart.competitorLines.push_back(std::move(line));
        }
    }
    bool anyNotFound = false;
    bool anyError = false;
    std::vector<qint64> times;
    times.reserve(history.runs.size());
    for (const HistoryRun& run : history.runs) {
        times.push_back(run.time.toMSecsSinceEpoch());
        for (const auto& slot : run.bySlot) {
            if (!slot)
                continue;
            if (slot->rank) {
                chart.bestSeen =
                    chart.bestSeen ? std::min(*chart.bestSeen, *slot->rank) : *slot->rank;
                chart.worstSeen =
                    chart.worstSeen ? std::max(*chart.worstSeen, *slot->rank) : *slot->rank;
            } else if (isError(*slot)) {
                anyError = true;
            } else {
                anyNotFound = true;
            }
        }
    }
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        chart.timeMinMs = times.front();
        chart.timeMaxMs = times.back();
    }
    placeTimeAxis(chart, times, nowMs);

    // The ranks seen, a tenth of their span (at least one place) around them, and at least ten
    // places in all, so a move of one or two places does not fill the height.
    constexpr int kLeastPlaces = 10;
    int best = chart.bestSeen.value_or(competitorBest.value_or(1));
    int worst = chart.worstSeen.value_or(best);
    if (competitorBest) {
        best = std::min(best, *competitorBest);
        worst = std::max(worst, *competitorWorst);
    }
    const int margin = std::max(1, int(std::lround((worst - best) * 0.1)));
    int top = std::max(1, best - margin);
    int bottom = worst + margin;
    if (bottom - top < kLeastPlaces - 1) {
        const int more = kLeastPlaces - 1 - (bottom - top);
        top -= more / 2;
        bottom += more - more / 2;
        if (top < 1) {
            bottom += 1 - top;
            top = 1;
        }
    }
    const int rowGap = std::max(1, int(std::lround((bottom - top) * 0.1)));
    double lastRow = bottom;
    if (anyNotFound) {
        chart.notFoundY = lastRow + rowGap;
        lastRow = chart.notFoundY;
    }
    if (anyError) {
        chart.errorY = lastRow + rowGap;
        lastRow = chart.errorY;
    }
    // Room beyond the outermost rows, so their markers are drawn whole.
    const double room = std::max(0.5, (lastRow - top) * 0.05);
    chart.yMin = top - room;
    chart.yMax = lastRow + room;

    if (chart.bestSeen || competitorBest) {
        static const int kSteps[] = {1, 2, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000};
        int step = kSteps[std::size(kSteps) - 1];
        for (const int candidate : kSteps) {
            if ((bottom - top) / candidate <= 9) {
                step = candidate;
                break;
            }
        }
        // Multiples of the step only (and rank 1 when the axis starts there), so no two labels
        // crowd each other.
        if (top == 1)
            chart.rankTicks.push_back(1);
        for (int value = (top + step - 1) / step * step; value <= bottom; value += step) {
            if (value > 1)
                chart.rankTicks.push_back(value);
        }
        if (chart.rankTicks.empty())
            chart.rankTicks.push_back(best);
    }

    // Oldest first, so each slot's line runs left to right.
    for (auto it = history.runs.rbegin(); it != history.runs.rend(); ++it) {
        const qint64 ms = it->time.toMSecsSinceEpoch();
        const QString time = timeText(it->time);
        for (int s = 0; s < kHistorySlots; ++s) {
            const auto& slot = it->bySlot[s];
            if (!slot)
                continue;
            HistoryPoint point;
            point.timeMs = ms;
            point.tip = pointTip(time, *slot);
            if (slot->rank) {
                point.kind = HistoryPoint::Ranked;
                point.y = *slot->rank;
                chart.ranked[s].push_back(std::move(point));
            } else if (isError(*slot)) {
                point.kind = HistoryPoint::Error;
                point.y = chart.errorY;
                chart.errors[s].push_back(std::move(point));
            } else {
                point.kind = HistoryPoint::NotFound;
                point.y = chart.notFoundY;
                chart.notFound[s].push_back(std::move(point));
            }
        }
    }
    return chart;
}

std::array<SlotSummary, kHistorySlots> summarizeHistory(const EntryHistory& history) {
    std::array<SlotSummary, kHistorySlots> summary;
    for (int s = 0; s < kHistorySlots; ++s) {
        const HistoryResult* latest = nullptr;
        const HistoryResult* previous = nullptr;
        // Newest first: the first result is the latest, the next one the run before it.
        for (const HistoryRun& run : history.runs) {
            const auto& slot = run.bySlot[s];
            if (!slot)
                continue;
            if (!latest)
                latest = &*slot;
            else if (!previous)
                previous = &*slot;
            if (slot->rank && (!summary[s].bestRank || *slot->rank < *summary[s].bestRank)) {
                summary[s].bestRank = slot->rank;
                summary[s].bestText = shownText(slot->text);
            }
        }
        if (latest && previous)
            summary[s].change = rankChangeText(previous, *latest);
    }
    return summary;
}

HistoryTableModel::HistoryTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void HistoryTableModel::setHistory(EntryHistory history, const QStringList& labels,
                                   std::vector<std::string> competitors) {
    beginResetModel();
    m_history = std::move(history);
    m_labels = labels;
    m_competitors = std::move(competitors);
    m_competitorColumns.clear();
    const std::vector<int> keptSlots = slotsWithKeptResults(m_history);
    for (std::size_t c = 0; c < m_competitors.size(); ++c) {
        for (const int s : keptSlots)
            m_competitorColumns.push_back({c, s});
    }
    m_times.clear();
    m_times.reserve(m_history.runs.size());
    for (const HistoryRun& run : m_history.runs)
        m_times.push_back(timeText(run.time));
    endResetModel();
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_history.runs.size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1 + kHistorySlots + int(m_competitorColumns.size());
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const HistoryRun& run = m_history.runs[std::size_t(index.row())];
    if (index.column() == 0) {
        if (role == Qt::DisplayRole)
            return m_times[std::size_t(index.row())];
        if (role == Qt::ToolTipRole)
            return isoTimeWithOffset(run.time);
        return {};
    }
    if (index.column() > kHistorySlots) {
        const CompetitorColumn& column =
            m_competitorColumns[std::size_t(index.column() - 1 - kHistorySlots)];
        const auto& slot = run.bySlot[std::size_t(column.slot)];
        if (!slot || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        const std::string& site = m_competitors[column.competitor];
        QString text =
            QString::fromStdString(siteRankText(siteRank(slot->results, slot->pageSizes, site)));
        if (role == Qt::ToolTipRole)
            return plainToolTip(shownText(site) + QStringLiteral(": ") + text +
                                (slot->resultsPartial
                                     ? QStringLiteral("\nthe scan ended in an error: the results "
                                                      "read before it")
                                     : QString()));
        return text;
    }
    const auto& slot = run.bySlot[std::size_t(index.column() - 1)];
    if (!slot)
        return {};
    if (role == Qt::DisplayRole)
        return shownText(slot->text);
    if (role == Qt::ToolTipRole)
        return plainToolTip(resultLines(*slot));
    return {};
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return QStringLiteral("Date and time");
    if (section >= 1 && section <= kHistorySlots && section - 1 < m_labels.size())
        return m_labels[section - 1];
    const int column = section - 1 - kHistorySlots;
    if (column >= 0 && column < int(m_competitorColumns.size())) {
        const CompetitorColumn& c = m_competitorColumns[std::size_t(column)];
        const QString site = shownText(m_competitors[c.competitor]);
        return c.slot < m_labels.size()
                   ? site + QStringLiteral(" (") + m_labels[c.slot] + QLatin1Char(')')
                   : site;
    }
    return {};
}

} // namespace tw
