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

// True when url and keywords may form an entry: a URL that is not empty and has no blank
// inside, keywords that are not empty and on one line (the data file keeps one line per
// field). Otherwise false, with the message the Add dialog shows in *message.
bool checkEntry(std::string_view url, std::string_view keywords, QString* message = nullptr);

// The URL half of checkEntry.
bool checkTargetUrl(std::string_view url, QString* message = nullptr);

} // namespace tw::exchange
