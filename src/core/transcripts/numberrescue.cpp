#include "transcripts/numberrescue.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <locale.h>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the JSON number at the start of `s`, or 0 when the bytes there are not one.
// `integer` tells whether it has neither fraction nor exponent.
std::size_t numberLength(std::string_view s, bool &integer)
{
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        return i > from;
    };
    if (i < s.size() && s[i] == '-')
        ++i;
    if (i < s.size() && s[i] == '0')
        ++i;
    else if (!digits())
        return 0;
    integer = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        integer = false;
        if (!digits())
            return 0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        integer = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (!digits())
            return 0;
    }
    return i;
}

// Whether the parser holds this well-formed number: an integer within the signed range, or
// positive within the unsigned one; any other number unless it overflows a double.
bool holdable(std::string_view number, bool integer)
{
    if (integer) {
        const bool negative = number[0] == '-';
        const std::string_view digits = number.substr(negative ? 1 : 0);
        const std::string_view limit = negative ? "9223372036854775808" : "18446744073709551615";
        return digits.size() < limit.size() || (digits.size() == limit.size() && digits <= limit);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Out of range stands for an underflow too, which the parser holds as 0: only an
        // overflow (infinite in the C library's reading) is beyond it.
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        const std::string text(number);
        return cLocale != locale_t(nullptr) &&
               std::isfinite(strtod_l(text.c_str(), nullptr, cLocale));
    }
    return error == std::errc() && end == number.data() + number.size() && std::isfinite(value);
}

// Past the string whose opening quote is at `at`; the end of `s` when it is not closed.
std::size_t pastString(std::string_view s, std::size_t at)
{
    for (std::size_t i = at + 1; i < s.size(); ++i) {
        if (s[i] == '\\')
            ++i;
        else if (s[i] == '"')
            return i + 1;
    }
    return s.size();
}

} // namespace

namespace NumberRescue {

std::optional<std::string> withHoldableNumbers(std::string_view line)
{
    std::optional<std::string> out;
    std::size_t copied = 0; // bytes of `line` already in `out`
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (c == '"') {
            i = pastString(line, i);
            continue;
        }
        if (c != '-' && !isDigit(c)) {
            ++i;
            continue;
        }
        bool integer = true;
        std::size_t length = numberLength(line.substr(i), integer);
        if (length == 0) {
            // Not a number's shape: step over the run so its digits are not taken for one.
            while (i < line.size() && (line[i] == '-' || line[i] == '+' || line[i] == '.' ||
                                       line[i] == 'e' || line[i] == 'E' || isDigit(line[i])))
                ++i;
            continue;
        }
        const std::string_view number = line.substr(i, length);
        // A number run on by more number bytes ("01", "1.5.2") is malformed: left alone.
        const char next = i + length < line.size() ? line[i + length] : ' ';
        const bool runsOn = isDigit(next) || next == '.' || next == 'e' || next == 'E' ||
                            next == '-' || next == '+';
        if (!runsOn && !holdable(number, integer)) {
            if (!out)
                out.emplace().reserve(line.size());
            out->append(line.substr(copied, i - copied)).append("0.5");
            copied = i + length;
        }
        i += length;
    }
    if (out)
        out->append(line.substr(copied));
    return out;
}

} // namespace NumberRescue
