#include "sources/SourceSettings.h"

#include "base/Engines.h"
#include "base/Maker.h"
#include "settings/RegistrySettings.h"

#include <algorithm>
#include <cstdlib>

namespace tw::sources {

namespace {
constexpr int kMaxPauseMs = 60000;

// "Serper", "Serpapi", ...: the providers' names as the settings spell them.
std::string settingStem(Provider provider) {
    std::string name = providerName(provider);
    if (!name.empty())
        name[0] = char(name[0] - 'a' + 'A');
    return name;
}
} // namespace

std::array<ServicePace, kProviderCount> SourceSettings::defaultPaces() {
    std::array<ServicePace, kProviderCount> paces;
    for (int i = 0; i < kProviderCount; ++i)
        paces[i] = defaultPace(providerAt(i));
    return paces;
}

std::string parallelSettingName(Provider provider) {
    return settingStem(provider) + "Parallel";
}

std::string perSecondSettingName(Provider provider) {
    return settingStem(provider) + "PerSecond";
}

std::string perSecondText(double perSecond) {
    if (perSecond <= 0)
        return "0";
    return QString::number(perSecond, 'g', 6).toStdString();
}

bool parsePerSecond(const std::string& text, double* out) {
    const QString t = QString::fromStdString(text).trimmed();
    if (t.isEmpty()) {
        *out = 0.0;
        return true;
    }
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !(v == 0.0 || (v >= 0.01 && v <= 1000.0)))
        return false;
    *out = v;
    return true;
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
        const char* value = engines::Info(SearchEngine(e)).sourceValue;
        const std::string stored = read(value);
        QString error;
        if (!parseSource(QString::fromStdString(stored), &s.columns[e], &error) && problems)
            *problems << QStringLiteral("%1: %2").arg(QString::fromLatin1(value), error);
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
    const auto problem = [&](const std::string& name, const std::string& value,
                             const char* expected) {
        if (problems)
            *problems << QStringLiteral("%1: \"%2\" is not %3; the default is used")
                             .arg(QString::fromStdString(name),
                                  QString::fromStdString(value.substr(0, 40)),
                                  QString::fromLatin1(expected));
    };
    for (int i = 0; i < kProviderCount; ++i) {
        const Provider p = providerAt(i);
        const std::string parallelName = parallelSettingName(p);
        if (const std::string v = read(parallelName.c_str()); !v.empty()) {
            bool ok = false;
            const int n = QString::fromStdString(v).trimmed().toInt(&ok);
            if (ok && n >= 1 && n <= kMaxParallel)
                s.pace[i].parallel = n;
            else
                problem(parallelName, v, "a number from 1 to 64");
        }
        // Never stored: the provider's default rate; stored "0": none.
        const std::string rateName = perSecondSettingName(p);
        if (const std::string v = read(rateName.c_str()); !v.empty()) {
            double rate = 0;
            if (parsePerSecond(v, &rate))
                s.pace[i].perSecond = rate;
            else
                problem(rateName, v, "a number of calls per second");
        }
    }
    if (const std::string v = read("MaxCallsPerRun"); !v.empty()) {
        bool ok = false;
        const long n = QString::fromStdString(v).trimmed().toLong(&ok);
        if (ok && n >= 0 && n <= 100000000)
            s.maxCallsPerRun = n;
        else
            problem("MaxCallsPerRun", v, "a number of calls");
    }
    return s;
}

bool writeSourceSettings(const SourceSettings& s, QString* error) {
    CRegistrySettings store;
    const ProviderConfig& c = s.config;
    std::vector<std::pair<const char*, std::string>> values;
    for (int e = 0; e < kEngineCount; ++e)
        values.emplace_back(engines::Info(SearchEngine(e)).sourceValue,
                            sourceText(s.columns[e]).toStdString());
    values.insert(values.end(), {
                                    {"SerperKey", c.keys.serperKey},
                                    {"SerpapiKey", c.keys.serpapiKey},
                                    {"BraveKey", c.keys.braveKey},
                                    {"DataforseoLogin", c.keys.dataforseoLogin},
                                    {"DataforseoPassword", c.keys.dataforseoPassword},
                                    {"SearxngUrl", c.searxngUrl},
                                    {"Country", c.country},
                                    {"Language", c.language},
                                    {"PauseMinMs", std::to_string(s.pauseMinMs)},
                                    {"PauseMaxMs", std::to_string(s.pauseMaxMs)},
                                });
    std::vector<std::string> names; // the pace values' names, kept alive for the list
    names.reserve(2 * kProviderCount);
    for (int i = 0; i < kProviderCount; ++i) {
        names.push_back(parallelSettingName(providerAt(i)));
        values.emplace_back(names.back().c_str(), std::to_string(s.pace[i].parallel));
        names.push_back(perSecondSettingName(providerAt(i)));
        values.emplace_back(names.back().c_str(), perSecondText(s.pace[i].perSecond));
    }
    values.emplace_back("MaxCallsPerRun",
                        s.maxCallsPerRun > 0 ? std::to_string(s.maxCallsPerRun) : std::string());
    for (const auto& [name, value] : values) {
        if (!store.WriteString(maker::kProduct, name, value)) {
            if (error)
                *error = QStringLiteral("The setting %1 could not be written to \"%2\".")
                             .arg(QString::fromLatin1(name),
                                  QString::fromStdString(store.Location(maker::kProduct)));
            return false;
        }
    }
    return true;
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
