#include "sim/EngineSim.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

const char* const kSyllables[] = {"ba", "ko", "mi", "ta", "ru", "ne", "so", "vi", "la", "po",
                                  "de", "fu", "gi", "ho", "ja", "ze", "wu", "ny", "qi", "xo"};
const char* const kPaths[] = {"",          "index.html",     "products/",
                              "about.htm", "shop/item.html", "info/page.html"};

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t Hash(const std::string& s, std::uint64_t seed) {
    std::uint64_t h = 1469598103934665603ULL ^ seed;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

// Text echoed into a page must not add markup of its own.
std::string Html(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string QueryValue(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_') {
            out += char(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

} // namespace

int IntParam(const Params& params, const char* key, int fallback) {
    const auto it = params.find(key);
    if (it == params.end())
        return fallback;
    try {
        return std::stoi(it->second);
    } catch (...) {
        return fallback;
    }
}

std::string StrParam(const Params& params, const char* key) {
    const auto it = params.find(key);
    return it == params.end() ? std::string() : it->second;
}

std::string NormaliseKeywords(const std::string& keywords) {
    std::string out;
    bool blank = false;
    for (char c : keywords) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out += ' ';
        blank = false;
        out += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    return out;
}

int EngineFromName(const std::string& name) {
    const std::string n = NormaliseKeywords(name);
    if (n == "google")
        return Google;
    if (n == "altavista")
        return AltaVista;
    if (n == "lycos")
        return Lycos;
    if (n == "looksmart")
        return LookSmart;
    if (n == "bing")
        return kSimBing;
    if (n == "yahoo")
        return kSimYahoo;
    if (n == "duckduckgo")
        return kSimDuckDuckGo;
    if (n == "brave")
        return kSimBrave;
    return -1;
}

// ---------------------------------------------------------------------------------------------

CResultModel::CResultModel(std::uint32_t seed, int totalResults)
    : m_seed(seed), m_nTotal(totalResults < 0 ? 0 : totalResults) {}

void CResultModel::AddPlant(int engine, int rank, const std::string& url,
                            const std::string& keywords) {
    Plant p;
    p.engine = engine;
    p.rank = rank;
    p.url = url.find("://") == std::string::npos ? "http://" + url : url;
    p.keywords = NormaliseKeywords(keywords);
    m_plants.push_back(std::move(p));
}

bool CResultModel::LoadPlants(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read plant file " + path;
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return ParsePlants(ss.str(), error);
}

bool CResultModel::ParsePlants(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string engine, rank, url;
        fields >> engine >> rank >> url;
        std::string keywords;
        std::getline(fields, keywords);
        keywords = Trim(keywords);
        const int e = engine == "*" ? -1 : EngineFromName(engine);
        int r = 0;
        try {
            r = std::stoi(rank);
        } catch (...) {
            r = 0;
        }
        if ((e < 0 && engine != "*") || r < 1 || url.empty() || keywords.empty()) {
            error = "plant line " + std::to_string(number) +
                    ": expected \"ENGINE RANK URL KEYWORDS...\"";
            return false;
        }
        AddPlant(e, r, url, keywords);
    }
    return true;
}

std::string CResultModel::ResultUrl(SearchEngine engine, const std::string& keywords, int n) const {
    if (n < 1 || n > m_nTotal)
        return {};
    const std::string norm = NormaliseKeywords(keywords);
    // The last matching plant wins, so a later line can override an earlier one.
    for (auto it = m_plants.rbegin(); it != m_plants.rend(); ++it) {
        if (it->rank == n && (it->engine < 0 || it->engine == engine) && it->keywords == norm)
            return it->url;
    }
    std::uint64_t h = Mix(Hash(norm, m_seed) ^ (std::uint64_t(engine) << 56) ^ std::uint64_t(n));
    std::string name;
    const int syllables = 2 + int(h % 3);
    for (int i = 0; i < syllables; ++i) {
        h = Mix(h);
        name += kSyllables[h % (sizeof kSyllables / sizeof *kSyllables)];
    }
    h = Mix(h);
    const char* path = kPaths[h % (sizeof kPaths / sizeof *kPaths)];
    return "http://www." + name + "-" + std::to_string(n) + ".example/" + path;
}

// ---------------------------------------------------------------------------------------------

std::string CEngineSim::GooglePage(const std::string& kw, int start) const {
    std::ostringstream o;
    const int total = m_model.TotalResults();
    if (start < 0)
        start = 0;
    const int last = std::min(total, start + kPerPage[Google]);
    o << "<html><head><title>Google Search: " << Html(kw) << "</title></head>\n"
      << "<body bgcolor=#ffffff><a href=http://www.google.com/><img src=/logo.gif "
         "alt=Google></a>\n"
      << "<a href=http://www.example-sponsor.example/>Sponsored link above the results</a>\n"
      << "<table width=100%><tr><td><font size=-1>Searched the web. Results <b>" << (start + 1)
      << "</b> - <b>" << last << "</b> of about <b>" << total << "</b>.</font></td></tr></table>\n";
    for (int n = start + 1; n <= last; ++n) {
        const std::string url = m_model.ResultUrl(Google, kw, n);
        o << "<p class=g><a href=" << url << ">Result " << n << "</a><br><font size=-1>A page "
          << "about the subject.<br><font color=#008000>" << Html(url)
          << " - 12k - </font><nobr><a href=/search?q=cache:k" << n << ":" << url << "+"
          << QueryValue(kw) << "&hl=en&ie=UTF-8>Cached</a> - <a href=/search?q=related:" << url
          << "&hl=en>Similar&nbsp;pages</a></nobr></font>\n";
        if (n % 3 == 0)
            o << "<br><font size=-1><a href=/url?sa=U&start=" << n << "&q=http://news.example/story"
              << n << ">News result</a></font>\n";
        if (n % 4 == 0)
            o << "<br><a href=http://groups.google.com/groups?q=" << QueryValue(kw)
              << ">Groups</a> <a href=http://www.google.com/swr?q=" << QueryValue(kw)
              << "&swrnum=" << n << ">More</a>\n";
    }
    o << "<br><center><a href=/search?q=" << QueryValue(kw) << "&hl=en&start=" << last
      << "&sa=N>Next</a></center>\n</body></html>\n";
    return o.str();
}

std::string CEngineSim::AltaVistaPage(const std::string& kw, int stq) const {
    std::ostringstream o;
    const int total = m_model.TotalResults();
    if (stq < 0)
        stq = 0;
    const int last = std::min(total, stq + kPerPage[AltaVista]);
    o << "<html><head><title>AltaVista - Web Results: " << Html(kw) << "</title></head>\n"
      << "<body><a href=\"http://www.altavista.com/\" onMouseOver=\"window.status="
         "'http://www.altavista.com/'; return true;\">AltaVista</a>\n"
      << "<font size=-1>AltaVista found " << total << " results</font><br>\n";
    for (int n = stq + 1; n <= last; ++n) {
        const std::string url = m_model.ResultUrl(AltaVista, kw, n);
        o << "<a class=res href=\"" << url << "\" onMouseOver=\"window.status='" << url
          << "'; return true;\" onMouseOut=\"window.status='';\">Result " << n << "</a><br>\n"
          << "<span class=s>A page about the subject.</span><br>\n";
        if (n % 3 == 0)
            o << "<a href=\"/sites/search/web?q=" << QueryValue(kw)
              << "&pg=q&rc=dmn\" onMouseOver=\"window.status='More pages from this site'; "
                 "return true;\">More pages from this site</a><br>\n";
    }
    o << "<a href=\"/sites/search/web?q=" << QueryValue(kw) << "&stq=" << last
      << "\">Next &gt;&gt;</a>\n</body></html>\n";
    return o.str();
}

std::string CEngineSim::LycosPage(const std::string& kw, int first) const {
    std::ostringstream o;
    const int total = m_model.TotalResults();
    if (first < 1)
        first = 1;
    const int last = std::min(total, first - 1 + kPerPage[Lycos]);
    o << "<html><head>\n<TITLE>Lycos Search Results: " << Html(kw) << "</TITLE>\n</head><body>\n"
      << "<font color=\"#999999\">Results " << first << " - " << last << "</font><br>\n<ol>\n";
    for (int n = first; n <= last; ++n) {
        const std::string url = m_model.ResultUrl(Lycos, kw, n);
        o << "<li><a href=\"http://click.lycos.com/director.asp?id=" << n
          << "&target=" << QueryValue(url) << "\">Result " << n
          << "</a><br>A page about the subject.<br><font color=\"#999999\">" << url
          << "</font></li>\n";
        if (n % 4 == 0)
            o << "<font color=\"#999999\">Related searches on Lycos</font><br>\n";
    }
    o << "</ol>\n<a href=\"/default.asp?query=" << QueryValue(kw) << "&first=" << (last + 1)
      << "&page=more\">Next</a>\n</body></html>\n";
    return o.str();
}

std::string CEngineSim::LookSmartPage(const std::string& kw, int skip) const {
    std::ostringstream o;
    const int total = m_model.TotalResults();
    if (skip < 0)
        skip = 0;
    const int last = std::min(total, skip + kPerPage[LookSmart]);
    o << "<html><head><title>LookSmart - Search Results: " << Html(kw) << "</title></head>\n"
      << "<body>\n"
      // Navigation: one line, so only its first anchor is counted by the scan.
      << "<a href=\"http://search.looksmart.com/\">LookSmart</a> | <a "
         "href=\"http://search.looksmart.com/help/\">Help</a>\n"
      << "<b>Results " << (skip + 1) << " - " << last << "</b><br>\n<ul>\n";
    for (int n = skip + 1; n <= last; ++n) {
        const std::string url = m_model.ResultUrl(LookSmart, kw, n);
        o << "<li><a href=\"" << url << "\">Result " << n << "</a> - A page about the "
          << "subject.<br>\n";
        if (n % 5 == 0)
            o << "<a href=\"/r_search?look=&key=" << QueryValue(kw) << "&related=" << n
              << "\">Related</a><br>\n";
    }
    o << "</ul>\n<a href=\"/r_search?look=&key=" << QueryValue(kw) << "&skip=" << last
      << "\">Next</a>\n</body></html>\n";
    return o.str();
}

std::string CEngineSim::UpgradePage() const {
    std::ostringstream o;
    o << "<html><head><title>Tallowick! upgrade</title></head><body>\n"
      << "<!-- UPGRADE Version -->\n"
      << m_strUpgradeVersion << "\n"
      << "<!-- UPGRADE Description -->\n"
      << "Tallowick! " << m_strUpgradeVersion << " is available.\n"
      << "It reads result pages faster.\n"
      << "<!-- END UPGRADE Description -->\n"
      << "<!-- UPGRADE Download Link -->\n"
      << "http://www.tallowick.example/download/tallowick-" << m_strUpgradeVersion << ".zip\n"
      << "</body></html>\n";
    return o.str();
}

int CEngineSim::EngineOfPath(const std::string& path) {
    if (path == "/search")
        return Google;
    if (path == "/sites/search/web")
        return AltaVista;
    if (path == "/default.asp")
        return Lycos;
    if (path == "/r_search")
        return LookSmart;
    return -1;
}

Answer CEngineSim::Respond(const std::string& path, const Params& params) const {
    Answer a;
    switch (EngineOfPath(path)) {
    case Google:
        a.body = GooglePage(StrParam(params, "q"), IntParam(params, "start", 0));
        return a;
    case AltaVista:
        a.body = AltaVistaPage(StrParam(params, "q"), IntParam(params, "stq", 0));
        return a;
    case Lycos:
        a.body = LycosPage(StrParam(params, "query"), IntParam(params, "first", 1));
        return a;
    case LookSmart:
        a.body = LookSmartPage(StrParam(params, "key"), IntParam(params, "skip", 0));
        return a;
    default:
        break;
    }
    if (path == "/tallowick_upgrade_check.html" && !m_strUpgradeVersion.empty()) {
        a.body = UpgradePage();
        return a;
    }
    a.status = 404;
    a.body = "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>\n";
    return a;
}

Answer CEngineSim::RespondTo(const std::string& target) const {
    const auto q = target.find('?');
    if (q == std::string::npos)
        return Respond(DecodeUrl(target, false), {});
    return Respond(DecodeUrl(target.substr(0, q), false), ParseQuery(target.substr(q + 1)));
}

std::string DecodeUrl(const std::string& s, bool plusAsSpace) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '%' && i + 2 < s.size() && std::isxdigit((unsigned char)s[i + 1]) &&
            std::isxdigit((unsigned char)s[i + 2])) {
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (c == '+' && plusAsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

Params ParseQuery(const std::string& query) {
    Params params;
    std::size_t from = 0;
    while (from <= query.size()) {
        auto amp = query.find('&', from);
        if (amp == std::string::npos)
            amp = query.size();
        const std::string pair = query.substr(from, amp - from);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            if (eq == std::string::npos)
                params.emplace(DecodeUrl(pair, true), std::string());
            else
                params.emplace(DecodeUrl(pair.substr(0, eq), true),
                               DecodeUrl(pair.substr(eq + 1), true));
        }
        from = amp + 1;
    }
    return params;
}

} // namespace sim
