#pragma once
// The window's import command from start to end: the file dialog, the target URL for plain
// text, the entries appended to the list in one step and the summary message.

#include <QString>

class EntryListModel;
class QWidget;

namespace tw::exchange {

struct WindowImport {
    bool read = false; // a file was chosen and read (the summary was shown)
    int firstRow = 0;  // the appended rows: [firstRow, firstRow + rowCount)
    int rowCount = 0;
};

// Asks for a file (starting in startDir), reads it as CSV or plain text (by its extension or
// contents), appends the new entries to model and shows what was added, what was there already
// and which lines were skipped. A file that cannot be read is reported and adds nothing;
// cancelling either dialog adds nothing.
WindowImport runWindowImport(QWidget* parent, EntryListModel& model, const QString& startDir);

} // namespace tw::exchange
