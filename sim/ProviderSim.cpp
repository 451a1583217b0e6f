#include "sim/ProviderSim.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace sim {

namespace {

using json = nlohmann::json;

std::string Header(const ProviderRequest& r, const char* name) {
    const auto it = r.headers.find(name);
    return it == r.headers.end() ? std::string() : it->second;
}

Answer Json(int status, const json& body) {
    Answer a;
    a.status = status;
    a.contentType = "application/json";
    a.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    return a;
}

std::string Domain(const std::string& url) {
    const auto start = url.find("://");
    const auto from = start == std::string::npos ? 0 : start + 3;
    return url.substr(from, url.find('/', from) - from);
}

// body with before inserted ahead of the first "key": of it.
std::string Doubled(std::string body, const std::string& key, const std::string& before) {
    const std::size_t at = body.find("\"" + key + "\":");
    if (at != std::string::npos)
        body.insert(at, "\"" + key + "\":" + before + ",");
    return body;
}

// An error message of length offset + the echo + its tail.
std::string EchoMessage(int offset, const std::string& echo) {
    static const std::string kFill = "Request rejected, parameters not accepted. ";
    std::string message;
    while (int(message.size()) < offset)
        message += kFill;
    message.resize(std::size_t(std::max(0, offset)));
    return message + echo + " is not a valid value for this request.";
}

std::string LowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return s;
}

} // namespace

std::optional<ProviderOptions::Hostile> HostileFromName(const std::string& name) {
    using H = ProviderOptions::Hostile;
    static const std::map<std::string, H> names = {
        {"echo-key", H::EchoKey},       {"echo-key-lower", H::EchoKeyLower},
        {"echo-basic", H::EchoBasic},   {"redirect", H::Redirect},
        {"other-query", H::OtherQuery}, {"doubled-keys", H::DoubledKeys},
        {"markup", H::Markup}};
    const auto it = names.find(name);
    return it == names.end() ? std::nullopt : std::optional<H>(it->second);
}

std::vector<std::string> CProviderSim::Slice(int engine, const std::string& kw, int from,
                                             int count) const {
    std::vector<std::string> urls;
    for (int n = std::max(1, from); n < from + count && n <= m_model.TotalResults(); ++n) {
        if (m_options.hostile == ProviderOptions::Hostile::Markup && n <= 2)
            urls.push_back(n == 1 ? kMarkupUrl1 : kMarkupUrl2);
        else
            urls.push_back(m_model.ResultUrl(SearchEngine(engine), kw, n));
    }
    return urls;
}

std::string CProviderSim::Title(const std::string& q) const {
    return m_options.hostile == ProviderOptions::Hostile::Markup ? std::string(kMarkupTitle)
                                                                 : "Result about " + q;
}

Answer CProviderSim::Hostile(Kind kind, const ProviderRequest& r) const {
    using H = ProviderOptions::Hostile;
    const H mode = m_options.hostile;
    if (mode == H::Redirect) {
        Answer a;
        a.status = 302;
        a.location = kRedirectTarget;
        a.body = "Moved";
        a.contentType = "text/plain";
        return a;
    }
    if (mode == H::EchoKey || mode == H::EchoKeyLower || mode == H::EchoBasic) {
        std::string echo;
        switch (kind) {
        case Kind::Serper:
            echo = Header(r, "x-api-key");
            break;
        case Kind::SerpApi:
            echo = StrParam(r.params, "api_key");
            break;
        case Kind::Brave:
            echo = Header(r, "x-subscription-token");
            break;
        case Kind::DataForSeo: {
            const std::string auth = Header(r, "authorization");
            if (mode == H::EchoBasic) {
                echo = auth;
            } else {
                const std::string pair =
                    DecodeBase64(auth.substr(std::min<std::size_t>(6, auth.size())));
                echo = pair.substr(std::min(pair.size(), pair.find(':') + 1));
            }
            break;
        }
        case Kind::Searxng:
            break;
        }
        if (mode == H::EchoKeyLower)
            echo = LowerAscii(echo);
        const std::string message = EchoMessage(m_options.echoOffset, echo);
        switch (kind) {
        case Kind::Serper:
            return Json(400, {{"message", message}, {"statusCode", 400}});
        case Kind::SerpApi:
            return Json(400, {{"error", message}});
        case Kind::DataForSeo:
            return Json(400, {{"status_code", 40000}, {"status_message", message}});
        case Kind::Brave:
            return Json(400, {{"type", "ErrorResponse"},
                              {"error", {{"code", "VALIDATION"}, {"detail", message}}}});
        case Kind::Searxng:
            return Json(400, {{"message", message}});
        }
    }
    if (mode == H::OtherQuery) {
        ProviderRequest other = r;
        if (kind == Kind::Serper || kind == Kind::DataForSeo) {
            json in = json::parse(r.body, nullptr, false);
            if (kind == Kind::Serper && in.is_object())
                in["q"] = kOtherQuery;
            else if (kind == Kind::DataForSeo && in.is_array() && !in.empty() && in[0].is_object())
                in[0]["keyword"] = kOtherQuery;
            other.body = in.dump();
        } else {
            for (const char* name : {"q", "p"}) {
                if (other.params.count(name)) {
                    other.params.erase(name);
                    other.params.emplace(name, kOtherQuery);
                }
            }
        }
        ProviderOptions plain = m_options;
        plain.hostile = H::None;
        CProviderSim honest(m_model, plain);
        return *honest.Respond(other);
    }
    // DoubledKeys: the honest answer with made-up values ahead of the real ones.
    ProviderOptions plain = m_options;
    plain.hostile = H::None;
    plain.quota = -1;
    CProviderSim honest(m_model, plain);
    Answer a = *honest.Respond(r);
    const auto decoys = [](const char* field, bool organic) {
        json list = json::array();
        for (int n = 1; n <= 3; ++n) {
            json item = {{field, "http://decoy-" + std::to_string(n) + ".example/"}};
            if (organic)
                item["type"] = "organic";
            list.push_back(item);
        }
        return list.dump();
    };
    const json echo = {{"q", "a decoy query"}, {"p", "a decoy query"}};
    switch (kind) {
    case Kind::Serper:
        a.body = Doubled(Doubled(a.body, "organic", decoys("link", false)), "searchParameters",
                         echo.dump());
        break;
    case Kind::SerpApi:
        a.body = Doubled(Doubled(a.body, "organic_results", decoys("link", false)),
                         "search_parameters", echo.dump());
        break;
    case Kind::DataForSeo:
        a.body = Doubled(Doubled(a.body, "items", decoys("url", true)), "status_code", "40000");
        break;
    case Kind::Brave:
    case Kind::Searxng:
        a.body = Doubled(a.body, "results", decoys("url", false));
        break;
    }
    return a;
}

std::string DecodeBase64(const std::string& text) {
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        int d;
        if (c >= 'A' && c <= 'Z')
            d = c - 'A';
        else if (c >= 'a' && c <= 'z')
            d = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            d = c - '0' + 52;
        else if (c == '+')
            d = 62;
        else if (c == '/')
            d = 63;
        else
            break;
        value = (value << 6) | unsigned(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((value >> bits) & 0xff);
        }
    }
    return out;
}

CProviderSim::CProviderSim(const CResultModel& model, ProviderOptions options)
    : m_model(model), m_options(std::move(options)) {}

int CProviderSim::Calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nCalls;
}

int CProviderSim::EngineList(const std::string& name) {
    const int e = EngineFromName(name);
    return e == Google || e >= kSimBing ? e : -1;
}

std::optional<CProviderSim::Kind> CProviderSim::KindOf(const ProviderRequest& r) {
    if (r.method == "POST" && r.path == "/search")
        return Kind::Serper;
    if (r.method == "GET" && r.path == "/search.json")
        return Kind::SerpApi;
    if (r.method == "POST" && r.path.starts_with("/v3/serp/") &&
        r.path.ends_with("/organic/live/regular"))
        return Kind::DataForSeo;
    if (r.method == "GET" && r.path == "/res/v1/web/search")
        return Kind::Brave;
    // The classic Google page has the same path, but never a format.
    if ((r.method == "GET" || r.method == "POST") && r.path == "/search" &&
        r.params.count("format"))
        return Kind::Searxng;
    return std::nullopt;
}

bool CProviderSim::KeyAccepted(Kind kind, const ProviderRequest& r) const {
    const std::string& key = m_options.apiKey;
    if (key.empty())
        return true;
    switch (kind) {
    case Kind::Serper:
        return Header(r, "x-api-key") == key;
    case Kind::SerpApi:
        return StrParam(r.params, "api_key") == key;
    case Kind::DataForSeo: {
        const std::string auth = Header(r, "authorization");
        if (!auth.starts_with("Basic "))
            return false;
        const std::string pair = DecodeBase64(auth.substr(6));
        const auto colon = pair.find(':');
        return colon != std::string::npos && pair.substr(colon + 1) == key;
    }
    case Kind::Brave:
        return Header(r, "x-subscription-token") == key;
    case Kind::Searxng:
        return true;
    }
    return false;
}

Answer CProviderSim::TooMany(const ProviderRequest& request, int retryAfterSec) {
    return TooMany(KindOf(request).value_or(Kind::Searxng), retryAfterSec);
}

Answer CProviderSim::TooMany(Kind kind, int retryAfterSec) {
    Answer a;
    switch (kind) {
    case Kind::Serper:
        a = Json(429, {{"message", "Too many requests."}, {"statusCode", 429}});
        break;
    case Kind::SerpApi:
        a = Json(429, {{"error", "You have exceeded the hourly throughput limit of your plan."}});
        break;
    case Kind::DataForSeo:
        a = Json(429,
                 {{"status_code", 40202}, {"status_message", "Rate limit per minute exceeded."}});
        break;
    case Kind::Brave:
        a = Json(429, {{"type", "ErrorResponse"},
                       {"error",
                        {{"status", 429},
                         {"code", "RATE_LIMITED"},
                         {"detail", "Request rate limit exceeded for plan."}}}});
        break;
    case Kind::Searxng:
        a.status = 429;
        a.contentType = "text/plain";
        a.body = "Too Many Requests";
        break;
    }
    a.retryAfter = std::to_string(std::max(0, retryAfterSec));
    return a;
}

std::optional<Answer> CProviderSim::Respond(const ProviderRequest& r) {
    const std::optional<Kind> kind = KindOf(r);
    if (!kind)
        return std::nullopt;
    int call = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        call = ++m_nCalls;
    }
    using H = ProviderOptions::Hostile;
    const H mode = m_options.hostile;
    if (mode == H::EchoKey || mode == H::EchoKeyLower || mode == H::EchoBasic)
        return Hostile(*kind, r);
    if (!KeyAccepted(*kind, r)) {
        switch (*kind) {
        case Kind::Serper:
            return Json(403, {{"message", "Unauthorized."}, {"statusCode", 403}});
        case Kind::SerpApi:
            return Json(401, {{"error", "Invalid API key. Your API key should be here: "
                                        "https://serpapi.com/manage-api-key"}});
        case Kind::DataForSeo:
            return Json(401, {{"version", "0.1.20241101"},
                              {"status_code", 40100},
                              {"status_message", "You are not authorized to access this "
                                                 "resource. Use your API login and password."},
                              {"time", "0 sec."},
                              {"cost", 0},
                              {"tasks_count", 0},
                              {"tasks_error", 0},
                              {"tasks", nullptr}});
        case Kind::Brave:
            return Json(401, {{"type", "ErrorResponse"},
                              {"error",
                               {{"id", "sim"},
                                {"status", 401},
                                {"code", "SUBSCRIPTION_TOKEN_INVALID"},
                                {"detail", "The provided subscription token is invalid."}}},
                              {"time", 0}});
        case Kind::Searxng:
            break;
        }
    }
    if (m_options.rateLimitEvery > 0 && call % m_options.rateLimitEvery == 0)
        return TooMany(*kind, m_options.retryAfterSec);
    if (m_options.quota >= 0 && call > m_options.quota) {
        // Each provider's answer once the account's searches or funds are used up; an instance
        // of one's own has no quota, only its limiter.
        switch (*kind) {
        case Kind::Serper:
            return Json(400, {{"message", "Not enough credits"}, {"statusCode", 400}});
        case Kind::SerpApi:
            return Json(429, {{"error", "Your account has run out of searches."}});
        case Kind::DataForSeo:
            return Json(402, {{"status_code", 40200}, {"status_message", "Payment Required."}});
        case Kind::Brave:
            return Json(429, {{"type", "ErrorResponse"},
                              {"error",
                               {{"status", 429},
                                {"code", "QUOTA_LIMITED"},
                                {"detail", "Request quota limit exceeded for plan."}}}});
        case Kind::Searxng:
            return TooMany(*kind, 0);
        }
    }
    if (mode != H::None && mode != H::Markup)
        return Hostile(*kind, r);
    switch (*kind) {
    case Kind::Serper:
        return Serper(r);
    case Kind::SerpApi:
        return SerpApi(r);
    case Kind::DataForSeo:
        return DataForSeo(r);
    case Kind::Brave:
        return Brave(r);
    case Kind::Searxng:
        return Searxng(r);
    }
    return std::nullopt;
}

Answer CProviderSim::Serper(const ProviderRequest& r) const {
    const json in = json::parse(r.body, nullptr, false);
    if (in.is_discarded() || !in.is_object() || !in.contains("q") || !in["q"].is_string())
        return Json(400, {{"message", "Missing query parameter q."}, {"statusCode", 400}});
    const std::string q = in["q"].get<std::string>();
    const int page = in.value("page", 1);
    const int num = std::clamp(in.value("num", 10), 1, 100);
    json organic = json::array();
    int position = 0;
    for (const std::string& url : Slice(Google, q, (page - 1) * num + 1, num)) {
        ++position;
        organic.push_back({{"title", Title(q)},
                           {"link", url},
                           {"snippet", "A page about the subject."},
                           {"position", position}});
    }
    json out = {{"searchParameters",
                 {{"q", q},
                  {"gl", in.value("gl", "us")},
                  {"hl", in.value("hl", "en")},
                  {"type", "search"},
                  {"page", page},
                  {"num", num},
                  {"engine", "google"}}},
                {"organic", organic},
                {"peopleAlsoAsk", json::array({{{"question", "What is " + q + "?"},
                                                {"snippet", "An answer."},
                                                {"link", "http://answers.example/what-is"}}})},
                {"relatedSearches", json::array({{{"query", q + " near me"}}})},
                {"credits", 1}};
    return Json(200, out);
}

Answer CProviderSim::SerpApi(const ProviderRequest& r) const {
    const std::string engine = StrParam(r.params, "engine");
    const int list = EngineList(engine);
    if (list < 0 || engine == "brave")
        return Json(400, {{"error", "Unsupported `" + engine + "` search engine."}});
    const bool yahoo = engine == "yahoo";
    const std::string q = StrParam(r.params, yahoo ? "p" : "q");
    if (q.empty())
        return Json(400, {{"error",
                           std::string("Missing query `") + (yahoo ? "p" : "q") + "` parameter."}});
    int from = 1;
    if (engine == "google" || engine == "duckduckgo")
        from = IntParam(r.params, "start", 0) + 1;
    else if (engine == "bing")
        from = IntParam(r.params, "first", 1);
    else
        from = IntParam(r.params, "b", 1);
    const int count = engine == "bing" ? std::clamp(IntParam(r.params, "count", 10), 1, 50) : 10;
    json meta = {{"id", "sim"}, {"status", "Success"}, {"total_time_taken", 0.5}};
    json params = {{"engine", engine}, {yahoo ? "p" : "q", q}};
    const std::vector<std::string> urls = Slice(list, q, from, count);
    if (urls.empty()) {
        static const std::map<std::string, std::string> names = {{"google", "Google"},
                                                                 {"bing", "Bing"},
                                                                 {"yahoo", "Yahoo"},
                                                                 {"duckduckgo", "DuckDuckGo"}};
        return Json(200,
                    {{"search_metadata", meta},
                     {"search_parameters", params},
                     {"error", names.at(engine) + " hasn't returned any results for this query."}});
    }
    json organic = json::array();
    int position = from - 1;
    for (const std::string& url : urls) {
        ++position;
        organic.push_back({{"position", position},
                           {"title", Title(q)},
                           {"link", url},
                           {"displayed_link", Domain(url)},
                           {"snippet", "A page about the subject."}});
    }
    return Json(200,
                {{"search_metadata", meta},
                 {"search_parameters", params},
                 {"ads", json::array({{{"position", 1},
                                       {"title", "Sponsored"},
                                       {"link", "http://ads.example/offer"}}})},
                 {"organic_results", organic},
                 {"related_questions", json::array({{{"question", "What is " + q + "?"},
                                                     {"link", "http://answers.example/what-is"}}})},
                 {"serpapi_pagination", {{"current", (from - 1) / 10 + 1}}}});
}

Answer CProviderSim::DataForSeo(const ProviderRequest& r) const {
    // /v3/serp/ENGINE/organic/live/regular
    const std::string engine = r.path.substr(9, r.path.find('/', 9) - 9);
    const int list = EngineList(engine);
    const json in = json::parse(r.body, nullptr, false);
    const auto taskError = [&](int code, const std::string& message) {
        return Json(200, {{"status_code", 20000},
                          {"status_message", "Ok."},
                          {"tasks_count", 1},
                          {"tasks_error", 1},
                          {"tasks", json::array({{{"id", "sim"},
                                                  {"status_code", code},
                                                  {"status_message", message},
                                                  {"result", nullptr}}})}});
    };
    if (list < 0 || engine == "duckduckgo" || engine == "brave")
        return Json(404, {{"status_code", 40400}, {"status_message", "Not Found."}});
    if (in.is_discarded() || !in.is_array() || in.empty() || !in[0].is_object())
        return Json(400, {{"status_code", 40000}, {"status_message", "Invalid POST data."}});
    const json& task = in[0];
    if (!task.contains("keyword") || !task["keyword"].is_string())
        return taskError(40503, "Invalid Field: 'keyword'.");
    const int depth = task.value("depth", 100);
    if (depth < 1 || depth > 200)
        return taskError(40501, "Invalid Field: 'depth'.");
    const std::string q = task["keyword"].get<std::string>();
    json items = json::array();
    items.push_back({{"type", "paid"},
                     {"rank_group", 1},
                     {"rank_absolute", 1},
                     {"domain", "ads.example"},
                     {"title", "Sponsored"},
                     {"url", "http://ads.example/offer"}});
    int n = 0;
    for (const std::string& url : Slice(list, q, 1, depth)) {
        ++n;
        items.push_back({{"type", "organic"},
                         {"rank_group", n},
                         {"rank_absolute", n + 1},
                         {"domain", Domain(url)},
                         {"title", Title(q)},
                         {"url", url},
                         {"description", "A page about the subject."}});
    }
    json result = {{"keyword", q},
                   {"type", "organic"},
                   {"se_domain", engine + ".com"},
                   {"location_code", task.value("location_code", 2840)},
                   {"language_code", task.value("language_code", "en")},
                   {"items_count", items.size()},
                   {"items", n == 0 ? json(nullptr) : items}};
    return Json(200, {{"version", "0.1.20241101"},
                      {"status_code", 20000},
                      {"status_message", "Ok."},
                      {"time", "0.5 sec."},
                      {"cost", 0.002},
                      {"tasks_count", 1},
                      {"tasks_error", 0},
                      {"tasks",
                       json::array({{{"id", "sim"},
                                     {"status_code", 20000},
                                     {"status_message", "Ok."},
                                     {"cost", 0.002},
                                     {"result_count", 1},
                                     {"path", {"v3", "serp", engine, "organic", "live", "regular"}},
                                     {"data", task},
                                     {"result", json::array({result})}}})}});
}

Answer CProviderSim::Brave(const ProviderRequest& r) const {
    const std::string q = StrParam(r.params, "q");
    const int count = IntParam(r.params, "count", 20);
    const int offset = IntParam(r.params, "offset", 0);
    if (q.empty() || count < 1 || count > 20 || offset < 0 || offset > 9)
        return Json(422, {{"type", "ErrorResponse"},
                          {"error",
                           {{"status", 422},
                            {"code", "VALIDATION"},
                            {"detail", "Unable to validate request parameter(s)"}}}});
    const std::vector<std::string> urls = Slice(kSimBrave, q, offset * count + 1, count);
    json out = {{"type", "search"},
                {"query", {{"original", q}, {"more_results_available", !urls.empty()}}},
                {"mixed", {{"type", "mixed"}, {"main", json::array()}}}};
    if (!urls.empty()) {
        json list = json::array();
        for (const std::string& url : urls)
            list.push_back({{"type", "search_result"},
                            {"title", Title(q)},
                            {"url", url},
                            {"description", "A page about the subject."}});
        out["web"] = {{"type", "search"}, {"results", list}, {"family_friendly", true}};
    }
    return Json(200, out);
}

Answer CProviderSim::Searxng(const ProviderRequest& r) const {
    if (StrParam(r.params, "format") != "json") {
        Answer a;
        a.status = 403;
        a.contentType = "text/html";
        a.body = "<html><body>Forbidden</body></html>";
        return a;
    }
    const std::string q = StrParam(r.params, "q");
    const std::string engine = StrParam(r.params, "engines").empty()
                                   ? std::string("google")
                                   : StrParam(r.params, "engines");
    const int page = std::max(1, IntParam(r.params, "pageno", 1));
    const int list = EngineList(engine);
    json results = json::array();
    json unresponsive = json::array();
    if (list < 0) {
        unresponsive.push_back({engine, "unknown engine"});
    } else {
        int position = 0;
        for (const std::string& url : Slice(list, q, (page - 1) * 10 + 1, 10))
            results.push_back({{"url", url},
                               {"title", Title(q)},
                               {"content", "A page about the subject."},
                               {"engine", engine},
                               {"engines", {engine}},
                               {"positions", {++position}},
                               {"score", 1.0 / position},
                               {"category", "general"}});
    }
    return Json(200, {{"query", q},
                      {"number_of_results", 0},
                      {"results", results},
                      {"answers", json::array()},
                      {"corrections", json::array()},
                      {"infoboxes", json::array()},
                      {"suggestions", json::array()},
                      {"unresponsive_engines", unresponsive}});
}

} // namespace sim
