#include "base/isodate.h"

namespace {

bool digits(std::string_view s, std::size_t at, std::size_t count, int &out)
{
    if (at + count > s.size())
        return false;
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

} // namespace

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<Instant> IsoDateParser::parse(std::string_view s) const
{
    int year, month, day, hour, minute, second;
    if (!digits(s, 0, 4, year) || s.size() < 19 || s[4] != '-' || !digits(s, 5, 2, month) ||
        s[7] != '-' || !digits(s, 8, 2, day) || s[10] != 'T' || !digits(s, 11, 2, hour) ||
        s[13] != ':' || !digits(s, 14, 2, minute) || s[16] != ':' || !digits(s, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;

    std::size_t pos = 19;
    std::int64_t micros = 0;
    if (pos < s.size() && s[pos] == '.') {
        if (m_form == Form::WithoutFraction)
            return std::nullopt;
        ++pos;
        const std::size_t first = pos;
        std::int64_t scale = 100'000;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            // Digits past the sixth are validated but finer than an instant can hold.
            micros += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == first)
            return std::nullopt;
    } else if (m_form == Form::WithFraction) {
        return std::nullopt;
    }

    if (pos >= s.size())
        return std::nullopt;
    std::int64_t offsetSeconds = 0;
    if (s[pos] == 'Z') {
        ++pos;
    } else if (s[pos] == '+' || s[pos] == '-') {
        int oh, om;
        if (!digits(s, pos + 1, 2, oh) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
            !digits(s, pos + 4, 2, om) || oh > 23 || om > 59)
            return std::nullopt;
        offsetSeconds = (oh * 3600 + om * 60) * (s[pos] == '-' ? -1 : 1);
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != s.size())
        return std::nullopt;

    const std::int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const std::int64_t secs = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    // Years 1 to 9999 in UTC only: outside them an instant has no four-digit date-time to be
    // written back as (year 0 with a positive offset printed as "-001-12-31…").
    static const std::int64_t first = daysFromCivil(1, 1, 1) * 86400;
    static const std::int64_t end = daysFromCivil(10000, 1, 1) * 86400;
    if (secs < first || secs >= end)
        return std::nullopt;
    return Instant{secs * 1'000'000 + micros};
}

const IsoDateParser &IsoDateParser::withFraction()
{
    static constexpr IsoDateParser parser(Form::WithFraction);
    return parser;
}

const IsoDateParser &IsoDateParser::withoutFraction()
{
    static constexpr IsoDateParser parser(Form::WithoutFraction);
    return parser;
}
