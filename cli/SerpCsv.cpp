#include "cli/SerpCsv.h"

#include "cli/CliOptions.h"

#include "base/CsvCells.h"
#include "base/Engines.h"
#include "base/ResultLinks.h"
#include "base/TextUtil.h"
#include "data/DataFile.h"
#include "data/OutputFile.h"
#include "exchange/Csv.h"

namespace cli {

namespace {

void AppendCell(std::string& out, std::string_view cell) {
    tw::exchange::appendCsvField(out, text::GuardCsvCell(cell));
}

} // namespace

std::string SerpCsvHeader() {
    return "url,keywords,slot,engine,position,result_url,is_target,competitor\r\n";
}

std::string SerpCsvLines(const EntryRow& row, const std::string& slotKey, const std::string& engine,
                         const std::vector<std::string>& results,
                         const std::vector<std::string>& competitors) {
    std::string out;
    if (results.empty())
        return out;
    const std::string target = text::AsciiLower(row.cells[ColUrl]);
    std::vector<std::string> sites;
    for (const std::string& site : competitors)
        sites.push_back(text::AsciiLower(site));
    // The same six cells lead every line of the slot.
    std::string lead;
    AppendCell(lead, row.cells[ColUrl]);
    lead += ',';
    AppendCell(lead, row.cells[ColKeywords]);
    lead += ',';
    AppendCell(lead, slotKey);
    lead += ',';
    AppendCell(lead, engine);
    lead += ',';
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::string& result = results[i];
        out += lead;
        out += std::to_string(i + 1);
        out += ',';
        AppendCell(out, result);
        out += !target.empty() && rank::LinkMatches(result, target) ? ",1," : ",0,";
        for (std::size_t c = 0; c < sites.size(); ++c) {
            if (!sites[c].empty() && rank::LinkMatches(result, sites[c])) {
                AppendCell(out, competitors[c]);
                break;
            }
        }
        out += "\r\n";
    }
    return out;
}

bool WriteSerpCsvFile(const QString& path, const std::vector<EntryRow>& rows,
                      const std::vector<RankedRow>& ranked,
                      const std::vector<std::string>& competitors, const PreviousLookup& latest,
                      QString* error) {
    const bool toStdout = path == kStdout;
    outputfile::CStream out;
    QString reason;
    // Written in pieces of about this size: a long list's table is never held whole.
    constexpr std::size_t kChunk = std::size_t(1) << 16;
    std::string pending = SerpCsvHeader();
    const auto flush = [&] {
        const bool ok = out.Write(pending.data(), qint64(pending.size()));
        pending.clear();
        return ok;
    };
    bool ok = out.Open(toStdout ? QString() : path, &reason);
    for (std::size_t i = 0; ok && i < ranked.size(); ++i) {
        const RankedRow& r = ranked[i];
        if (r.row < 0 || r.row >= int(rows.size()))
            continue;
        for (int e = 0; ok && e < kEngineCount; ++e) {
            const std::string key = engines::Info(SearchEngine(e)).key;
            if (latest) {
                if (const std::optional<tw::HistoryRecord> record = latest(r.row, e))
                    pending += SerpCsvLines(rows[r.row], key, record->result.engine,
                                            record->result.results, competitors);
            } else if (r.ended[e] && r.engines[e].enabled && !r.engines[e].cancelled) {
                pending += SerpCsvLines(rows[r.row], key, engines::SlotLabel(SearchEngine(e)),
                                        r.engines[e].results, competitors);
            }
            if (pending.size() >= kChunk)
                ok = flush();
        }
    }
    ok = ok && flush();
    return FinishOutput(out, ok, reason, path, error);
}

} // namespace cli
