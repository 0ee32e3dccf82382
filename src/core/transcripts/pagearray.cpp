#include "transcripts/pagearray.h"

#include <new>

#include <sys/mman.h>
#include <unistd.h>

namespace {

std::size_t wholePages(std::size_t bytes)
{
    static const auto page = std::size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

} // namespace

namespace PageMemory {

void *allocate(std::size_t bytes)
{
    void *pages = mmap(nullptr, wholePages(bytes), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        throw std::bad_alloc();
    return pages;
}

void release(void *pages, std::size_t bytes)
{
    munmap(pages, wholePages(bytes));
}

void *grow(void *pages, std::size_t bytes, std::size_t newBytes)
{
    const std::size_t from = wholePages(bytes), to = wholePages(newBytes);
    if (to <= from)
        return pages; // the last page's tail was never written, so it is still zero
    void *moved = mremap(pages, from, to, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED)
        throw std::bad_alloc();
    return moved;
}

} // namespace PageMemory
