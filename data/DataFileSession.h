#pragma once
// One program's use of an entry list file, from reading it to writing it back. While the
// program may write the file it holds a lock, "<data file>.lock", so that a second window or
// ranking command on the same file neither overwrites this one's results nor has its own
// overwritten. Before a save it tells whether the file was changed on disk since it was read
// (by a program that takes no lock, an editor, a copy), so that nothing is overwritten blindly.
// Free of widgets: the window, the ranking command and later readers and writers of the list
// share it.

#include "data/DataFile.h"

#include <QByteArray>
#include <QLockFile>
#include <QString>

#include <memory>
#include <vector>

namespace datafile {

class CDataFileSession {
public:
    explicit CDataFileSession(const QString& path);
    ~CDataFileSession(); // lets go of the lock
    CDataFileSession(const CDataFileSession&) = delete;
    CDataFileSession& operator=(const CDataFileSession&) = delete;

    const QString& path() const { return m_path; }
    QString lockFilePath() const { return m_path + QStringLiteral(".lock"); }

    enum class LockResult {
        Locked, // this program holds the lock until Unlock or its end
        InUse,  // another program or window holds it; *message names it
        NoLock, // no lock file can be made beside the data file (a folder that takes no new
                // file, a full disk): the file may still be used, guarded by ChangedOnDisk
    };
    // Takes the lock without waiting. A lock left by a process that no longer runs on this
    // machine is taken over.
    LockResult Lock(QString* message = nullptr);
    bool IsLocked() const;
    void Unlock();

    // Reads the list (as LoadEntries) and remembers what the file held.
    bool Load(std::vector<EntryRow>& rows, QString* error = nullptr);
    bool Load(EntryListModel& model, QString* error = nullptr);

    // True when the file on disk no longer holds what Load read or Save wrote last: another
    // program changed, replaced or removed it. *message says so for the user. False before any
    // successful Load or Save, and when the file cannot be read now (nothing to compare).
    bool ChangedOnDisk(QString* message = nullptr) const;

    // The entry options beside the list ("<name>.entries.csv") are read by Load and written by
    // Save. A file that cannot be read or is damaged is reported here after Load and is never
    // written over; the list itself loads all the same.
    QString optionsPath() const;
    const QString& optionsError() const { return m_optionsError; }
    // Rows of the options file that matched no entry: kept, and written back by Save.
    int keptOptionRows() const { return int(m_keptOptions.size()); }

    // Writes the list (as SaveEntries) and remembers what the file now holds; then the options.
    bool Save(const std::vector<EntryRow>& rows, QString* error = nullptr);
    bool Save(const EntryListModel& model, QString* error = nullptr);

private:
    static QByteArray Digest(const QByteArray& bytes);
    void LoadOptions(std::vector<EntryRow>& rows);
    bool SaveOptions(const std::vector<EntryRow>& rows, QString* error);

    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_bKnown = false; // m_digest holds what the file held when last read or written
    QByteArray m_digest;   // of the bytes; a missing file counts as no bytes
    std::vector<OptionsRow> m_keptOptions;
    QString m_optionsError;
    bool m_bOptionsBlocked = false; // the options file is not to be written
};

} // namespace datafile
