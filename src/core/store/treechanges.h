#pragma once

#include <string>
#include <vector>

// What changed below a watched tree since the last batch. Paths are absolute and lie below the
// root; hidden names are left out.
struct TreeChanges
{
    // Beyond this many names a listing of the whole tree is the cheaper way to find them.
    static constexpr std::size_t maxNames = 4096;

    // Files created, written, moved in or out, or deleted.
    std::vector<std::string> files;
    // Directories that appeared (created, moved in, or readable again): their contents are
    // unknown, so they are read whole.
    std::vector<std::string> directories;
    // Only a listing of the whole tree can be trusted: events may have been lost (the queue
    // overflowed, a directory could not be watched, the watch failed), a directory went away, or
    // the root itself appeared or vanished.
    bool wholeTree = false;

    bool empty() const { return files.empty() && directories.empty() && !wholeTree; }
    // Adds what `other` names. A change of the whole tree takes in every other one, so its
    // lists are dropped; so are too many names.
    void merge(TreeChanges &&other);
};
