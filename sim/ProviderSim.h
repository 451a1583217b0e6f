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

    // Engine list of a provider engine name (google, bing, yahoo, duckduckgo, brave); -1 for
    // none.
    static int EngineList(const std::string& name);

private:
    enum class Kind { Serper, SerpApi, DataForSeo, Brave, Searxng };
    static std::optional<Kind> KindOf(const ProviderRequest& request);
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
