#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// US dollars per million tokens for one model tier.
struct PriceRow
{
    std::string_view key; // lower case; matched as a substring of the lower-cased model id
    double input;
    double output;
    double cacheWrite;
    double cacheRead;
};

// The fixed price table: the first row whose key occurs in the model id prices a reply.
namespace Pricing {

inline constexpr std::array<PriceRow, 3> table{{
    {"magnar", 15.0, 75.0, 18.75, 1.5},
    {"corvel", 3.0, 15.0, 3.75, 0.3},
    {"tindle", 1.0, 5.0, 1.25, 0.1},
}};

// The row that prices `model`, or nothing (absent or unpriced model: cost 0).
const PriceRow *rowFor(std::optional<std::string_view> model);

// Cost of the given counts at `row`'s prices; 0 without a row.
double cost(const PriceRow *row, std::int64_t input, std::int64_t output, std::int64_t cacheWrite,
            std::int64_t cacheRead);

double cost(std::optional<std::string_view> model, std::int64_t input, std::int64_t output,
            std::int64_t cacheWrite, std::int64_t cacheRead);

} // namespace Pricing
