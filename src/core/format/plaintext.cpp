#include "format/plaintext.h"

#include <algorithm>
#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at the front of `s`, or 0; its code point in
// `cp`.
std::size_t sequenceLength(std::string_view s, unsigned &cp)
{
    const auto b = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(0);
    std::size_t n = 0;
    unsigned min = 0;
    cp = lead;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        n = 2, min = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        n = 3, min = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        n = 4, min = 0x10000;
    else
        return 0;
    if (s.size() < n)
        return 0;
    cp = lead & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return n;
}

// Marks and overrides that reorder the text around them: a name holding U+202E would print
// what follows it backwards, and could disguise another column.
bool isBidiControl(unsigned cp)
{
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

} // namespace

namespace PlainText {

std::size_t width(std::string_view s)
{
    return std::size_t(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string padRight(std::string s, std::size_t columns)
{
    const std::size_t length = width(s);
    if (length < columns)
        s.append(columns - length, ' ');
    return s;
}

std::string padLeft(std::string s, std::size_t columns)
{
    const std::size_t length = width(s);
    return length < columns ? std::string(columns - length, ' ') + s : s;
}

std::string visible(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    char escaped[16];
    while (!s.empty()) {
        unsigned cp = 0;
        const std::size_t n = sequenceLength(s, cp);
        if (n == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            s.remove_prefix(1);
            continue;
        }
        if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", cp);
            out += escaped;
        } else if ((cp >= 0x80 && cp < 0xA0) || isBidiControl(cp)) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", cp);
            out += escaped;
        } else {
            out.append(s.substr(0, n));
        }
        s.remove_prefix(n);
    }
    return out;
}

} // namespace PlainText
