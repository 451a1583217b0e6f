#pragma once
// The one file dialog of the program; tests pre-answer it.

#include <QString>

class QWidget;

namespace tw {

// Asks for a file to save to. Returns the full path, or an empty string when cancelled.
// The dialog asks before it replaces an existing file.
QString saveFileName(QWidget* parent, const QString& caption, const QString& startDir,
                     const QString& initialName, const QString& filter,
                     const QString& defaultSuffix);

// Asks for an existing file to open. Returns the full path, or an empty string when cancelled.
QString openFileName(QWidget* parent, const QString& caption, const QString& startDir,
                     const QString& filter);

// Where a file the user exports should go by default: startDir, unless it is empty, missing or
// in the temporary folder (whose files are removed behind the user's back, the demo's with the
// window); then the user's documents folder, made when it is not there yet.
QString exportFolder(const QString& startDir = QString());

namespace testing {
// The next saveFileName or openFileName returns name without showing a dialog (empty = cancelled).
void setNextFileName(const QString& name);
// The folder the last saveFileName or openFileName started in, answered or shown.
QString lastStartDir();
} // namespace testing

} // namespace tw
