#pragma once
// Cells of the CSV tables the program writes (the list's export, the history's export) and
// reads back (the import). A spreadsheet runs a cell that begins like a formula, so such a cell
// is written with a leading apostrophe, which spreadsheets show as text; the import takes it off
// again, so that exporting and importing a list adds nothing to it.

#include <string>
#include <string_view>

namespace text {

// Whether a spreadsheet would take the cell, with any apostrophes at its start passed over, for
// a formula: it begins with "=", "+", "@", a tab or a carriage return, or with "-" and anything
// but a digit. A negative number and the lone "-" of a result not ranked are no formula.
bool CsvCellNeedsGuard(std::string_view cell);

// The cell as written: with an apostrophe before it when it needs a guard, as it is otherwise.
std::string GuardCsvCell(std::string_view cell);

// The cell as read back: one leading apostrophe taken off when what follows needs a guard.
// GuardCsvCell's output comes back as the cell it was given.
std::string_view UnguardCsvCell(std::string_view cell);

} // namespace text
