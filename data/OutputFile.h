#pragma once
// Writing a whole output file (a report, a JSON document) without ever leaving half of one, and
// without turning a device or a pipe the user named into a regular file. Free of widgets.

#include <QString>
#include <QtGlobal>

namespace outputfile {

// True when path exists and is neither a regular file nor a folder, links followed: a device
// such as /dev/null or a terminal, a named pipe, a socket.
bool IsSpecial(const QString& path);

// Writes size bytes to path. A device or a pipe is written in place, as a shell redirection
// would. Anything else is replaced atomically: an existing file stays whole until the new one
// is complete. On failure returns false with the system's reason (without the file's name) in
// *reason.
bool Write(const QString& path, const char* data, qint64 size, QString* reason);

} // namespace outputfile
