#include "transcripts/usagerecords.h"

#include <algorithm>
#include <limits>

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

void UsageRecords::append(const UsageEntry &e, std::string_view project)
{
    m_records.push_back({e.timestamp, modelId(e.model), projectId(project), e.inputTokens,
                         e.outputTokens, e.cacheCreationTokens, e.cacheReadTokens});
}

void UsageRecords::append(const UsageRecord &record, const UsageRecords &from)
{
    UsageRecord copy = record;
    if (&from != this) {
        copy.model = modelId(from.modelName(record.model));
        copy.project = projectId(from.projectName(record.project));
    }
    m_records.push_back(copy);
}

void UsageRecords::clear()
{
    m_records.clear();
    m_records.shrink_to_fit();
    m_modelIds.clear();
    m_models.clear();
    m_projectIds.clear();
    m_projects.clear();
    m_lastProject = 0;
}

UsageEntry UsageRecords::entry(std::size_t i) const
{
    const UsageRecord &r = m_records[i];
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
        const std::int64_t t = records[i].timestamp.micros;
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
