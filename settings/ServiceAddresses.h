#pragma once
// Addresses of the services the program talks to. Each is a settings value that the program
// only reads, so a compatible service or the local engine simulator can stand in for the real
// one; a missing value or "-" means the built-in address.

#include "base/RankTypes.h"

#include <string>
#include <string_view>

namespace settings {
inline constexpr const char* kUpgradeUrlValue = "UpgradeUrl";
} // namespace settings

// The host (with an optional ":port") to ask for engine's result pages: the engine's host value
// (base/Engines.h), or its built-in host.
std::string EngineHost(SearchEngine engine);

// A host name, an IPv4 address or a bracketed IPv6 address, with an optional port 1..65535:
// nothing that could carry a path, a query, a fragment, user information or blanks.
bool IsHostText(std::string_view text);

// Whether the engine's host setting can be used as it is. False with a message naming the value
// when it is not a host (IsHostText) or too long to be read, which would otherwise send the
// query to a wrong page or quietly to the built-in engine.
bool CheckEngineHost(SearchEngine engine, std::string* error);

// The full address of the upgrade page.
std::string UpgradePageUrl();
