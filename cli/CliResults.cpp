#include "cli/CliResults.h"

#include "cli/CliOptions.h"

#include "base/Engines.h"
#include "base/TextUtil.h"
#include "data/DataFile.h"
#include "data/OutputFile.h"
#include "exchange/Export.h"
#include "history/HistoryText.h"
#include "rank/LastRun.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cli {

namespace {
// Keys in the order a reader expects them, not sorted.
using json = nlohmann::ordered_json;

using Previous = std::array<std::optional<tw::HistoryRecord>, kEngineCount>;

json EntryJson(const EntryRow& row, const RankedRow& r,
               const std::array<std::string, kEngineCount>& sources, const Previous& before,
               const rank::RunChanges* changes) {
    json results = json::object();
    for (int e = 0; e < kEngineCount; ++e) {
        const EngineOutcome& outcome = r.engines[e];
        const bool found = r.ended[e] && outcome.found;
        json errors = json::array();
        for (const PageError& error : outcome.errors)
            errors.push_back(error.text);
        // An engine left out after the search failed has no failed page of its own.
        if (!outcome.error.empty() && outcome.errors.empty())
            errors.push_back(outcome.error);
        json sites = json::array();
        // As the details dialog shows them: only an engine that found the target has a list.
        if (found && row.results) {
            for (const std::string& site : row.results->sites[e])
                sites.push_back(site);
        }
        json previous = nullptr;
        if (const auto& last = before[e])
            previous = {{"time", tw::isoTimeWithOffset(last->time).toStdString()},
                        {"text", last->result.text},
                        {"rank", last->result.rank.value_or(0)},
                        {"page", last->result.page.value_or(0)}};
        results[engines::Info(SearchEngine(e)).key] = {
            {"engine", engines::SlotLabel(SearchEngine(e))},
            {"source", sources[e].empty() ? std::string("classic") : sources[e]},
            {"text", row.cells[EngineColumn(e)]},
            {"rank", found ? outcome.rank : 0},
            {"page", found ? outcome.page : 0},
            {"sites_above", std::move(sites)},
            {"errors", std::move(errors)},
            {"previous", std::move(previous)},
            {"calls", outcome.calls}};
        if (changes) {
            const rank::ResultChange* change = changes->Find(r.row, e);
            results[engines::Info(SearchEngine(e)).key]["change"] =
                change && !change->word.isEmpty() ? json(change->word.toStdString()) : json();
        }
    }
    return {{"row", r.row + 1},
            {"url", row.cells[ColUrl]},
            {"keywords", row.cells[ColKeywords]},
            {"country", r.options.country},
            {"language", r.options.language},
            {"device", r.options.device},
            {"location", r.options.location},
            {"tags", datafile::splitTags(r.options.tags)},
            {"results", std::move(results)}};
}

// One element of the document, indented for its place and led by its line break. The dump
// escapes line breaks inside strings, so every one in it stands between tokens.
std::string Element(const EntryRow& row, const RankedRow& ranked,
                    const std::array<std::string, kEngineCount>& sources, const Previous& before,
                    const rank::RunChanges* changes) {
    const std::string dumped = EntryJson(row, ranked, sources, before, changes)
                                   .dump(2, ' ', false, json::error_handler_t::replace);
    std::string out("\n    ");
    out.reserve(dumped.size() + dumped.size() / 8 + 8);
    for (char c : dumped) {
        out += c;
        if (c == '\n')
            out += "    ";
    }
    return out;
}
} // namespace

bool WriteResultsJson(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& ranked,
                      const std::array<std::string, kEngineCount>& sources,
                      const PreviousLookup& previous,
                      const std::function<bool(const std::string&)>& write, const RunCalls* calls,
                      const rank::RunChanges* changes) {
    if (!write("{\n  \"entries\": ["))
        return false;
    bool any = false;
    for (const RankedRow& r : ranked) {
        if (r.row < 0 || r.row >= int(rows.size()))
            continue;
        Previous before;
        if (previous) {
            for (int e = 0; e < kEngineCount; ++e)
                before[e] = previous(r.row, e);
        }
        std::string element = Element(rows[r.row], r, sources, before, changes);
        if (any)
            element.insert(element.begin(), ',');
        if (!write(element))
            return false;
        any = true;
    }
    std::string tail = any ? "\n  ]" : "]";
    if (calls) {
        json perService = json::object();
        for (int i = 0; i < tw::sources::kProviderCount; ++i) {
            if (calls->used[i] || calls->billed[i] > 0)
                perService[tw::sources::providerName(tw::sources::providerAt(i))] =
                    calls->billed[i];
        }
        tail += ",\n  \"calls\": ";
        for (char c : perService.dump(2)) {
            tail += c;
            if (c == '\n')
                tail += "  ";
        }
    }
    if (changes) {
        tail += ",\n  \"changes\": ";
        for (char c : rank::ChangesJson(*changes, 2)) {
            tail += c;
            if (c == '\n')
                tail += "  ";
        }
    }
    return write(tail + "\n}\n");
}

std::string ResultsJson(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& ranked,
                        const std::array<std::string, kEngineCount>& sources, const RunCalls* calls,
                        const rank::RunChanges* changes) {
    std::string out;
    WriteResultsJson(
        rows, ranked, sources, {},
        [&out](const std::string& piece) {
            out += piece;
            return true;
        },
        calls, changes);
    return out;
}

bool WriteResultsJsonFile(const QString& path, const std::vector<EntryRow>& rows,
                          const std::vector<RankedRow>& ranked,
                          const std::array<std::string, kEngineCount>& sources,
                          const PreviousLookup& previous, QString* error, const RunCalls* calls,
                          const rank::RunChanges* changes) {
    const bool toStdout = path == kStdout;
    outputfile::CStream out;
    QString reason;
    // Written out in pieces of about this size: few writes, and never the whole document held.
    constexpr std::size_t kChunk = std::size_t(1) << 16;
    std::string pending;
    const auto flush = [&] {
        const bool ok = out.Write(pending.data(), qint64(pending.size()));
        pending.clear();
        return ok;
    };
    bool ok = out.Open(toStdout ? QString() : path, &reason) &&
              WriteResultsJson(
                  rows, ranked, sources, previous,
                  [&](const std::string& piece) {
                      pending += piece;
                      return pending.size() < kChunk || flush();
                  },
                  calls, changes) &&
              flush();
    // Also after a failure: the temporary file is dropped and the reason, if none yet, read.
    QString commitReason;
    ok = out.Commit(&commitReason) && ok;
    if (reason.isEmpty())
        reason = commitReason;
    if (!ok && error)
        *error = toStdout ? QStringLiteral("Standard output could not be written.")
                          : QStringLiteral("\"%1\" could not be written: %2")
                                .arg(datafile::DisplayPath(path), reason);
    return ok;
}

std::vector<RankedRow> ListedRows(const std::vector<EntryRow>& rows) {
    std::vector<RankedRow> out(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        RankedRow& r = out[i];
        r.row = int(i);
        for (int e = 0; e < kEngineCount; ++e) {
            EngineOutcome& outcome = r.engines[e];
            outcome.row = r.row;
            outcome.engine = SearchEngine(e);
            outcome.found = tw::exchange::parseRankText(rows[i].cells[EngineColumn(e)],
                                                        outcome.rank, outcome.page);
            outcome.enabled = outcome.found;
            r.ended[e] = outcome.found;
        }
    }
    return out;
}

std::string Printable(const std::string& text) {
    return text::ShowControls(text);
}

std::string Counter(int done, int total) {
    std::string text("[");
    text.append(std::to_string(done)).append("/").append(std::to_string(total)).append("]");
    return text;
}

std::string ProgressCount(int done, int total, double seconds) {
    std::string text = std::to_string(done) + " of " + std::to_string(total);
    if (done <= 0 || done >= total || !(seconds > 0))
        return text;
    const double left = seconds / done * (total - done);
    const long minutes = std::lround(left / 60);
    if (left < 60)
        text += ", about " + std::to_string(std::max(1L, std::lround(left))) + " s left";
    else if (minutes < 60)
        text += ", about " + std::to_string(minutes) + " min left";
    else
        text += ", about " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) +
                " min left";
    return text;
}

std::string EntryLine(const std::vector<EntryRow>& rows, const RankedRow& ranked, int done,
                      int total) {
    std::string line = Counter(done, total);
    line.append(" row ").append(std::to_string(ranked.row + 1));
    if (ranked.row >= 0 && ranked.row < int(rows.size()))
        line.append(" ").append(Printable(rows[ranked.row].cells[ColUrl]));
    line += ":";
    int failed = 0;
    for (int e = 0; e < kEngineCount; ++e) {
        const EngineOutcome& outcome = ranked.engines[e];
        line += std::string(e ? ", " : " ") + engines::SlotLabel(SearchEngine(e)) + " ";
        if (!outcome.enabled)
            line += "off";
        else if (outcome.found)
            line += RankText(outcome.rank, outcome.page);
        else if (outcome.cancelled)
            line += "cancelled";
        else if (!outcome.error.empty())
            line += std::string(kErrorText) + " (" + Printable(outcome.error) + ")";
        else
            line += kNotFoundText;
        failed += int(outcome.errors.size());
    }
    if (failed > 0)
        line += " (" + std::to_string(failed) + (failed == 1 ? " page" : " pages") + " failed)";
    return line;
}

RunSummary Summarise(const std::vector<RankedRow>& ranked, int entries, bool cancelled,
                     const RankRunStats& stats, double seconds) {
    RunSummary s;
    s.entries = entries;
    s.cancelled = cancelled;
    s.pagesFetched = stats.pagesFetched;
    s.failedPages = stats.failedPages;
    s.errorColumns = stats.errorColumns;
    s.seconds = seconds;
    for (const RankedRow& r : ranked) {
        bool allEnded = true;
        for (int e = 0; e < kEngineCount; ++e) {
            allEnded = allEnded && r.ended[e];
            if (r.ended[e] && r.engines[e].enabled)
                s.enabled[e] = true;
            if (r.ended[e] && r.engines[e].found)
                ++s.found[e];
        }
        if (allEnded)
            ++s.ranked;
    }
    return s;
}

std::string SummaryLine(const RunSummary& s) {
    std::string line = s.cancelled ? "Cancelled: ranked " + std::to_string(s.ranked) + " of " +
                                         std::to_string(s.entries) + " entries"
                                   : "Ranked " + std::to_string(s.ranked) +
                                         (s.ranked == 1 ? " entry" : " entries");
    line += "; found:";
    bool any = false;
    for (int e = 0; e < kEngineCount; ++e) {
        if (!s.enabled[e])
            continue;
        line += std::string(any ? ", " : " ") + engines::SlotLabel(SearchEngine(e)) + " " +
                std::to_string(s.found[e]);
        any = true;
    }
    if (!any)
        line += " -";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", s.seconds);
    line += "; " + std::to_string(s.pagesFetched) + " pages fetched, " +
            std::to_string(s.failedPages) + " failed; " + seconds + " s";
    if (s.errorColumns > 0)
        line += "; " + std::to_string(s.errorColumns) +
                (s.errorColumns == 1 ? " result reads \"error\"" : " results read \"error\"");
    if (!s.calls.empty())
        line += "; " + s.calls;
    return line;
}

std::vector<std::string> ChangeLines(const rank::RunChanges& changes) {
    std::vector<std::string> lines;
    for (int e = 0; e < kEngineCount; ++e) {
        const auto& slot = changes.bySlot[e];
        if (!slot)
            continue;
        lines.push_back(engines::SlotLabel(SearchEngine(e)) + ": " +
                        rank::CountsText(slot->counts));
        for (const auto* moves : {&slot->biggestUp, &slot->biggestDown})
            for (const rank::ResultChange& move : *moves)
                lines.push_back("  " + Printable(rank::MoveText(move)));
    }
    return lines;
}

} // namespace cli
