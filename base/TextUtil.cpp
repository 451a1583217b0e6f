#include "base/TextUtil.h"

#include <climits>
#include <clocale>
#include <cstdlib>
#if !defined(_WIN32)
#include <locale.h>
#endif

namespace text {

std::string AsciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

int LeadingInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // keep going, but stay bounded
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double LeadingDouble(std::string_view s) {
    auto digit = [&](size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r')))
        ++i;
    const size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    bool any = false;
    for (; digit(i); ++i)
        any = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        for (; digit(i); ++i)
            any = true;
    }
    if (!any)
        return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t e = i + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-'))
            ++e;
        if (digit(e)) {
            while (digit(e))
                ++e;
            i = e;
        }
    }
    // strtod would also take hexadecimal, "inf" and "nan": it only sees the decimal text found
    // above, and needs it terminated.
    const std::string number(s.substr(start, i - start));
    // Numbers on pages always use a decimal point, whatever the user's locale says (the GUI
    // application takes the user's locale for the C library too), so read them in the C locale.
#if defined(_WIN32)
    static const _locale_t cLocale = _create_locale(LC_NUMERIC, "C");
    return _strtod_l(number.c_str(), nullptr, cLocale);
#else
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
#endif
}

namespace {
// The code points of two- and three-byte sequences that are shown escaped.
bool HiddenCodePoint(unsigned cp) {
    return (cp >= 0x80 && cp <= 0x9f) || cp == 0x61c || cp == 0x200e || cp == 0x200f ||
           (cp >= 0x2028 && cp <= 0x202e) || (cp >= 0x2066 && cp <= 0x2069);
}

void AppendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xf];
}
} // namespace

std::string ShowControls(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7f) {
            if (c == '\r')
                out += "\\r";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\t')
                out += "\\t";
            else
                AppendHex(out, "\\x", c, 2);
            ++i;
            continue;
        }
        // Only well-formed two- and three-byte sequences can be one of the hidden code points.
        auto cont = [&](std::size_t k) {
            return k < utf8.size() && (static_cast<unsigned char>(utf8[k]) & 0xc0) == 0x80;
        };
        unsigned cp = 0;
        std::size_t len = 0;
        if ((c & 0xe0) == 0xc0 && cont(i + 1)) {
            cp = (c & 0x1fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3fu);
            len = 2;
        } else if ((c & 0xf0) == 0xe0 && cont(i + 1) && cont(i + 2)) {
            cp = (c & 0x0fu) << 12 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3fu) << 6 |
                 (static_cast<unsigned char>(utf8[i + 2]) & 0x3fu);
            len = 3;
        }
        if (len > 0 && HiddenCodePoint(cp)) {
            AppendHex(out, "\\u", cp, 4);
            i += len;
            continue;
        }
        out += utf8[i];
        ++i;
    }
    return out;
}

} // namespace text
