#pragma once
// Where a result column gets its results: the classic page scan of its own engine, or a result
// service (a provider) asked for one engine's results as JSON.

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace tw::sources {

enum class Provider { Classic, Serper, SerpApi, DataForSeo, Brave, Searxng };

// A column's source. engine is the lower-case engine name ("google", "bing", "yahoo",
// "duckduckgo", "brave", or any engine name a SearXNG instance has); empty for Classic.
struct Source {
    Provider provider = Provider::Classic;
    std::string engine;

    bool isClassic() const { return provider == Provider::Classic; }
    bool operator==(const Source&) const = default;
};

// "classic" or "PROVIDER:ENGINE" (provider and engine without regard to ASCII case, blanks
// around either ignored); an empty text or "-" is classic. False with the reason when the
// provider is unknown or does not serve the engine; out is left as it was then.
bool parseSource(const QString& text, Source* out, QString* error);

// The text parseSource reads back: "classic" or "serpapi:bing".
QString sourceText(const Source& source);

// "serper", "serpapi", "dataforseo", "brave", "searxng" (and "classic").
const char* providerName(Provider provider);
// How messages name the provider: "serper.dev", "serpapi.com", ...
const char* providerSite(Provider provider);
// The engines a provider serves; for SearXNG the usual ones (any name the instance has is
// accepted too).
std::vector<std::string> providerEngines(Provider provider);
bool providerServes(Provider provider, std::string_view engine);

// The engine's name as the columns and the report show it: "Google", "Bing", "Yahoo",
// "DuckDuckGo", "Brave"; another SearXNG engine name with its first letter raised.
QString engineCaption(std::string_view engine);

} // namespace tw::sources
