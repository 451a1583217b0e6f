// The CSV import on any file: what it adds is a valid entry, an exported list imports back to
// the same entries, and importing the same file again adds nothing.

#include "exchange/Csv.h"
#include "exchange/EntryCheck.h"
#include "exchange/Export.h"
#include "exchange/Import.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tw::exchange::CsvReader reader(text);
    tw::exchange::CsvRecord record;
    int last = 0;
    int records = 0;
    while (reader.next(record)) {
        if (record.line <= last || record.fields.empty() ||
            (record.unclosedLine && record.unclosedLine < record.line))
            std::abort();
        last = record.line;
        ++records;
    }

    const QByteArray bytes(text.data(), static_cast<qsizetype>(size));
    tw::exchange::ImportResult result;
    if (!tw::exchange::importCsv(bytes, {}, result))
        std::abort();
    if (result.added != int(result.rows.size()) ||
        result.added + result.duplicates + result.skipped > records)
        std::abort();
    for (const EntryRow& row : result.rows) {
        const std::string& url = row.cells[ColUrl];
        const std::string& keywords = row.cells[ColKeywords];
        if (!tw::exchange::checkEntry(url, keywords) ||
            tw::exchange::trimBlanks(keywords).size() != keywords.size())
            std::abort();
    }

    tw::exchange::ImportResult again;
    if (!tw::exchange::importCsv(bytes, result.rows, again) || again.added != 0)
        std::abort();

    const QByteArray exported =
        tw::exchange::exportCsv(result.rows, tw::exchange::engineSlotLabels());
    tw::exchange::ImportResult back;
    if (!tw::exchange::importCsv(exported, {}, back) || back.added != result.added ||
        back.skipped != 0)
        std::abort();
    for (std::size_t i = 0; i < back.rows.size(); ++i) {
        if (back.rows[i].cells != result.rows[i].cells)
            std::abort();
    }
    return 0;
}
