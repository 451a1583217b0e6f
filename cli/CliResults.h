#pragma once
// What tallowick-rank tells about a run: the JSON document, the line per finished entry and the
// closing summary.

#include "data/EntryListModel.h"
#include "history/HistoryStore.h"
#include "rank/RankRun.h"
#include "rank/RunChanges.h"

namespace outputfile {
class CStream;
}

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One row the run started on, with what each engine's scan came to.
struct RankedRow {
    int row = 0; // 0-based
    std::array<EngineOutcome, kEngineCount> engines;
    std::array<bool, kEngineCount> ended{}; // the engine's column was written
    // What the entry was ranked with: its own options, the run's defaults where it has none.
    datafile::EntryOptions options;
};

// {"entries": [...], "visibility": {...}}, one element per ranked row in row order. Bytes that
// are not UTF-8 are replaced, so any data file gives a valid document. Each slot carries
// "ranking_url", "results" (how many were kept) and "competitors"; the top level's
// "visibility" holds, per slot, each target's and competitor's mean click share over the
// entries that slot ranked.
// sources: each slot's source as written ("classic", "serpapi:bing"); empty texts read classic.
// calls: the run's billed calls per service; when given, the document's top level has
// "calls": {"serper": 90, ...} for the services the run used. changes: what changed in the run;
// when given, each slot has "change" (the History window's word, null where the run wrote
// nothing or there is nothing to compare with) and the top level has "changes" (counts per slot).
std::string ResultsJson(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& ranked,
                        const std::array<std::string, kEngineCount>& sources = {},
                        const RunCalls* calls = nullptr, const rank::RunChanges* changes = nullptr);

// A slot's latest result in the rank history before this run (row 0-based); empty: none.
using PreviousLookup = std::function<std::optional<tw::HistoryRecord>(int row, int slot)>;
// A slot's latest result recorded before run beforeRunId, with its kept results; empty: none.
using EarlierLookup =
    std::function<std::optional<tw::HistoryRecord>(int row, int slot, qint64 beforeRunId)>;

// The competitors the document ranks beside the targets, and where the kept results come from.
struct KeptResultsView {
    std::vector<std::string> competitors;
    // False: each slot's kept results are the run's (EngineOutcome::results), and a competitor's
    // "previous" is read from the kept results of the result previous returns (which must load
    // them). True (a document of the list as it is): the kept results are those of the result
    // previous returns (the latest recorded), and a competitor's "previous" comes from the one
    // earlier returns before it.
    bool fromHistory = false;
    EarlierLookup earlier;
};

// The same document handed to write piece by piece, one entry at a time, so that a long list
// is never held whole. previous (when given) is asked for each entry's "previous" as it is
// written; without it they are null. calls and changes as for ResultsJson; kept (null: no
// competitors, the run's kept results). False as soon as write returns false.
bool WriteResultsJson(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& ranked,
                      const std::array<std::string, kEngineCount>& sources,
                      const PreviousLookup& previous,
                      const std::function<bool(const std::string&)>& write,
                      const RunCalls* calls = nullptr, const KeptResultsView* kept = nullptr,
                      const rank::RunChanges* changes = nullptr);

// WriteResultsJson into path ("-": standard output): a file is replaced only once the document
// is complete, a device or a pipe is written into. False with the message naming the file.
bool WriteResultsJsonFile(const QString& path, const std::vector<EntryRow>& rows,
                          const std::vector<RankedRow>& ranked,
                          const std::array<std::string, kEngineCount>& sources,
                          const PreviousLookup& previous, QString* error,
                          const RunCalls* calls = nullptr, const KeptResultsView* kept = nullptr,
                          const rank::RunChanges* changes = nullptr);

// Whether a slot's result counts for the visibility: ranked to a rank or "not found" (an
// "error" says nothing of where the sites are; a switched-off or cancelled scan is no result).
bool CountsForVisibility(const RankedRow& ranked, int slot);

// Ends a streamed output opened on path ("-": standard output): commits it, so that a file is
// replaced only when ok, and on failure puts the message naming it in error (reason, if empty,
// taken from the commit). Whether all of it was written.
bool FinishOutput(outputfile::CStream& out, bool ok, QString reason, const QString& path,
                  QString* error);

// Every row of a list that was not ranked now, as the document shows it: a text "Rank N /
// Page P" gives its rank and page; "not found" counts as ranked without one.
std::vector<RankedRow> ListedRows(const std::vector<EntryRow>& rows);

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
    std::string calls; // CallsSummary of the run; empty when it used no result service
};

RunSummary Summarise(const std::vector<RankedRow>& ranked, int entries, bool cancelled,
                     const RankRunStats& stats, double seconds);
std::string SummaryLine(const RunSummary& summary);
// What changed, per slot the run wrote: "Google: 18 up, 9 down, ...", then its biggest moves
// up and down, one line each, indented.
std::vector<std::string> ChangeLines(const rank::RunChanges& changes);

// "[3/40]": entries done of all.
std::string Counter(int done, int total);

// "12 of 305, about 4 min left": entries done of all and how long the rest takes at the pace so
// far (seconds since the run began); no estimate before the first entry or after the last.
std::string ProgressCount(int done, int total, double seconds);

// Control characters shown as escapes ("\x1B", "\u202E"), so a text cannot move the cursor,
// change the terminal or turn the line round.
std::string Printable(const std::string& text);

} // namespace cli
