#include "base/QueryUrls.h"

#include "base/Engines.h"

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
    if (engines::Info(engine).position == engines::Position::Rank) {
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
    return engines::Info(engine).viewUrl(host, EncodeKeywords(keywords), positionValue);
}

} // namespace rank
