#include "transcripts/dedupkeyset.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr std::size_t minRecent = 1024;

} // namespace

std::size_t DedupKeySet::recentSlot(KeyFingerprint key) const
{
    const std::size_t mask = m_recent.size() - 1;
    std::size_t i = key.lo & mask;
    while (!m_recent[i].empty() && m_recent[i] != key)
        i = (i + 1) & mask;
    return i;
}

std::size_t DedupKeySet::lowerBound(KeyFingerprint key, std::size_t end) const
{
    if (m_starts.empty())
        return 0;
    const std::size_t bucket = key.hi >> m_shift;
    const std::size_t first = std::min<std::size_t>(m_starts[bucket], end);
    const std::size_t last = std::min<std::size_t>(m_starts[bucket + 1], end);
    // A run holds a handful of keys: counting those below the key, without branches, lets
    // their cache lines load at once where a binary search waits for each in turn.
    std::size_t at = first;
    for (std::size_t i = first; i < last; ++i) {
        const KeyFingerprint &k = m_sorted[i];
        at += (k.hi < key.hi) | ((k.hi == key.hi) & (k.lo < key.lo));
    }
    return at;
}

bool DedupKeySet::inSorted(KeyFingerprint key) const
{
    const std::size_t at = lowerBound(key, m_sorted.size());
    return at != m_sorted.size() && m_sorted[at] == key;
}

bool DedupKeySet::contains(KeyFingerprint key) const
{
    if (key.empty())
        return false;
    return (!m_recent.empty() && !m_recent[recentSlot(key)].empty()) || inSorted(key);
}

bool DedupKeySet::insert(KeyFingerprint key)
{
    if (key.empty())
        return false;
    if (m_recent.empty())
        m_recent = PageArray<KeyFingerprint>(minRecent);
    // The small table first: a reply written over several lines repeats its key at once, and
    // is then found without a look into the large array.
    KeyFingerprint &slot = m_recent[recentSlot(key)];
    if (!slot.empty() || inSorted(key))
        return false;
    slot = key;
    // Three quarters full: into the sorted array with them.
    if (++m_recentCount * 4 >= m_recent.size() * 3)
        mergeRecent();
    return true;
}

void DedupKeySet::mergeRecent()
{
    KeyFingerprint *const recent = m_recent.begin();
    const std::size_t count = std::remove(recent, m_recent.end(), KeyFingerprint{}) - recent;
    std::sort(recent, recent + count);

    // The array grows in place and the keys are merged in from its back: the largest recent key
    // goes above every older key greater than it, which move up by the number of recent keys
    // placed so far, and so on downwards. The old index still finds each place, since keys
    // below the one being placed have not moved yet. No second array is built and faulted in.
    const std::size_t old = m_sorted.size();
    m_sorted.grow(old + count);
    std::size_t end = old; // the old keys not yet moved up are [0, end)
    for (std::size_t j = count; j-- > 0;) {
        const std::size_t at = lowerBound(recent[j], end);
        std::memmove(m_sorted.begin() + at + j + 1, m_sorted.begin() + at,
                     (end - at) * sizeof(KeyFingerprint));
        m_sorted[at + j] = recent[j];
        end = at;
    }

    // About eight keys a run of leading bits: half a byte a key for the index.
    const int bits = std::max(1, int(std::bit_width(m_sorted.size() / 8)));
    const std::size_t buckets = std::size_t(1) << bits;
    if (bits == 64 - m_shift && !m_starts.empty()) {
        // The same runs: each start moves up by the recent keys below it.
        std::size_t below = 0;
        for (std::size_t b = 0; b <= buckets; ++b) {
            while (below < count && (recent[below].hi >> m_shift) < b)
                ++below;
            m_starts[b] += std::uint32_t(below);
        }
    } else {
        m_shift = 64 - bits;
        m_starts = {};
        m_starts = PageArray<std::uint32_t>(buckets + 1);
        std::size_t at = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            while (at < m_sorted.size() && (m_sorted[at].hi >> m_shift) < b)
                ++at;
            m_starts[b] = std::uint32_t(at);
        }
        m_starts[buckets] = std::uint32_t(m_sorted.size());
    }

    // A table of the same size is emptied and kept: its pages are already in.
    const std::size_t recentSize = std::max(minRecent, std::bit_ceil(m_sorted.size() / 32));
    if (recentSize == m_recent.size()) {
        std::fill(m_recent.begin(), m_recent.end(), KeyFingerprint{});
    } else {
        m_recent = {}; // before the new one: never both at once
        m_recent = PageArray<KeyFingerprint>(recentSize);
    }
    m_recentCount = 0;
}

DedupKeySet &DedupKeySet::operator=(DedupKeySet &&other) noexcept
{
    if (this != &other) {
        m_sorted = std::move(other.m_sorted);
        m_starts = std::move(other.m_starts);
        m_shift = std::exchange(other.m_shift, 63);
        m_recent = std::move(other.m_recent);
        m_recentCount = std::exchange(other.m_recentCount, 0);
    }
    return *this;
}

void DedupKeySet::clear()
{
    m_sorted = {};
    m_starts = {};
    m_recent = {};
    m_recentCount = 0;
    m_shift = 63;
}
