#include "ui/ShellOpen.h"

#include "base/ShownText.h"
#include "ui/MessageBox.h"

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

bool openInBrowser(QWidget* parent, const QString& address) {
    if (shellOpen(address))
        return true;
    tw::messageBox(
        parent, QStringLiteral("No web browser could be started for %1.").arg(shownText(address)),
        QMessageBox::Ok, QMessageBox::Warning);
    return false;
}

namespace testing {
void setShellOpenHandler(std::function<bool(const QString&)> handler) {
    g_handler = std::move(handler);
}
} // namespace testing
} // namespace tw
