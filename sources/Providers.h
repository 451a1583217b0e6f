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
    // Said once in the run's messages: a setting the provider does not take, and what was sent
    // in its place.
    std::string notice;
};

// Results per page where a provider pages (DataForSEO takes the whole depth in one call).
inline constexpr int kResultsPerPage = 10;
// The most pages the Brave Search API pages to (its offset runs 0..9), and the results it gives
// per page at most: 200 results in ten calls.
inline constexpr int kBraveMaxPages = 10;
inline constexpr int kBravePageSize = 20;
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
    RateLimited,   // 429: waited out and tried again
    QuotaUsed,     // the account's searches or funds are used up: the service is not asked again
    ProviderError, // the provider's own error message
    BadFormat,     // not the provider's JSON
    HttpError,     // another status
};

struct PageAnswer {
    AnswerKind kind = AnswerKind::BadFormat;
    std::vector<std::string> urls; // http(s) addresses only, in the provider's order
    std::string error;             // the message when not Results, shown through providerMessage
    long status = 0;               // the answer's HTTP status
    std::string retryAfter;        // the answer's Retry-After header, when it had one
    // Whether another try may help (a server error, a rate limit, a broken answer); a refusal
    // or another client error stays what it is.
    bool retryable() const {
        return kind == AnswerKind::RateLimited || kind == AnswerKind::BadFormat ||
               (kind == AnswerKind::HttpError && (status >= 500 || status < 400));
    }
};

// What an answer is checked against and how its messages name the server.
struct AskedFor {
    // The host (and port) asked when the provider's address was overridden; empty: the
    // provider's documented address, named as providerSite does.
    std::string host;
    // The query sent; when set, an answer that echoes another query is an error.
    std::string keywords;
};

// The host and port of an http(s) address: "127.0.0.1:8080" of "http://127.0.0.1:8080/x".
std::string hostOf(std::string_view url);

// What the request for source under config asks, for readAnswer.
AskedFor askedFor(const Source& source, const ProviderConfig& config, std::string keywords);

// Reads an answer of the source's provider. Bounded: an answer over kMaxAnswerBytes is refused,
// one nested deeper than a result format ever is counts as not the provider's format. An object
// holding a key twice counts with its last value, as JSON readers take it. The error holds the
// provider's words as sent, neither cut nor cleared of keys: show it through providerMessage.
PageAnswer readAnswer(const Source& source, long status, std::string_view body,
                      const AskedFor& asked = {});

// Runs of this many characters of a key count as the key.
inline constexpr std::size_t kMinSecretRun = 8;
// The longest message of a provider shown, in characters.
inline constexpr std::size_t kMaxMessageChars = 300;

// The one redaction of everything that came from a request or an answer (messages, addresses,
// result links) before it is shown, logged or stored: every key of keys, as sent or
// percent-encoded and in any letter case, the DataForSEO login and password in their Basic
// base64 form, and every run of kMinSecretRun or more characters of any of these, is replaced
// by "…", as is the value of every "api_key=". Cut a text only after this.
std::string redactSecrets(std::string_view text, const Credentials& keys);

// A message for one line of text: redactSecrets first, then control characters as blanks and
// the text cut to kMaxMessageChars characters ("..." after a cut).
std::string providerMessage(std::string_view text, const Credentials& keys);

// The calls one entry's scan of a column can take at most at this depth (pages of ten): one
// per page, one for DataForSEO, pages of twenty for Brave (at most ten). At least one.
int mostCallsPerScan(Provider provider, int depthPages);

// Percent-encodes a query parameter value (blank as %20).
std::string encodeQueryValue(std::string_view value);

} // namespace tw::sources
