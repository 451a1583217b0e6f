#include "data/DataFileSession.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace datafile {

CDataFileSession::CDataFileSession(const QString& path) : m_path(path) {}

CDataFileSession::~CDataFileSession() = default;

CDataFileSession::LockResult CDataFileSession::Lock(QString* message) {
    if (IsLocked())
        return LockResult::Locked;
    auto lock = std::make_unique<QLockFile>(lockFilePath());
    // A window keeps its lock for as long as it is open, so the lock's age says nothing; only a
    // holder that no longer runs makes it stale.
    lock->setStaleLockTime(0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (lock->tryLock(0)) {
            m_lock = std::move(lock);
            return LockResult::Locked;
        }
        if (lock->error() != QLockFile::LockFailedError)
            return LockResult::NoLock;
        qint64 pid = 0;
        QString host;
        QString app;
        if (lock->getLockInfo(&pid, &host, &app)) {
            // A lock naming this very process, which nobody holds open, was left by an earlier
            // process that had the same number (in a container, every run may get the same).
            if (pid == QCoreApplication::applicationPid() && attempt == 0 &&
                lock->removeStaleLockFile())
                continue;
            if (message) {
                if (app.isEmpty())
                    app = QStringLiteral("another program");
                *message = QStringLiteral("The entry list \"%1\" is in use by %2 (process %3 on "
                                          "%4), which may change it.")
                               .arg(DisplayPath(m_path), app)
                               .arg(pid)
                               .arg(host.isEmpty() ? QStringLiteral("this computer") : host);
            }
            return LockResult::InUse;
        }
        // The lock went away between the two looks, or its file names no holder (cut off as it
        // was written): such a file is removed unless a live holder has it open.
        if (attempt > 0)
            lock->removeStaleLockFile();
    }
    if (message)
        *message = QStringLiteral("The entry list \"%1\" is in use: its lock \"%2\" names no "
                                  "holder. If no Tallowick! program is using the list, remove "
                                  "the lock.")
                       .arg(DisplayPath(m_path), DisplayPath(lockFilePath()));
    return LockResult::InUse;
}

bool CDataFileSession::IsLocked() const {
    return m_lock && m_lock->isLocked();
}

void CDataFileSession::Unlock() {
    m_lock.reset();
}

QByteArray CDataFileSession::Digest(const QByteArray& bytes) {
    // BLAKE2b: as safe against a chance match as SHA-256, at about a quarter of its time on a
    // list of 100,000 entries.
    return QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256);
}

bool CDataFileSession::Load(std::vector<EntryRow>& rows, QString* error) {
    rows.clear();
    QByteArray bytes;
    if (!ReadListFile(m_path, bytes, error)) {
        m_bKnown = false;
        return false;
    }
    m_digest = Digest(bytes);
    m_bKnown = true;
    rows = ParseEntries(bytes);
    LoadOptions(rows);
    return true;
}

QString CDataFileSession::optionsPath() const {
    return optionsPathFor(m_path);
}

void CDataFileSession::LoadOptions(std::vector<EntryRow>& rows) {
    m_keptOptions.clear();
    m_optionsError.clear();
    m_bOptionsBlocked = false;
    const QString path = optionsPath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    QString reason;
    QByteArray bytes;
    std::vector<OptionsRow> fileRows;
    if (!info.isFile()) {
        reason = info.isDir() ? QStringLiteral("It is a folder")
                              : QStringLiteral("It is not a regular file");
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            reason = file.errorString();
        } else {
            bytes = file.readAll();
            if (file.error() != QFileDevice::NoError)
                reason = file.errorString();
            else if (QString damage; !ParseOptionsFile(bytes, fileRows, &damage))
                reason = QStringLiteral("It is damaged: ") + damage;
        }
    }
    if (!reason.isEmpty()) {
        m_bOptionsBlocked = true;
        m_optionsError = QStringLiteral("The entry options \"%1\" could not be read.\n\n%2.\n\n"
                                        "The file is left as it is: the entries are ranked with "
                                        "the list's defaults, and options changed now are not "
                                        "saved.")
                             .arg(DisplayPath(path), reason);
        return;
    }
    m_keptOptions = ApplyOptions(rows, std::move(fileRows));
}

bool CDataFileSession::SaveOptions(const std::vector<EntryRow>& rows, QString* error) {
    if (m_bOptionsBlocked)
        return true;
    const std::vector<OptionsRow> out = CollectOptions(rows, m_keptOptions);
    const QString path = optionsPath();
    // No file is made for a list that has never had an option.
    if (out.empty() && !QFileInfo::exists(path))
        return true;
    return WriteFileSafely(path, FormatOptionsFile(out), QStringLiteral("The entry options"),
                           error);
}

bool CDataFileSession::Load(EntryListModel& model, QString* error) {
    std::vector<EntryRow> rows;
    const bool ok = Load(rows, error);
    model.resetEntries(std::move(rows));
    return ok;
}

bool CDataFileSession::ChangedOnDisk(QString* message) const {
    if (!m_bKnown)
        return false;
    // The bytes, not the time stamp: a change within the time stamp's resolution, or one that
    // kept the old time, must show too.
    // What cannot be read now (a folder put in its place) cannot be compared; the save that
    // follows reports whether it can be replaced.
    QByteArray bytes;
    if (!ReadListFile(m_path, bytes) || Digest(bytes) == m_digest)
        return false;
    if (message) {
        const bool removed = bytes.isEmpty() && !FileExists(m_path);
        *message = QStringLiteral("The entry list \"%1\" was %2 by another program after it was "
                                  "read.")
                       .arg(DisplayPath(m_path),
                            removed ? QStringLiteral("removed") : QStringLiteral("changed"));
    }
    return true;
}

bool CDataFileSession::Save(const std::vector<EntryRow>& rows, QString* error) {
    const QByteArray bytes = FormatEntries(rows);
    if (!WriteListFile(m_path, bytes, error))
        return false;
    m_digest = Digest(bytes);
    m_bKnown = true;
    return SaveOptions(rows, error);
}

bool CDataFileSession::Save(const EntryListModel& model, QString* error) {
    return Save(model.rows(), error);
}

} // namespace datafile
