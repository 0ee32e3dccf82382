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

} // namespace PageMemory
