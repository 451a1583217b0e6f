#include "settings/ServiceAddresses.h"

#include "app/Maker.h"
#include "settings/RegistrySettings.h"

std::string EngineHost(SearchEngine engine) {
    const int i = static_cast<int>(engine);
    if (i < 0 || i >= kEngineCount)
        return {};
    std::string host =
        CRegistrySettings().ReadString(maker::kProduct, settings::kEngineHostValues[i]);
    return host.empty() ? settings::kDefaultEngineHosts[i] : host;
}

std::string UpgradePageUrl() {
    std::string url = CRegistrySettings().ReadString(maker::kProduct, settings::kUpgradeUrlValue);
    return url.empty() ? maker::kUpgradeUrl : url;
}
