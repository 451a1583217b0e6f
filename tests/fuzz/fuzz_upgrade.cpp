// The upgrade page reader on any page, and the stored check date reader on any text.

#include "upgrade/UpgradeCheck.h"

#include <cmath>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    CUpgradeCheck check;
    check.SetTarget("Tallowick!", 1.0f, "http://127.0.0.1:9/upgrade.html");
    const LineList lines = SplitLines(text);
    check.ParseUpgradePage(&lines);
    if (check.m_bVersionRead && !std::isfinite(check.m_fLatestVersion))
        std::abort();
    if (check.m_strDescription.size() > text.size() + lines.size())
        std::abort();
    (void)check.NewUpgradeText();
    (void)check.NotNewerText();

    if (const auto date = upgrade::ParseCheckDate(text)) {
        if (!date->isValid() || upgrade::ParseCheckDate(upgrade::FormatCheckDate(*date)) != date)
            std::abort();
    }
    return 0;
}
