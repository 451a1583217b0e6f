#include "data/OutputFile.h"

#include <QFileInfo>

#include <unistd.h>

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

bool CStream::Open(const QString& path, QString* reason) {
    m_failed = false;
    bool ok = false;
    if (path.isEmpty()) {
        m_out = &m_direct;
        ok = m_direct.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    } else if (IsSpecial(path)) {
        m_out = &m_direct;
        m_direct.setFileName(path);
        ok = m_direct.open(QIODevice::WriteOnly | QIODevice::ExistingOnly);
    } else {
        m_out = &m_replaced;
        m_replaced.setFileName(path);
        ok = m_replaced.open(QIODevice::WriteOnly);
    }
    if (!ok) {
        m_failed = true;
        if (reason)
            *reason = orUnknown(m_out->errorString());
    }
    return ok;
}

bool CStream::Write(const char* data, qint64 size) {
    if (m_failed || !m_out)
        return false;
    m_failed = m_out->write(data, size) != size;
    return !m_failed;
}

bool CStream::Commit(QString* reason) {
    if (!m_out)
        return false;
    bool ok = !m_failed && m_out->flush();
    QString why;
    if (!ok && m_out->error() == QFileDevice::NoError)
        why = kShortWrite;
    if (ok && m_out == &m_replaced)
        ok = m_replaced.commit();
    else if (!ok && m_out == &m_replaced)
        m_replaced.cancelWriting();
    if (!ok && reason)
        *reason = why.isEmpty() ? orUnknown(m_out->errorString()) : why;
    m_failed = !ok;
    return ok;
}

} // namespace outputfile
