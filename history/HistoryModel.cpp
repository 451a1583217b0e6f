#include "history/HistoryModel.h"

#include "base/ShownText.h"
#include "history/HistoryText.h"

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

HistoryChart buildHistoryChart(const EntryHistory& history) {
    HistoryChart chart;
    bool anyNotFound = false;
    bool anyError = false;
    bool anyTime = false;
    for (const HistoryRun& run : history.runs) {
        const qint64 ms = run.time.toMSecsSinceEpoch();
        if (!anyTime) {
            chart.timeMinMs = chart.timeMaxMs = ms;
            anyTime = true;
        }
        chart.timeMinMs = std::min(chart.timeMinMs, ms);
        chart.timeMaxMs = std::max(chart.timeMaxMs, ms);
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

    // The ranks seen, a tenth of their span (at least one place) around them; nothing fixed.
    const int best = chart.bestSeen.value_or(1);
    const int worst = chart.worstSeen.value_or(best);
    const int margin = std::max(1, int(std::lround((worst - best) * 0.1)));
    const int top = std::max(1, best - margin);
    const int bottom = worst + margin;
    chart.yMin = top - 0.5;
    double lastRow = bottom;
    if (anyNotFound) {
        chart.notFoundY = lastRow + margin;
        lastRow = chart.notFoundY;
    }
    if (anyError) {
        chart.errorY = lastRow + margin;
        lastRow = chart.errorY;
    }
    chart.yMax = lastRow + 0.5 * margin;

    if (chart.bestSeen) {
        static const int kSteps[] = {1, 2, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000};
        int step = kSteps[std::size(kSteps) - 1];
        for (const int candidate : kSteps) {
            if ((bottom - top) / candidate <= 8) {
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

void HistoryTableModel::setHistory(EntryHistory history, const QStringList& labels) {
    beginResetModel();
    m_history = std::move(history);
    m_labels = labels;
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
    return parent.isValid() ? 0 : 1 + kHistorySlots;
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
    return {};
}

} // namespace tw
