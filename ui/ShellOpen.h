#pragma once
// The one way the program hands an address to the user's desktop (browser, mail program).

#include <QString>

#include <functional>

namespace tw {

// True when target is an http:// or https:// address: the only page content we open.
bool isWebAddress(const QString& target);

// Opens target with the desktop's default handler. Returns true when the desktop took it.
bool shellOpen(const QString& target);

namespace testing {
// Replaces the desktop for tests: the handler sees every target and answers for the desktop.
// An empty handler restores the real one.
void setShellOpenHandler(std::function<bool(const QString&)> handler);
} // namespace testing

} // namespace tw
