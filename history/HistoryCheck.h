#pragma once
// The checks a history file passes before a run writes to it, besides its format: none of its
// files is a symbolic link (which would make the run write another list's history, or a new
// file wherever the link points), and the whole file is sound. SQLite's full check reads every
// page, so its result is remembered: it stands for the next run only while the file and its
// write-ahead log are exactly as the last writer left them (same inode, size, modification and
// change times, same first pages). Free of widgets.

#include <QString>

namespace tw::historycheck {

// The files SQLite keeps beside a history: its write-ahead log, shared memory and journal.
QStringList companionFiles(const QString& path);
// The first of path and its companions that is a symbolic link; empty when none is.
QString linkedFile(const QString& path);

// Whether a full check of the file at path passed and nothing has changed it since.
bool rememberedSound(const QString& path);
// Notes that the file at path, as it is now, is sound (after a check, or after this program's
// own writes to a file that was).
void rememberSound(const QString& path);
// Where the remembered results are kept (the user's cache folder).
QString rememberedChecksFile();

} // namespace tw::historycheck
