#pragma once
// What the History window shows, made from an entry's loaded history without any widget: the
// table of runs, the chart's points and axis range, and per slot the best rank ever and the
// change since the previous run.

#include "history/HistoryStore.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// One chart point. Ranked points sit at their rank; the others on their marker rows.
struct HistoryPoint {
    enum Kind { Ranked, NotFound, Error };
    Kind kind = Ranked;
    qint64 timeMs = 0; // milliseconds since 1970 UTC
    double y = 0;
    QString tip; // date and time, the text (and the error), the source
};

struct HistoryChart {
    std::array<std::vector<HistoryPoint>, kHistorySlots> ranked; // one line per slot
    std::array<std::vector<HistoryPoint>, kHistorySlots> notFound;
    std::array<std::vector<HistoryPoint>, kHistorySlots> errors;
    // The rank axis, reversed (yMin at the top): the ranks seen with a margin, then the marker
    // rows below the lowest rank.
    double yMin = 1;
    double yMax = 10;
    std::optional<int> bestSeen;  // smallest rank in the history
    std::optional<int> worstSeen; // largest rank in the history
    double notFoundY = 0;         // marker rows (0 when unused)
    double errorY = 0;
    qint64 timeMinMs = 0;
    qint64 timeMaxMs = 0;
    // Rank values to label on the axis ("1", "5", "10", ...), top to bottom.
    std::vector<int> rankTicks;
    // The time axis: the runs with room either side, its ends on whole ticks of a round step
    // (seconds to weeks) in the local calendar, and the labels that step needs.
    qint64 axisFromMs = 0;
    qint64 axisToMs = 0;
    int timeTickCount = 2;
    QString timeFormat;           // "HH:mm:ss", "HH:mm", "MM-dd HH:mm" or "yyyy-MM-dd"
    QString timeTitle;            // "Run", with the day when every tick falls on the same one
    bool hasData(int slot) const; // any point of the slot: it has a place in the legend
    // A competitor's ranks in a slot whose runs kept their result lists: one point per run that
    // has it in its list.
    struct CompetitorLine {
        std::string site;
        int slot = 0;
        std::vector<HistoryPoint> points; // oldest first
    };
    std::vector<CompetitorLine> competitorLines; // per competitor, its slots in order
};

// The time axis of a chart over runs at times (ascending, milliseconds since 1970 UTC): the runs
// with room either side, its ends on whole ticks of a round step (seconds to weeks) in the local
// calendar, and the labels that step needs. nowMs stands for the runs when there are none (the
// last day).
struct RunTimeAxis {
    qint64 fromMs = 0;
    qint64 toMs = 0;
    int tickCount = 2;
    QString format; // "HH:mm:ss", "HH:mm", "MM-dd HH:mm" or "yyyy-MM-dd"
    QString title;  // "Run", with the day when every tick falls on the same one
};
RunTimeAxis runTimeAxis(const std::vector<qint64>& times, qint64 nowMs);

// nowMs stands for the time axis of a history without runs (the last day).
HistoryChart buildHistoryChart(const EntryHistory& history,
                               qint64 nowMs = QDateTime::currentMSecsSinceEpoch());
// With a line per competitor and slot that kept result lists (history loaded with them); the
// rank axis then spans the competitors' ranks too.
HistoryChart buildHistoryChart(const EntryHistory& history,
                               const std::vector<std::string>& competitors,
                               qint64 nowMs = QDateTime::currentMSecsSinceEpoch());

// The slots in which some run of the history kept its result list, ascending.
std::vector<int> slotsWithKeptResults(const EntryHistory& history);

struct SlotSummary {
    std::optional<int> bestRank; // best rank ever; empty when never ranked
    QString bestText;            // "Rank 3 / Page 1" of the run that reached it (the latest such)
    QString change;              // since the previous run: "up 2", "new", ...; empty: no two runs
};
std::array<SlotSummary, kHistorySlots> summarizeHistory(const EntryHistory& history);

// The runs table: date and time, then the four slots' texts, then per competitor its rank in
// each slot that kept result lists; newest run first.
class HistoryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit HistoryTableModel(QObject* parent = nullptr);

    // labels: the four slot names, as the list's columns have them.
    void setHistory(EntryHistory history, const QStringList& labels,
                    std::vector<std::string> competitors = {});
    const std::vector<std::string>& competitors() const { return m_competitors; }
    const EntryHistory& history() const { return m_history; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    EntryHistory m_history;
    QStringList m_labels;
    std::vector<QString> m_times; // formatted once: the table asks for them often
    std::vector<std::string> m_competitors;
    struct CompetitorColumn {
        std::size_t competitor = 0;
        int slot = 0;
    };
    std::vector<CompetitorColumn> m_competitorColumns;
};

} // namespace tw
