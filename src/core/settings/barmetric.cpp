#include "settings/barmetric.h"

namespace {

struct Names
{
    const char *raw;
    const char *label; // UTF-8
};

// Indexed by the enumeration, in declaration order.
constexpr Names names[] = {
    {"plan5h", "Plan used \u2014 5h window (%)"},
    {"planWeek", "Plan used \u2014 weekly (%)"},
    {"costToday", "Cost today ($, estimate)"},
    {"tokensToday", "Tokens today"},
};
static_assert(std::size(names) == allBarMetrics.size());

const Names &namesOf(BarMetric metric)
{
    return names[static_cast<std::size_t>(metric)];
}

} // namespace

QString rawValue(BarMetric metric)
{
    return QString::fromLatin1(namesOf(metric).raw);
}

QString label(BarMetric metric)
{
    return QString::fromUtf8(namesOf(metric).label);
}

std::optional<BarMetric> barMetricFromRaw(QStringView raw)
{
    for (const BarMetric metric : allBarMetrics) {
        if (raw == QLatin1StringView(namesOf(metric).raw))
            return metric;
    }
    return std::nullopt;
}
