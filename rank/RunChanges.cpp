#include "rank/RunChanges.h"

#include "history/HistoryText.h"

#include <algorithm>

namespace rank {

namespace {
bool IsError(const tw::HistoryResult& r) {
    return !r.error.empty() || r.text == "error";
}

// How far back an error is looked past: a slot that failed in this many runs in a row is
// compared with nothing older.
constexpr int kErrorsLookedPast = 50;
} // namespace

void ChangeCounts::Add(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::Up:
        ++up;
        break;
    case ChangeKind::Down:
        ++down;
        break;
    case ChangeKind::Same:
        ++same;
        break;
    case ChangeKind::New:
        ++added;
        break;
    case ChangeKind::Dropped:
        ++dropped;
        break;
    case ChangeKind::Entered:
        ++entered;
        break;
    case ChangeKind::Error:
        ++error;
        break;
    }
}

const ResultChange* RunChanges::Find(int row, int slot) const {
    const auto it = std::lower_bound(results.begin(), results.end(), std::make_pair(row, slot),
                                     [](const ResultChange& c, const std::pair<int, int>& key) {
                                         return std::make_pair(c.row, c.slot) < key;
                                     });
    return it != results.end() && it->row == row && it->slot == slot ? &*it : nullptr;
}

ChangeKind ClassifyChange(const tw::HistoryResult* previous, const tw::HistoryResult& current,
                          int* places) {
    *places = 0;
    if (IsError(current))
        return ChangeKind::Error;
    if (!previous || IsError(*previous))
        return ChangeKind::New;
    if (previous->rank && current.rank) {
        *places = *previous->rank - *current.rank;
        if (*places > 0)
            return ChangeKind::Up;
        if (*places < 0) {
            *places = -*places;
            return ChangeKind::Down;
        }
        return ChangeKind::Same;
    }
    if (current.rank)
        return ChangeKind::Entered;
    if (previous->rank)
        return ChangeKind::Dropped;
    return ChangeKind::Same;
}

ResultChange CompareWithHistory(tw::HistoryStore& store, qint64 beforeRunId, int row,
                                const std::string& url, const std::string& keywords,
                                const tw::HistoryResult& current) {
    ResultChange change;
    change.row = row;
    change.slot = current.slot;
    change.url = url;
    change.keywords = keywords;
    change.where = current.where;
    change.newText = current.text;

    std::optional<tw::HistoryRecord> compared;
    if (store.isOpen()) {
        qint64 before = beforeRunId;
        for (int step = 0; step <= kErrorsLookedPast; ++step) {
            tw::HistoryRecord record;
            bool found = false;
            if (!store.previousResult(url, keywords, current.where, current.slot, before, &record,
                                      &found, nullptr) ||
                !found)
                break;
            // The latest one stands when this result is an error itself: "unknown" against it.
            if (!compared || !IsError(record.result))
                compared = record;
            if (!IsError(record.result) || IsError(current))
                break;
            before = record.runId;
        }
    }
    const tw::HistoryResult* previous = compared ? &compared->result : nullptr;
    change.kind = ClassifyChange(previous, current, &change.places);
    if (previous && (!IsError(*previous) || IsError(current))) {
        change.oldText = previous->text;
        change.word = tw::rankChangeText(previous, current);
    }
    return change;
}

RunChanges SummariseChanges(std::vector<ResultChange> results) {
    RunChanges out;
    std::stable_sort(results.begin(), results.end(),
                     [](const ResultChange& a, const ResultChange& b) {
                         return std::make_pair(a.row, a.slot) < std::make_pair(b.row, b.slot);
                     });
    out.results = std::move(results);
    for (const ResultChange& c : out.results) {
        if (c.slot < 0 || c.slot >= kEngineCount)
            continue;
        auto& slot = out.bySlot[c.slot];
        if (!slot)
            slot.emplace();
        slot->counts.Add(c.kind);
        if (c.kind == ChangeKind::Up)
            slot->biggestUp.push_back(c);
        else if (c.kind == ChangeKind::Down)
            slot->biggestDown.push_back(c);
    }
    for (auto& slot : out.bySlot) {
        if (!slot)
            continue;
        for (auto* moves : {&slot->biggestUp, &slot->biggestDown}) {
            // Stable: equal moves keep the list's order.
            std::stable_sort(
                moves->begin(), moves->end(),
                [](const ResultChange& a, const ResultChange& b) { return a.places > b.places; });
            if (moves->size() > std::size_t(kBiggestMoves))
                moves->resize(kBiggestMoves);
        }
    }
    return out;
}

std::string CountsText(const ChangeCounts& c) {
    return std::to_string(c.up) + " up, " + std::to_string(c.down) + " down, " +
           std::to_string(c.same) + " same, " + std::to_string(c.added) + " new, " +
           std::to_string(c.dropped) + " dropped out, " + std::to_string(c.entered) + " came in, " +
           std::to_string(c.error) + " error";
}

std::string MoveText(const ResultChange& move) {
    std::string text = move.kind == ChangeKind::Up ? "up " : "down ";
    text += std::to_string(move.places) + ": " + move.url + " \"" + move.keywords + "\"";
    if (!move.where.location.empty() || move.where.device != "desktop") {
        text += " (" + move.where.device;
        if (!move.where.location.empty())
            text += ", " + move.where.location;
        text += ")";
    }
    return text + ": " + move.oldText + " -> " + move.newText;
}

} // namespace rank
