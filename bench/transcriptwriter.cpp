#include "transcriptwriter.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::size_t flushAt = 4 << 20;
constexpr std::size_t tailLines = 16;
constexpr std::size_t tailLineMax = 16 << 10;
constexpr std::int64_t millis = 1000;
constexpr std::int64_t seconds = 1000 * millis;

constexpr std::string_view base62Digits =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

struct Model
{
    std::string_view id;
    double upTo; // cumulative share of replies
};
constexpr std::array<Model, 4> models{{{"varnel-corvel-4-5-20250929", 0.75},
                                       {"varnel-magnar-4-1-20250805", 0.87},
                                       {"varnel-tindle-4-5-20251001", 0.99},
                                       {"<synthetic>", 1.0}}};

constexpr std::array<std::string_view, 4> systemSubtypes{"informational", "compact_boundary",
                                                         "local_command", "api_error"};

// Year, month and day of a day count since 1970-01-01 (proleptic Gregorian).
void civilFromDays(std::int64_t z, int &year, unsigned &month, unsigned &day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = int(std::int64_t(yoe) + era * 400 + (month <= 2));
}

} // namespace

TranscriptWriter::TranscriptWriter(Random &random, TextPool &text, TreeManifest &tally)
    : m_random(random), m_text(text), m_tally(tally)
{
    m_buf.reserve(flushAt + (1 << 20));
}

std::optional<std::uint64_t> TranscriptWriter::write(const SessionPlan &plan,
                                                     const std::vector<ReplayLine> &replay)
{
    m_fd = ::open(plan.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return std::nullopt;
    m_plan = &plan;
    m_failed = false;
    m_written = 0;
    m_buf.clear();
    m_now = plan.startMicros;
    m_parentUuid.clear();
    m_pendingToolId.clear();
    m_tail.clear();
    m_tailNext = 0;

    for (const ReplayLine &line : replay) {
        m_lineStart = m_buf.size();
        m_buf += line.text;
        finishLine(line.kind);
    }
    if (!plan.agentId.empty()) {
        userLine(false); // the task the subagent was given
    } else if (m_random.chance(0.3)) {
        for (auto n = m_random.between(1, 3); n > 0; --n)
            summaryLine();
    }
    // Per event: user 58 %, reply 30.5 % (about 1.5 lines each), other 11.5 %, which makes
    // about half the lines user lines and 40 % assistant lines.
    while (!m_failed && m_written + m_buf.size() < plan.targetBytes) {
        const double kind = m_random.unit();
        if (kind < 0.58)
            userLine(m_random.chance(0.65));
        else if (kind < 0.885)
            assistantReply();
        else if (kind < 0.99)
            systemLine();
        else
            summaryLine();
        if (m_buf.size() >= flushAt)
            flush();
    }
    flush();
    if (::close(m_fd) != 0)
        m_failed = true;
    m_fd = -1;
    m_plan = nullptr;
    if (m_failed)
        return std::nullopt;
    return m_written;
}

std::vector<ReplayLine> TranscriptWriter::tail() const
{
    std::vector<ReplayLine> out;
    for (std::size_t i = 0; i < m_tail.size(); ++i)
        out.push_back(m_tail[(m_tailNext + i) % m_tail.size()]);
    return out;
}

void TranscriptWriter::userLine(bool toolResult)
{
    advance(m_random.logUniform(300 * millis, 120 * seconds));
    const std::string uuid = m_random.uuid();
    m_lineStart = m_buf.size();
    envelope();
    if (toolResult) {
        m_buf += R"("type":"user","message":{"role":"user","content":[{"tool_use_id":")";
        if (m_pendingToolId.empty()) {
            m_buf += "toolu_01" + base62(22);
        } else {
            m_buf += m_pendingToolId;
            m_pendingToolId.clear();
        }
        m_buf += R"(","type":"tool_result","content":")";
        const std::size_t contentStart = m_buf.size();
        m_text.appendOutput(m_buf, std::size_t(m_random.logUniform(2 << 10, 40 << 10)));
        const std::size_t contentSize = m_buf.size() - contentStart;
        m_buf += m_random.chance(0.05) ? R"(","is_error":true}]})" : R"(","is_error":false}]})";
        // The tool's own record repeats its output, which is why these lines get so long.
        if (m_random.chance(0.4)) {
            m_buf.reserve(m_buf.size() + contentSize + 128);
            m_buf += R"(,"toolUseResult":{"stdout":")";
            m_buf.append(m_buf.data() + contentStart, contentSize); // no reallocation: reserved
            m_buf += R"(","stderr":"","interrupted":false,"isImage":false})";
        }
    } else {
        m_buf += R"("type":"user","message":{"role":"user","content":")";
        m_text.appendProse(m_buf, std::size_t(m_random.logUniform(40, 2000)));
        m_buf += R"("})";
    }
    closeLine(uuid, ReplayLine::Kind::User);
}

void TranscriptWriter::assistantReply()
{
    const double pick = m_random.unit();
    const Model *model = &models.back();
    for (const Model &m : models) {
        if (pick < m.upTo) {
            model = &m;
            break;
        }
    }
    // Synthetic replies (made up locally after an interruption) mostly carry no usage.
    const bool zeroUsage = model == &models.back() ? m_random.chance(0.5) : m_random.chance(0.015);
    std::int64_t input = 0, output = 0, cacheWrite = 0, cacheRead = 0;
    if (!zeroUsage) {
        input = m_random.chance(0.8) ? m_random.between(1, 10) : m_random.logUniform(10, 5000);
        output = m_random.logUniform(1, 8000);
        cacheWrite = m_random.chance(0.5) ? 0 : m_random.logUniform(100, 30000);
        cacheRead = m_random.chance(0.9) ? m_random.logUniform(5000, 180000) : 0;
    }
    std::string usage =
        R"("usage":{"input_tokens":)" + std::to_string(input) + R"(,"output_tokens":)" +
        std::to_string(output) + R"(,"cache_creation_input_tokens":)" + std::to_string(cacheWrite) +
        R"(,"cache_read_input_tokens":)" + std::to_string(cacheRead) +
        R"(,"cache_creation":{"ephemeral_5m_input_tokens":)" + std::to_string(cacheWrite) +
        R"(,"ephemeral_1h_input_tokens":0},"service_tier":"standard"}})";

    const std::string messageId = "msg_01" + base62(22);
    // A few replies carry no request id; their key is the message id alone.
    const std::string requestId = m_random.chance(0.02) ? std::string() : "req_011C" + base62(20);

    // A reply with several content blocks is written as one line per block, each with the
    // same message id, request id and usage.
    const double split = m_random.unit();
    const int lines = split < 0.60 ? 1 : split < 0.88 ? 2 : 3;
    const bool endsWithTool = m_random.chance(0.65);
    for (int i = 0; i < lines; ++i) {
        advance(i == 0 ? m_random.logUniform(1 * seconds, 90 * seconds)
                       : m_random.between(5 * millis, 900 * millis));
        const std::string uuid = m_random.uuid();
        m_lineStart = m_buf.size();
        envelope();
        m_buf += R"("message":{"id":")" + messageId + R"(","type":"message","role":"assistant",)";
        m_buf += R"("model":")";
        m_buf += model->id;
        m_buf += R"(","content":[)";
        const bool last = i == lines - 1;
        if (last && endsWithTool) {
            m_pendingToolId = "toolu_01" + base62(22);
            m_buf += R"({"type":"tool_use","id":")" + m_pendingToolId + R"(","name":")";
            switch (m_random.below(4)) {
            case 0:
                m_buf += R"(shell","input":{"command":")" + m_text.word() + " --" + m_text.word() +
                         ' ' + m_text.path(m_plan->cwd) + R"(","description":")";
                m_text.appendProse(m_buf, 30);
                m_buf += R"("}})";
                break;
            case 1:
                m_buf += R"(read_file","input":{"file_path":")" + m_text.path(m_plan->cwd) +
                         R"(.cpp"}})";
                break;
            case 2:
                m_buf += R"(edit_file","input":{"file_path":")" + m_text.path(m_plan->cwd) +
                         R"(.ts","old_string":")";
                m_text.appendOutput(m_buf, std::size_t(m_random.logUniform(60, 1500)));
                m_buf += R"(","new_string":")";
                m_text.appendOutput(m_buf, std::size_t(m_random.logUniform(60, 1500)));
                m_buf += R"("}})";
                break;
            default:
                m_buf += R"(search","input":{"pattern":")" + m_text.word() + R"(","path":")" +
                         m_text.path(m_plan->cwd) + R"("}})";
                break;
            }
        } else if (i == 0 && lines > 1 && m_random.chance(0.5)) {
            m_buf += R"({"type":"thinking","thinking":")";
            m_text.appendProse(m_buf, std::size_t(m_random.logUniform(200, 3000)));
            m_buf += R"(","signature":")";
            m_buf += base62(std::size_t(m_random.between(300, 600)));
            m_buf += R"("})";
        } else {
            m_buf += R"({"type":"text","text":")";
            m_text.appendProse(m_buf, std::size_t(m_random.logUniform(50, 2500)));
            m_buf += R"("})";
        }
        m_buf += R"(],"stop_reason":)";
        m_buf += !last ? "null" : endsWithTool ? R"("tool_use")" : R"("end_turn")";
        m_buf += R"(,"stop_sequence":null,)";
        m_buf += usage;
        if (!requestId.empty())
            m_buf += R"(,"requestId":")" + requestId + '"';
        m_buf += R"(,"type":"assistant")";
        closeLine(uuid, ReplayLine::Kind::Assistant, !m_random.chance(0.03));
    }

    if (!zeroUsage) {
        ++m_tally.entries;
        TreeManifest::ModelTotals &totals = m_tally.perModel[std::string(model->id)];
        ++totals.count;
        totals.tokens += input + output + cacheWrite + cacheRead;
    }
}

void TranscriptWriter::systemLine()
{
    advance(m_random.logUniform(100 * millis, 30 * seconds));
    const std::string uuid = m_random.uuid();
    m_lineStart = m_buf.size();
    envelope();
    m_buf += R"("type":"system","subtype":")";
    m_buf += systemSubtypes[m_random.below(systemSubtypes.size())];
    m_buf += R"(","content":")";
    m_text.appendProse(m_buf, std::size_t(m_random.logUniform(30, 400)));
    m_buf += m_random.chance(0.9) ? R"(","isMeta":false,"level":"info")"
                                  : R"(","isMeta":false,"level":"warning")";
    closeLine(uuid, ReplayLine::Kind::Other);
}

void TranscriptWriter::summaryLine()
{
    m_lineStart = m_buf.size();
    m_buf += R"({"type":"summary","summary":")";
    m_text.appendProse(m_buf, std::size_t(m_random.logUniform(20, 120)));
    m_buf += R"(","leafUuid":")";
    m_buf += m_random.uuid();
    m_buf += R"("})";
    finishLine(ReplayLine::Kind::Other);
}

void TranscriptWriter::envelope()
{
    m_buf += R"({"parentUuid":)";
    m_buf += m_parentUuid.empty() ? "null" : '"' + m_parentUuid + '"';
    m_buf += m_plan->agentId.empty() ? R"(,"isSidechain":false)" : R"(,"isSidechain":true)";
    m_buf += R"(,"userType":"external","cwd":")" + m_plan->cwd + R"(","sessionId":")" +
             m_plan->sessionId + R"(","version":")" + m_plan->version + R"(","gitBranch":")" +
             m_plan->gitBranch + R"(",)";
    if (!m_plan->agentId.empty())
        m_buf += R"("agentId":")" + m_plan->agentId + R"(",)";
}

void TranscriptWriter::closeLine(const std::string &uuid, ReplayLine::Kind kind, bool fraction)
{
    m_buf += R"(,"uuid":")" + uuid + R"(","timestamp":")";
    appendTimestamp(fraction);
    m_buf += R"("})";
    m_parentUuid = uuid;
    finishLine(kind);
}

void TranscriptWriter::finishLine(ReplayLine::Kind kind)
{
    const std::size_t size = m_buf.size() - m_lineStart;
    if (size <= tailLineMax) {
        if (m_tail.size() < tailLines)
            m_tail.emplace_back();
        ReplayLine &slot = m_tail[m_tailNext];
        slot.kind = kind;
        slot.text.assign(m_buf, m_lineStart, size);
        m_tailNext = (m_tailNext + 1) % tailLines;
    }
    m_buf += '\n';
    switch (kind) {
    case ReplayLine::Kind::User:
        ++m_tally.userLines;
        break;
    case ReplayLine::Kind::Assistant:
        ++m_tally.assistantLines;
        break;
    case ReplayLine::Kind::Other:
        ++m_tally.otherLines;
        break;
    }
}

void TranscriptWriter::advance(std::int64_t micros)
{
    m_now = std::min(m_now + micros, m_plan->endMicros);
}

bool TranscriptWriter::flush()
{
    std::size_t done = 0;
    while (!m_failed && done < m_buf.size()) {
        const ssize_t n = ::write(m_fd, m_buf.data() + done, m_buf.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            m_failed = true;
        else
            done += std::size_t(n);
    }
    m_written += done;
    m_buf.clear();
    return !m_failed;
}

std::string TranscriptWriter::base62(std::size_t n)
{
    std::string out(n, '0');
    for (char &c : out)
        c = base62Digits[m_random.below(62)];
    return out;
}

void TranscriptWriter::appendTimestamp(bool fraction)
{
    const std::int64_t secs = m_now / seconds; // instants here are after 1970
    int year;
    unsigned month, day;
    civilFromDays(secs / 86400, year, month, day);
    const auto inDay = int(secs % 86400);
    char text[40];
    const int n = fraction
                      ? std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                                      year, month, day, inDay / 3600, inDay / 60 % 60, inDay % 60,
                                      int(m_now % seconds / millis))
                      : std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", year,
                                      month, day, inDay / 3600, inDay / 60 % 60, inDay % 60);
    m_buf.append(text, std::size_t(n));
}
