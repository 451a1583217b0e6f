#pragma once
// The lists opened last in the window, newest first, kept in the settings store as
// "RecentList1" to "RecentList5" (absolute paths).

#include <QString>
#include <QStringList>

namespace tw {

inline constexpr int kRecentListCount = 5;

QStringList ReadRecentLists();
// Puts path first; the oldest beyond kRecentListCount is forgotten. False when the settings
// could not be written.
bool RememberRecentList(const QString& path);

} // namespace tw
