#pragma once
// The window's Report command: the dialog, the report written, what came of it. What the dialog
// was last given is remembered per list, beside its data file ("NAME.report.ini"), so that each
// client's list keeps its own title, tags and file.

#include "data/EntryOptions.h"
#include "reports/ReportDlg.h"

class EntryListModel;
class QWidget;

namespace tw::reports {

// "NAME.report.ini" beside the data file.
QString reportChoicePath(const QString& dataFilePath);
// The choice last made for the list; the first time, the settings' title, every entry, 30 days,
// PDF, a file named after the list in startDir's export folder.
ReportChoice loadReportChoice(const QString& dataFilePath, const QString& startDir);
// False with the reason when the file cannot be written.
bool saveReportChoice(const QString& dataFilePath, const ReportChoice& choice, QString* error);

// Shows the dialog; on OK remembers the choice and writes the report, then says where it went or
// why it could not be written. False when cancelled or when writing failed.
bool runWindowReport(QWidget* parent, const EntryListModel& model, const QString& dataFilePath,
                     const datafile::EntryDefaults& defaults, const QString& startDir);

} // namespace tw::reports
