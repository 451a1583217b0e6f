#include "base/QueryUrls.h"

#include "base/Engines.h"
#include "base/TextUtil.h"

#include <algorithm>

namespace rank {

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
    return engines::Info(engine).pageUrl(host, EncodeKeywords(keywords), pageIndex, counted);
}

std::string PositionValue(SearchEngine engine, const std::string& text) {
    // A slot asking another engine counts its ranks in pages of ten: its page is the position.
    if (engines::Info(engine).position == engines::Position::Rank &&
        engines::SlotEngine(engine).empty()) {
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
    if (const std::string other = engines::SlotEngine(engine); !other.empty()) {
        const int page = text::LeadingInt(positionValue);
        return PublicResultUrl(other, keywords, std::clamp(page, 1, 1000));
    }
    return engines::Info(engine).viewUrl(host, EncodeKeywords(keywords), positionValue);
}

std::string PublicResultUrl(std::string_view engine, const std::string& keywords, int page) {
    const std::string kw = EncodeKeywords(keywords);
    const int p = std::max(1, page);
    if (engine == "google")
        return "https://www.google.com/search?q=" + kw + "&start=" + std::to_string((p - 1) * 10);
    if (engine == "bing")
        return "https://www.bing.com/search?q=" + kw + "&first=" + std::to_string((p - 1) * 10 + 1);
    if (engine == "yahoo")
        return "https://search.yahoo.com/search?p=" + kw + "&b=" + std::to_string((p - 1) * 10 + 1);
    if (engine == "duckduckgo")
        return "https://duckduckgo.com/?q=" + kw; // one page that grows as it is scrolled
    if (engine == "brave")
        return "https://search.brave.com/search?q=" + kw + "&offset=" + std::to_string(p - 1);
    return {};
}

} // namespace rank
