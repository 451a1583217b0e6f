#pragma once
// Hand-made rank histories for the report tests and benchmark: results recorded into a list's
// history file as runs would record them, kept results included.

#include "history/HistoryStore.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tw::test {

// A result of slot: ranked at rank (page 1 up to 10, then page 2, ...), "not found" without a
// rank, "error" when error is set. results are the kept results; the ranking URL is the one at
// rank when there is one.
inline HistoryResult sampleResult(int slot, std::optional<int> rank, bool error = false,
                                  std::vector<std::string> results = {}) {
    HistoryResult r;
    r.slot = slot;
    r.engine = slot == 0 ? "Google" : "AltaVista";
    r.source = "classic";
    if (error) {
        r.text = "error";
        r.error = "the engine did not answer";
    } else if (rank) {
        r.rank = rank;
        r.page = (*rank - 1) / 10 + 1;
        r.text = "Rank " + std::to_string(*rank) + " / Page " + std::to_string(*r.page);
    } else {
        r.text = "not found";
    }
    r.results = std::move(results);
    if (rank && *rank >= 1 && *rank <= int(r.results.size()))
        r.rankingUrl = r.results[*rank - 1];
    for (std::size_t i = 0; i < r.results.size(); i += 10)
        r.pageSizes.push_back(int(std::min<std::size_t>(10, r.results.size() - i)));
    return r;
}

struct SampleRecord {
    std::string url;
    std::string keywords;
    HistoryResult result;
};

// Records one run at time into the list's history; false with the reason.
inline bool recordRun(const QString& dataFilePath, const QDateTime& time,
                      const std::vector<SampleRecord>& records, QString* error) {
    HistoryStore store;
    if (!store.open(historyPathFor(dataFilePath), HistoryStore::Mode::ReadWrite, error) ||
        !store.beginRun(time, error))
        return false;
    for (const SampleRecord& r : records) {
        if (!store.record(r.url, r.keywords, r.result, error))
            return false;
    }
    return store.commitRun(error);
}

} // namespace tw::test
