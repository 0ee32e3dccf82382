#pragma once

#include "transcripts/keyfingerprint.h"
#include "transcripts/pagearray.h"

#include <cstdint>
#include <string_view>
#include <utility>

// The de-duplication keys met so far, by fingerprint, in about 17 bytes a key. Most keys sit in
// one array sorted by fingerprint, found through an index of where each run of leading bits starts
// (fingerprints are uniform, so a run holds a handful). Keys met since the last merge sit in a
// small open-addressed table; once that is three quarters full, they are sorted and merged into
// the array, which grows in place (its pages are never copied, only the added ones are new). The
// table is a thirty-second to a sixteenth of the array's length, so a key is moved about forty
// times over the life of the set, in long sequential moves; a table of all keys would cost 21 to
// 43 bytes a key at the loads a doubling open-addressed table runs at.
class DedupKeySet
{
public:
    DedupKeySet() = default;
    // A set moved from is empty.
    DedupKeySet(DedupKeySet &&other) noexcept { *this = std::move(other); }
    DedupKeySet &operator=(DedupKeySet &&other) noexcept;
    DedupKeySet(const DedupKeySet &) = delete;
    DedupKeySet &operator=(const DedupKeySet &) = delete;

    // False when the key was met before.
    bool insert(KeyFingerprint key);
    bool contains(KeyFingerprint key) const;
    bool contains(std::string_view key) const { return contains(KeyFingerprint::of(key)); }
    std::size_t size() const { return m_sorted.size() + m_recentCount; }
    void clear();

private:
    // Where `key` goes among the first `end` keys of the sorted array.
    std::size_t lowerBound(KeyFingerprint key, std::size_t end) const;
    bool inSorted(KeyFingerprint key) const;
    std::size_t recentSlot(KeyFingerprint key) const;
    void mergeRecent();

    PageArray<KeyFingerprint> m_sorted;
    // m_starts[b]: the first position in m_sorted whose fingerprint's top bits are b or more.
    PageArray<std::uint32_t> m_starts;
    int m_shift = 63;
    PageArray<KeyFingerprint> m_recent; // empty slots hold the all-zero fingerprint
    std::size_t m_recentCount = 0;
};
