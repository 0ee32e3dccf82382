#include "store/transcriptfile.h"

#include "base/isodate.h"
#include "transcripts/transcriptlinepeek.h"
#include "transcripts/usagelineparser.h"

#include <array>
#include <cerrno>
#include <cstring>
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

constexpr std::size_t chunkSize = 1 << 20;
constexpr std::size_t longLine = 16 * chunkSize;
// Buffers grown for an unusually long line are given back after the transcript.
constexpr std::size_t keepBufferUpTo = 8 * chunkSize;

struct ReadBuffers
{
    std::vector<char> bytes;
    UsageLineParser parser;
};

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

    thread_local ReadBuffers buffers;
    std::vector<char> &buf = buffers.bytes;
    const std::size_t pad = UsageLineParser::padding;
    if (buf.size() < chunkSize + pad)
        buf.resize(chunkSize + pad);
    static const std::array<const IsoDateParser *, 2> dates{&IsoDateParser::withFraction(),
                                                            &IsoDateParser::withoutFraction()};

    std::size_t held = 0;       // bytes of an unfinished line at the front of the buffer
    std::uint64_t consumed = 0; // bytes before the buffer's front, counted from `offset`
    std::uint64_t lastLineEnd = 0;
    bool sawBytes = false;
    bool sawNewline = false;
    // A line that grows past the limit is looked at: if it cannot be a reply it is passed over
    // up to its newline instead of being held, so an enormous line costs no memory.
    bool passingOver = false;
    std::size_t lookAt = longLine;
    for (;;) {
        if (held + pad >= buf.size())
            buf.resize((buf.size() - pad) * 2 + pad); // one line longer than the buffer
        const ssize_t n = ::read(fd, buf.data() + held, buf.size() - pad - held);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.entries.clear();
            return result;
        }
        if (n == 0)
            break;
        sawBytes = true;
        const std::size_t end = held + std::size_t(n);
        std::size_t lineStart = 0;
        const char *from = buf.data() + held;
        if (passingOver) {
            const auto *nl = static_cast<const char *>(std::memchr(from, '\n', std::size_t(n)));
            if (!nl) {
                consumed += end;
                held = 0;
                continue;
            }
            passingOver = false;
            lineStart = std::size_t(nl - buf.data()) + 1;
            from = nl + 1;
            sawNewline = true;
            lastLineEnd = consumed + lineStart;
        }
        while (const char *nl =
                   static_cast<const char *>(std::memchr(from, '\n', buf.data() + end - from))) {
            const std::size_t at = std::size_t(nl - buf.data());
            if (at > lineStart) {
                // Padding lies beyond `end`, so every line here may be parsed in place.
                auto entry =
                    buffers.parser.parse({buf.data() + lineStart, at - lineStart}, dates, true);
                if (entry)
                    result.entries.push_back(std::move(*entry));
            }
            lineStart = at + 1;
            from = nl + 1;
            sawNewline = true;
            lastLineEnd = consumed + lineStart;
        }
        std::memmove(buf.data(), buf.data() + lineStart, end - lineStart);
        consumed += lineStart;
        held = end - lineStart;
        if (lineStart > 0)
            lookAt = longLine;
        if (held >= lookAt) {
            // Looked at again only each time it doubles, so the looks stay linear in its size.
            lookAt = held * 2;
            if (TranscriptLinePeek::surelyNotAssistant({buf.data(), held})) {
                passingOver = true;
                consumed += held;
                held = 0;
            }
        }
    }
    if (buf.size() > keepBufferUpTo + pad) {
        buf.resize(chunkSize + pad);
        buf.shrink_to_fit();
    }
    buffers.parser.releaseLargeBuffers();
    if (!sawBytes || !sawNewline) {
        result.entries.clear();
        return result;
    }
    result.ok = true;
    result.newOffset = offset + lastLineEnd;
    return result;
}

} // namespace TranscriptFiles
