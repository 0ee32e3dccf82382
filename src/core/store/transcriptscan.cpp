#include "store/transcriptscan.h"

#include "base/bytepath.h"
#include "store/transcriptfile.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include <sys/resource.h>

namespace {

struct Work
{
    const TranscriptFile *file;
    std::uint64_t start;
};

// Transcripts are independent, so a pass reads them side by side on a few threads of its own,
// at low priority; the results are still taken in listing order, which decides which of two
// equal replies is kept. `produce(i)` runs on the readers, `consume(i, result)` on the caller.
template <typename Produce, typename Consume>
void inListingOrder(std::size_t count, const Produce &produce, const Consume &consume)
{
    using Result = decltype(produce(std::size_t()));
    struct Cell
    {
        std::optional<Result> value;
        std::atomic<bool> ready{false};
    };
    const auto cells = std::make_unique<Cell[]>(count);
    std::atomic<std::size_t> next{0};
    const auto read = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) {
            cells[i].value.emplace(produce(i));
            cells[i].ready.store(true, std::memory_order_release);
            cells[i].ready.notify_one();
        }
    };
    std::vector<std::jthread> readers;
    const std::size_t wanted =
        std::min<std::size_t>(count, std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    try {
        while (readers.size() < wanted) {
            readers.emplace_back([&read] {
                setpriority(PRIO_PROCESS, 0, 10); // this thread only, on Linux
                read();
            });
        }
    } catch (const std::system_error &) {
        if (readers.empty())
            read(); // no thread to be had: read here
    }
    for (std::size_t i = 0; i < count; ++i) {
        cells[i].ready.wait(false, std::memory_order_acquire);
        consume(i, std::move(*cells[i].value));
        cells[i].value.reset();
    }
}

bool replacedSinceRead(const FileMark &mark, const TranscriptFile &file)
{
    return mark.offset > 0 && mark.inode != 0 && file.inode != 0 &&
           (mark.inode != file.inode || mark.device != file.device);
}

} // namespace

TranscriptScan::TranscriptScan(std::string root) : m_root(std::move(root)) {}

std::string TranscriptScan::defaultRoot()
{
    // Bytes from the environment to the system calls: a home that is not UTF-8 stays as it is.
    return BytePath::clean(BytePath::home() + "/.varnel/projects");
}

TranscriptScan::Result TranscriptScan::run(Pass pass)
{
    Result result;
    result.updatedOffsets = std::move(pass.offsets);
    FileOffsets &offsets = result.updatedOffsets;

    const auto listing = TranscriptFiles::list(pass.root);
    if (!listing || listing->empty())
        return result;

    // Decided before anything is read: a transcript that shrank, or whose file is another one
    // now, makes this pass start over from scratch.
    for (const TranscriptFile &file : *listing) {
        const auto it = offsets.find(file.path);
        if (it != offsets.end() &&
            (it->second.offset > file.size || replacedSinceRead(it->second, file))) {
            result.fullReload = true;
            break;
        }
    }
    // A full reload forgets every record, so every offset goes back to 0: a transcript that
    // cannot be read now, or is missing from this listing, is read whole by a later pass.
    if (result.fullReload) {
        for (auto &[path, mark] : offsets)
            mark.offset = 0;
    }

    std::vector<Work> work;
    for (const TranscriptFile &file : *listing) {
        const auto it = offsets.find(file.path);
        const std::uint64_t start = it == offsets.end() ? 0 : it->second.offset;
        if (file.size > start)
            work.push_back({&file, start});
    }

    const std::atomic<bool> *cancelled = pass.cancelled.get();
    inListingOrder(
        work.size(),
        [&](std::size_t i) {
            if (cancelled && cancelled->load())
                return TranscriptRead{};
            return TranscriptFiles::read(work[i].file->path, work[i].start);
        },
        [&](std::size_t i, TranscriptRead &&read) {
            if (!read.ok)
                return;
            const TranscriptFile &file = *work[i].file;
            result.updatedOffsets[file.path] = {read.newOffset, file.device, file.inode};
            for (const UsageEntry &entry : read.entries)
                result.newEntries.add(entry);
        });
    return result;
}

void TranscriptScan::applyRefresh(Result &&result)
{
    if (result.fullReload)
        m_entries.clear();
    m_offsets = std::move(result.updatedOffsets);
    m_entries.merge(std::move(result.newEntries));
}
