#pragma once
// Writing a whole output file (a report, a JSON document) without ever leaving half of one, and
// without turning a device or a pipe the user named into a regular file. Free of widgets.

#include <QFile>
#include <QSaveFile>
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

// The same, for a file written piece by piece (a long document never held whole): a device or
// a pipe is written as the pieces come, a file is replaced only by Commit once it is complete.
class CStream {
public:
    // Opens path, or standard output for an empty path. False with the reason.
    bool Open(const QString& path, QString* reason);
    // False once any write failed; the next writes then do nothing.
    bool Write(const char* data, qint64 size);
    // Flushes and, for a regular file, puts the new file in place. False with the reason of the
    // first failure; an existing file then stays as it was.
    bool Commit(QString* reason);

private:
    QFile m_direct;
    QSaveFile m_replaced;
    QFileDevice* m_out = nullptr;
    bool m_failed = false;
};

} // namespace outputfile
