#include "exchange/EntryCheck.h"

#include <algorithm>

namespace tw::exchange {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool checkTargetUrl(std::string_view url, QString* message, UrlRule rule) {
    const auto refused = [rule](char c) {
        return rule == UrlRule::NoBlanks ? isBlank(c) : c == ' ' || c == '\r' || c == '\n';
    };
    QString text;
    if (url.empty())
        text = QStringLiteral("Please enter a target URL to search for.");
    else if (std::any_of(url.begin(), url.end(), refused))
        text = QStringLiteral("Please enter a valid URL or part of a URL to search for."
                              "\n\nExample: example.com");
    if (message)
        *message = text;
    return text.isEmpty();
}

bool checkEntry(std::string_view url, std::string_view keywords, QString* message, UrlRule rule) {
    if (!checkTargetUrl(url, message, rule))
        return false;
    QString text;
    if (keywords.empty())
        text = QStringLiteral("Please enter target keywords to use for the search.");
    else if (keywords.find_first_of("\r\n") != std::string_view::npos)
        text = QStringLiteral("Please enter the target keywords on one line.");
    if (message)
        *message = text;
    return text.isEmpty();
}

} // namespace tw::exchange
