#include "data/OutputFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace outputfile {

namespace {
QString orUnknown(const QString& reason) {
    return reason.isEmpty() ? QStringLiteral("Unknown error") : reason;
}

const QString kShortWrite =
    QStringLiteral("Only part of it could be written; the disk may be full");
} // namespace

bool IsSpecial(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

bool Write(const QString& path, const char* data, qint64 size, QString* reason) {
    if (IsSpecial(path)) {
        // Replacing it would take the device or pipe away from everyone else (as the superuser,
        // /dev/null itself). ExistingOnly: should it vanish meanwhile, no regular file appears.
        QFile file(path);
        bool ok = file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly);
        QString why;
        if (ok) {
            ok = file.write(data, size) == size && file.flush();
            if (!ok && file.error() == QFileDevice::NoError)
                why = kShortWrite;
        }
        if (!ok && reason)
            *reason = why.isEmpty() ? orUnknown(file.errorString()) : why;
        return ok;
    }
    QSaveFile file(path);
    QString why;
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        // A short write (full disk, size limit) may leave no error behind and still commit;
        // only the count and an explicit flush tell.
        ok = file.write(data, size) == size && file.flush();
        if (!ok && file.error() == QFileDevice::NoError)
            why = kShortWrite;
    }
    // Without a commit the temporary file is dropped and an existing file stays as it was.
    if (ok)
        ok = file.commit();
    if (!ok && reason)
        *reason = why.isEmpty() ? orUnknown(file.errorString()) : why;
    return ok;
}

} // namespace outputfile
