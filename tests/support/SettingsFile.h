#pragma once
// Direct access to the settings file, for tests that hand-edit it or check what was written.

#include "settings/RegistrySettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <string>

namespace tw::test {

inline QString settingsPath(const std::string& appKey = "Tallowick!") {
    return QString::fromStdString(CRegistrySettings::Location(appKey));
}

// Replaces the file with bytes, as a user with a text editor would.
inline void writeSettingsFile(const QByteArray& bytes, const std::string& appKey = "Tallowick!") {
    const QString path = settingsPath(appKey);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    // A fresh time stamp for every edit, so a same-sized edit within one millisecond is seen too.
    static int edits = 0;
    f.setFileTime(QDateTime::currentDateTime().addSecs(++edits), QFileDevice::FileModificationTime);
}

inline QByteArray readSettingsFile(const std::string& appKey = "Tallowick!") {
    QFile f(settingsPath(appKey));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline void removeSettingsFile(const std::string& appKey = "Tallowick!") {
    QFile::remove(settingsPath(appKey));
}

} // namespace tw::test
