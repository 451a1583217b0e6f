#include "base/CsvCells.h"

namespace text {

bool CsvCellNeedsGuard(std::string_view cell) {
    // Apostrophes already there are passed over, so that a cell of the list that begins with
    // one keeps it through an export and an import.
    const std::string_view::size_type start = cell.find_first_not_of('\'');
    if (start == std::string_view::npos)
        return false;
    cell.remove_prefix(start);
    switch (cell.front()) {
    case '=':
    case '+':
    case '@':
    case '\t':
    case '\r':
        return true;
    case '-':
        return cell.size() > 1 && !(cell[1] >= '0' && cell[1] <= '9');
    default:
        return false;
    }
}

std::string GuardCsvCell(std::string_view cell) {
    std::string out;
    if (CsvCellNeedsGuard(cell)) {
        out.reserve(cell.size() + 1);
        out += '\'';
    }
    out += cell;
    return out;
}

std::string_view UnguardCsvCell(std::string_view cell) {
    if (cell.size() > 1 && cell.front() == '\'' && CsvCellNeedsGuard(cell.substr(1)))
        cell.remove_prefix(1);
    return cell;
}

} // namespace text
