#include "cli/CliResults.h"

#include "cli/CliOptions.h"

#include "base/Engines.h"
#include "base/TextUtil.h"
#include "data/DataFile.h"
#include "data/OutputFile.h"
#include "exchange/Export.h"
#include "history/HistoryText.h"
#include "history/KeptResults.h"
#include "rank/LastRun.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace cli {

namespace {
// Keys in the order a reader expects them, not sorted.
using json = nlohmann::ordered_json;

using Previous = std::array<std::optional<tw::HistoryRecord>, kEngineCount>;

const KeptResultsView kNoCompetitors;

// The rank and page a competitor has in a kept result list; "previous" is its position in an
// earlier list, null when there is none or it kept nothing (nothing is known of it then).
json CompetitorsJson(const std::vector<std::string>& sites, const EngineOutcome& outcome,
                     const std::optional<tw::HistoryRecord>& earlier) {
    json out = json::array();
    const bool knownBefore = earlier && !earlier->result.results.empty();
    for (const std::string& site : sites) {
        const tw::SiteRank now = tw::siteRank(outcome.results, outcome.pageSizes, site);
        json previous = nullptr;
        if (knownBefore)
            previous = tw::positionOf(earlier->result.results, site);
        out.push_back({{"site", site},
                       {"rank", now.position},
                       {"page", now.page},
                       {"previous", std::move(previous)}});
    }
    return out;
}

json EntryJson(const EntryRow& row, const RankedRow& r,
               const std::array<std::string, kEngineCount>& sources, const Previous& before,
               const std::vector<std::string>& competitors, const Previous& earlier,
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
        json rankingUrl = nullptr;
        if (found && !outcome.rankingUrl.empty())
            rankingUrl = outcome.rankingUrl;
        results[engines::Info(SearchEngine(e)).key] = {
            {"engine", engines::SlotLabel(SearchEngine(e))},
            {"source", sources[e].empty() ? std::string("classic") : sources[e]},
            {"text", row.cells[EngineColumn(e)]},
            {"rank", found ? outcome.rank : 0},
            {"page", found ? outcome.page : 0},
            {"ranking_url", std::move(rankingUrl)},
            {"results", outcome.results.size()},
            {"sites_above", std::move(sites)},
            {"errors", std::move(errors)},
            {"previous", std::move(previous)},
            {"competitors", CompetitorsJson(competitors, outcome, earlier[e])},
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

// Indents a dumped value for its place in the document.
void AppendIndented(std::string& out, const std::string& dumped, const char* indent) {
    for (char c : dumped) {
        out += c;
        if (c == '\n')
            out += indent;
    }
}

// One element of the document, indented for its place and led by its line break. The dump
// escapes line breaks inside strings, so every one in it stands between tokens.
std::string Element(const json& entry) {
    const std::string dumped = entry.dump(2, ' ', false, json::error_handler_t::replace);
    std::string out("\n    ");
    out.reserve(dumped.size() + dumped.size() / 8 + 8);
    AppendIndented(out, dumped, "    ");
    return out;
}

// The visibility of one slot, summed entry by entry as the document is written, so that no
// entry's kept results are held longer than its element. The visibility of a single entry is
// its click shares, so the mean over the entries is the sum of theirs divided by their number;
// a competitor named like a target is that target (tw::visibility), whichever entry names it.
struct SlotVisibility {
    int entries = 0;
    std::vector<std::string> targets; // in the order first met
    std::map<std::string, double> targetSums;
    std::map<std::string, double> competitorSums;

    void Add(const std::string& target, const EngineOutcome& outcome,
             const std::vector<std::string>& competitors) {
        ++entries;
        if (targetSums.find(target) == targetSums.end())
            targets.push_back(target);
        const tw::VisibilityEntry one{
            target, outcome.found ? std::optional<int>(outcome.rank) : std::nullopt,
            &outcome.results};
        for (const auto& [site, share] : tw::visibility({one}, competitors))
            (site == target ? targetSums : competitorSums)[site] += share;
    }

    // Targets first, then the competitors that are not targets too; one decimal.
    json Json(const std::vector<std::string>& competitors) const {
        json out = json::object();
        const auto put = [&](const std::string& site) {
            if (out.contains(site))
                return;
            const auto& sums = targetSums.count(site) ? targetSums : competitorSums;
            const auto it = sums.find(site);
            const double mean = it == sums.end() ? 0.0 : it->second / entries;
            out[site] = std::round(mean * 10) / 10;
        };
        for (const std::string& site : targets)
            put(site);
        for (const std::string& site : competitors)
            put(site);
        return out;
    }
};
} // namespace

bool CountsForVisibility(const RankedRow& ranked, int slot) {
    const EngineOutcome& outcome = ranked.engines[slot];
    return ranked.ended[slot] && outcome.enabled && !outcome.cancelled && outcome.error.empty();
}

bool WriteResultsJson(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& ranked,
                      const std::array<std::string, kEngineCount>& sources,
                      const PreviousLookup& previous,
                      const std::function<bool(const std::string&)>& write, const RunCalls* calls,
                      const KeptResultsView* kept, const rank::RunChanges* changes) {
    if (!kept)
        kept = &kNoCompetitors;
    if (!write("{\n  \"entries\": ["))
        return false;
    std::array<SlotVisibility, kEngineCount> visibility;
    bool any = false;
    for (const RankedRow& listed : ranked) {
        if (listed.row < 0 || listed.row >= int(rows.size()))
            continue;
        Previous before;
        if (previous) {
            for (int e = 0; e < kEngineCount; ++e)
                before[e] = previous(listed.row, e);
        }
        // The results each slot kept, and the earlier result its competitors are compared with.
        const RankedRow* r = &listed;
        RankedRow fromHistory;
        Previous earlier;
        if (kept->fromHistory) {
            fromHistory = listed;
            for (int e = 0; e < kEngineCount; ++e) {
                if (!before[e])
                    continue;
                tw::HistoryResult& latest = before[e]->result;
                EngineOutcome& outcome = fromHistory.engines[e];
                outcome.results = std::move(latest.results);
                outcome.resultsPartial = latest.resultsPartial;
                outcome.pageSizes = std::move(latest.pageSizes);
                outcome.rankingUrl = std::move(latest.rankingUrl);
                if (!kept->competitors.empty() && kept->earlier)
                    earlier[e] = kept->earlier(listed.row, e, before[e]->runId);
            }
            r = &fromHistory;
        } else {
            earlier = before;
        }
        const EntryRow& row = rows[r->row];
        for (int e = 0; e < kEngineCount; ++e) {
            if (CountsForVisibility(*r, e))
                visibility[e].Add(row.cells[ColUrl], r->engines[e], kept->competitors);
        }
        std::string element =
            Element(EntryJson(row, *r, sources, before, kept->competitors, earlier, changes));
        if (any)
            element.insert(element.begin(), ',');
        if (!write(element))
            return false;
        any = true;
    }
    std::string tail = any ? "\n  ]" : "]";
    json perSlot = json::object();
    for (int e = 0; e < kEngineCount; ++e) {
        if (visibility[e].entries > 0)
            perSlot[engines::Info(SearchEngine(e)).key] = visibility[e].Json(kept->competitors);
    }
    tail += ",\n  \"visibility\": ";
    AppendIndented(tail, perSlot.dump(2, ' ', false, json::error_handler_t::replace), "  ");
    if (calls) {
        json perService = json::object();
        for (int i = 0; i < tw::sources::kProviderCount; ++i) {
            if (calls->used[i] || calls->billed[i] > 0)
                perService[tw::sources::providerName(tw::sources::providerAt(i))] =
                    calls->billed[i];
        }
        tail += ",\n  \"calls\": ";
        AppendIndented(tail, perService.dump(2), "  ");
    }
    if (changes) {
        tail += ",\n  \"changes\": ";
        AppendIndented(tail, rank::ChangesJson(*changes, 2), "  ");
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
        calls, nullptr, changes);
    return out;
}

bool WriteResultsJsonFile(const QString& path, const std::vector<EntryRow>& rows,
                          const std::vector<RankedRow>& ranked,
                          const std::array<std::string, kEngineCount>& sources,
                          const PreviousLookup& previous, QString* error, const RunCalls* calls,
                          const KeptResultsView* kept, const rank::RunChanges* changes) {
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
                  calls, kept, changes) &&
              flush();
    return FinishOutput(out, ok, reason, path, error);
}

bool FinishOutput(outputfile::CStream& out, bool ok, QString reason, const QString& path,
                  QString* error) {
    // Also after a failure: the temporary file is dropped and the reason, if none yet, read.
    QString commitReason;
    ok = out.Commit(&commitReason) && ok;
    if (reason.isEmpty())
        reason = commitReason;
    if (!ok && error)
        *error = path == kStdout ? QStringLiteral("Standard output could not be written.")
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
            const std::string& text = rows[i].cells[EngineColumn(e)];
            outcome.found = tw::exchange::parseRankText(text, outcome.rank, outcome.page);
            outcome.enabled = outcome.found || text == kNotFoundText;
            r.ended[e] = outcome.enabled;
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
