#pragma once
// What changed in a run: each written result against the entry's result before it in the rank
// history, counted per slot, with the biggest moves. Free of widgets: the window's What changed
// dialog and marks, and tallowick-rank's summary, JSON and last-run file show the same numbers.
//
// How a result is put:
// - "error" now: error, whatever came before.
// - Compared with the entry's latest earlier result that is not an error (an error tells nothing
//   about the rank); none at all: new.
// - Ranked both times: up, down or same by the rank. Ranked before and "not found" now: dropped
//   out. "Not found" before and ranked now: came in. "Not found" both times: same.
// - A slot the run did not write (switched off, cancelled, never reached) counts nothing.

#include "base/RankTypes.h"
#include "history/HistoryStore.h"

#include <QString>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace rank {

enum class ChangeKind { Up, Down, Same, New, Dropped, Entered, Error };

struct ChangeCounts {
    int up = 0;
    int down = 0;
    int same = 0;
    int added = 0; // "new": no earlier result
    int dropped = 0;
    int entered = 0;
    int error = 0;
    void Add(ChangeKind kind);
    int Total() const { return up + down + same + added + dropped + entered + error; }
    bool operator==(const ChangeCounts&) const = default;
};

// One written result and how it moved.
struct ResultChange {
    int row = -1; // the list's row (0-based)
    int slot = 0;
    std::string url;
    std::string keywords;
    tw::EntryWhere where;
    std::string oldText; // the result compared with; empty when none
    std::string newText;
    ChangeKind kind = ChangeKind::New;
    int places = 0; // places gained (up) or lost (down); 0 otherwise
    // The History window's word against the result compared with: "up 2", "same", "unknown";
    // empty when there is nothing to compare with.
    QString word;
};

// Per slot: the counts and the biggest moves up and down, biggest first (ties in row order).
inline constexpr int kBiggestMoves = 5;
struct SlotChanges {
    ChangeCounts counts;
    std::vector<ResultChange> biggestUp;
    std::vector<ResultChange> biggestDown;
};

struct RunChanges {
    // Every written result, in row order then slot order.
    std::vector<ResultChange> results;
    // Slots the run wrote at least one result in.
    std::array<std::optional<SlotChanges>, kEngineCount> bySlot;
    bool Empty() const { return results.empty(); }
    // The change of the row's slot in this run; null when the run wrote none there.
    const ResultChange* Find(int row, int slot) const;
};

// How current moved from the result compared with (null: none). previous must not be an error
// unless nothing better is known; *places gets the places moved for up and down, else 0.
ChangeKind ClassifyChange(const tw::HistoryResult* previous, const tw::HistoryResult& current,
                          int* places);
// The change of current, a result the run just wrote for the entry, against the entry's results
// recorded in store before run beforeRunId (0: before the run in progress, else all); a store
// that is not open has none.
ResultChange CompareWithHistory(tw::HistoryStore& store, qint64 beforeRunId, int row,
                                const std::string& url, const std::string& keywords,
                                const tw::HistoryResult& current);
// Sorts the results, counts them and picks the biggest moves.
RunChanges SummariseChanges(std::vector<ResultChange> results);

// "3 up, 1 down, 30 same, 1 new, 2 dropped out, 0 came in, 0 error"
std::string CountsText(const ChangeCounts& counts);
// "up 6: www.a.example \"red shoes\": Rank 9 / Page 1 -> Rank 3 / Page 1"
std::string MoveText(const ResultChange& move);

} // namespace rank
