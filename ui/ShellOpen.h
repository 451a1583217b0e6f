#pragma once
// The one way the program hands an address to the user's desktop (browser, mail program).

#include <QString>

#include <functional>

class QWidget;

namespace tw {

// True when target is an http:// or https:// address: the only page content we open.
bool isWebAddress(const QString& target);

// Opens target with the desktop's default handler. Returns true when the desktop took it.
bool shellOpen(const QString& target);

// Opens a web address with shellOpen; when no browser could be started, says so in a message
// box owned by parent ("No web browser could be started for ..."). Returns true when opened.
bool openInBrowser(QWidget* parent, const QString& address);

namespace testing {
// Replaces the desktop for tests: the handler sees every target and answers for the desktop.
// An empty handler restores the real one.
void setShellOpenHandler(std::function<bool(const QString&)> handler);
} // namespace testing

} // namespace tw
