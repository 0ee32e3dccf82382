#pragma once

#include "transcripts/usageentry.h"

#include <cstdint>
#include <string>
#include <vector>

// One transcript found by the listing.
struct TranscriptFile
{
    std::string path;
    std::uint64_t size = 0; // 0 when the attributes cannot be read
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // 0 when the attributes cannot be read
};

// What reading one transcript from an offset gave.
struct TranscriptRead
{
    bool ok = false;             // false: skipped (open, seek or read failed, or no newline)
    std::uint64_t newOffset = 0; // just past the last newline read
    std::vector<UsageEntry> entries;
};

namespace TranscriptFiles {

// Every file with the extension "jsonl" below `root`, at any depth, skipping hidden names and
// not entering hidden directories. Nothing when the root cannot be listed.
std::optional<std::vector<TranscriptFile>> list(const std::string &root);

// Reads `path` from `offset` to its end in bounded chunks, parses every complete line, and
// leaves what follows the last newline for later.
TranscriptRead read(const std::string &path, std::uint64_t offset);

} // namespace TranscriptFiles
