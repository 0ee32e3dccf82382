#include "transcripts/pricing.h"

#include <QString>

#include <algorithm>
#include <string>

namespace Pricing {

const PriceRow *rowFor(std::optional<std::string_view> model)
{
    if (!model)
        return nullptr;
    std::string lower;
    if (std::all_of(model->begin(), model->end(), [](char c) { return (c & 0x80) == 0; })) {
        lower.assign(*model);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    } else {
        // Full Unicode lower-casing for anything beyond ASCII.
        lower = QString::fromUtf8(model->data(), qsizetype(model->size())).toLower().toStdString();
    }
    for (const PriceRow &row : table) {
        if (lower.find(row.key) != std::string::npos)
            return &row;
    }
    return nullptr;
}

double cost(const PriceRow *row, std::int64_t input, std::int64_t output, std::int64_t cacheWrite,
            std::int64_t cacheRead)
{
    if (!row)
        return 0;
    // Each term divides before it multiplies, and the terms add left to right.
    return double(input) / 1'000'000 * row->input + double(output) / 1'000'000 * row->output +
           double(cacheWrite) / 1'000'000 * row->cacheWrite +
           double(cacheRead) / 1'000'000 * row->cacheRead;
}

double cost(std::optional<std::string_view> model, std::int64_t input, std::int64_t output,
            std::int64_t cacheWrite, std::int64_t cacheRead)
{
    return cost(rowFor(model), input, output, cacheWrite, cacheRead);
}

} // namespace Pricing
