#include "store/transcriptscan.h"

#include "base/bytepath.h"
#include "store/transcriptfile.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_set>

#include <sys/resource.h>

namespace {

struct Work
{
    const TranscriptFile *file;
    ReadFrom from;
};

// Transcripts are independent, so a pass reads them side by side on a few threads of its own,
// at low priority; the results are still taken in listing order, which decides which of two
// equal replies is kept. A reader starts a transcript only while the bytes from the one to be
// taken next up to the end of it stay within `readAhead` (or it is the one to be taken next):
// however the readers race, the results waiting hold no more than that many bytes' replies, so
// a pass's peak memory does not depend on their timing, while the readers still run far enough
// ahead to keep the disk busy. `bytes(i)` is what transcript i has to read; `produce(i)` runs on
// the readers, `consume(i, result)` on the caller.
constexpr std::uint64_t readAhead = 64ull << 20;

template <typename Bytes, typename Produce, typename Consume>
void inListingOrder(std::size_t count, const Bytes &bytes, const Produce &produce,
                    const Consume &consume)
{
    const auto inTurn = [&] {
        for (std::size_t i = 0; i < count; ++i)
            consume(i, produce(i));
    };
    if (count <= 1) // not worth a thread
        return inTurn();
    using Result = decltype(produce(std::size_t()));
    struct Cell
    {
        std::optional<Result> value;
        std::atomic<bool> ready{false};
    };
    const auto cells = std::make_unique<Cell[]>(count);
    const std::size_t wanted =
        std::min<std::size_t>(count, std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<std::uint64_t> upTo(count + 1); // bytes of the transcripts before i
    for (std::size_t i = 0; i < count; ++i)
        upTo[i + 1] = upTo[i] + bytes(i);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> taken{0};
    const auto read = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) {
            for (std::size_t t = taken.load(std::memory_order_acquire);
                 i > t && upTo[i + 1] - upTo[t] > readAhead;
                 t = taken.load(std::memory_order_acquire))
                taken.wait(t, std::memory_order_acquire);
            cells[i].value.emplace(produce(i));
            cells[i].ready.store(true, std::memory_order_release);
            cells[i].ready.notify_one();
        }
    };
    std::vector<std::jthread> readers;
    try {
        while (readers.size() < wanted) {
            readers.emplace_back([&read] {
                setpriority(PRIO_PROCESS, 0, 10); // this thread only, on Linux
                read();
            });
        }
    } catch (const std::system_error &) {
        if (readers.empty())
            return inTurn(); // no thread to be had: read here
    }
    for (std::size_t i = 0; i < count; ++i) {
        cells[i].ready.wait(false, std::memory_order_acquire);
        consume(i, std::move(*cells[i].value));
        cells[i].value.reset();
        taken.store(i + 1, std::memory_order_release);
        taken.notify_all();
    }
}

const FileMark *markOf(const FileOffsets &offsets, const std::string &path)
{
    const auto it = offsets.find(path);
    return it == offsets.end() ? nullptr : &it->second;
}

// Read from so far that a later pass must not lose it: its records are counted.
bool tracked(const FileMark *mark)
{
    return mark && mark->offset > 0;
}

bool sameFile(const FileMark &mark, const TranscriptFile &file)
{
    return mark.inode == 0 || file.inode == 0 ||
           (mark.inode == file.inode && mark.device == file.device);
}

// Whether what was read of this transcript cannot be trusted any more: it shrank below its
// offset, or another file stands at its path now.
bool lostSinceRead(const FileMark *mark, const TranscriptFile &file)
{
    return tracked(mark) && (mark->offset > file.size || !sameFile(*mark, file));
}

// Where to read `file` from, or nothing when it holds no bytes that were not looked at.
std::optional<ReadFrom> startOf(const FileMark *mark, const TranscriptFile &file, bool reload)
{
    ReadFrom from;
    if (mark && !reload && sameFile(*mark, file)) {
        from.offset = mark->offset;
        // Shrunk below the searched bytes (but not below the offset): search them again.
        from.scannedTo =
            mark->scannedTo <= file.size ? std::max(mark->scannedTo, from.offset) : from.offset;
    }
    if (file.size <= from.scannedTo)
        return std::nullopt;
    return from;
}

// Whether `path` lies below `root` with no hidden name between them.
bool visibleBelow(const std::string &root, const std::string &path)
{
    const std::size_t below = root.back() == '/' ? root.size() : root.size() + 1; // root "/"
    if (path.size() <= below || path.compare(0, root.size(), root) != 0 || path[below - 1] != '/')
        return false;
    for (std::size_t at = below; at < path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        if (slash == at || path[at] == '.')
            return false;
        at = slash + 1;
    }
    return true;
}

// Where a transcript belongs: its project, the first directory below the root that holds it
// (empty for a transcript in the root), and its conversation's session, the name below the project
// (without the extension when it is the transcript itself). Subagent transcripts lie deeper in
// their session's directory, so they share its project and conversation.
struct Place
{
    std::string_view project;
    std::string_view session;
};

Place placeOf(std::string_view root, std::string_view path)
{
    const std::size_t below = !root.empty() && root.back() == '/' ? root.size() : root.size() + 1;
    if (path.size() <= below || !path.starts_with(root) || path[below - 1] != '/')
        return {};
    path.remove_prefix(below);
    const auto first = [](std::string_view p) { return p.substr(0, p.find('/')); };
    const auto stem = [](std::string_view name) {
        return name.ends_with(".jsonl") ? name.substr(0, name.size() - 6) : name;
    };
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos)
        return {{}, stem(path)};
    const std::string_view rest = path.substr(slash + 1);
    const std::string_view session = first(rest);
    return {path.substr(0, slash), session.size() == rest.size() ? stem(session) : session};
}

// Reads every file that has new bytes, from its mark, and collects records and marks.
void readAll(const std::vector<TranscriptFile> &files, const TranscriptScan::Pass &pass,
             bool reload, TranscriptScan::Result &result)
{
    std::vector<Work> work;
    for (const TranscriptFile &file : files) {
        if (const auto from = startOf(markOf(*pass.offsets, file.path), file, reload))
            work.push_back({&file, *from});
    }
    const std::atomic<bool> *cancelled = pass.cancelled.get();
    inListingOrder(
        work.size(),
        [&](std::size_t i) {
            return work[i].file->size - std::min(work[i].file->size, work[i].from.offset);
        },
        [&](std::size_t i) {
            if (cancelled && cancelled->load())
                return TranscriptRead{};
            return TranscriptFiles::read(*work[i].file, work[i].from);
        },
        [&](std::size_t i, TranscriptRead &&read) {
            if (!read.ok)
                return;
            const TranscriptFile &file = *work[i].file;
            result.marks.emplace_back(
                file.path, FileMark{read.newOffset, file.device, file.inode, read.scannedTo});
            const Place place = placeOf(pass.root, file.path);
            for (const UsageEntry &entry : read.entries)
                result.newEntries.add(entry, place.project, place.session);
        });
}

TranscriptScan::Result runListing(const TranscriptScan::Pass &pass)
{
    TranscriptScan::Result result;
    result.listedWhole = true;
    const FileOffsets &offsets = *pass.offsets;
    const auto listing = TranscriptFiles::list(pass.root);
    const std::vector<TranscriptFile> none;
    const std::vector<TranscriptFile> &files = listing ? *listing : none;
    // Decided before anything is read: a transcript that vanished, shrank, or whose file is
    // another one now makes this pass start over from scratch.
    std::size_t trackedListed = 0;
    for (const TranscriptFile &file : files) {
        const FileMark *mark = markOf(offsets, file.path);
        trackedListed += tracked(mark) ? 1 : 0;
        const bool lost = lostSinceRead(mark, file);
        result.fullReload = result.fullReload || lost;
        if (lost || startOf(mark, file, false))
            result.changed.push_back(file.path);
    }
    const auto trackedAll = std::size_t(std::count_if(
        offsets.begin(), offsets.end(), [](const auto &entry) { return tracked(&entry.second); }));
    if (trackedListed != trackedAll) {
        // Some transcript read before is gone: name it among the changes.
        result.fullReload = true;
        std::unordered_set<std::string_view> listed;
        for (const TranscriptFile &file : files)
            listed.insert(file.path);
        for (const auto &[path, mark] : offsets) {
            if (tracked(&mark) && !listed.contains(path))
                result.changed.push_back(path);
        }
    }
    if (result.fullReload && pass.reloading)
        pass.reloading();
    readAll(files, pass, result.fullReload, result);
    return result;
}

// The pass over what the watcher named; nothing when only a full listing will do.
std::optional<TranscriptScan::Result> runNamed(const TranscriptScan::Pass &pass)
{
    const FileOffsets &offsets = *pass.offsets;
    std::vector<TranscriptFile> files;
    std::unordered_set<std::string> seen;
    const auto take = [&](TranscriptFile &&file) {
        if (lostSinceRead(markOf(offsets, file.path), file))
            return false;
        files.push_back(std::move(file));
        return true;
    };
    for (const std::string &path : pass.changes.files) {
        const auto slash = path.rfind('/');
        if (!visibleBelow(pass.root, path) ||
            !TranscriptFiles::isTranscriptName(std::string_view(path).substr(slash + 1)) ||
            !seen.insert(path).second)
            continue;
        auto file = TranscriptFiles::find(path);
        if (file ? !take(std::move(*file)) : tracked(markOf(offsets, path)))
            return std::nullopt;
    }
    for (const std::string &dir : pass.changes.directories) {
        if (dir == pass.root)
            return std::nullopt;
        auto listing = visibleBelow(pass.root, dir) ? TranscriptFiles::list(dir) : std::nullopt;
        for (TranscriptFile &file : listing.value_or(std::vector<TranscriptFile>())) {
            if (seen.insert(file.path).second && !take(std::move(file)))
                return std::nullopt;
        }
    }
    TranscriptScan::Result result;
    readAll(files, pass, false, result);
    return result;
}

} // namespace

TranscriptScan::TranscriptScan(std::string root) : m_root(std::move(root))
{
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

std::string TranscriptScan::defaultRoot()
{
    // Bytes from the environment to the system calls: a home that is not UTF-8 stays as it is.
    return BytePath::clean(BytePath::home() + "/.varnel/projects");
}

TranscriptScan::Pass TranscriptScan::beginPass(TreeChanges changes) const
{
    return {m_root, &m_offsets, std::move(changes), nullptr, {}};
}

TranscriptScan::Result TranscriptScan::run(const Pass &pass)
{
    if (!pass.changes.wholeTree) {
        if (auto result = runNamed(pass))
            return std::move(*result);
    }
    return runListing(pass);
}

void TranscriptScan::applyRefresh(Result &&result)
{
    if (result.fullReload) {
        m_entries.clear();
        for (auto &[path, mark] : m_offsets) {
            mark.offset = 0;
            mark.scannedTo = 0;
        }
    }
    // Copied, not moved: the pass's strings lie among its short-lived blocks, and one kept for
    // good would pin their pages once they are freed.
    for (const auto &[path, mark] : result.marks)
        m_offsets.insert_or_assign(path, mark);
    m_entries.merge(std::move(result.newEntries));
}
