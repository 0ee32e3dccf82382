#pragma once

#include "random.h"
#include "textpool.h"
#include "treemanifest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One transcript to write.
struct SessionPlan
{
    std::string path;
    std::uint64_t targetBytes = 0; // written until at least this many bytes
    std::string sessionId;
    std::string cwd;
    std::string gitBranch;
    std::string version;
    std::string agentId; // empty: the main conversation; otherwise a subagent's transcript
    std::int64_t startMicros = 0;
    std::int64_t endMicros = 0; // no timestamp later than this
};

// A line of an earlier transcript, repeated at the start of a resumed conversation.
struct ReplayLine
{
    enum class Kind { User, Assistant, Other };
    Kind kind = Kind::Other;
    std::string text; // without the newline
};

// Writes transcripts the way the assistant does, and counts what a scan should make of them:
// every line kind, replies split over several lines, repeated replies, lines the scan must
// reject (zero usage, other kinds).
class TranscriptWriter
{
public:
    TranscriptWriter(Random &random, TextPool &text, TreeManifest &tally);

    // Writes one transcript, beginning with `replay`. The bytes written, or nothing when the
    // file could not be written.
    std::optional<std::uint64_t> write(const SessionPlan &plan,
                                       const std::vector<ReplayLine> &replay);
    // The last short lines of the transcript written last, oldest first.
    std::vector<ReplayLine> tail() const;

private:
    // A tool's result (often tens of kilobytes) or a typed prompt.
    void userLine(bool toolResult);
    void assistantReply();
    void systemLine();
    void summaryLine();

    void envelope();
    // Ends the line begun at m_lineStart with its uuid and timestamp.
    void closeLine(const std::string &uuid, ReplayLine::Kind kind, bool fraction = true);
    void finishLine(ReplayLine::Kind kind);
    void advance(std::int64_t micros);
    bool flush();

    std::string base62(std::size_t n);
    void appendTimestamp(bool fraction);

    Random &m_random;
    TextPool &m_text;
    TreeManifest &m_tally;

    const SessionPlan *m_plan = nullptr;
    int m_fd = -1;
    bool m_failed = false;
    std::uint64_t m_written = 0;
    std::string m_buf;
    std::size_t m_lineStart = 0;
    std::int64_t m_now = 0;
    std::string m_parentUuid; // empty: null
    std::string m_pendingToolId;
    std::vector<ReplayLine> m_tail; // a ring of the last short lines
    std::size_t m_tailNext = 0;
};
