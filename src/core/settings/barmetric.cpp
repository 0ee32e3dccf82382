#include "settings/barmetric.h"

#include <QCoreApplication>

namespace {

struct Names
{
    const char *raw;
    const char *label; // UTF-8, translated when shown
};

// Indexed by the enumeration, in declaration order.
constexpr Names names[] = {
    {"plan5h", QT_TRANSLATE_NOOP("BarMetric", "Plan used — 5h window (%)")},
    {"planWeek", QT_TRANSLATE_NOOP("BarMetric", "Plan used — weekly (%)")},
    {"costToday", QT_TRANSLATE_NOOP("BarMetric", "Cost today ($, estimate)")},
    {"tokensToday", QT_TRANSLATE_NOOP("BarMetric", "Tokens today")},
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
    return QCoreApplication::translate("BarMetric", namesOf(metric).label);
}

std::optional<BarMetric> barMetricFromRaw(QStringView raw)
{
    for (const BarMetric metric : allBarMetrics) {
        if (raw == QLatin1StringView(namesOf(metric).raw))
            return metric;
    }
    return std::nullopt;
}
