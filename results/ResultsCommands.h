#pragma once
// The results commands of the window: the sites ranked above an entry, the engine's live result
// page, and the text report. Each takes the list, the selection and the window to ask from.

#include <QList>
#include <QString>

class EntryListModel;
class QWidget;

namespace results {

// Results: the sites ranked above the first selected entry, per engine.
void ShowRankDetails(QWidget* parent, const EntryListModel& model, const QList<int>& selected);

// View Page: asks which engine, then opens its live result page for the first selected entry.
void ViewResultPage(QWidget* parent, const EntryListModel& model, const QList<int>& selected);

// Save: asks for a file name and writes the text report there. The data file is named relative
// to the working folder, so startDir is made current again after the file dialog.
void SaveReportAs(QWidget* parent, const EntryListModel& model, const QString& startDir);

} // namespace results
