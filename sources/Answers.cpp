// Reading the providers' answers. The JSON is read as a stream of events, keeping only the few
// values each provider's reader looks at: no document is built, which halves the time of a
// 100-result answer, and nesting is bounded as it is met.

#include "sources/Providers.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

namespace tw::sources {

namespace {

using json = nlohmann::json;

// Deeper than any result format: such an answer is not the provider's.
constexpr std::size_t kMaxNesting = 64;

bool isHttpUrl(std::string_view url) {
    if (url.size() < 8)
        return false;
    std::string head(url.substr(0, 8));
    for (char& c : head) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return head.starts_with("http://") || head == "https://";
}

// What to keep of an answer: the addresses in one list of objects, and values at a few paths.
// Paths are "/key/0/key" from the top (array elements by their index).
struct Wanted {
    std::string list;                // the list of result objects, e.g. "/organic"
    const char* urlField;            // the address field in each, e.g. "link"
    const char* onlyType;            // when set, only objects whose "type" is this count
    std::vector<std::string> values; // scalar paths to keep (strings, integers, null)
    std::string pairs;               // a list of [name, reason] lists, e.g. "/unresponsive_engines"
    // When set, a result naming its engines ("engine", "engines") counts only when one of them
    // is this; the others are counted in otherEngines.
    const char* askedEngine = nullptr;
};

class Collector : public nlohmann::json_sax<json> {
public:
    explicit Collector(const Wanted& wanted) : m_wanted(wanted) {
        const auto depth = [](const std::string& p) {
            return std::size_t(std::count(p.begin(), p.end(), '/'));
        };
        for (const std::string& p : wanted.values)
            m_forgetDepth = std::max(m_forgetDepth, depth(p));
        m_forgetDepth = std::max({m_forgetDepth, depth(wanted.list), depth(wanted.pairs)});
    }

    std::vector<std::string> urls;
    std::map<std::string, std::string> values; // null kept as "\x01null"
    std::vector<std::pair<std::string, std::string>> pairs;
    int otherEngines = 0; // results of engines other than the asked one
    bool listSeen = false;
    bool topIsObject = false;
    std::vector<std::string> topKeys;

    bool null() override { return scalar("\x01null"); }
    bool boolean(bool) override { return scalar({}, false); }
    bool number_integer(number_integer_t v) override { return scalar(std::to_string(v)); }
    bool number_unsigned(number_unsigned_t v) override { return scalar(std::to_string(v)); }
    bool number_float(number_float_t, const string_t&) override { return scalar({}, false); }
    bool binary(binary_t&) override { return scalar({}, false); }
    bool string(string_t& v) override {
        if (m_itemDepth && m_stack.size() == m_itemDepth) {
            if (m_key == m_wanted.urlField)
                m_itemUrl = std::move(v);
            else if (m_key == "type")
                m_itemType = std::move(v);
            else if (m_wanted.askedEngine && m_key == "engine")
                noteEngine(v);
            return next();
        }
        if (m_itemDepth && m_wanted.askedEngine && m_stack.size() == m_itemDepth + 1 &&
            m_stack.back().array && m_key == "engines") {
            noteEngine(v);
            return next();
        }
        if (m_pairsDepth && m_stack.size() == m_pairsDepth + 1 && m_stack.back().array) {
            if (m_stack.back().index == 0)
                pairs.emplace_back(std::move(v), std::string());
            else if (m_stack.back().index == 1 && !pairs.empty())
                pairs.back().second = std::move(v);
            return next();
        }
        return scalar(std::move(v));
    }
    bool key(string_t& k) override {
        m_key = std::move(k);
        if (m_stack.size() == 1 && topKeys.size() < 64)
            topKeys.push_back(m_key);
        return true;
    }
    bool start_object(std::size_t) override { return open(false); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_object() override {
        if (m_itemDepth && m_stack.size() == m_itemDepth) {
            if ((!m_wanted.onlyType || m_itemType == m_wanted.onlyType) && isHttpUrl(m_itemUrl)) {
                if (m_itemNamesEngine && !m_itemOfAsked)
                    ++otherEngines;
                else
                    urls.push_back(std::move(m_itemUrl));
            }
            m_itemDepth = 0;
        }
        return close();
    }
    bool end_array() override {
        if (m_pairsDepth && m_stack.size() == m_pairsDepth)
            m_pairsDepth = 0;
        return close();
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    struct Frame {
        bool array;
        int index;
        std::size_t pathLength;
    };

    // The path of the value now met.
    std::string valuePath() const {
        if (m_stack.empty())
            return {};
        const Frame& f = m_stack.back();
        return m_path + "/" + (f.array ? std::to_string(f.index) : m_key);
    }
    bool next() {
        if (!m_stack.empty() && m_stack.back().array)
            ++m_stack.back().index;
        return true;
    }
    bool scalar(std::string v, bool keep = true) {
        if (m_itemDepth && m_stack.size() == m_itemDepth) {
            // A result's address or type given again, as something else: the last one counts.
            if (m_key == m_wanted.urlField)
                m_itemUrl.clear();
            else if (m_key == "type")
                m_itemType.clear();
        }
        // Most values lie deeper than any path kept or forgotten: their path is never built.
        if (m_stack.size() <= m_forgetDepth) {
            const std::string path = valuePath();
            forget(path);
            if (keep) {
                for (const std::string& p : m_wanted.values) {
                    if (p == path) {
                        values[path] = std::move(v);
                        break;
                    }
                }
            }
        }
        return next();
    }
    // What an object key given a second time held before: its last value is the one that
    // counts. Array elements have paths of their own, so only a doubled key meets one again.
    void forget(const std::string& path) {
        const auto under = [&](const std::string& p) {
            return p.size() >= path.size() && p.compare(0, path.size(), path) == 0 &&
                   (p.size() == path.size() || p[path.size()] == '/');
        };
        for (auto it = values.lower_bound(path);
             it != values.end() && it->first.compare(0, path.size(), path) == 0;)
            it = under(it->first) ? values.erase(it) : std::next(it);
        if (listSeen && under(m_wanted.list)) {
            urls.clear();
            listSeen = false;
        }
        if (!m_wanted.pairs.empty() && under(m_wanted.pairs))
            pairs.clear();
    }
    bool open(bool array) {
        if (m_stack.size() >= kMaxNesting)
            return false;
        if (m_itemDepth && m_stack.size() == m_itemDepth) {
            if (m_key == m_wanted.urlField)
                m_itemUrl.clear();
            else if (m_key == "type")
                m_itemType.clear();
        }
        const std::string path = valuePath();
        forget(path);
        const bool inList = !m_stack.empty() && m_stack.back().array && m_path == m_wanted.list;
        next();
        if (m_stack.empty())
            topIsObject = !array;
        m_stack.push_back({array, 0, m_path.size()});
        m_path = path;
        if (array && path == m_wanted.list)
            listSeen = true;
        if (array && !m_wanted.pairs.empty() && path == m_wanted.pairs)
            m_pairsDepth = m_stack.size();
        if (!array && inList && !m_itemDepth) {
            m_itemDepth = m_stack.size();
            m_itemUrl.clear();
            m_itemType.clear();
            m_itemNamesEngine = m_itemOfAsked = false;
        }
        return true;
    }
    void noteEngine(const std::string& engine) {
        m_itemNamesEngine = true;
        if (engine == m_wanted.askedEngine)
            m_itemOfAsked = true;
    }
    bool close() {
        if (m_stack.empty())
            return false;
        m_path.resize(m_stack.back().pathLength);
        m_stack.pop_back();
        return true;
    }

    const Wanted& m_wanted;
    std::vector<Frame> m_stack;
    std::string m_path; // of the innermost open container
    std::string m_key;
    std::size_t m_itemDepth = 0; // stack size inside a result object; 0 outside
    std::size_t m_pairsDepth = 0;
    std::size_t m_forgetDepth = 0; // the deepest path kept (a value, the list, the pairs)
    std::string m_itemUrl;
    std::string m_itemType;
    bool m_itemNamesEngine = false;
    bool m_itemOfAsked = false;
};

// Reads body with wanted; false when it is not JSON (or too large, or too deep).
bool collect(std::string_view body, Collector& c) {
    if (body.size() > kMaxAnswerBytes)
        return false;
    try {
        return json::sax_parse(body.begin(), body.end(), &c, nlohmann::detail::input_format_t::json,
                               true);
    } catch (const std::exception&) {
        return false;
    }
}

// How messages name the server: the address asked when it was not the documented one.
std::string site(const Source& s, const AskedFor& asked) {
    return asked.host.empty() ? std::string(providerSite(s.provider)) : asked.host;
}

PageAnswer failure(AnswerKind kind, std::string message) {
    PageAnswer a;
    a.kind = kind;
    a.error = std::move(message);
    return a;
}

// The provider's words as sent: they are cut only once keys are out (providerMessage).
PageAnswer providerError(const std::string& where, const std::string& message) {
    return failure(AnswerKind::ProviderError, where + " answered: " + message);
}

PageAnswer badFormat(const std::string& where) {
    return failure(AnswerKind::BadFormat,
                   where + " answered something that is not its result format");
}

PageAnswer results(std::vector<std::string> urls = {}) {
    PageAnswer a;
    a.kind = AnswerKind::Results;
    a.urls = std::move(urls);
    return a;
}

std::string value(const Collector& c, const std::string& path) {
    const auto it = c.values.find(path);
    return it == c.values.end() || it->second == "\x01null" ? std::string() : it->second;
}

bool has(const Collector& c, const char* key) {
    return std::find(c.topKeys.begin(), c.topKeys.end(), key) != c.topKeys.end();
}

Wanted wantedFor(const Source& s) {
    // The error texts any provider may send, read from every answer.
    std::vector<std::string> common = {"/message",       "/error",           "/status_message",
                                       "/error/detail",  "/error/code",      "/type",
                                       "/error/message", "/errors/0/detail", "/errors/0/message",
                                       "/errors/0/msg",  "/errors/0/code"};
    switch (s.provider) {
    case Provider::Serper:
        common.push_back("/searchParameters/q");
        return {"/organic", "link", nullptr, common, {}};
    case Provider::SerpApi:
        common.insert(common.end(), {"/search_parameters/q", "/search_parameters/p"});
        return {"/organic_results", "link", nullptr, common, {}};
    case Provider::DataForSeo:
        common.insert(common.end(), {"/status_code", "/tasks/0/status_code",
                                     "/tasks/0/status_message", "/tasks/0/result"});
        return {"/tasks/0/result/0/items", "url", "organic", common, {}};
    case Provider::Brave:
        return {"/web/results", "url", nullptr, common, {}};
    case Provider::Searxng:
        return {"/results", "url", nullptr, common, "/unresponsive_engines", s.engine.c_str()};
    case Provider::Classic:
        break;
    }
    return {"", "", nullptr, common, {}};
}

// Brave's words in any of its error shapes: {"error": {"detail"|"message"}}, {"error": "..."},
// {"errors": [{"detail"|"message"|"msg"}]}, or the code alone.
std::string braveMessage(const Collector& c) {
    for (const char* path :
         {"/error/detail", "/error/message", "/errors/0/detail", "/errors/0/message",
          "/errors/0/msg", "/error", "/message", "/error/code", "/errors/0/code"}) {
        if (std::string m = value(c, path); !m.empty())
            return m;
    }
    return {};
}

bool braveError(const Collector& c) {
    return value(c, "/type") == "ErrorResponse" || has(c, "error") || has(c, "errors");
}

PageAnswer readBraveError(const std::string& where, const Collector& c, long status) {
    std::string code = value(c, "/error/code");
    if (code.empty())
        code = value(c, "/errors/0/code");
    if (code.find("TOKEN") != std::string::npos)
        return failure(AnswerKind::KeyRefused, "the key was refused by " + where);
    const std::string message = braveMessage(c);
    if (code.find("QUOTA") != std::string::npos)
        return failure(AnswerKind::QuotaUsed, where + " answered: " + message);
    if (code.find("RATE_LIMIT") != std::string::npos)
        return failure(AnswerKind::RateLimited, "quota or rate limit reached at " + where);
    if (message.empty())
        return failure(AnswerKind::HttpError,
                       where + " answered HTTP " + std::to_string(status) + " without a reason");
    return providerError(where, message);
}

// Blanks trimmed and runs of blanks as one, ASCII letters in lower case: how a query is
// compared with its echo.
std::string comparable(std::string_view query) {
    std::string out;
    for (char c : query) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// Whether the answer says it is for another query than the one asked. An answer without the
// echo is taken as it is.
bool forAnotherQuery(const Collector& c, const AskedFor& asked, const char* path) {
    if (asked.keywords.empty())
        return false;
    const auto it = c.values.find(path);
    return it != c.values.end() && it->second != "\x01null" &&
           comparable(it->second) != comparable(asked.keywords);
}

PageAnswer otherQuery(const std::string& where) {
    return failure(AnswerKind::ProviderError, where + " answered for another query");
}

PageAnswer readResults(const Source& s, const std::string& where, const AskedFor& asked,
                       Collector& c) {
    switch (s.provider) {
    case Provider::Serper:
        if (forAnotherQuery(c, asked, "/searchParameters/q"))
            return otherQuery(where);
        if (c.listSeen)
            return results(std::move(c.urls));
        if (const std::string m = value(c, "/message"); !m.empty())
            return providerError(where, m);
        return has(c, "searchParameters") ? results() : badFormat(where);
    case Provider::SerpApi:
        if (forAnotherQuery(c, asked,
                            s.engine == "yahoo" ? "/search_parameters/p" : "/search_parameters/q"))
            return otherQuery(where);
        if (const std::string e = value(c, "/error"); !e.empty()) {
            // Past the last result the service says so as an error; that is the end of the list.
            if (e.find("hasn't returned any results") != std::string::npos)
                return results();
            return providerError(where, e);
        }
        if (c.listSeen || has(c, "search_metadata"))
            return results(std::move(c.urls));
        return badFormat(where);
    case Provider::DataForSeo: {
        const std::string top = value(c, "/status_code");
        if (top.empty())
            return badFormat(where);
        if (top != "20000")
            return providerError(where, value(c, "/status_message"));
        const std::string task = value(c, "/tasks/0/status_code");
        if (task.empty())
            return badFormat(where);
        // "No Search Results.": the engine has no result for the keywords, a definite answer.
        if (task == "40102")
            return results();
        if (task != "20000")
            return providerError(where, value(c, "/tasks/0/status_message"));
        return results(std::move(c.urls));
    }
    case Provider::Brave: {
        const std::string type = value(c, "/type");
        if (type == "search")
            return results(std::move(c.urls));
        return braveError(c) ? readBraveError(where, c, 200) : badFormat(where);
    }
    case Provider::Searxng:
        if (!c.listSeen)
            return badFormat(where);
        // An engine the instance does not have (or has switched off) is silently replaced by
        // its default engines: their results are not the asked engine's.
        if (c.urls.empty() && c.otherEngines > 0)
            return failure(AnswerKind::ProviderError, "the SearXNG instance has no engine " +
                                                          s.engine +
                                                          " (enable it in settings.yml)");
        if (c.urls.empty()) {
            // An engine the instance could not ask is a failure, not an empty result list.
            for (const auto& [engine, reason] : c.pairs) {
                if (engine == s.engine)
                    return providerError(where,
                                         "the engine " + engine + " did not answer: " + reason);
            }
        }
        return results(std::move(c.urls));
    case Provider::Classic:
        break;
    }
    return badFormat(where);
}

PageAnswer readAnswerOf(const Source& source, long status, std::string_view body,
                        const AskedFor& asked) {
    const std::string where = site(source, asked);
    if (source.provider == Provider::Searxng && status == 403)
        return failure(AnswerKind::KeyRefused,
                       "the SearXNG instance does not answer in JSON: enable json under search: "
                       "formats in the instance's settings.yml");
    if (status == 401 || status == 403) {
        return failure(AnswerKind::KeyRefused, source.provider == Provider::DataForSeo
                                                   ? "the login or password was refused by " + where
                                                   : "the key was refused by " + where);
    }
    const Wanted wanted = wantedFor(source);
    Collector c(wanted);
    const bool parsed = collect(body, c) && c.topIsObject;
    // A billing refusal: asking again only costs time.
    if (status == 402) {
        if (source.provider == Provider::DataForSeo)
            return failure(AnswerKind::QuotaUsed, "the DataForSEO account has no funds");
        const std::string m = parsed ? value(c, "/message") : std::string();
        return failure(AnswerKind::QuotaUsed,
                       m.empty() ? "the " + where + " account has no credits left (HTTP 402)"
                                 : where + " answered: " + m);
    }
    if (status == 429) {
        // SerpApi says "too many" for a used-up plan too; only its words tell them apart.
        if (parsed && source.provider == Provider::SerpApi) {
            if (const std::string e = value(c, "/error");
                e.find("run out of searches") != std::string::npos)
                return failure(AnswerKind::QuotaUsed, where + " answered: " + e);
        }
        if (parsed && source.provider == Provider::Brave &&
            (value(c, "/error/code") + value(c, "/errors/0/code")).find("QUOTA") !=
                std::string::npos)
            return readBraveError(where, c, status);
        return failure(AnswerKind::RateLimited, "quota or rate limit reached at " + where);
    }
    if (source.provider == Provider::Serper && parsed) {
        // Serper's answer to a call with no credits left.
        if (const std::string m = value(c, "/message");
            m.find("Not enough credits") != std::string::npos)
            return failure(AnswerKind::QuotaUsed, where + " answered: " + m);
    }
    if (status < 200 || status > 299) {
        // The provider's words when its error answer carries them.
        if (parsed && status < 500) {
            if (source.provider == Provider::Brave && braveError(c))
                return readBraveError(where, c, status);
            for (const char* path : {"/message", "/error", "/status_message", "/error/detail"}) {
                if (const std::string m = value(c, path); !m.empty())
                    return providerError(where, m);
            }
        }
        return failure(AnswerKind::HttpError, where + " answered HTTP " + std::to_string(status));
    }
    if (body.size() > kMaxAnswerBytes)
        return failure(AnswerKind::BadFormat, where + " sent an answer larger than " +
                                                  std::to_string(kMaxAnswerBytes >> 20) + " MiB");
    if (!parsed)
        return badFormat(where);
    return readResults(source, where, asked, c);
}

} // namespace

PageAnswer readAnswer(const Source& source, long status, std::string_view body,
                      const AskedFor& asked) {
    PageAnswer a = readAnswerOf(source, status, body, asked);
    a.status = status;
    return a;
}

} // namespace tw::sources
