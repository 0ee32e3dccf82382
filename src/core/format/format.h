#pragma once

#include <cstdint>
#include <string>

// The text rules for every figure shown to the user. Locale-independent: the decimal point is
// always ".", whatever the user's locale says.
class Format
{
public:
    // 999, 1.23K, 12.3K, 123K, 1.00M, 2.50B
    static std::string tokens(std::int64_t count);
    // "$12.50" below 100 dollars, "$151" from 100 on
    static std::string cost(double dollars);
    // Whole percent of a utilisation clamped to 0…999: "42%"
    static std::string percent(double utilization);
    // "2m 5s", "45s"; negative or not-a-number durations give "0s"
    static std::string countdown(double seconds);

private:
    static std::string trim(double value);
};
