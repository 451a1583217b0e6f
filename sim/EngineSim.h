#pragma once
// Result pages of the four search engines, made up but deterministic: the page logic of the
// tallowick-engines simulator, usable in-process without a server.

#include "base/RankTypes.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

// Results per page as the scans assume them (Lycos pages on from "first").
inline constexpr std::array<int, kEngineCount> kPerPage = {10, 10, 10, 15};

// Navigation links at the top of every LookSmart page that the LookSmart scan counts: the
// result at position r (1-based, on page p = (r - 1) / 15 + 1) is counted as r + p.
inline constexpr int kLookSmartCountedNavigation = 1;

// Result lists of the engines that only the providers' endpoints serve; their numbers follow
// SearchEngine's in the plant file and in the made-up lists.
inline constexpr int kSimBing = 4;
inline constexpr int kSimYahoo = 5;
inline constexpr int kSimDuckDuckGo = 6;
inline constexpr int kSimBrave = 7;

struct Plant {
    int engine = -1; // SearchEngine, or -1 for every engine
    int rank = 0;    // 1-based position in the engine's result list
    std::string url;
    std::string keywords; // normalised (see NormaliseKeywords)
};

// Lower-cased ASCII letters, runs of blanks made one space, no blanks at either end.
std::string NormaliseKeywords(const std::string& keywords);

// Engine name as written in the plant file and on the command line (google, altavista, lycos,
// looksmart, and bing, yahoo, duckduckgo, brave for the providers); -1 when unknown.
int EngineFromName(const std::string& name);

class CResultModel {
public:
    explicit CResultModel(std::uint32_t seed = 1, int totalResults = 1000);

    // Plant file: one plant per line, "ENGINE RANK URL KEYWORDS...", ENGINE one of the names
    // above or "*" for all; blank lines and lines starting with "#" are ignored. A URL without
    // "://" gets "http://" in front. False with a message naming the line on a bad line.
    bool LoadPlants(const std::string& path, std::string& error);
    bool ParsePlants(const std::string& text, std::string& error);
    void AddPlant(int engine, int rank, const std::string& url, const std::string& keywords);

    // Address of the result at 1-based position n; empty beyond TotalResults().
    std::string ResultUrl(SearchEngine engine, const std::string& keywords, int n) const;
    int TotalResults() const { return m_nTotal; }

private:
    std::uint32_t m_seed;
    int m_nTotal;
    std::vector<Plant> m_plants;
};

struct Answer {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    std::string location;   // a redirect's target
    std::string retryAfter; // sent as the Retry-After header when not empty
};

using Params = std::multimap<std::string, std::string>;

// A query parameter as a number (fallback when absent or not a number) or as text (empty).
int IntParam(const Params& params, const char* key, int fallback);
std::string StrParam(const Params& params, const char* key);

// The page the engine gives for a request path and its decoded query parameters.
class CEngineSim {
public:
    explicit CEngineSim(const CResultModel& model) : m_model(model) {}

    // Version announced by the upgrade page; empty: no upgrade page (404).
    std::string m_strUpgradeVersion;

    Answer Respond(const std::string& path, const Params& params) const;
    const CResultModel& Model() const { return m_model; }
    // Splits "path?query" and decodes the query as a server does ("+" is a space).
    Answer RespondTo(const std::string& target) const;

    // Which engine a request path belongs to; -1 for none.
    static int EngineOfPath(const std::string& path);

    std::string GooglePage(const std::string& keywords, int start) const;
    std::string AltaVistaPage(const std::string& keywords, int stq) const;
    std::string LycosPage(const std::string& keywords, int first) const;
    std::string LookSmartPage(const std::string& keywords, int skip) const;
    std::string UpgradePage() const;

private:
    const CResultModel& m_model;
};

// "%41+b" -> "A b" (plusAsSpace) as query values are decoded.
std::string DecodeUrl(const std::string& text, bool plusAsSpace);
Params ParseQuery(const std::string& query);

} // namespace sim
