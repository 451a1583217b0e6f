#pragma once
// Addresses of the services the program talks to. Each is a settings value that the program
// only reads, so a compatible service or the local engine simulator can stand in for the real
// one; a missing value or "-" means the built-in address.

#include "app/RankTypes.h"

#include <array>
#include <string>

namespace settings {
// Settings value names of the engine hosts, in SearchEngine order.
inline constexpr std::array<const char*, kEngineCount> kEngineHostValues = {
    "GoogleHost", "AltavistaHost", "LycosHost", "LooksmartHost"};
// Built-in engine hosts, in SearchEngine order.
inline constexpr std::array<const char*, kEngineCount> kDefaultEngineHosts = {
    "www.google.com", "www.altavista.com", "search.lycos.com", "search.looksmart.com"};
inline constexpr const char* kUpgradeUrlValue = "UpgradeUrl";
} // namespace settings

// The host (with an optional ":port") to ask for engine's result pages.
std::string EngineHost(SearchEngine engine);

// The full address of the upgrade page.
std::string UpgradePageUrl();
