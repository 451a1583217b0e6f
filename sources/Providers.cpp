#include "sources/Providers.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstring>

namespace tw::sources {

namespace {

using json = nlohmann::json;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return out;
}

std::string site(const Source& s) {
    return providerSite(s.provider);
}

// ISO 3166-1 numeric codes; DataForSEO's country locations are 2000 + that number.
constexpr std::array<std::pair<const char*, int>, 48> kCountryNumbers = {{
    {"ar", 32},  {"at", 40},  {"au", 36},  {"be", 56},  {"bg", 100}, {"br", 76},  {"ca", 124},
    {"ch", 756}, {"cl", 152}, {"cn", 156}, {"co", 170}, {"cz", 203}, {"de", 276}, {"dk", 208},
    {"eg", 818}, {"es", 724}, {"fi", 246}, {"fr", 250}, {"gb", 826}, {"gr", 300}, {"hk", 344},
    {"hu", 348}, {"id", 360}, {"ie", 372}, {"il", 376}, {"in", 356}, {"it", 380}, {"jp", 392},
    {"kr", 410}, {"mx", 484}, {"my", 458}, {"ng", 566}, {"nl", 528}, {"no", 578}, {"nz", 554},
    {"ph", 608}, {"pl", 616}, {"pt", 620}, {"ro", 642}, {"sa", 682}, {"se", 752}, {"sg", 702},
    {"th", 764}, {"tr", 792}, {"ua", 804}, {"us", 840}, {"vn", 704}, {"za", 710},
}};

int dataForSeoLocation(const std::string& country) {
    const std::string c = lower(country) == "uk" ? "gb" : lower(country);
    for (const auto& [code, number] : kCountryNumbers) {
        if (c == code)
            return 2000 + number;
    }
    return 0;
}

// The base that replaces the documented scheme, host and port. False when it is not an
// http(s) address without a query.
bool baseUrl(const std::string& override, const char* documented, const char* settingName,
             std::string* out, QString* error) {
    if (override.empty()) {
        *out = documented;
        return true;
    }
    std::string base = override;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const std::string l = lower(base);
    const bool scheme = l.starts_with("http://") || l.starts_with("https://");
    const bool clean = base.find_first_of(" \t\r\n?#") == std::string::npos;
    if (!scheme || !clean || base.size() <= std::strlen("https://")) {
        if (error)
            *error = QStringLiteral("the %1 setting \"%2\" is not an http or https address")
                         .arg(QString::fromLatin1(settingName),
                              QString::fromStdString(override.substr(0, 200)));
        return false;
    }
    *out = base;
    return true;
}

bool missing(const std::string& what, const Source& s, QString* error) {
    if (error)
        *error = QStringLiteral("no %1 for %2: add it under Settings, Sources")
                     .arg(QString::fromStdString(what), QString::fromStdString(site(s)));
    return false;
}

} // namespace

std::string encodeQueryValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (unsigned char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool checkConfig(const Source& source, const ProviderConfig& config, QString* error) {
    const Credentials& k = config.keys;
    switch (source.provider) {
    case Provider::Classic:
        return true;
    case Provider::Serper:
        return !k.serperKey.empty() || missing("key", source, error);
    case Provider::SerpApi:
        return !k.serpapiKey.empty() || missing("key", source, error);
    case Provider::Brave:
        if (lower(config.device) == "mobile") {
            if (error)
                *error = QStringLiteral("Brave Search API has no mobile results");
            return false;
        }
        return !k.braveKey.empty() || missing("key", source, error);
    case Provider::DataForSeo:
        if (k.dataforseoLogin.empty() || k.dataforseoPassword.empty())
            return missing("login and password", source, error);
        // A location is asked by its name; only the country as a whole needs a code.
        if (config.location.empty() && dataForSeoLocation(config.country) == 0) {
            if (error)
                *error = QStringLiteral("dataforseo.com: the country \"%1\" is not one Tallowick "
                                        "knows a location for; choose another country code")
                             .arg(QString::fromStdString(config.country));
            return false;
        }
        return true;
    case Provider::Searxng:
        if (config.searxngUrl.empty()) {
            if (error)
                *error = QStringLiteral(
                    "no address for the SearXNG instance: add it under Settings, Sources");
            return false;
        }
        return true;
    }
    return false;
}

bool buildRequest(const Source& source, const ProviderConfig& config, const PageQuery& query,
                  HttpRequest* out, QString* error) {
    if (!checkConfig(source, config, error))
        return false;
    HttpRequest r;
    const int page = std::max(1, query.page);
    const std::string& kw = query.keywords;
    const std::string country = lower(config.country);
    const std::string language = lower(config.language);
    const bool mobile = lower(config.device) == "mobile";
    const std::string& location = config.location;
    std::string base;
    switch (source.provider) {
    case Provider::Classic:
        if (error)
            *error = QStringLiteral("a classic source is scanned page by page, not requested");
        return false;
    case Provider::Serper: {
        if (!baseUrl(config.serperUrl, "https://google.serper.dev", "SerperUrl", &base, error))
            return false;
        r.method = "POST";
        r.url = base + "/search";
        r.headers = {"X-API-KEY: " + config.keys.serperKey, "Content-Type: application/json",
                     "Accept: application/json"};
        json body{
            {"q", kw}, {"gl", country}, {"hl", language}, {"page", page}, {"num", kResultsPerPage}};
        if (!location.empty())
            body["location"] = location;
        r.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
        break;
    }
    case Provider::SerpApi: {
        if (!baseUrl(config.serpapiUrl, "https://serpapi.com", "SerpapiUrl", &base, error))
            return false;
        const std::string e = source.engine;
        std::string q = "engine=" + encodeQueryValue(e);
        const int offset = (page - 1) * kResultsPerPage;
        if (e == "google") {
            q += "&q=" + encodeQueryValue(kw) + "&gl=" + encodeQueryValue(country) +
                 "&hl=" + encodeQueryValue(language);
            if (offset > 0)
                q += "&start=" + std::to_string(offset);
        } else if (e == "bing") {
            q += "&q=" + encodeQueryValue(kw) + "&cc=" + encodeQueryValue(upper(country)) +
                 "&count=" + std::to_string(kResultsPerPage) +
                 "&first=" + std::to_string(offset + 1);
        } else if (e == "yahoo") {
            q += "&p=" + encodeQueryValue(kw) + "&vc=" + encodeQueryValue(country) +
                 "&vl=" + encodeQueryValue("lang_" + language) + "&b=" + std::to_string(offset + 1);
        } else {
            // DuckDuckGo pages are not of ten: the next page starts after what came so far.
            q += "&q=" + encodeQueryValue(kw) + "&kl=" + encodeQueryValue(country + "-" + language);
            if (query.resultsBefore > 0)
                q += "&start=" + std::to_string(query.resultsBefore);
        }
        // Google's and Bing's results take a place and a device; Yahoo's and DuckDuckGo's
        // neither.
        if (e == "google" || e == "bing") {
            if (!location.empty())
                q += "&location=" + encodeQueryValue(location);
            if (mobile)
                q += "&device=mobile";
        }
        // Last, so that a shown address cut at the key loses nothing else.
        q += "&api_key=" + encodeQueryValue(config.keys.serpapiKey);
        r.url = base + "/search.json?" + q;
        r.headers = {"Accept: application/json"};
        break;
    }
    case Provider::DataForSeo: {
        if (!baseUrl(config.dataforseoUrl, "https://api.dataforseo.com", "DataforseoUrl", &base,
                     error))
            return false;
        r.method = "POST";
        r.url = base + "/v3/serp/" + source.engine + "/organic/live/regular";
        r.headers = {"Content-Type: application/json", "Accept: application/json"};
        const int depth =
            std::clamp(query.depthPages * kResultsPerPage, kResultsPerPage, kDataForSeoMaxDepth);
        json task{{"keyword", kw},
                  {"language_code", language},
                  {"device", mobile ? "mobile" : "desktop"},
                  {"depth", depth}};
        if (location.empty())
            task["location_code"] = dataForSeoLocation(config.country);
        else
            task["location_name"] = location;
        r.body = json::array({task}).dump(-1, ' ', false, json::error_handler_t::replace);
        r.basicAuth = true;
        r.user = config.keys.dataforseoLogin;
        r.password = config.keys.dataforseoPassword;
        break;
    }
    case Provider::Brave: {
        if (!baseUrl(config.braveUrl, "https://api.search.brave.com", "BraveUrl", &base, error))
            return false;
        r.url = base + "/res/v1/web/search?q=" + encodeQueryValue(kw) +
                "&count=" + std::to_string(kResultsPerPage) +
                "&offset=" + std::to_string(page - 1) +
                "&country=" + encodeQueryValue(upper(country)) +
                "&search_lang=" + encodeQueryValue(language);
        r.headers = {"X-Subscription-Token: " + config.keys.braveKey, "Accept: application/json"};
        break;
    }
    case Provider::Searxng: {
        if (!baseUrl(config.searxngUrl, "", "SearxngUrl", &base, error))
            return false;
        r.url = base + "/search?q=" + encodeQueryValue(kw) +
                "&format=json&pageno=" + std::to_string(page) +
                "&engines=" + encodeQueryValue(source.engine) +
                "&language=" + encodeQueryValue(language);
        r.headers = {"Accept: application/json"};
        break;
    }
    }
    *out = std::move(r);
    return true;
}

std::string redactSecrets(std::string text, const Credentials& keys) {
    static const std::string kCut = "\xE2\x80\xA6"; // …
    // The api_key parameter's value, whatever it is (the key as stored may differ in encoding).
    for (std::size_t at = 0; (at = text.find("api_key=", at)) != std::string::npos;) {
        const std::size_t start = at + std::strlen("api_key=");
        std::size_t end = start;
        while (end < text.size() && text[end] != '&' && text[end] != ' ' && text[end] != '\n' &&
               text[end] != '#' && text[end] != '"')
            ++end;
        text.replace(start, end - start, kCut);
        at = start + kCut.size();
    }
    std::vector<std::string> secrets = {keys.serperKey, keys.serpapiKey, keys.braveKey,
                                        keys.dataforseoPassword};
    // Each key also as it travels in a URL.
    const std::size_t plain = secrets.size();
    for (std::size_t i = 0; i < plain; ++i)
        secrets.push_back(encodeQueryValue(secrets[i]));
    // Longest first, so a key holding another is cut whole.
    std::sort(secrets.begin(), secrets.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& secret : secrets) {
        // Very short keys would cut ordinary words; no real key is that short.
        if (secret.size() < 4)
            continue;
        for (std::size_t at = 0; (at = text.find(secret, at)) != std::string::npos;) {
            text.replace(at, secret.size(), kCut);
            at += kCut.size();
        }
    }
    return text;
}

} // namespace tw::sources
