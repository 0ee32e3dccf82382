#pragma once

#include "transcripts/usageentry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One transcript found by the listing.
struct TranscriptFile
{
    std::string path;
    std::uint64_t size = 0; // 0 when the attributes cannot be read
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // 0 when the attributes cannot be read
};

// Where reading one transcript starts: the offset just past the last line taken, and how far the
// bytes after it are already known to hold no newline.
struct ReadFrom
{
    std::uint64_t offset = 0;
    std::uint64_t scannedTo = 0; // not below `offset`
};

// What reading one transcript gave.
struct TranscriptRead
{
    // false: not read (open, seek or read failed, not a regular file, or another file than the
    // one listed stands at the path now).
    bool ok = false;
    std::uint64_t newOffset = 0; // just past the last newline read; the start when none came
    std::uint64_t scannedTo = 0; // the end of what was read: no newline from newOffset to here
    std::vector<UsageEntry> entries;
};

namespace TranscriptFiles {

// Whether a file of this name is a transcript: the extension "jsonl", and not hidden.
bool isTranscriptName(std::string_view name);

// Every transcript below `dir`, at any depth, skipping hidden names and not entering hidden
// directories or links to directories. Nothing when `dir` cannot be listed.
std::optional<std::vector<TranscriptFile>> list(const std::string &dir);

// The transcript at `path` (links followed, as the listing does), or nothing when no regular
// file can be found there.
std::optional<TranscriptFile> find(const std::string &path);

// Reads `file` from `from`: every complete line is parsed and what follows the last newline is
// left for later. Bytes already searched for a newline are not searched again: while no newline
// has come after them, only the bytes that arrived since are read. A file whose device and inode
// (when known) are not those of `file` is not read.
TranscriptRead read(const TranscriptFile &file, ReadFrom from);
// As above for a path whatever stands there now, from `offset`.
TranscriptRead read(const std::string &path, std::uint64_t offset);

} // namespace TranscriptFiles
