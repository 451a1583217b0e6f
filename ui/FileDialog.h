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

namespace testing {
// The next saveFileName or openFileName returns name without showing a dialog (empty = cancelled).
void setNextFileName(const QString& name);
} // namespace testing

} // namespace tw
