#include "sources/SourceSettings.h"

#include "base/Maker.h"
#include "settings/RegistrySettings.h"

#include <algorithm>
#include <cstdlib>

namespace tw::sources {

namespace {
constexpr int kMaxPauseMs = 60000;
}

void clampPause(int* minMs, int* maxMs) {
    *minMs = std::clamp(*minMs, 0, kMaxPauseMs);
    *maxMs = std::clamp(*maxMs, 0, kMaxPauseMs);
    if (*maxMs < *minMs)
        *maxMs = *minMs;
}

SourceSettings readSourceSettings(QStringList* problems) {
    CRegistrySettings store;
    const auto read = [&](const char* name) { return store.ReadString(maker::kProduct, name); };
    SourceSettings s;
    for (int e = 0; e < kEngineCount; ++e) {
        const std::string stored = read(kSourceValues[e]);
        QString error;
        if (!parseSource(QString::fromStdString(stored), &s.columns[e], &error) && problems)
            *problems << QStringLiteral("%1: %2").arg(QString::fromLatin1(kSourceValues[e]), error);
    }
    ProviderConfig& c = s.config;
    c.keys.serperKey = read("SerperKey");
    c.keys.serpapiKey = read("SerpapiKey");
    c.keys.braveKey = read("BraveKey");
    c.keys.dataforseoLogin = read("DataforseoLogin");
    c.keys.dataforseoPassword = read("DataforseoPassword");
    c.searxngUrl = read("SearxngUrl");
    if (const std::string country = read("Country"); !country.empty())
        c.country = country;
    if (const std::string language = read("Language"); !language.empty())
        c.language = language;
    c.serperUrl = read("SerperUrl");
    c.serpapiUrl = read("SerpapiUrl");
    c.dataforseoUrl = read("DataforseoUrl");
    c.braveUrl = read("BraveUrl");
    s.pauseMinMs = std::max(0, store.ReadInt(maker::kProduct, "PauseMinMs"));
    s.pauseMaxMs = std::max(0, store.ReadInt(maker::kProduct, "PauseMaxMs"));
    clampPause(&s.pauseMinMs, &s.pauseMaxMs);
    return s;
}

void applyEnvironmentKeys(Credentials* keys,
                          const std::function<const char*(const char*)>& getenv) {
    const auto get = [&](const char* name) -> const char* {
        return getenv ? getenv(name) : std::getenv(name);
    };
    const std::pair<const char*, std::string*> rows[] = {
        {kEnvSerperKey, &keys->serperKey},
        {kEnvSerpapiKey, &keys->serpapiKey},
        {kEnvBraveKey, &keys->braveKey},
        {kEnvDataforseoLogin, &keys->dataforseoLogin},
        {kEnvDataforseoPassword, &keys->dataforseoPassword},
    };
    for (const auto& [name, value] : rows) {
        if (const char* v = get(name); v && *v)
            *value = v;
    }
}

} // namespace tw::sources
