#pragma once
// The window's History command: the selected entry's rank history in the History window.

#include <QList>
#include <QString>

class EntryListModel;
class QWidget;

namespace tw {

// Shows the history of the first selected entry, read from the history of the data file at
// dataFilePath; tells the user instead when nothing is selected, nothing is recorded yet or the
// history cannot be read.
void ShowEntryHistory(QWidget* parent, const EntryListModel& model, const QList<int>& selected,
                      const QString& dataFilePath);

} // namespace tw
