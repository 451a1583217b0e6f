#include "rank/QueryUrls.h"

#include "app/TextUtil.h"

namespace rank {

namespace {

const char* const kGoogleTail = "&hl=en&lr=&ie=UTF-8&oe=UTF-8";
const char* const kAltaVistaTail = "&pg=q&avkw=qtrp&kl=XX";
const char* const kLycosMoreTail =
    "&page=more&ca=w&cl=fw&sv=3:a;d:0;9:0;d:0;9:0;6:b99eed;9:0;&gi=0";
const char* const kLookSmartTail = "&se=4,1,109,0&search=us302562;local_US";

std::string FirstPageUrl(SearchEngine engine, const std::string& host, const std::string& kw) {
    switch (engine) {
    case Google:
        return "http://" + host + "/search?q=" + kw + kGoogleTail;
    case AltaVista:
        return "http://" + host + "/sites/search/web?q=" + kw + kAltaVistaTail;
    case Lycos:
        return "http://" + host + "/default.asp?lpv=1&loc=searchhp&tab=web&query=" + kw;
    case LookSmart:
        return "http://" + host + "/r_search?look=&key=" + kw;
    }
    return {};
}

} // namespace

std::string EncodeKeywords(const std::string& keywords) {
    std::string out;
    out.reserve(keywords.size());
    for (char c : keywords) {
        switch (c) {
        case '%':
            out += "%25";
            break;
        case '&':
            out += "%26";
            break;
        case '#':
            out += "%23";
            break;
        case '+':
            out += "%2B";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ScanQueryUrl(SearchEngine engine, const std::string& host, const std::string& keywords,
                         int pageIndex, int counted) {
    const std::string kw = EncodeKeywords(keywords);
    if (pageIndex < 1)
        return FirstPageUrl(engine, host, kw);
    switch (engine) {
    case Google:
        return FirstPageUrl(engine, host, kw) + "&start=" + std::to_string(pageIndex * 10) +
               "&sa=N";
    case AltaVista:
        return FirstPageUrl(engine, host, kw) + "&stq=" + std::to_string(pageIndex * 10);
    case Lycos:
        // Lycos pages on from the last counted result, not by a fixed page size.
        return "http://" + host + "/default.asp?query=" + kw +
               "&first=" + std::to_string(counted + 1) + kLycosMoreTail;
    case LookSmart:
        return FirstPageUrl(engine, host, kw) + "&skip=" + std::to_string(pageIndex * 15) +
               kLookSmartTail;
    }
    return {};
}

std::string PositionValue(SearchEngine engine, const std::string& text) {
    if (engine == Lycos) {
        const auto rank = text.find("Rank");
        if (rank == std::string::npos)
            return text;
        const auto from = rank + 5;
        if (from >= text.size())
            return {};
        const auto slash = text.find(" /");
        if (slash == std::string::npos)
            return text.substr(from);
        return slash > from ? text.substr(from, slash - from) : std::string();
    }
    const auto page = text.find("Page");
    if (page == std::string::npos)
        return text;
    const auto from = page + 5;
    return from < text.size() ? text.substr(from) : std::string();
}

bool IsUsablePosition(const std::string& value) {
    // "error" is no position either: the engine could not be asked.
    return !value.empty() && value != "-" && value != "not found" && value != "error";
}

std::string ViewPageUrl(SearchEngine engine, const std::string& host, const std::string& keywords,
                        const std::string& positionValue) {
    const std::string kw = EncodeKeywords(keywords);
    const long long p = text::LeadingInt(positionValue);
    const std::string offset10 = std::to_string(p > 1 ? (p - 1) * 10 : 0);
    switch (engine) {
    case Google:
        return FirstPageUrl(engine, host, kw) + "&start=" + offset10 + "&sa=N";
    case AltaVista:
        return FirstPageUrl(engine, host, kw) + "&stq=" + offset10;
    case Lycos:
        if (p > 10)
            return FirstPageUrl(engine, host, kw) + "&first=" + EncodeKeywords(positionValue) +
                   "&page=more";
        return FirstPageUrl(engine, host, kw);
    case LookSmart:
        if (p > 1)
            return FirstPageUrl(engine, host, kw) + "&skip=" + std::to_string((p - 1) * 15) +
                   kLookSmartTail;
        return FirstPageUrl(engine, host, kw);
    }
    return {};
}

} // namespace rank
