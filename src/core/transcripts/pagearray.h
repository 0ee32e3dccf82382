#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

namespace PageMemory {
// Whole pages straight from the system, zero-filled; throws std::bad_alloc as new does.
void *allocate(std::size_t bytes);
void release(void *pages, std::size_t bytes);
// The pages of `bytes` lengthened to hold `newBytes`, in place or moved whole by the kernel
// (nothing is copied); the added bytes are zero. Throws std::bad_alloc as new does.
void *grow(void *pages, std::size_t bytes, std::size_t newBytes);
} // namespace PageMemory

// An array of trivial values in pages of its own. A long-lived array held by the allocator shares
// pages with short-lived blocks of a pass around it, and once those are freed the allocator keeps
// them for reuse: at a few million replies that was as much again as the records themselves. Pages
// of their own go back to the system whole and at once when the array goes.
template <typename T> class PageArray
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    PageArray() = default;
    explicit PageArray(std::size_t count)
        : m_data(count ? static_cast<T *>(PageMemory::allocate(count * sizeof(T))) : nullptr),
          m_size(count)
    {
    }
    ~PageArray()
    {
        if (m_data)
            PageMemory::release(m_data, m_size * sizeof(T));
    }
    PageArray(PageArray &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
    {
    }
    PageArray &operator=(PageArray &&other) noexcept
    {
        PageArray gone(std::move(other));
        std::swap(m_data, gone.m_data);
        std::swap(m_size, gone.m_size);
        return *this;
    }
    PageArray(const PageArray &) = delete;
    PageArray &operator=(const PageArray &) = delete;

    // Lengthens the array to `count` values, the new ones zero. Only the added pages are new:
    // those already there are neither copied nor touched.
    void grow(std::size_t count)
    {
        if (count <= m_size)
            return;
        m_data = static_cast<T *>(
            m_data ? PageMemory::grow(m_data, m_size * sizeof(T), count * sizeof(T))
                   : PageMemory::allocate(count * sizeof(T)));
        m_size = count;
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T *begin() { return m_data; }
    T *end() { return m_data + m_size; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_size; }
    T &operator[](std::size_t i) { return m_data[i]; }
    const T &operator[](std::size_t i) const { return m_data[i]; }

private:
    T *m_data = nullptr;
    std::size_t m_size = 0;
};

// An append-only list of trivial values in chunks of 2^ChunkBits, each a PageArray: growing
// never copies what is there nor needs twice the room.
template <typename T, std::size_t ChunkBits> class ChunkedArray
{
public:
    static constexpr std::size_t chunkSize = std::size_t(1) << ChunkBits;

    ChunkedArray() = default;
    ChunkedArray(ChunkedArray &&other) noexcept
        : m_chunks(std::move(other.m_chunks)), m_size(std::exchange(other.m_size, 0))
    {
    }
    ChunkedArray &operator=(ChunkedArray &&other) noexcept
    {
        m_chunks = std::move(other.m_chunks);
        m_size = std::exchange(other.m_size, 0);
        return *this;
    }

    void push_back(const T &value)
    {
        if ((m_size & (chunkSize - 1)) == 0)
            m_chunks.emplace_back(chunkSize);
        m_chunks.back()[m_size & (chunkSize - 1)] = value;
        ++m_size;
    }
    std::size_t size() const { return m_size; }
    const T &operator[](std::size_t i) const
    {
        return m_chunks[i >> ChunkBits][i & (chunkSize - 1)];
    }

private:
    std::vector<PageArray<T>> m_chunks;
    std::size_t m_size = 0;
};
