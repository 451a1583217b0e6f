#pragma once
// The sources of the four columns and the providers' settings, as the settings store holds them,
// with the environment's keys for scheduled runs of tallowick-rank.

#include "base/RankTypes.h"
#include "sources/Providers.h"
#include "sources/ServiceGates.h"
#include "sources/Source.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>

namespace tw::sources {

struct SourceSettings {
    std::array<Source, kEngineCount> columns; // classic unless set
    ProviderConfig config;
    int pauseMinMs = 0;
    int pauseMaxMs = 0;
    // Per provider (providerIndex): calls in flight and rate; settings "SerperParallel",
    // "SerperPerSecond", ...
    std::array<ServicePace, kProviderCount> pace = defaultPaces();
    long maxCallsPerRun = 0; // "MaxCallsPerRun"; 0: no budget

    static std::array<ServicePace, kProviderCount> defaultPaces();
};

// The settings' names of a provider's pace: "SerperParallel" and "SerperPerSecond".
std::string parallelSettingName(Provider provider);
std::string perSecondSettingName(Provider provider);
// A rate as the settings hold it: "" none, else the number ("0.5", "2").
std::string perSecondText(double perSecond);
// Reads a rate typed by the user or stored: empty or 0 is none (0.0). False for anything else
// that is not a number from 0.01 to 1000.
bool parsePerSecond(const std::string& text, double* out);

// Reads the settings store (each column's source under its engine's sourceValue). A stored source
// that cannot be read leaves its column classic and adds a line to problems (naming the value); a
// pause range is made sound (both at least 0, the maximum at least the minimum, at most a minute).
SourceSettings readSourceSettings(QStringList* problems = nullptr);

// Stores every value readSourceSettings reads (the Sources dialog's OK). False with the reason
// when a value could not be written.
bool writeSourceSettings(const SourceSettings& settings, QString* error);

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
