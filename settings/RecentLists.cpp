#include "settings/RecentLists.h"

#include "base/Maker.h"
#include "settings/RegistrySettings.h"

#include <QDir>
#include <QFileInfo>

namespace tw {

namespace {
std::string keyName(int n) {
    return "RecentList" + std::to_string(n);
}

// The same file however it was named.
QString canonical(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

QStringList ReadRecentLists() {
    CRegistrySettings store;
    QStringList out;
    for (int n = 1; n <= kRecentListCount; ++n) {
        const QString path = QString::fromStdString(store.ReadString(maker::kProduct, keyName(n)));
        if (!path.isEmpty() && !out.contains(canonical(path)))
            out << canonical(path);
    }
    return out;
}

bool RememberRecentList(const QString& path) {
    QStringList lists = ReadRecentLists();
    const QString first = canonical(path);
    lists.removeAll(first);
    lists.prepend(first);
    CRegistrySettings store;
    bool ok = true;
    // The list only grows to its five, so only its own keys are written.
    for (int n = 1; n <= kRecentListCount && n <= lists.size(); ++n)
        ok = store.WriteString(maker::kProduct, keyName(n), lists[n - 1].toStdString()) && ok;
    return ok;
}

} // namespace tw
