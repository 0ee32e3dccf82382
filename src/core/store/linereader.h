#pragma once

#include "transcripts/usageentry.h"

#include <cstdint>
#include <optional>
#include <vector>

// Reads an open transcript from its current position to its end in bounded chunks and parses
// every complete line, leaving what follows the last newline for later. A line that grows past
// a limit is looked at: if it cannot be a reply it is passed over up to its newline instead of
// being held, so an enormous line costs no memory. Buffers are kept per thread between files.
namespace LineReader {

struct Outcome
{
    bool ok = false; // false: a read failed
    std::uint64_t bytesRead = 0;
    // Just past the last newline, counted from the start position; nothing without a newline.
    std::optional<std::uint64_t> lastLineEnd;
    std::vector<UsageEntry> entries;
};

Outcome readToEnd(int fd);

} // namespace LineReader
