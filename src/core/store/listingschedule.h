#pragma once

#include "store/treechanges.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// How long the store waits before listing the whole tree again when nothing asks for it sooner.
//
// The watcher reports changes as they are made; a listing finds the ones it never reported
// (events lost in the kernel, a filesystem written from elsewhere that raises none). Listing a
// large tree costs tens of milliseconds, so while listings keep finding nothing the watcher had
// not already named, and the watcher vouches for every directory, each wait is twice the one
// before, up to `longest`. A listing that finds an unreported change, a watcher that asks for the
// whole tree or cannot vouch for it brings the wait back to `shortest`.
class ListingSchedule
{
public:
    // Both at least two seconds; `longest` at least `shortest`.
    explicit ListingSchedule(double shortestSeconds = 30, double longestSeconds = 300);

    double seconds() const { return m_seconds; }

    // What a batch from the watcher named.
    void reported(const TreeChanges &changes);
    // A pass begins: names reported from now on are kept for the listing after it.
    void passStarted();
    // A pass listed the tree and found `changed` (transcripts grown, new, shrunk, replaced or
    // gone since they were last read); `watcherSeesAll`: the watcher watches every directory on
    // a filesystem that tells it of every change.
    void listingFinished(const std::vector<std::string> &changed, bool watcherSeesAll);

private:
    bool wasReported(const std::string &path) const;

    double m_shortest;
    double m_longest;
    double m_seconds;
    // Each name the watcher reported, with the pass count when it came.
    std::unordered_map<std::string, std::uint64_t> m_reported;
    std::uint64_t m_passes = 0;
};
