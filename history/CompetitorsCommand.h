#pragma once
// The window's competitor commands: Competitors... edits the list's competitors file (offering
// the sites most often above its targets), and the Competitors view compares the list's ranks
// with theirs.

#include <QString>

class EntryListModel;
class QWidget;

namespace tw {

// Both need the list's data file path, since what they show and edit lives beside it; they say
// so instead when there is none. readOnly: the list is open read-only, nothing is written.
void EditCompetitors(QWidget* parent, const EntryListModel& model, const QString& dataFilePath,
                     bool readOnly);
void ShowCompetitors(QWidget* parent, const EntryListModel& model, const QString& dataFilePath);

} // namespace tw
