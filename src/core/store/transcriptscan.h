#pragma once

#include "transcripts/usageledger.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

// How far one transcript has been read, and which file that was, so a file replaced by another
// one under the same name is read again from its start.
struct FileMark
{
    std::uint64_t offset = 0; // 0, or just past a newline byte
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // 0: not known
    friend bool operator==(const FileMark &, const FileMark &) = default;
};

using FileOffsets = std::unordered_map<std::string, FileMark>;

// The incremental transcript scan: the state it keeps between passes (the offsets and the
// accepted records), the pass itself, which runs anywhere on copies, and the step that applies a
// pass's result. Everything but run() belongs to the owner's thread.
class TranscriptScan
{
public:
    struct Pass
    {
        std::string root;
        FileOffsets offsets;
        // Set by the owner to stop a pass early; transcripts not yet read are left as they were.
        std::shared_ptr<const std::atomic<bool>> cancelled;
    };
    struct Result
    {
        UsageBatch newEntries;
        FileOffsets updatedOffsets;
        bool fullReload = false;
    };

    explicit TranscriptScan(std::string root);
    // ".varnel/projects" in the user's home directory.
    static std::string defaultRoot();

    const std::string &root() const { return m_root; }
    const FileOffsets &fileOffsets() const { return m_offsets; }
    const UsageLedger &entries() const { return m_entries; }

    // Copies of what a pass needs, taken on the owner's thread.
    Pass beginPass() const { return {m_root, m_offsets, nullptr}; }
    // Lists the tree below the root and reads what was appended since the offsets; touches
    // nothing but its argument, so it may run on any thread.
    static Result run(Pass pass);
    // Takes in a pass's result: de-duplicates its records against all earlier ones.
    void applyRefresh(Result &&result);

private:
    std::string m_root;
    FileOffsets m_offsets;
    UsageLedger m_entries;
};
