#include "format/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// Like printf("%.Nf"), but always in the C locale.
std::string fixed(double value, int decimals)
{
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

} // namespace

std::string Format::trim(double value)
{
    if (value >= 100)
        return fixed(value, 0);
    if (value >= 10)
        return fixed(value, 1);
    return fixed(value, 2);
}

std::string Format::tokens(std::int64_t count)
{
    if (count >= 1'000'000'000)
        return trim(double(count) / 1e9) + "B";
    if (count >= 1'000'000)
        return trim(double(count) / 1e6) + "M";
    if (count >= 1'000)
        return trim(double(count) / 1000) + "K";
    return std::to_string(count);
}

std::string Format::cost(double dollars)
{
    std::string text = "$";
    text += fixed(dollars, dollars >= 100 || std::isnan(dollars) ? 0 : 2);
    return text;
}

std::string Format::percent(double utilization)
{
    const double shown = std::isnan(utilization) ? 0 : std::clamp(utilization, 0.0, 999.0);
    return fixed(shown, 0) + "%";
}

std::string Format::countdown(double seconds)
{
    if (std::isnan(seconds))
        return "0s";
    // Round half away from zero; anything past a century is shown as a century.
    const double r = std::round(std::clamp(seconds, -1.0, 3'155'760'000.0));
    const auto whole = std::int64_t(r);
    const std::int64_t s = std::max<std::int64_t>(whole, 0);
    if (whole >= 60)
        return std::to_string(s / 60) + "m " + std::to_string(s % 60) + "s";
    return std::to_string(s % 60) + "s";
}
