#pragma once
// The maker's and the product's fixed names: the one place they are written.

#include "base/Version.h"

namespace maker {
inline constexpr const char* kName = "Tallowick Software";
inline constexpr const char* kWebSite = "http://www.tallowick.example/";
inline constexpr const char* kEmail = "support@tallowick.example";
// Product name: message-box caption and the name of the settings key.
inline constexpr const char* kProduct = "Tallowick!";
// The product's version, as the build names it: "1.0" in texts, 1.0 for the upgrade check.
inline constexpr const char* kVersionText = TW_VERSION_TEXT;
inline constexpr float kVersion = TW_VERSION_NUMBER;
// Default address of the upgrade page on the maker's web host.
inline constexpr const char* kUpgradeUrl =
    "http://www.tallowick.example/tallowick_upgrade_check.html";
} // namespace maker
