#pragma once
// The result services' requests and answers: what to send for one page of an engine's results,
// and how an answer becomes the ordered list of result addresses or a failure in words.

#include "sources/Source.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace tw::sources {

// Keys are secrets: they go into requests and nowhere else (see redactSecrets).
struct Credentials {
    std::string serperKey;
    std::string serpapiKey;
    std::string braveKey;
    std::string dataforseoLogin;
    std::string dataforseoPassword;
};

// Everything a provider request needs besides the keywords.
struct ProviderConfig {
    Credentials keys;
    std::string searxngUrl; // the instance's address, a path under the host allowed
    std::string country = "us";
    std::string language = "en";
    // "desktop" or "mobile", and a city or region in the providers' words ("Austin,Texas,United
    // States"; empty: the country as a whole). Providers that take neither ignore them, except
    // that Brave refuses a mobile search (its API has no mobile results).
    std::string device = "desktop";
    std::string location;
    // Scheme, host and port (and an optional path prefix) replacing the documented ones; the
    // documented path stays. Empty: the documented address.
    std::string serperUrl;
    std::string serpapiUrl;
    std::string dataforseoUrl;
    std::string braveUrl;
};

// One request, ready to send.
struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headers; // "Name: value"
    std::string body;
    bool basicAuth = false;
    std::string user;
    std::string password;
};

// Results per page where a provider pages (DataForSEO takes the whole depth in one call).
inline constexpr int kResultsPerPage = 10;
// The most pages the Brave Search API pages to (its offset runs 0..9).
inline constexpr int kBraveMaxPages = 10;
// The deepest DataForSEO's live results go in one call.
inline constexpr int kDataForSeoMaxDepth = 200;
// Answers larger than this are not read.
inline constexpr std::size_t kMaxAnswerBytes = std::size_t(4) << 20;

// What the next page request needs: the page (1-based) and, for providers that page by result
// offset, how many results the earlier pages gave.
struct PageQuery {
    std::string keywords;
    int page = 1;
    int resultsBefore = 0;
    int depthPages = 20; // the whole depth, for providers answering it in one call
};

// Whether the source can be asked at all: its key (or login, or instance address) is there and
// the country code is known where the provider needs it. False with the message for the user.
bool checkConfig(const Source& source, const ProviderConfig& config, QString* error);

// The request for one page. False with the message when checkConfig fails.
bool buildRequest(const Source& source, const ProviderConfig& config, const PageQuery& query,
                  HttpRequest* out, QString* error);

// How an answer was read.
enum class AnswerKind {
    Results,       // urls holds the page's result addresses (possibly none: past the end)
    KeyRefused,    // 401/403: never tried again
    RateLimited,   // 429
    ProviderError, // the provider's own error message
    BadFormat,     // not the provider's JSON
    HttpError,     // another status
};

struct PageAnswer {
    AnswerKind kind = AnswerKind::BadFormat;
    std::vector<std::string> urls; // http(s) addresses only, in the provider's order
    std::string error;             // the message for the user when kind is not Results
    long status = 0;               // the answer's HTTP status
    // Whether another try may help (a server error, a rate limit, a broken answer); a refusal
    // or another client error stays what it is.
    bool retryable() const {
        return kind == AnswerKind::RateLimited || kind == AnswerKind::BadFormat ||
               (kind == AnswerKind::HttpError && (status >= 500 || status < 400));
    }
};

// Reads an answer of the source's provider. Bounded: an answer over kMaxAnswerBytes or nested
// deeper than a result format ever is counts as not the provider's format.
PageAnswer readAnswer(const Source& source, long status, std::string_view body);

// text with every key of keys replaced by "…" and the value of every "api_key=" cut to "…", so
// it can be shown, logged or stored.
std::string redactSecrets(std::string text, const Credentials& keys);

// Percent-encodes a query parameter value (blank as %20).
std::string encodeQueryValue(std::string_view value);

} // namespace tw::sources
