#include "transcripts/usagerecords.h"

#include <algorithm>
#include <limits>
#include <utility>

std::uint32_t UsageRecords::modelId(std::optional<std::string_view> name)
{
    if (!name)
        return 0;
    if (const auto it = m_modelIds.find(*name); it != m_modelIds.end())
        return it->second;
    const std::string &stored = m_models.emplace_back(*name);
    const auto id = std::uint32_t(m_models.size());
    m_modelIds.emplace(stored, id);
    return id;
}

std::optional<std::string_view> UsageRecords::modelName(std::uint32_t id) const
{
    if (id == 0 || id > m_models.size())
        return std::nullopt;
    return m_models[id - 1];
}

std::uint32_t UsageRecords::projectId(std::string_view name)
{
    if (name.empty())
        return 0;
    // Replies come file by file: mostly the project of the one before.
    if (m_lastProject != 0 && m_projects[m_lastProject - 1] == name)
        return m_lastProject;
    if (const auto it = m_projectIds.find(name); it != m_projectIds.end())
        return m_lastProject = it->second;
    const std::string &stored = m_projects.emplace_back(name);
    m_lastProject = std::uint32_t(m_projects.size());
    m_projectIds.emplace(stored, m_lastProject);
    return m_lastProject;
}

std::string_view UsageRecords::projectName(std::uint32_t id) const
{
    if (id == 0 || id > m_projects.size())
        return {};
    return m_projects[id - 1];
}

std::uint32_t UsageRecords::conversationProject(std::uint32_t id) const
{
    return id == 0 || id > m_conversations.size() ? 0 : m_conversations[id - 1].project;
}

std::string_view UsageRecords::conversationSession(std::uint32_t id) const
{
    if (id == 0 || id > m_conversations.size())
        return {};
    const Conversation &c = m_conversations[id - 1];
    return std::string_view(m_sessionNames).substr(c.nameAt, c.nameSize);
}

std::size_t UsageRecords::conversationSlot(std::uint32_t project, std::string_view session) const
{
    const std::size_t mask = m_conversationSlots.size() - 1;
    std::size_t i =
        (std::hash<std::string_view>{}(session) ^ (project * 0x9e3779b97f4a7c15ULL)) & mask;
    for (;; i = (i + 1) & mask) {
        const std::uint32_t id = m_conversationSlots[i];
        if (id == 0 ||
            (m_conversations[id - 1].project == project && conversationSession(id) == session))
            return i;
    }
}

std::uint32_t UsageRecords::conversationId(std::uint32_t project, std::string_view session)
{
    if (project == 0 && session.empty())
        return 0;
    // Replies come file by file: mostly the conversation of the one before.
    if (m_lastConversation != 0 && m_conversations[m_lastConversation - 1].project == project &&
        conversationSession(m_lastConversation) == session)
        return m_lastConversation;
    // At most half full.
    if ((m_conversations.size() + 1) * 2 > m_conversationSlots.size()) {
        std::vector<std::uint32_t> slots(std::max<std::size_t>(64, m_conversationSlots.size() * 2));
        slots.swap(m_conversationSlots);
        for (std::uint32_t id = 1; id <= m_conversations.size(); ++id)
            m_conversationSlots[conversationSlot(m_conversations[id - 1].project,
                                                 conversationSession(id))] = id;
    }
    std::uint32_t &slot = m_conversationSlots[conversationSlot(project, session)];
    if (slot == 0) {
        m_conversations.push_back(
            {project, std::uint32_t(m_sessionNames.size()), std::uint32_t(session.size())});
        m_sessionNames.append(session);
        slot = std::uint32_t(m_conversations.size());
    }
    return m_lastConversation = slot;
}

UsageRecords::Packed UsageRecords::pack(Instant timestamp, std::uint32_t model,
                                        std::uint32_t conversation,
                                        const std::array<std::int64_t, 4> &counts)
{
    const auto micros = std::uint64_t(timestamp.micros);
    Packed p{std::uint32_t(micros), std::uint32_t(micros >> 32), 0, {}};
    if (model < (1u << modelBits) - 1 && conversation < (1u << (32 - modelBits)) &&
        std::ranges::all_of(counts,
                            [](std::int64_t c) { return c >= 0 && c < std::int64_t(wide); })) {
        p.ids = model | conversation << modelBits;
        for (std::size_t k = 0; k < 4; ++k)
            p.counts[k] = std::uint32_t(counts[k]);
    } else {
        p.counts[0] = wide;
        p.counts[1] = std::uint32_t(m_wide.size());
        m_wide.push_back({counts, model, conversation});
    }
    return p;
}

UsageRecord UsageRecords::operator[](std::size_t i) const
{
    const Packed &p = at(i);
    UsageRecord r;
    r.timestamp = Instant{p.micros()};
    if (p.counts[0] == wide) {
        const Wide &w = m_wide[p.counts[1]];
        r.model = w.model, r.conversation = w.conversation;
        r.inputTokens = w.counts[0], r.outputTokens = w.counts[1];
        r.cacheCreationTokens = w.counts[2], r.cacheReadTokens = w.counts[3];
    } else {
        r.model = p.ids & ((1u << modelBits) - 1), r.conversation = p.ids >> modelBits;
        r.inputTokens = p.counts[0], r.outputTokens = p.counts[1];
        r.cacheCreationTokens = p.counts[2], r.cacheReadTokens = p.counts[3];
    }
    r.project = conversationProject(r.conversation);
    return r;
}

void UsageRecords::append(const UsageEntry &e, std::string_view project, std::string_view session)
{
    const std::uint32_t model = modelId(e.model);
    const std::uint32_t conversation = conversationId(projectId(project), session);
    m_records.push_back(
        pack(e.timestamp, model, conversation,
             {e.inputTokens, e.outputTokens, e.cacheCreationTokens, e.cacheReadTokens}));
}

void UsageRecords::append(const UsageRecord &record, const UsageRecords &from)
{
    std::uint32_t model = record.model, conversation = record.conversation;
    if (&from != this) {
        model = modelId(from.modelName(record.model));
        conversation = conversationId(projectId(from.projectName(record.project)),
                                      from.conversationSession(record.conversation));
    }
    m_records.push_back(pack(record.timestamp, model, conversation,
                             {record.inputTokens, record.outputTokens, record.cacheCreationTokens,
                              record.cacheReadTokens}));
}

UsageRecords &UsageRecords::operator=(UsageRecords &&other) noexcept
{
    if (this == &other)
        return *this;
    m_records = std::move(other.m_records);
    m_wide = std::move(other.m_wide);
    m_models = std::move(other.m_models);
    m_modelIds = std::move(other.m_modelIds);
    m_projects = std::move(other.m_projects);
    m_projectIds = std::move(other.m_projectIds);
    m_lastProject = std::exchange(other.m_lastProject, 0);
    m_conversations = std::move(other.m_conversations);
    m_sessionNames = std::move(other.m_sessionNames);
    m_conversationSlots = std::move(other.m_conversationSlots);
    m_lastConversation = std::exchange(other.m_lastConversation, 0);
    return *this;
}

void UsageRecords::clear()
{
    *this = UsageRecords();
}

UsageEntry UsageRecords::entry(std::size_t i) const
{
    const UsageRecord r = (*this)[i];
    UsageEntry e;
    e.timestamp = r.timestamp;
    if (const auto name = modelName(r.model))
        e.model.emplace(*name);
    e.inputTokens = r.inputTokens;
    e.outputTokens = r.outputTokens;
    e.cacheCreationTokens = r.cacheCreationTokens;
    e.cacheReadTokens = r.cacheReadTokens;
    return e;
}

std::int64_t totalTokens(const UsageRecord &r)
{
    __extension__ using Wide = __int128;
    const Wide sum =
        Wide(r.inputTokens) + r.outputTokens + r.cacheCreationTokens + r.cacheReadTokens;
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    return sum > max ? max : sum < min ? min : std::int64_t(sum);
}

// Sorting (timestamp, position) pairs is a stable sort by timestamp, and far cheaper than moving
// whole records around.
std::vector<std::uint32_t> timeOrder(const UsageRecords &records)
{
    struct Key
    {
        std::int64_t micros;
        std::uint32_t index;
    };
    std::vector<Key> keys;
    keys.reserve(records.size());
    bool sorted = true;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int64_t t = records.timestamp(i).micros;
        sorted = sorted && (keys.empty() || keys.back().micros <= t);
        keys.push_back({t, std::uint32_t(i)});
    }
    if (!sorted) {
        std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
            return a.micros != b.micros ? a.micros < b.micros : a.index < b.index;
        });
    }
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const Key &k : keys)
        order.push_back(k.index);
    return order;
}
