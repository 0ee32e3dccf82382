#include "store/transcriptfile.h"

#include "store/linereader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DirCloser
{
    void operator()(DIR *d) const { closedir(d); }
};

struct Listed
{
    std::string name;
    bool directory = false;
    std::optional<TranscriptFile> file; // set for a transcript
};

std::string joined(const std::string &dir, const char *name)
{
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

TranscriptFile fileOf(std::string path, const struct stat &st)
{
    return {std::move(path), std::uint64_t(st.st_size), std::uint64_t(st.st_dev),
            std::uint64_t(st.st_ino)};
}

// The visible directories and transcripts of one directory, each transcript's attributes read
// relative to the open directory. The directory is closed again before any entry is entered, so
// a deep tree never holds more than one descriptor open.
std::optional<std::vector<Listed>> entriesOf(const std::string &dir)
{
    std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
    if (!d)
        return std::nullopt;
    const int fd = dirfd(d.get());
    std::vector<Listed> out;
    while (const dirent *e = readdir(d.get())) {
        if (e->d_name[0] == '.') // hidden, and "." and ".."
            continue;
        struct stat st;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        // Directories are entered where they stand; a link to a directory is not followed,
        // which also keeps link cycles out.
        if (type == DT_DIR) {
            out.push_back({e->d_name, true, std::nullopt});
            continue;
        }
        if (!TranscriptFiles::isTranscriptName(e->d_name))
            continue;
        std::string path = joined(dir, e->d_name);
        if (fstatat(fd, e->d_name, &st, 0) != 0)
            out.push_back({{}, false, TranscriptFile{std::move(path), 0, 0, 0}});
        else if (S_ISREG(st.st_mode))
            out.push_back({{}, false, fileOf(std::move(path), st)});
    }
    return out;
}

void walk(const std::string &dir, std::vector<Listed> entries, std::vector<TranscriptFile> &out)
{
    for (Listed &e : entries) {
        if (e.file) {
            out.push_back(std::move(*e.file));
            continue;
        }
        const std::string path = joined(dir, e.name.c_str());
        if (auto inner = entriesOf(path))
            walk(path, std::move(*inner), out);
    }
}

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool seek(int fd, std::uint64_t to)
{
    return lseek(fd, off_t(to), SEEK_SET) == off_t(to);
}

// Whether a newline lies anywhere from the current position to the end; nothing when a read
// failed. `end` is set to the position reached.
std::optional<bool> newlineAhead(int fd, std::uint64_t &end)
{
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return false;
        if (std::memchr(chunk, '\n', std::size_t(n)))
            return true;
        end += std::uint64_t(n);
    }
}

} // namespace

namespace TranscriptFiles {

bool isTranscriptName(std::string_view name)
{
    return name.size() > 6 && name[0] != '.' && name.substr(name.size() - 6) == ".jsonl";
}

std::optional<std::vector<TranscriptFile>> list(const std::string &dir)
{
    auto top = entriesOf(dir);
    if (!top)
        return std::nullopt;
    std::vector<TranscriptFile> files;
    walk(dir, std::move(*top), files);
    return files;
}

std::optional<TranscriptFile> find(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return fileOf(path, st);
}

TranscriptRead read(const TranscriptFile &file, ReadFrom from)
{
    TranscriptRead result;
    // Without blocking: a path that became a FIFO since the listing would otherwise hold this
    // thread in open() until a writer came. Only a regular file is read.
    const Fd fd(open(file.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    if (file.inode != 0 &&
        (std::uint64_t(st.st_ino) != file.inode || std::uint64_t(st.st_dev) != file.device))
        return result; // replaced since it was listed: the next pass sees the new one

    result.newOffset = from.offset;
    result.scannedTo = std::max(from.offset, from.scannedTo);
    if (result.scannedTo > from.offset) {
        // The unfinished line was searched that far already; it is read again, whole, only once
        // its newline has come.
        if (!seek(fd.get(), result.scannedTo))
            return result;
        const auto ahead = newlineAhead(fd.get(), result.scannedTo);
        if (!ahead)
            return result;
        if (!*ahead) {
            result.ok = true;
            return result;
        }
    }
    if (!seek(fd.get(), from.offset))
        return result;
    LineReader::Outcome read = LineReader::readToEnd(fd.get());
    if (!read.ok)
        return result;
    result.ok = true;
    result.newOffset = from.offset + read.lastLineEnd.value_or(0);
    result.scannedTo = from.offset + read.bytesRead;
    result.entries = std::move(read.entries);
    return result;
}

TranscriptRead read(const std::string &path, std::uint64_t offset)
{
    return read(TranscriptFile{path, 0, 0, 0}, ReadFrom{offset, offset});
}

} // namespace TranscriptFiles
