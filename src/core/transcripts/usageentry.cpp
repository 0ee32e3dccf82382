#include "transcripts/usageentry.h"

#include "base/isodate.h"
#include "transcripts/numberrescue.h"
#include "transcripts/transcriptlinepeek.h"
#include "transcripts/usagelineparser.h"

#include <simdjson.h>

#include <array>
#include <cmath>

namespace {

using simdjson::dom::element;
using simdjson::dom::object;

// The exact integer value of a JSON number, or 0: 12.0 gives 12, 12.5, "12", null, a missing
// key and anything outside the signed 64-bit range give 0.
std::int64_t exactCount(const object &usage, std::string_view key)
{
    element value;
    if (usage.at_key(key).get(value))
        return 0;
    switch (value.type()) {
    case simdjson::dom::element_type::INT64:
        return value.get_int64().value_unsafe();
    case simdjson::dom::element_type::DOUBLE: {
        const double d = value.get_double().value_unsafe();
        // 2^63 is the first double past the range; every double below it that has no
        // fraction converts exactly.
        if (std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return static_cast<std::int64_t>(d);
        return 0;
    }
    default: // UINT64 above the signed range, strings, booleans, null, containers
        return 0;
    }
}

std::optional<std::string_view> stringAt(const object &obj, std::string_view key)
{
    std::string_view s;
    if (obj.at_key(key).get_string().get(s))
        return std::nullopt;
    return s;
}

} // namespace

const std::size_t UsageLineParser::padding = simdjson::SIMDJSON_PADDING;

UsageLineParser::UsageLineParser() : m_json(std::make_unique<simdjson::dom::parser>()) {}
UsageLineParser::~UsageLineParser() = default;

void UsageLineParser::releaseLargeBuffers()
{
    constexpr std::size_t keep = 8 * 1024 * 1024;
    if (m_json->capacity() > keep)
        m_json = std::make_unique<simdjson::dom::parser>();
}

std::optional<UsageEntry> UsageLineParser::parse(std::string_view line,
                                                 std::span<const IsoDateParser *const> dateParsers,
                                                 bool padded)
{
    if (TranscriptLinePeek::surelyNotAssistant(line))
        return std::nullopt;
    element doc;
    if (const auto error = m_json->parse(line.data(), line.size(), !padded).get(doc)) {
        // Only a number the parser cannot hold is worth a second look; see NumberRescue.
        if (error != simdjson::NUMBER_ERROR)
            return std::nullopt;
        const auto rescued = NumberRescue::withHoldableNumbers(line);
        if (!rescued || m_json->parse(rescued->data(), rescued->size()).get(doc))
            return std::nullopt;
    }
    object root;
    if (doc.get_object().get(root))
        return std::nullopt;
    if (stringAt(root, "type") != std::optional<std::string_view>("assistant"))
        return std::nullopt;
    object message, usage;
    if (root.at_key("message").get_object().get(message) ||
        message.at_key("usage").get_object().get(usage))
        return std::nullopt;

    UsageEntry entry;
    entry.inputTokens = exactCount(usage, "input_tokens");
    entry.outputTokens = exactCount(usage, "output_tokens");
    entry.cacheCreationTokens = exactCount(usage, "cache_creation_input_tokens");
    entry.cacheReadTokens = exactCount(usage, "cache_read_input_tokens");
    if (entry.inputTokens == 0 && entry.outputTokens == 0 && entry.cacheCreationTokens == 0 &&
        entry.cacheReadTokens == 0)
        return std::nullopt;

    const auto timestamp = stringAt(root, "timestamp");
    if (!timestamp)
        return std::nullopt;
    std::optional<Instant> when;
    for (const IsoDateParser *dates : dateParsers) {
        if ((when = dates->parse(*timestamp)))
            break;
    }
    if (!when)
        return std::nullopt;
    entry.timestamp = *when;

    if (const auto model = stringAt(message, "model"))
        entry.model.emplace(*model);
    const auto messageId = stringAt(message, "id");
    const auto requestId = stringAt(root, "requestId");
    if (messageId && requestId) {
        std::string key;
        key.reserve(messageId->size() + 1 + requestId->size());
        key.append(*messageId).append(1, ':').append(*requestId);
        entry.dedupKey = std::move(key);
    } else if (messageId) {
        entry.dedupKey.emplace(*messageId);
    } else if (requestId) {
        entry.dedupKey.emplace(*requestId);
    }
    return entry;
}

std::optional<UsageEntry> UsageEntry::parse(std::string_view line,
                                            const IsoDateParser &isoFormatter)
{
    thread_local UsageLineParser parser;
    const std::array<const IsoDateParser *, 1> dates{&isoFormatter};
    return parser.parse(line, dates);
}
