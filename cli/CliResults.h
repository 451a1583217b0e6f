#pragma once
// What tallowick-rank tells about a run: the JSON document, the line per finished entry and the
// closing summary.

#include "data/EntryListModel.h"
#include "history/HistoryStore.h"
#include "rank/RankRun.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One row the run started on, with what each engine's scan came to.
struct RankedRow {
    int row = 0; // 0-based
    std::array<EngineOutcome, kEngineCount> engines;
    std::array<bool, kEngineCount> ended{}; // the engine's column was written
    // Each engine's latest result in the rank history before this run; empty: none.
    std::array<std::optional<tw::HistoryRecord>, kEngineCount> previous;
    // What the entry was ranked with: its own options, the run's defaults where it has none.
    datafile::EntryOptions options;
};

// {"entries": [...]}, one element per ranked row in row order. Bytes that are not UTF-8 are
// replaced, so any data file gives a valid document.
// sources: each slot's source as written ("classic", "serpapi:bing"); empty texts read classic.
std::string ResultsJson(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& ranked,
                        const std::array<std::string, kEngineCount>& sources = {});

// "[3/40] row 5 www.x.example: Google Rank 7 / Page 1, Altavista not found, ..."
std::string EntryLine(const std::vector<EntryRow>& rows, const RankedRow& ranked, int done,
                      int total);

struct RunSummary {
    int entries = 0; // rows asked for
    int ranked = 0;  // rows whose ranking ended
    bool cancelled = false;
    std::array<int, kEngineCount> found{};
    std::array<bool, kEngineCount> enabled{};
    int pagesFetched = 0;
    int failedPages = 0;
    int errorColumns = 0; // engine results that read "error"
    double seconds = 0;
};

RunSummary Summarise(const std::vector<RankedRow>& ranked, int entries, bool cancelled,
                     const RankRunStats& stats, double seconds);
std::string SummaryLine(const RunSummary& summary);

// "[3/40]": entries done of all.
std::string Counter(int done, int total);

// Control characters shown as "?", so a text cannot move the cursor or change the terminal.
std::string Printable(const std::string& text);

} // namespace cli
