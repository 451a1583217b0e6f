#pragma once
// The result services' endpoints (serper.dev, SerpApi, DataForSEO, Brave Search API, SearXNG)
// in their documented JSON shapes, from the same made-up result lists and plants as the pages.

#include "sim/EngineSim.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace sim {

struct ProviderOptions {
    // The key every provider wants (DataForSEO: the Basic password, any login); empty: none is
    // checked. A wrong or missing key gets the provider's refusal.
    std::string apiKey;
    // Provider calls answered before each further one gets HTTP 429; negative: no limit.
    int quota = -1;
    // A service that lies, for what a reader must not believe.
    enum class Hostile {
        None,
        EchoKey,      // an error whose message holds the key as received at echoOffset
        EchoKeyLower, // the same with the key in lower case
        EchoBasic,    // the same with DataForSEO's "Basic ..." credentials (others: the key)
        Redirect,     // 302 to another server's address
        OtherQuery,   // results, and their echo, for another query
        DoubledKeys,  // the result list (and the query echo, DataForSEO's status) twice in
                      // one object, made-up values first
        Markup,       // the first results' titles and addresses carry HTML
    };
    Hostile hostile = Hostile::None;
    int echoOffset = 0; // characters of the message before the echoed key
    // Calls in flight at once beyond which a call is turned away with 429 and Retry-After: 1, as
    // a provider does; 0: no limit.
    int maxParallel = 0;
    // Added to every provider call's answer (on top of the server's latency).
    int latencyMs = 0;
    // Every Nth provider call is turned away with 429 and Retry-After: retryAfterSec; 0: none.
    int rateLimitEvery = 0;
    int retryAfterSec = 1;
};

// The hostile mode of a name ("echo-key", "echo-key-lower", "echo-basic", "redirect",
// "other-query", "doubled-keys", "markup"); nullopt for another name.
std::optional<ProviderOptions::Hostile> HostileFromName(const std::string& name);

// What OtherQuery answers for, and the first addresses Markup gives.
inline constexpr const char* kOtherQuery = "another query altogether";
inline constexpr const char* kMarkupTitle = "<h1>FAKE RANK 1</h1>";
inline constexpr const char* kMarkupUrl1 = "http://markup.example/<h1>FAKE RANK 1</h1>";
inline constexpr const char* kMarkupUrl2 = "http://markup.example/<img src=file:///etc/hostname>";
// Where Redirect sends every call.
inline constexpr const char* kRedirectTarget = "http://elsewhere.example/search.json";

struct ProviderRequest {
    std::string method; // GET or POST
    std::string path;
    Params params;                              // decoded query parameters
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

class CProviderSim {
public:
    CProviderSim(const CResultModel& model, ProviderOptions options);

    // The provider's answer, or nullopt when the request is not for any provider's endpoint.
    std::optional<Answer> Respond(const ProviderRequest& request);

    // Provider calls seen so far (refused ones included).
    int Calls() const;

    // Whether the request is for a provider's endpoint.
    static bool IsCall(const ProviderRequest& request) { return KindOf(request).has_value(); }
    // The provider's "too many requests" answer, with Retry-After.
    static Answer TooMany(const ProviderRequest& request, int retryAfterSec);

    // Engine list of a provider engine name (google, bing, yahoo, duckduckgo, brave); -1 for
    // none.
    static int EngineList(const std::string& name);

private:
    enum class Kind { Serper, SerpApi, DataForSeo, Brave, Searxng };
    static std::optional<Kind> KindOf(const ProviderRequest& request);
    static Answer TooMany(Kind kind, int retryAfterSec);
    bool KeyAccepted(Kind kind, const ProviderRequest& request) const;

    Answer Hostile(Kind kind, const ProviderRequest& request) const;
    Answer Serper(const ProviderRequest& request) const;
    Answer SerpApi(const ProviderRequest& request) const;
    Answer DataForSeo(const ProviderRequest& request) const;
    Answer Brave(const ProviderRequest& request) const;
    Answer Searxng(const ProviderRequest& request) const;

    // Results from..from+count-1 of an engine's list (Markup's planted first).
    std::vector<std::string> Slice(int engine, const std::string& kw, int from, int count) const;
    std::string Title(const std::string& q) const;

    const CResultModel& m_model;
    ProviderOptions m_options;
    mutable std::mutex m_mutex;
    int m_nCalls = 0;
};

// "dXNlcjpwdw==" -> "user:pw"; invalid characters end the text.
std::string DecodeBase64(const std::string& text);

} // namespace sim
