#pragma once
// What an entry's target URL and keywords must be before they go into the list, shared by
// every way entries come in (the Add dialog's rule; imports apply it to each line). Free of
// widgets.

#include <QString>

#include <string>
#include <string_view>

namespace tw::exchange {

// Space, tab, line breaks, vertical tab and form feed.
bool isBlank(char c);

// s without blanks at either end.
std::string_view trimBlanks(std::string_view s);

// What inside a target URL refuses it. A file's URL is refused for any blank (a tab there is a
// column gone wrong). A typed one only for a space or a line break: the Add dialog has always
// taken tabs and the like, and lists hold such entries; a line break would split the entry's
// line in the data file.
enum class UrlRule { NoBlanks, NoSpaces };

// True when url and keywords may form an entry: a URL that is not empty and has no blank
// inside (as rule says), keywords that are not empty and on one line (the data file keeps one
// line per field). Otherwise false, with the message the Add dialog shows in *message.
bool checkEntry(std::string_view url, std::string_view keywords, QString* message = nullptr,
                UrlRule rule = UrlRule::NoBlanks);

// The URL half of checkEntry.
bool checkTargetUrl(std::string_view url, QString* message = nullptr,
                    UrlRule rule = UrlRule::NoBlanks);

} // namespace tw::exchange
