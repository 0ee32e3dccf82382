#pragma once

#include "transcripts/usageentry.h"

#include <memory>
#include <span>

namespace simdjson::dom {
class parser;
}

// Reusable transcript line parser: keeps its JSON parser's buffers between lines, so a scan
// allocates nothing per line but the record's own strings. One instance per thread.
class UsageLineParser
{
public:
    // Bytes that must be readable past the end of a line handed to parse() with `padded` set.
    static const std::size_t padding;

    UsageLineParser();
    ~UsageLineParser();
    UsageLineParser(const UsageLineParser &) = delete;
    UsageLineParser &operator=(const UsageLineParser &) = delete;

    // Parses the line once; its timestamp is tried with each date parser in turn and the first
    // that accepts it wins. Same result as parsing the line again per date parser. Lines whose
    // first top-level "type" is plainly not "assistant" are turned away before the full parse.
    // `padded`: at least `padding` bytes after the line may be read (they are never changed).
    std::optional<UsageEntry> parse(std::string_view line,
                                    std::span<const IsoDateParser *const> dateParsers,
                                    bool padded = false);

    // Gives back the memory an unusually long line made the JSON parser keep.
    void releaseLargeBuffers();

private:
    std::unique_ptr<simdjson::dom::parser> m_json;
};
