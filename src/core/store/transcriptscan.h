#pragma once

#include "store/treechanges.h"
#include "transcripts/usageledger.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// How far one transcript has been read, and which file that was, so a file replaced by another
// one under the same name is read again from its start.
struct FileMark
{
    std::uint64_t offset = 0; // 0, or just past a newline byte
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // 0: not known
    // How far the bytes after `offset` are known to hold no newline, so an unfinished line that
    // keeps growing costs only its new bytes on each pass.
    std::uint64_t scannedTo = 0;
    friend bool operator==(const FileMark &, const FileMark &) = default;
};

using FileOffsets = std::unordered_map<std::string, FileMark>;

// The incremental transcript scan: the state it keeps between passes (the marks and the
// accepted records), the pass itself, which runs on any thread, and the step that applies a
// pass's result. Everything but run() belongs to the owner's thread. One pass at a time: a pass
// reads the marks in place, and they change only when its result is applied.
//
// A pass either lists the whole tree, or looks only at what a watcher named: each named
// transcript from its mark, each named directory listed whole. A transcript that vanished,
// shrank or was replaced by another file makes a pass a full reload: the tree is listed, every
// record forgotten and every transcript read from its start, so the records always equal those
// of a first scan of the tree as it stands.
class TranscriptScan
{
public:
    struct Pass
    {
        std::string root;
        const FileOffsets *offsets = nullptr;
        // What to look at; the whole tree when its flag is set.
        TreeChanges changes;
        // Set by the owner to stop a pass early; transcripts not yet read are left as they were.
        std::shared_ptr<const std::atomic<bool>> cancelled;
        // Called on the pass's thread once it has decided to be a full reload, before it reads
        // anything: the owner may forget its records then instead of holding them beside the
        // new ones until the result is applied.
        std::function<void()> reloading;
    };
    struct Result
    {
        UsageBatch newEntries;
        // The marks this pass moved. Every other mark stays as it was, or, after a full reload,
        // goes back to the start of its file.
        std::vector<std::pair<std::string, FileMark>> marks;
        bool fullReload = false;
        bool listedWhole = false;
        // A listing: the transcripts grown, new, shrunk, replaced or gone since last read.
        std::vector<std::string> changed;
    };

    // A trailing slash of `root` is dropped, so paths from the listing and the watcher agree.
    explicit TranscriptScan(std::string root);
    // ".varnel/projects" in the user's home directory.
    static std::string defaultRoot();

    const std::string &root() const { return m_root; }
    const FileOffsets &fileOffsets() const { return m_offsets; }
    const UsageLedger &entries() const { return m_entries; }

    // A pass that lists the whole tree.
    Pass beginPass() const { return beginPass(TreeChanges{{}, {}, true}); }
    // A pass over what `changes` names.
    Pass beginPass(TreeChanges changes) const;
    // Reads what was appended since the marks; touches nothing but the files and its argument.
    static Result run(const Pass &pass);
    // Takes in a pass's result: de-duplicates its records against all earlier ones.
    void applyRefresh(Result &&result);
    // Drops every record ahead of a full reload's result; the marks stay until it is applied.
    void forgetEntries() { m_entries.clear(); }

private:
    std::string m_root;
    FileOffsets m_offsets;
    UsageLedger m_entries;
};
