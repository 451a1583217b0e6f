#include "settings/ServiceAddresses.h"

#include "base/Engines.h"
#include "base/Maker.h"
#include "settings/RegistrySettings.h"

std::string EngineHost(SearchEngine engine) {
    const int i = static_cast<int>(engine);
    if (i < 0 || i >= kEngineCount)
        return {};
    const engines::EngineInfo& info = engines::Info(engine);
    std::string host = CRegistrySettings().ReadString(maker::kProduct, info.hostValue);
    return host.empty() ? info.defaultHost : host;
}

namespace {
bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}
bool IsAlnum(char c) {
    return IsHostChar(c) && c != '.' && c != '-' && c != '_';
}
} // namespace

bool IsHostText(std::string_view text) {
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close < 2)
            return false;
        for (char c : text.substr(1, close - 1)) {
            const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                             (c >= 'A' && c <= 'F') || c == ':' || c == '.';
            if (!hex)
                return false;
        }
        host = {};
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return false;
            port = rest.substr(1);
            if (port.empty())
                return false;
        }
    } else {
        const auto colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            if (port.empty())
                return false;
        }
        if (host.empty() || !IsAlnum(host.front()) || !IsAlnum(host.back()))
            return false;
        for (char c : host) {
            if (!IsHostChar(c))
                return false;
        }
    }
    if (port.empty())
        return true;
    if (port.size() > 5)
        return false;
    int n = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= 65535;
}

bool CheckEngineHost(SearchEngine engine, std::string* error) {
    const int i = static_cast<int>(engine);
    if (i < 0 || i >= kEngineCount)
        return false;
    CRegistrySettings store;
    const char* name = engines::Info(engine).hostValue;
    const std::size_t length = store.StoredLength(maker::kProduct, name);
    if (length >= CRegistrySettings::kReadLimit) {
        if (error)
            *error = "The setting " + std::string(name) + " is " + std::to_string(length) +
                     " bytes long, too long to be a host name. Correct it or remove it in " +
                     CRegistrySettings::Location(maker::kProduct) + ".";
        return false;
    }
    const std::string host = store.ReadString(maker::kProduct, name);
    if (host.empty() || IsHostText(host))
        return true;
    if (error)
        *error = "The setting " + std::string(name) + " \"" + host.substr(0, 200) +
                 "\" is not a host name with an optional port (such as www.example.com or "
                 "127.0.0.1:8080). Correct it or remove it in " +
                 CRegistrySettings::Location(maker::kProduct) + ".";
    return false;
}

std::string UpgradePageUrl() {
    std::string url = CRegistrySettings().ReadString(maker::kProduct, settings::kUpgradeUrlValue);
    return url.empty() ? maker::kUpgradeUrl : url;
}
