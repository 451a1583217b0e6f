#include "ui/ShellOpen.h"

#include <QDesktopServices>
#include <QUrl>

namespace tw {
namespace {
std::function<bool(const QString&)> g_handler;
}

bool isWebAddress(const QString& target) {
    return target.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           target.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

bool shellOpen(const QString& target) {
    if (g_handler)
        return g_handler(target);
    // TolerantMode keeps the spaces of an unescaped query, as a browser's address bar would.
    return QDesktopServices::openUrl(QUrl(target, QUrl::TolerantMode));
}

namespace testing {
void setShellOpenHandler(std::function<bool(const QString&)> handler) {
    g_handler = std::move(handler);
}
} // namespace testing
} // namespace tw
