// Any bytes as a transcript line: the parser must never crash, and the scan's parser (one
// parse trying both date forms, after a glance at the line's type) must agree with parsing once
// per form. The number rescue must leave alone every line the JSON parser takes as it is.
#include "base/isodate.h"
#include "transcripts/numberrescue.h"
#include "transcripts/usageentry.h"
#include "transcripts/usagelineparser.h"

#include <simdjson.h>

#include <array>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    auto twice = UsageEntry::parse(line, IsoDateParser::withFraction());
    if (!twice)
        twice = UsageEntry::parse(line, IsoDateParser::withoutFraction());

    static UsageLineParser parser;
    static const std::array<const IsoDateParser *, 2> both{&IsoDateParser::withFraction(),
                                                           &IsoDateParser::withoutFraction()};
    if (parser.parse(line, both) != twice)
        std::abort();
    if (twice && twice->inputTokens == 0 && twice->outputTokens == 0 &&
        twice->cacheCreationTokens == 0 && twice->cacheReadTokens == 0)
        std::abort(); // a record always carries usage

    static simdjson::dom::parser json;
    if (!json.parse(line.data(), line.size()).error() && NumberRescue::withHoldableNumbers(line))
        std::abort();
    return 0;
}
