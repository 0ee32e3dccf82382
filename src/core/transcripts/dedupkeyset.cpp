#include "transcripts/dedupkeyset.h"

#include <cstring>
#include <functional>

namespace {

constexpr std::size_t blockSize = 256 * 1024;
// An empty key still needs a non-null address to tell it from an empty slot.
constexpr char emptyKey[1] = {0};

std::uint64_t hashOf(std::string_view key)
{
    return std::hash<std::string_view>{}(key);
}

} // namespace

std::size_t DedupKeySet::find(std::string_view key, std::uint64_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    const auto tag = std::uint32_t(hash >> 32);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (!slot.data || (slot.hash == tag && slot.size == key.size() &&
                           std::memcmp(slot.data, key.data(), key.size()) == 0))
            return i;
    }
}

bool DedupKeySet::contains(std::string_view key) const
{
    return !m_slots.empty() && m_slots[find(key, hashOf(key))].data;
}

DedupKeySet::Insertion DedupKeySet::insert(std::string_view key)
{
    // Keep the load at or below three quarters.
    if ((m_count + 1) * 4 > m_slots.size() * 3)
        grow();
    const std::uint64_t hash = hashOf(key);
    Slot &slot = m_slots[find(key, hash)];
    if (slot.data)
        return {false, {slot.data, slot.size}};
    slot = {store(key), std::uint32_t(key.size()), std::uint32_t(hash >> 32)};
    ++m_count;
    return {true, {slot.data, slot.size}};
}

const char *DedupKeySet::store(std::string_view key)
{
    if (key.empty())
        return emptyKey;
    if (key.size() > m_blockFree) {
        const std::size_t size = std::max(blockSize, key.size());
        m_blocks.push_back(std::make_unique<char[]>(size));
        m_blockPos = m_blocks.back().get();
        m_blockFree = size;
    }
    char *at = m_blockPos;
    std::memcpy(at, key.data(), key.size());
    m_blockPos += key.size();
    m_blockFree -= key.size();
    return at;
}

void DedupKeySet::grow()
{
    std::vector<Slot> old(std::max<std::size_t>(64, m_slots.size() * 2));
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot &slot : old) {
        if (!slot.data)
            continue;
        std::size_t i = hashOf({slot.data, slot.size}) & mask;
        while (m_slots[i].data)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

void DedupKeySet::clear()
{
    std::vector<Slot>().swap(m_slots);
    std::vector<std::unique_ptr<char[]>>().swap(m_blocks);
    m_count = 0;
    m_blockFree = 0;
    m_blockPos = nullptr;
}
