#include "store/linereader.h"

#include "base/isodate.h"
#include "transcripts/transcriptlinepeek.h"
#include "transcripts/usagelineparser.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {

constexpr std::size_t chunkSize = 1 << 20;
constexpr std::size_t longLine = 16 * chunkSize;
// Buffers grown for an unusually long line are given back after the transcript.
constexpr std::size_t keepBufferUpTo = 8 * chunkSize;
// Constant-initialised where it is defined, so usable here at any time.
const std::size_t pad = UsageLineParser::padding;

struct Buffers
{
    std::vector<char> bytes;
    UsageLineParser parser;
};

// One reading of one descriptor. The buffer holds, at its front, the unfinished line carried
// over from the previous chunk; the parser's padding always lies beyond the bytes read.
class Reading
{
public:
    Reading(int fd, Buffers &buffers) : m_fd(fd), m_buf(buffers.bytes), m_parser(buffers.parser)
    {
        if (m_buf.size() < chunkSize + pad)
            m_buf.resize(chunkSize + pad);
    }
    ~Reading()
    {
        if (m_buf.size() > keepBufferUpTo + pad) {
            m_buf.resize(chunkSize + pad);
            m_buf.shrink_to_fit();
        }
        m_parser.releaseLargeBuffers();
    }
    Reading(const Reading &) = delete;
    Reading &operator=(const Reading &) = delete;

    LineReader::Outcome run()
    {
        for (;;) {
            const ssize_t n = fill();
            if (n < 0)
                return {};
            if (n == 0)
                break;
            m_out.bytesRead += std::uint64_t(n);
            const std::size_t end = m_held + std::size_t(n);
            std::size_t lineStart = 0;
            if (m_passingOver && !passOver(end, lineStart))
                continue;
            parseLines(lineStart, end, lineStart);
            keepUnfinished(lineStart, end);
        }
        m_out.ok = true;
        return std::move(m_out);
    }

private:
    // Reads the next chunk behind the unfinished line; the buffer grows for a line longer
    // than it. The count read, 0 at the end, or -1 on failure.
    ssize_t fill()
    {
        if (m_held + pad >= m_buf.size())
            m_buf.resize((m_buf.size() - pad) * 2 + pad);
        for (;;) {
            const ssize_t n = ::read(m_fd, m_buf.data() + m_held, m_buf.size() - pad - m_held);
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }

    void lineEnded(std::size_t next) { m_out.lastLineEnd = m_consumed + next; }

    // Steps over the rest of a line being passed over. False when it goes on past this chunk.
    bool passOver(std::size_t end, std::size_t &lineStart)
    {
        const auto *nl = static_cast<const char *>(std::memchr(m_buf.data(), '\n', end));
        if (!nl) {
            m_consumed += end;
            m_held = 0;
            return false;
        }
        m_passingOver = false;
        lineStart = std::size_t(nl - m_buf.data()) + 1;
        lineEnded(lineStart);
        return true;
    }

    // Parses every complete line in [from, end), in place. `lineStart` ends up just past the
    // last newline.
    void parseLines(std::size_t from, std::size_t end, std::size_t &lineStart)
    {
        static const std::array<const IsoDateParser *, 2> dates{&IsoDateParser::withFraction(),
                                                                &IsoDateParser::withoutFraction()};
        const char *p = m_buf.data() + std::max(from, m_held);
        while (const char *nl =
                   static_cast<const char *>(std::memchr(p, '\n', m_buf.data() + end - p))) {
            const std::size_t at = std::size_t(nl - m_buf.data());
            if (at > lineStart) {
                auto entry =
                    m_parser.parse({m_buf.data() + lineStart, at - lineStart}, dates, true);
                if (entry)
                    m_out.entries.push_back(std::move(*entry));
            }
            lineStart = at + 1;
            p = nl + 1;
            lineEnded(lineStart);
        }
    }

    // Moves the unfinished line to the buffer's front, or passes it over once it is long and
    // plainly not a reply.
    void keepUnfinished(std::size_t lineStart, std::size_t end)
    {
        std::memmove(m_buf.data(), m_buf.data() + lineStart, end - lineStart);
        m_consumed += lineStart;
        m_held = end - lineStart;
        if (lineStart > 0)
            m_lookAt = longLine;
        if (m_held < m_lookAt)
            return;
        // Looked at again only each time it doubles, so the looks stay linear in its size.
        m_lookAt = m_held * 2;
        if (TranscriptLinePeek::surelyNotAssistant({m_buf.data(), m_held})) {
            m_passingOver = true;
            m_consumed += m_held;
            m_held = 0;
        }
    }

    const int m_fd;
    std::vector<char> &m_buf;
    UsageLineParser &m_parser;
    LineReader::Outcome m_out;
    std::size_t m_held = 0;       // bytes of an unfinished line at the front of the buffer
    std::uint64_t m_consumed = 0; // bytes before the buffer's front, from the start position
    bool m_passingOver = false;
    std::size_t m_lookAt = longLine;
};

} // namespace

namespace LineReader {

Outcome readToEnd(int fd)
{
    thread_local Buffers buffers;
    return Reading(fd, buffers).run();
}

} // namespace LineReader
