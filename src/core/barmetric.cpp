#include "barmetric.h"

QString rawValue(BarMetric metric)
{
    switch (metric) {
    case BarMetric::plan5h:
        return QStringLiteral("plan5h");
    case BarMetric::planWeek:
        return QStringLiteral("planWeek");
    case BarMetric::costToday:
        return QStringLiteral("costToday");
    case BarMetric::tokensToday:
        return QStringLiteral("tokensToday");
    }
    return {};
}

QString label(BarMetric metric)
{
    switch (metric) {
    case BarMetric::plan5h:
        return QStringLiteral("Plan used \u2014 5h window (%)");
    case BarMetric::planWeek:
        return QStringLiteral("Plan used \u2014 weekly (%)");
    case BarMetric::costToday:
        return QStringLiteral("Cost today ($, estimate)");
    case BarMetric::tokensToday:
        return QStringLiteral("Tokens today");
    }
    return {};
}

std::optional<BarMetric> barMetricFromRaw(QStringView raw)
{
    for (const BarMetric metric : allBarMetrics) {
        if (raw == rawValue(metric))
            return metric;
    }
    return std::nullopt;
}
