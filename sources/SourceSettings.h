#pragma once
// The sources of the four columns and the providers' settings, as the settings store holds them,
// with the environment's keys for scheduled runs of tallowick-rank.

#include "base/RankTypes.h"
#include "sources/Providers.h"
#include "sources/Source.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>

namespace tw::sources {

// Settings value names of the columns' sources, in SearchEngine order.
inline constexpr std::array<const char*, kEngineCount> kSourceValues = {
    "GoogleSource", "AltavistaSource", "LycosSource", "LooksmartSource"};

struct SourceSettings {
    std::array<Source, kEngineCount> columns; // classic unless set
    ProviderConfig config;
    int pauseMinMs = 0;
    int pauseMaxMs = 0;
};

// Reads the settings store. A stored source that cannot be read leaves its column classic and
// adds a line to problems (naming the value); a pause range is made sound (both at least 0, the
// maximum at least the minimum, at most a minute).
SourceSettings readSourceSettings(QStringList* problems = nullptr);

// Environment names whose values win over the stored keys.
inline constexpr const char* kEnvSerperKey = "TALLOWICK_SERPER_KEY";
inline constexpr const char* kEnvSerpapiKey = "TALLOWICK_SERPAPI_KEY";
inline constexpr const char* kEnvBraveKey = "TALLOWICK_BRAVE_KEY";
inline constexpr const char* kEnvDataforseoLogin = "TALLOWICK_DATAFORSEO_LOGIN";
inline constexpr const char* kEnvDataforseoPassword = "TALLOWICK_DATAFORSEO_PASSWORD";

// Overwrites each key that the environment sets (non-empty). getenv is std::getenv unless given.
void applyEnvironmentKeys(Credentials* keys,
                          const std::function<const char*(const char*)>& getenv = {});

// The pause range made sound as readSourceSettings does.
void clampPause(int* minMs, int* maxMs);

} // namespace tw::sources
