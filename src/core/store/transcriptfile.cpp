#include "store/transcriptfile.h"

#include "store/linereader.h"

#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool hasTranscriptExtension(std::string_view name)
{
    const auto dot = name.rfind('.');
    return dot != std::string_view::npos && dot > 0 && name.substr(dot + 1) == "jsonl";
}

struct DirCloser
{
    void operator()(DIR *d) const { closedir(d); }
};

struct Listed
{
    std::string name;
    unsigned char type;
};

// The visible entries of one directory. The directory is closed again before any of them is
// entered, so a deep tree never holds more than one descriptor open.
std::optional<std::vector<Listed>> entriesOf(const std::string &dir)
{
    std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
    if (!d)
        return std::nullopt;
    std::vector<Listed> out;
    while (const dirent *e = readdir(d.get())) {
        if (e->d_name[0] == '.') // hidden, and "." and ".."
            continue;
        out.push_back({e->d_name, e->d_type});
    }
    return out;
}

void walk(const std::string &dir, std::vector<Listed> entries, std::vector<TranscriptFile> &out)
{
    for (Listed &e : entries) {
        std::string path = dir + '/' + e.name;
        struct stat st;
        bool statted = false;
        if (e.type == DT_UNKNOWN) {
            statted = lstat(path.c_str(), &st) == 0;
            if (statted)
                e.type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        // Directories are entered where they stand; a link to a directory is not followed,
        // which also keeps link cycles out.
        if (e.type == DT_DIR) {
            if (auto inner = entriesOf(path))
                walk(path, std::move(*inner), out);
            continue;
        }
        if (!hasTranscriptExtension(e.name))
            continue;
        TranscriptFile file{std::move(path), 0, 0, 0};
        if (stat(file.path.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode))
                continue;
            file.size = std::uint64_t(st.st_size);
            file.device = std::uint64_t(st.st_dev);
            file.inode = std::uint64_t(st.st_ino);
        }
        out.push_back(std::move(file));
    }
}

} // namespace

namespace TranscriptFiles {

std::optional<std::vector<TranscriptFile>> list(const std::string &root)
{
    auto top = entriesOf(root);
    if (!top)
        return std::nullopt;
    std::vector<TranscriptFile> files;
    walk(root, std::move(*top), files);
    return files;
}

TranscriptRead read(const std::string &path, std::uint64_t offset)
{
    TranscriptRead result;
    // Without blocking: a path that became a FIFO since the listing would otherwise hold this
    // thread in open() until a writer came. Only a regular file is read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return result;
    struct Closer
    {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    if (lseek(fd, off_t(offset), SEEK_SET) != off_t(offset))
        return result;

    LineReader::Outcome read = LineReader::readToEnd(fd);
    if (!read.ok || !read.lastLineEnd)
        return result;
    result.ok = true;
    result.newOffset = offset + *read.lastLineEnd;
    result.entries = std::move(read.entries);
    return result;
}

} // namespace TranscriptFiles
