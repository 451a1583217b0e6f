#include "exchange/Export.h"

#include "base/CsvCells.h"
#include "base/Engines.h"
#include "data/DataFile.h"
#include "data/OutputFile.h"
#include "exchange/Csv.h"

#include <cstdio>

namespace tw::exchange {
namespace {
// Digits at the start of s (at most 9, so the value fits an int), consumed.
bool takeNumber(std::string_view& s, int& value) {
    size_t n = 0;
    value = 0;
    while (n < s.size() && n < 9 && s[n] >= '0' && s[n] <= '9')
        value = value * 10 + (s[n++] - '0');
    if (n == 0 || (n < s.size() && s[n] >= '0' && s[n] <= '9'))
        return false;
    s.remove_prefix(n);
    return true;
}

bool takeWord(std::string_view& s, std::string_view word) {
    if (s.substr(0, word.size()) != word)
        return false;
    s.remove_prefix(word.size());
    return true;
}
} // namespace

bool parseRankText(std::string_view text, int& rank, int& page) {
    std::string_view s = text;
    int r = 0;
    int p = 0;
    if (takeWord(s, "Rank ") && takeNumber(s, r) && takeWord(s, " / Page ") && takeNumber(s, p) &&
        s.empty()) {
        rank = r;
        page = p;
        return true;
    }
    return false;
}

std::array<std::string, kEngineCount> engineSlotLabels() {
    std::array<std::string, kEngineCount> labels;
    for (int e = 0; e < kEngineCount; ++e)
        labels[e] = engines::SlotLabel(SearchEngine(e));
    return labels;
}

QByteArray exportCsv(const std::vector<EntryRow>& rows,
                     const std::array<std::string, kEngineCount>& slotLabels) {
    std::string out;
    out.reserve(64 + rows.size() * 128);
    out += "row,url,keywords";
    for (const std::string& label : slotLabels) {
        for (const char* part : {" text", " rank", " page"}) {
            out += ',';
            appendCsvField(out, label + part);
        }
    }
    // After the results, so that the columns readers already know keep their places.
    out += ",country,language,device,location,tags\r\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const EntryRow& row = rows[i];
        out += std::to_string(i + 1);
        out += ',';
        appendCsvField(out, text::GuardCsvCell(row.cells[ColUrl]));
        out += ',';
        appendCsvField(out, text::GuardCsvCell(row.cells[ColKeywords]));
        for (int e = 0; e < kEngineCount; ++e) {
            const std::string& result = row.cells[EngineColumn(e)];
            out += ',';
            appendCsvField(out, text::GuardCsvCell(result));
            int rank = 0;
            int page = 0;
            out += ',';
            if (parseRankText(result, rank, page)) {
                out += std::to_string(rank);
                out += ',';
                out += std::to_string(page);
            } else {
                out += ',';
            }
        }
        const datafile::EntryOptions& o = row.options;
        for (const std::string* option :
             {&o.country, &o.language, &o.device, &o.location, &o.tags}) {
            out += ',';
            appendCsvField(out, *option);
        }
        out += "\r\n";
    }
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

bool writeCsv(const QString& path, const QByteArray& bytes, QString* error) {
    if (path == QLatin1String("-")) {
        const bool ok = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) ==
                            size_t(bytes.size()) &&
                        std::fflush(stdout) == 0;
        if (!ok && error)
            *error = QStringLiteral("Standard output could not be written.");
        return ok;
    }
    QString reason;
    if (outputfile::Write(path, bytes.constData(), bytes.size(), &reason))
        return true;
    if (error)
        *error = QStringLiteral("\"%1\" could not be written: %2")
                     .arg(datafile::DisplayPath(path), reason);
    return false;
}

} // namespace tw::exchange
