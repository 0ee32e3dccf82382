#include "transcripts/transcriptlinepeek.h"

#include <cstring>

namespace {

class Cursor
{
public:
    explicit Cursor(std::string_view s) : m_p(s.data()), m_end(s.data() + s.size()) {}

    bool atEnd() const { return m_p >= m_end; }
    char peek() const { return *m_p; }
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }
    bool take(char c)
    {
        skipSpace();
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }

    // A string starting at the opening quote. `plain` tells whether it held no escape, in which
    // case `text` is its exact value.
    bool string(std::string_view &text, bool &plain)
    {
        if (atEnd() || *m_p != '"')
            return false;
        const char *start = ++m_p;
        plain = true;
        for (const char *from = start;;) {
            const auto *quote = static_cast<const char *>(std::memchr(from, '"', m_end - from));
            if (!quote)
                return false;
            if (plain && std::memchr(from, '\\', quote - from))
                plain = false;
            // The quote closes the string unless an odd run of backslashes precedes it.
            const char *run = quote;
            while (run > start && run[-1] == '\\')
                --run;
            from = quote + 1;
            if ((quote - run) % 2 == 0) {
                m_p = from;
                text = std::string_view(start, std::size_t(quote - start));
                return true;
            }
        }
    }

    // Skips one value of any kind; false when the bytes are not a value's shape.
    bool skipValue()
    {
        skipSpace();
        if (atEnd())
            return false;
        std::string_view ignored;
        bool plain;
        switch (*m_p) {
        case '"':
            return string(ignored, plain);
        case '{':
        case '[': {
            int depth = 0;
            while (m_p < m_end) {
                const char c = *m_p;
                if (c == '"') {
                    if (!string(ignored, plain))
                        return false;
                    continue;
                }
                ++m_p;
                if (c == '{' || c == '[')
                    ++depth;
                else if ((c == '}' || c == ']') && --depth == 0)
                    return true;
            }
            return false;
        }
        default: // number, true, false, null: runs up to the next separator
            while (m_p < m_end && *m_p != ',' && *m_p != '}' && *m_p != ']' && *m_p != ' ' &&
                   *m_p != '\t' && *m_p != '\n' && *m_p != '\r')
                ++m_p;
            return true;
        }
    }

private:
    const char *m_p;
    const char *m_end;
};

} // namespace

namespace TranscriptLinePeek {

bool surelyNotAssistant(std::string_view line)
{
    Cursor in(line);
    in.skipSpace();
    if (in.atEnd())
        return false; // blank so far; on part of a line the object may still follow
    if (in.peek() != '{')
        return true; // whatever it is, it is not an object
    in.take('{');
    if (in.take('}'))
        return true;
    for (;;) {
        in.skipSpace();
        std::string_view key;
        bool plain;
        if (!in.string(key, plain) || !plain || !in.take(':'))
            return false;
        if (key == "type") {
            in.skipSpace();
            if (in.atEnd())
                return false;
            if (in.peek() != '"') // a type that is not a string rejects the line
                return in.peek() == '{' || in.peek() == '[' || in.peek() == 't' ||
                       in.peek() == 'f' || in.peek() == 'n' || in.peek() == '-' ||
                       (in.peek() >= '0' && in.peek() <= '9');
            std::string_view type;
            if (!in.string(type, plain) || !plain)
                return false;
            return type != "assistant";
        }
        if (!in.skipValue())
            return false;
        if (in.take(','))
            continue;
        return in.take('}'); // closed without a "type": no record
    }
}

} // namespace TranscriptLinePeek
