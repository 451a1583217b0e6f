#pragma once
// The entry list as a CSV table for spreadsheets: one line per entry with each engine's result
// text and its rank and page as numbers. Free of widgets.

#include "data/EntryListModel.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tw::exchange {

// Rank and page of a result text "Rank N / Page P"; false for any other text ("-",
// "not found", "error", ...).
bool parseRankText(std::string_view text, int& rank, int& page);

// The engines' names from the engine table, as the list's columns show them.
std::array<std::string, kEngineCount> engineSlotLabels();

// RFC 4180 CSV with CR LF line ends: the header "row,url,keywords," then for each engine slot
// "<label> text,<label> rank,<label> page", then "country,language,device,location,tags" (the
// entry's own options, empty for the list's defaults), then one line per row. Rank and page are
// empty when the text holds no rank. Cells are written as the bytes they are (UTF-8 as the list
// shows them), but for the apostrophe before a cell a spreadsheet would run as a formula
// (base/CsvCells.h), which the import takes off: importing the file back finds every entry
// already there.
QByteArray exportCsv(const std::vector<EntryRow>& rows,
                     const std::array<std::string, kEngineCount>& slotLabels);

// Writes bytes to path ("-": standard output). A regular file is replaced only once the new
// one is complete; a device or a pipe is written into. On failure returns false with a message
// naming the file and the reason.
bool writeCsv(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace tw::exchange
