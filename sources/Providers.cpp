#include "sources/Providers.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

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

// The countries the Brave Search API takes; any other is sent as ALL.
constexpr const char* kBraveCountries[] = {"AR", "AU", "AT", "BE", "BR", "CA", "CL", "DK", "FI",
                                           "FR", "DE", "HK", "IN", "ID", "IT", "JP", "KR", "MY",
                                           "MX", "NL", "NZ", "NO", "CN", "PL", "PT", "PH", "RU",
                                           "SA", "ZA", "ES", "SE", "CH", "TW", "TR", "GB", "US"};

// Its search languages: mostly ISO 639-1, with a few codes of its own.
constexpr const char* kBraveLanguages[] = {
    "ar", "eu", "bn", "bg", "ca", "zh-hans", "zh-hant", "hr", "cs",    "da",    "nl", "en", "en-gb",
    "et", "fi", "fr", "gl", "de", "gu",      "he",      "hi", "hu",    "is",    "it", "jp", "kn",
    "ko", "lv", "lt", "ms", "ml", "mr",      "nb",      "pl", "pt-br", "pt-pt", "pa", "ro", "ru",
    "sr", "sk", "sl", "es", "sv", "ta",      "te",      "th", "tr",    "uk",    "vi"};

template <std::size_t N> bool listed(const char* const (&list)[N], const std::string& code) {
    return std::any_of(std::begin(list), std::end(list), [&](const char* c) { return code == c; });
}

// DuckDuckGo's regions, as SerpApi's kl takes them: one or more per country, each with the
// country's language (the first of a country is its usual one).
constexpr std::pair<const char*, const char*> kDuckDuckGoRegions[] = {
    {"ar", "ar-es"},  {"au", "au-en"}, {"at", "at-de"}, {"be", "be-fr"}, {"be", "be-nl"},
    {"br", "br-pt"},  {"bg", "bg-bg"}, {"ca", "ca-en"}, {"ca", "ca-fr"}, {"cl", "cl-es"},
    {"cn", "cn-zh"},  {"co", "co-es"}, {"hr", "hr-hr"}, {"cz", "cz-cs"}, {"dk", "dk-da"},
    {"ee", "ee-et"},  {"fi", "fi-fi"}, {"fr", "fr-fr"}, {"de", "de-de"}, {"gr", "gr-el"},
    {"hk", "hk-tzh"}, {"hu", "hu-hu"}, {"in", "in-en"}, {"id", "id-id"}, {"id", "id-en"},
    {"ie", "ie-en"},  {"il", "il-he"}, {"it", "it-it"}, {"jp", "jp-jp"}, {"kr", "kr-kr"},
    {"lv", "lv-lv"},  {"lt", "lt-lt"}, {"my", "my-ms"}, {"my", "my-en"}, {"mx", "mx-es"},
    {"nl", "nl-nl"},  {"nz", "nz-en"}, {"no", "no-no"}, {"pe", "pe-es"}, {"ph", "ph-en"},
    {"ph", "ph-tl"},  {"pl", "pl-pl"}, {"pt", "pt-pt"}, {"ro", "ro-ro"}, {"ru", "ru-ru"},
    {"sa", "xa-ar"},  {"sg", "sg-en"}, {"sk", "sk-sk"}, {"si", "sl-sl"}, {"za", "za-en"},
    {"es", "es-es"},  {"se", "se-sv"}, {"ch", "ch-de"}, {"ch", "ch-fr"}, {"ch", "ch-it"},
    {"tw", "tw-tzh"}, {"th", "th-th"}, {"tr", "tr-tr"}, {"ua", "ua-uk"}, {"gb", "uk-en"},
    {"us", "us-en"},  {"us", "ue-es"}, {"ve", "ve-es"}, {"vn", "vn-vi"}};

// The settings' country: "uk" is the United Kingdom's common name for "gb".
std::string isoCountry(const std::string& country) {
    const std::string c = lower(country);
    return c == "uk" ? "gb" : c;
}

// The region of the country whose language matches, else the country's usual one; no region
// ("wt-wt") for a country DuckDuckGo does not list.
std::string duckDuckGoRegion(const std::string& country, const std::string& language,
                             std::string* notice) {
    const std::string c = isoCountry(country);
    const char* first = nullptr;
    for (const auto& [code, region] : kDuckDuckGoRegions) {
        if (c != code)
            continue;
        if (!first)
            first = region;
        const std::string_view r(region);
        // "hk-tzh" and "tw-tzh" are Chinese; the others end in the language's code.
        if (r.substr(r.find('-') + 1) == language || (language == "zh" && r.ends_with("-tzh")))
            return region;
    }
    if (first)
        return first;
    if (notice)
        *notice = "DuckDuckGo lists no region for the country \"" + country +
                  "\": its results are asked for without a region";
    return "wt-wt";
}

// The settings' language as Brave's search_lang: its own codes for Japanese, Chinese,
// Portuguese and Norwegian; empty for a language it does not take.
std::string braveLanguage(const std::string& language) {
    static const std::pair<const char*, const char*> kOwn[] = {
        {"ja", "jp"}, {"zh", "zh-hans"}, {"pt", "pt-br"}, {"no", "nb"}, {"nn", "nb"}};
    for (const auto& [ours, theirs] : kOwn) {
        if (language == ours)
            return theirs;
    }
    return listed(kBraveLanguages, language) ? language : std::string();
}

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
            // Yahoo names the United Kingdom "uk".
            const std::string vc = isoCountry(country) == "gb" ? "uk" : country;
            q += "&p=" + encodeQueryValue(kw) + "&vc=" + encodeQueryValue(vc) +
                 "&vl=" + encodeQueryValue("lang_" + language) + "&b=" + std::to_string(offset + 1);
        } else {
            // DuckDuckGo pages are not of ten: the next page starts after what came so far.
            q += "&q=" + encodeQueryValue(kw) +
                 "&kl=" + encodeQueryValue(duckDuckGoRegion(country, language, &r.notice));
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
        // Pages of twenty: half the calls of pages of ten, and 200 results within its offset.
        std::string braveCountry = upper(isoCountry(country));
        if (!listed(kBraveCountries, braveCountry)) {
            r.notice = "the Brave Search API does not take the country \"" + country +
                       "\": its results are asked for from all countries (ALL)";
            braveCountry = "ALL";
        }
        r.url = base + "/res/v1/web/search?q=" + encodeQueryValue(kw) +
                "&count=" + std::to_string(kBravePageSize) + "&offset=" + std::to_string(page - 1) +
                "&country=" + encodeQueryValue(braveCountry);
        if (const std::string lang = braveLanguage(language); !lang.empty()) {
            r.url += "&search_lang=" + encodeQueryValue(lang);
        } else {
            r.notice = "the Brave Search API does not take the language \"" + language +
                       "\": its results are asked for in any language";
        }
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

namespace {

std::string base64(std::string_view in) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = unsigned(static_cast<unsigned char>(in[i])) << 16 |
                           unsigned(static_cast<unsigned char>(in[i + 1])) << 8 |
                           unsigned(static_cast<unsigned char>(in[i + 2]));
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < in.size()) {
        unsigned v = unsigned(static_cast<unsigned char>(in[i])) << 16;
        if (i + 1 < in.size())
            v |= unsigned(static_cast<unsigned char>(in[i + 1])) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

const char* overrideOf(Provider provider, const ProviderConfig& config) {
    switch (provider) {
    case Provider::Serper:
        return config.serperUrl.c_str();
    case Provider::SerpApi:
        return config.serpapiUrl.c_str();
    case Provider::DataForSeo:
        return config.dataforseoUrl.c_str();
    case Provider::Brave:
        return config.braveUrl.c_str();
    case Provider::Classic:
    case Provider::Searxng:
        break;
    }
    return "";
}

} // namespace

std::string hostOf(std::string_view url) {
    const std::size_t scheme = url.find("://");
    const std::size_t from = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t to = url.find_first_of("/?#", from);
    return std::string(url.substr(from, to == std::string_view::npos ? url.npos : to - from));
}

AskedFor askedFor(const Source& source, const ProviderConfig& config, std::string keywords) {
    AskedFor asked;
    asked.host = hostOf(overrideOf(source.provider, config));
    asked.keywords = std::move(keywords);
    return asked;
}

int mostCallsPerScan(Provider provider, int depthPages) {
    const int depth = std::max(1, depthPages);
    switch (provider) {
    case Provider::Classic:
        return 0;
    case Provider::DataForSeo:
        return 1;
    case Provider::Brave:
        return std::min((depth * kResultsPerPage + kBravePageSize - 1) / kBravePageSize,
                        kBraveMaxPages);
    case Provider::Serper:
    case Provider::SerpApi:
    case Provider::Searxng:
        break;
    }
    return depth;
}

std::string redactSecrets(std::string_view text, const Credentials& keys) {
    static const std::string kCut = "\xE2\x80\xA6"; // …
    const std::string lowered = lower(text);
    std::vector<bool> secret(text.size(), false);
    const auto mark = [&](std::size_t from, std::size_t count) {
        std::fill(secret.begin() + std::ptrdiff_t(from),
                  secret.begin() + std::ptrdiff_t(std::min(text.size(), from + count)), true);
    };

    // The api_key parameter's value, whatever it is (the key as stored may differ in encoding).
    static constexpr std::string_view kParam = "api_key=";
    for (std::size_t at = 0; (at = lowered.find(kParam, at)) != std::string::npos;) {
        const std::size_t start = at + kParam.size();
        std::size_t end = start;
        while (end < text.size() && text[end] != '&' && text[end] != ' ' && text[end] != '\n' &&
               text[end] != '#' && text[end] != '"')
            ++end;
        mark(start, end - start);
        at = start;
    }

    // Every form a key may be echoed in, lower-cased as the text is compared.
    std::vector<std::string> forms;
    for (const std::string* key :
         {&keys.serperKey, &keys.serpapiKey, &keys.braveKey, &keys.dataforseoPassword}) {
        if (key->empty())
            continue;
        forms.push_back(lower(*key));
        forms.push_back(lower(encodeQueryValue(*key)));
    }
    if (!keys.dataforseoPassword.empty())
        forms.push_back(lower(base64(keys.dataforseoLogin + ":" + keys.dataforseoPassword)));

    // Runs of kMinSecretRun characters of any form, looked up window by window; a form
    // shorter than that only whole. Very short keys would cut ordinary words; none is that
    // short.
    std::unordered_set<std::string_view> runs;
    for (const std::string& form : forms) {
        if (form.size() >= kMinSecretRun) {
            for (std::size_t i = 0; i + kMinSecretRun <= form.size(); ++i)
                runs.insert(std::string_view(form).substr(i, kMinSecretRun));
        } else if (form.size() >= 4) {
            for (std::size_t at = 0; (at = lowered.find(form, at)) != std::string::npos; ++at)
                mark(at, form.size());
        }
    }
    if (!runs.empty()) {
        const std::string_view all(lowered);
        for (std::size_t i = 0; i + kMinSecretRun <= all.size(); ++i) {
            if (runs.count(all.substr(i, kMinSecretRun)))
                mark(i, kMinSecretRun);
        }
    }

    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (!secret[i]) {
            out += text[i++];
            continue;
        }
        out += kCut;
        while (i < text.size() && secret[i])
            ++i;
    }
    return out;
}

std::string providerMessage(std::string_view text, const Credentials& keys) {
    std::string message = redactSecrets(text, keys);
    for (char& c : message) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    // Cut at a character's first byte, so no character is left in halves.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if ((static_cast<unsigned char>(message[i]) & 0xC0) == 0x80)
            continue;
        if (chars++ == kMaxMessageChars) {
            message.resize(i);
            message += "...";
            break;
        }
    }
    return message;
}

} // namespace tw::sources
