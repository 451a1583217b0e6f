#pragma once
// Byte-string helpers shared by the parsers. Text is bytes: only ASCII letters change case, so
// positions in a changed copy match the text as read.

#include <string>
#include <string_view>

namespace text {

std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);
// Equal bytes, ASCII letters compared without case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The decimal number at the start of s, as the C library's atoi reads it: leading blanks
// skipped, an optional sign, digits up to the first other character; no digits give 0.
// Out-of-range values are clamped to the int range.
int LeadingInt(std::string_view s);

// The decimal number at the start of s: leading blanks skipped, an optional sign, digits with an
// optional decimal point and an optional exponent; reading stops at the first other character
// and no number gives 0. Only decimal digits count: "0x2" reads as 0, "inf" and "nan" as 0.
// Always read with a decimal point, whatever the user's locale.
double LeadingDouble(std::string_view s);

// UTF-8 text from a page, a provider, the data file or the history, made safe to show on screen
// or a terminal: every control character becomes a visible escape, so none can move the cursor,
// ring, start a terminal sequence, break a line or reverse the text around it. CR, LF and tab
// read "\r", "\n", "\t"; other C0 controls and DEL "\x1B"; C1 controls, the bidirectional
// marks, embeddings, overrides and isolates and the line and paragraph separators "\u202E".
// Everything else, bytes that are not UTF-8 included, is kept. Files keep the bytes as read.
std::string ShowControls(std::string_view utf8);

} // namespace text
