#pragma once
// The window's export command: the file dialog, the list written as CSV and what came of it.

#include <QString>

class EntryListModel;
class QWidget;

namespace tw::exchange {

// Asks for a file (starting in startDir) and writes the list to it as CSV (exportCsv with the
// engines' labels), replacing it only once the new file is complete. Says where the list went,
// or why it could not be written. False when cancelled or when writing failed.
bool runWindowExport(QWidget* parent, const EntryListModel& model, const QString& startDir);

} // namespace tw::exchange
