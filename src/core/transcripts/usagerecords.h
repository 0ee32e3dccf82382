#pragma once

#include "base/instant.h"
#include "transcripts/pagearray.h"
#include "transcripts/usageentry.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One accepted reply as read back from a list: the model, project and conversation ids are
// indices into the list's names (model 0: the reply names no model; project 0: its transcript
// lies directly in the root; conversation 0: neither a project nor a session was given).
struct UsageRecord
{
    Instant timestamp;
    std::uint32_t model = 0;
    std::uint32_t project = 0;
    std::uint32_t conversation = 0;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheCreationTokens = 0;
    std::int64_t cacheReadTokens = 0;
};

// An ordered list of replies, held for the life of the program, so packed: 28 bytes a reply in
// chunks of 112 KiB of pages of their own (see PageArray). Counts sit in 32 bits each, the model
// id in 8 and the conversation id in 24; a reply with a count outside 0 to 2³² - 2, a model id from
// 255 or a conversation id from 2²⁴ on keeps them all at full width in a side table, so every
// value reads back exactly. The project is not stored: it follows from the conversation (a
// top-level transcript and its subagents' transcripts lie in one project).
class UsageRecords
{
public:
    UsageRecords() = default;
    // A list moved from is empty.
    UsageRecords(UsageRecords &&other) noexcept { *this = std::move(other); }
    UsageRecords &operator=(UsageRecords &&other) noexcept;
    UsageRecords(const UsageRecords &) = delete;
    UsageRecords &operator=(const UsageRecords &) = delete;

    // `project`: the first directory below the root that holds the reply's transcript, or empty;
    // `session`: the conversation's top-level transcript's name without its extension.
    void append(const UsageEntry &entry, std::string_view project = {},
                std::string_view session = {});
    // Appends a record of `from`, carrying its model and conversation over by name.
    void append(const UsageRecord &record, const UsageRecords &from);
    void clear();

    std::size_t size() const { return m_records.size(); }
    bool empty() const { return m_records.size() == 0; }
    UsageRecord operator[](std::size_t i) const;
    Instant timestamp(std::size_t i) const { return Instant{at(i).micros()}; }
    // Where record `i` is held, to prefetch it.
    const void *address(std::size_t i) const { return &at(i); }

    class Iterator
    {
    public:
        UsageRecord operator*() const { return (*m_list)[m_at]; }
        Iterator &operator++()
        {
            ++m_at;
            return *this;
        }
        friend bool operator==(const Iterator &, const Iterator &) = default;

    private:
        friend class UsageRecords;
        Iterator(const UsageRecords *list, std::size_t at) : m_list(list), m_at(at) {}
        const UsageRecords *m_list;
        std::size_t m_at;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, m_records.size()}; }

    // Model ids run from 1 to modelCount(); 0 means "no model".
    std::uint32_t modelCount() const { return std::uint32_t(m_models.size()); }
    std::optional<std::string_view> modelName(std::uint32_t id) const;
    std::uint32_t modelId(std::optional<std::string_view> name);
    // Project ids run from 0 (the root itself, named "") to projectCount().
    std::uint32_t projectCount() const { return std::uint32_t(m_projects.size()); }
    std::string_view projectName(std::uint32_t id) const;
    std::uint32_t projectId(std::string_view name);
    // Conversation ids run from 0 (no project, no session) to conversationCount().
    std::uint32_t conversationCount() const { return std::uint32_t(m_conversations.size()); }
    std::uint32_t conversationProject(std::uint32_t id) const;
    std::string_view conversationSession(std::uint32_t id) const;
    std::uint32_t conversationId(std::uint32_t project, std::string_view session);

    // The record as a full entry (without its de-duplication key, which lives elsewhere).
    UsageEntry entry(std::size_t i) const;

private:
    // 28 bytes: 32-bit words only, so nothing pads it.
    struct Packed
    {
        std::uint32_t microsLow, microsHigh;
        std::uint32_t ids; // the model id in the low 8 bits, the conversation id above
        // All four counts; or, when counts[0] is `wide`, counts[1] indexes m_wide.
        std::uint32_t counts[4];
        std::int64_t micros() const
        {
            return std::int64_t(std::uint64_t(microsHigh) << 32 | microsLow);
        }
    };
    static_assert(sizeof(Packed) == 28);
    static constexpr std::uint32_t wide = 0xffffffff;
    static constexpr std::uint32_t modelBits = 8;
    // A reply whose counts, model or conversation do not fit.
    struct Wide
    {
        std::array<std::int64_t, 4> counts;
        std::uint32_t model;
        std::uint32_t conversation;
    };

    struct Conversation
    {
        std::uint32_t project;
        std::uint32_t nameAt; // into m_sessionNames
        std::uint32_t nameSize;
    };

    const Packed &at(std::size_t i) const { return m_records[i]; }
    Packed pack(Instant timestamp, std::uint32_t model, std::uint32_t conversation,
                const std::array<std::int64_t, 4> &counts);
    std::size_t conversationSlot(std::uint32_t project, std::string_view session) const;

    ChunkedArray<Packed, 12> m_records; // 4,096 a chunk
    std::vector<Wide> m_wide;

    std::deque<std::string> m_models; // stable addresses: m_modelIds holds views into them
    std::unordered_map<std::string_view, std::uint32_t> m_modelIds;
    std::deque<std::string> m_projects;
    std::unordered_map<std::string_view, std::uint32_t> m_projectIds;
    std::uint32_t m_lastProject = 0;
    // Conversations by id - 1, their session names in one pool, and an open-addressed index of
    // ids (0: empty slot): a few bytes a conversation beyond its name.
    std::vector<Conversation> m_conversations;
    std::string m_sessionNames;
    std::vector<std::uint32_t> m_conversationSlots;
    std::uint32_t m_lastConversation = 0;
};

// The four counts of one reply, summed exactly and then held within the 64-bit range.
std::int64_t totalTokens(const UsageRecord &record);
// Positions of `records` in timestamp order, ties in list order: the order totals are summed in.
std::vector<std::uint32_t> timeOrder(const UsageRecords &records);
