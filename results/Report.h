#pragma once
// The plain-text results report: a snapshot of the entry list for reading or printing. Free of
// widgets, so the window's Save command and the command-line tool write the same bytes.

#include "data/EntryListModel.h"

#include <QDateTime>
#include <QString>

#include <string>
#include <vector>

namespace report {

// "Results Produced on M/D/YYYY HH:MM " for the local time now.
std::string DateLine(const QDateTime& now);

// The whole report: four header lines, then nine lines per row in list order. Cells are copied
// as they stand (a row being ranked shows its marker and its cleared columns). Every line ends
// with CR LF.
std::string FormatReport(const std::vector<EntryRow>& rows, const QDateTime& now);

// Writes the report to path atomically: an existing file is replaced only once the new one is
// complete. A device or a pipe (/dev/null, a FIFO) is written in place, never replaced. On
// failure returns false and puts a message naming the file and the system's reason into *error.
bool SaveReport(const QString& path, const std::vector<EntryRow>& rows, const QDateTime& now,
                QString* error = nullptr);
bool SaveReport(const QString& path, const EntryListModel& model, const QDateTime& now,
                QString* error = nullptr);

} // namespace report
