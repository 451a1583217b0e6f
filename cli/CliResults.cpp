#include "cli/CliResults.h"

#include "cli/CliOptions.h"

#include "base/Engines.h"
#include "history/HistoryText.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace cli {

std::string ResultsJson(const std::vector<EntryRow>& rows, const std::vector<RankedRow>& ranked,
                        const std::array<std::string, kEngineCount>& sources) {
    // Keys in the order a reader expects them, not sorted.
    using json = nlohmann::ordered_json;
    json entries = json::array();
    for (const RankedRow& r : ranked) {
        if (r.row < 0 || r.row >= int(rows.size()))
            continue;
        const EntryRow& row = rows[r.row];
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
            if (const auto& before = r.previous[e])
                previous = {{"time", tw::isoTimeWithOffset(before->time).toStdString()},
                            {"text", before->result.text},
                            {"rank", before->result.rank.value_or(0)},
                            {"page", before->result.page.value_or(0)}};
            results[engines::Info(SearchEngine(e)).key] = {
                {"engine", engines::SlotLabel(SearchEngine(e))},
                {"source", sources[e].empty() ? std::string("classic") : sources[e]},
                {"text", row.cells[EngineColumn(e)]},
                {"rank", found ? outcome.rank : 0},
                {"page", found ? outcome.page : 0},
                {"sites_above", std::move(sites)},
                {"errors", std::move(errors)},
                {"previous", std::move(previous)}};
        }
        entries.push_back({{"row", r.row + 1},
                           {"url", row.cells[ColUrl]},
                           {"keywords", row.cells[ColKeywords]},
                           {"country", r.options.country},
                           {"language", r.options.language},
                           {"device", r.options.device},
                           {"location", r.options.location},
                           {"tags", datafile::splitTags(r.options.tags)},
                           {"results", std::move(results)}});
    }
    const json doc = {{"entries", std::move(entries)}};
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            c = '?';
    }
    return out;
}

std::string Counter(int done, int total) {
    std::string text("[");
    text.append(std::to_string(done)).append("/").append(std::to_string(total)).append("]");
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
    return line;
}

} // namespace cli
