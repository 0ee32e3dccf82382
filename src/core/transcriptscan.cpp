#include "transcriptscan.h"

#include "transcriptfile.h"

#include <QDir>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

namespace {

struct Work
{
    const TranscriptFile *file;
    std::uint64_t start;
};

// Transcripts are independent, so a pass reads them side by side on their own small pool; the
// results are still taken in listing order, which decides which of two equal replies is kept.
QThreadPool &scanPool()
{
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        pool.setThreadPriority(QThread::LowPriority);
        return true;
    }();
    Q_UNUSED(configured);
    return pool;
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
    return QDir(QDir::homePath()).filePath(".varnel/projects").toStdString();
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
    // A full reload forgets every record, so every transcript has to be read again whole; one
    // that cannot be read now keeps offset 0 and is read by a later pass.
    if (result.fullReload) {
        for (const TranscriptFile &file : *listing) {
            if (const auto it = offsets.find(file.path); it != offsets.end())
                it->second.offset = 0;
        }
    }

    std::vector<Work> work;
    for (const TranscriptFile &file : *listing) {
        const auto it = offsets.find(file.path);
        const std::uint64_t start = it == offsets.end() ? 0 : it->second.offset;
        if (file.size > start)
            work.push_back({&file, start});
    }

    struct FileResult
    {
        const TranscriptFile *file;
        TranscriptRead read;
    };
    struct Unused
    {
    };
    QtConcurrent::blockingMappedReduced<Unused>(
        &scanPool(), work,
        [cancelled = pass.cancelled.get()](const Work &w) {
            if (cancelled && cancelled->load())
                return FileResult{w.file, {}};
            return FileResult{w.file, TranscriptFiles::read(w.file->path, w.start)};
        },
        [&result](Unused &, const FileResult &done) {
            if (!done.read.ok)
                return;
            result.updatedOffsets[done.file->path] = {done.read.newOffset, done.file->device,
                                                      done.file->inode};
            for (const UsageEntry &entry : done.read.entries)
                result.newEntries.add(entry);
        },
        QtConcurrent::OrderedReduce);
    return result;
}

void TranscriptScan::applyRefresh(Result &&result)
{
    if (result.fullReload)
        m_entries.clear();
    m_offsets = std::move(result.updatedOffsets);
    m_entries.merge(std::move(result.newEntries));
}
