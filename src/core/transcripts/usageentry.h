#pragma once

#include "base/instant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class IsoDateParser;

// One assistant reply with token usage, read from one transcript line.
struct UsageEntry
{
    Instant timestamp;
    std::optional<std::string> model;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheCreationTokens = 0;
    std::int64_t cacheReadTokens = 0;
    std::optional<std::string> dedupKey;

    // The record of one line (without its terminator), or nothing when the line is not an
    // assistant reply with usage, is not well-formed JSON, or its timestamp is not accepted by
    // `isoFormatter`. Never reports why.
    static std::optional<UsageEntry> parse(std::string_view line,
                                           const IsoDateParser &isoFormatter);

    friend bool operator==(const UsageEntry &, const UsageEntry &) = default;
};
