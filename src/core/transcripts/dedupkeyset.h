#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// A set of de-duplication keys held compactly: the key bytes sit in large shared blocks and the
// table is open-addressed, so a key costs little more than its own length.
class DedupKeySet
{
public:
    struct Insertion
    {
        bool inserted;
        std::string_view stored; // valid for the life of the set (until clear())
    };

    Insertion insert(std::string_view key);
    bool contains(std::string_view key) const;
    std::size_t size() const { return m_count; }
    void clear();

private:
    struct Slot
    {
        const char *data = nullptr; // null: empty slot
        std::uint32_t size = 0;
        std::uint32_t hash = 0;
    };

    std::size_t find(std::string_view key, std::uint64_t hash) const;
    const char *store(std::string_view key);
    void grow();

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockFree = 0;
    char *m_blockPos = nullptr;
};
