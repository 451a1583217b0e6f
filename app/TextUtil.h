#pragma once
// Byte-string helpers shared by the parsers. Text is bytes: only ASCII letters change case, so
// positions in a changed copy match the text as read.

#include <string>
#include <string_view>

namespace text {

std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);

// The decimal number at the start of s, as the C library's atoi reads it: leading blanks
// skipped, an optional sign, digits up to the first other character; no digits give 0.
// Out-of-range values are clamped to the int range.
int LeadingInt(std::string_view s);

// The floating number at the start of s, as strtod reads it (leading blanks, sign, digits,
// decimal point, exponent); no number gives 0.
double LeadingDouble(std::string_view s);

} // namespace text
