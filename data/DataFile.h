#pragma once
// The entry list file: six lines per entry (URL, keywords, then the Google, AltaVista, Lycos
// and LookSmart results), no header. Lines end with CR LF when written; CR LF or LF is read,
// and a lone CR in a file that has no LF at all. Free of widgets: the window and the
// command-line tool share it.

#include "data/EntryListModel.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace datafile {

inline constexpr const char* kFileName = "tallowick.dat";

// False only when the file does not exist; any other outcome counts as existing.
bool FileExists(const QString& path);

// Turns file contents into rows numbered from 1. An empty result line reads as "-". A URL on
// the last line, without a line end, is an entry with empty keywords and "-" results.
std::vector<EntryRow> ParseEntries(const QByteArray& bytes);
// The file contents for rows (columns 1, 6, 2, 3, 4, 5, each followed by CR LF).
QByteArray FormatEntries(const std::vector<EntryRow>& rows);

// The whole file as bytes. A missing file is no bytes and success. A file that exists but
// cannot be read (or is a folder, a device or a pipe) returns false with a message naming the
// file and the reason in *error.
bool ReadListFile(const QString& path, QByteArray& bytes, QString* error = nullptr);
// Replaces path with bytes atomically: the old file stays whole until the new one is complete.
// When the folder takes no new file but the file itself is writable, the file is written in
// place instead. On failure returns false with a message naming the file and the reason.
bool WriteListFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
// The same for any file beside the list; what names it in the message ("The entry options").
bool WriteFileSafely(const QString& path, const QByteArray& bytes, const QString& what,
                     QString* error);

// Loads path into the model, replacing its rows. A missing file gives an empty list and
// success. A file that exists but cannot be read leaves the list empty, returns false and
// puts a message naming the file and the system's reason into *error.
bool LoadEntries(const QString& path, EntryListModel& model, QString* error = nullptr);
bool LoadEntries(const QString& path, std::vector<EntryRow>& rows, QString* error = nullptr);

// Writes the rows to path through WriteListFile.
bool SaveEntries(const QString& path, const EntryListModel& model, QString* error = nullptr);
bool SaveEntries(const QString& path, const std::vector<EntryRow>& rows, QString* error = nullptr);

// Gives each row the options of its row in the options file: the n-th file row of a URL and
// keywords (the exact bytes) goes to the n-th entry with them. Rows that match no entry are
// returned, in their order, to be kept in the file.
std::vector<OptionsRow> ApplyOptions(std::vector<EntryRow>& rows, std::vector<OptionsRow> file);
// The options file's rows for the list, in list order, then the rows kept aside. An entry is
// written when it has an option, or when another entry with the same URL and keywords has one
// (so that the n-th row still meets the n-th entry when the file is read back).
std::vector<OptionsRow> CollectOptions(const std::vector<EntryRow>& rows,
                                       const std::vector<OptionsRow>& kept);

// Full native path of a file name, as messages show it.
QString DisplayPath(const QString& path);

// What belongs to a list lies beside its data file under the same base name: the data file's
// name without its extension, then suffix (".history.sqlite", ".entries.csv"). A name without a
// folder stays without one.
QString BesidePath(const QString& dataFilePath, const QString& suffix);

} // namespace datafile
