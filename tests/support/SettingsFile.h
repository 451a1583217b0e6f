#pragma once
// Direct access to the settings file, for tests that hand-edit it or check what was written.

#include "settings/RegistrySettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace tw::test {

inline QString settingsPath(const std::string& appKey = "Tallowick!") {
    return QString::fromStdString(CRegistrySettings::Location(appKey));
}

// Replaces the file's content, as a user with a text editor would.
inline void writeSettingsFile(const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(settingsPath()).path());
    QFile f(settingsPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    // A new time stamp for every edit, so a same-sized edit within a millisecond is seen too.
    static int edits = 0;
    f.setFileTime(QDateTime::currentDateTime().addSecs(++edits), QFileDevice::FileModificationTime);
}

inline QByteArray readSettingsFile() {
    QFile f(settingsPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace tw::test
