#include "transcripts/dedupkeyset.h"

#include <algorithm>
#include <bit>

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

bool DedupKeySet::inSorted(KeyFingerprint key) const
{
    if (m_sorted.empty())
        return false;
    const std::size_t bucket = key.hi >> m_shift;
    const auto first = m_sorted.begin() + m_starts[bucket];
    const auto last = m_sorted.begin() + m_starts[bucket + 1];
    const auto it = std::lower_bound(first, last, key);
    return it != last && *it == key;
}

bool DedupKeySet::contains(KeyFingerprint key) const
{
    if (key.empty())
        return false;
    return (!m_recent.empty() && !m_recent[recentSlot(key)].empty()) || inSorted(key);
}

bool DedupKeySet::insert(KeyFingerprint key)
{
    if (key.empty() || inSorted(key))
        return false;
    if (m_recent.empty())
        m_recent = PageArray<KeyFingerprint>(minRecent);
    KeyFingerprint &slot = m_recent[recentSlot(key)];
    if (!slot.empty())
        return false;
    slot = key;
    // Three quarters full: into the sorted array with them.
    if (++m_recentCount * 4 >= m_recent.size() * 3)
        mergeRecent();
    return true;
}

void DedupKeySet::mergeRecent()
{
    PageArray<KeyFingerprint> recent(m_recentCount);
    std::copy_if(m_recent.begin(), m_recent.end(), recent.begin(),
                 [](const KeyFingerprint &k) { return !k.empty(); });
    std::sort(recent.begin(), recent.end());
    // Sized exactly: a long-lived array keeps no growth slack.
    PageArray<KeyFingerprint> merged(m_sorted.size() + recent.size());
    std::merge(m_sorted.begin(), m_sorted.end(), recent.begin(), recent.end(), merged.begin());
    recent = {};
    m_sorted = std::move(merged);

    // About eight keys a run of leading bits: half a byte a key for the index.
    const int bits = std::max(1, int(std::bit_width(m_sorted.size() / 8)));
    m_shift = 64 - bits;
    PageArray<std::uint32_t> starts((std::size_t(1) << bits) + 1);
    std::size_t at = 0;
    for (std::size_t b = 0; b + 1 < starts.size(); ++b) {
        while (at < m_sorted.size() && (m_sorted[at].hi >> m_shift) < b)
            ++at;
        starts[b] = std::uint32_t(at);
    }
    starts[starts.size() - 1] = std::uint32_t(m_sorted.size());
    m_starts = std::move(starts);

    const std::size_t recentSize = std::max(minRecent, std::bit_ceil(m_sorted.size() / 32));
    m_recent = {}; // before the new one: never both at once
    m_recent = PageArray<KeyFingerprint>(recentSize);
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
