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
    // Calls in flight at once beyond which a call is turned away with 429 and Retry-After: 1, as
    // a provider does; 0: no limit.
    int maxParallel = 0;
    // Added to every provider call's answer (on top of the server's latency).
    int latencyMs = 0;
    // Every Nth provider call is turned away with 429 and Retry-After: retryAfterSec; 0: none.
    int rateLimitEvery = 0;
    int retryAfterSec = 1;
};

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

    Answer Serper(const ProviderRequest& request) const;
    Answer SerpApi(const ProviderRequest& request) const;
    Answer DataForSeo(const ProviderRequest& request) const;
    Answer Brave(const ProviderRequest& request) const;
    Answer Searxng(const ProviderRequest& request) const;

    const CResultModel& m_model;
    ProviderOptions m_options;
    mutable std::mutex m_mutex;
    int m_nCalls = 0;
};

// "dXNlcjpwdw==" -> "user:pw"; invalid characters end the text.
std::string DecodeBase64(const std::string& text);

} // namespace sim
