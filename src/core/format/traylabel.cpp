#include "format/traylabel.h"

#include "format/format.h"

#include <QCoreApplication>

#include <cmath>

namespace {

const std::optional<LimitWindow> &planWindow(BarMetric metric, const std::optional<PlanUsage> &plan)
{
    static const std::optional<LimitWindow> none;
    if (!plan)
        return none;
    return metric == BarMetric::planWeek ? plan->sevenDay : plan->fiveHour;
}

bool isPlanMetric(BarMetric metric)
{
    return metric == BarMetric::plan5h || metric == BarMetric::planWeek;
}

const QString emDash = QStringLiteral("\u2014");

// One or no decimal, whichever keeps the figure at about three digits; nothing is plain 0.
QString compact(double value)
{
    if (value == 0 || std::fabs(value) >= 9.95 || !std::isfinite(value))
        return QString::number(value, 'f', 0);
    return QString::number(value, 'f', 1);
}

} // namespace

namespace TrayLabel {

QString text(BarMetric metric, const UsageBucket &today, const std::optional<PlanUsage> &plan)
{
    switch (metric) {
    case BarMetric::costToday:
        return QString::fromStdString(Format::cost(today.cost));
    case BarMetric::tokensToday:
        return QString::fromStdString(Format::tokens(today.tokens));
    case BarMetric::plan5h:
    case BarMetric::planWeek:
        break;
    }
    const std::optional<LimitWindow> &window = planWindow(metric, plan);
    return window ? QString::fromStdString(Format::percent(window->utilization)) : emDash;
}

std::optional<double> activeUtilization(BarMetric metric, const std::optional<PlanUsage> &plan)
{
    if (!isPlanMetric(metric))
        return std::nullopt;
    const std::optional<LimitWindow> &window = planWindow(metric, plan);
    if (!window)
        return std::nullopt;
    return window->utilization;
}

BarTint barTint(bool colorBarNearLimit, std::optional<double> utilization, double warning,
                double critical)
{
    if (!colorBarNearLimit || !utilization)
        return BarTint::none;
    if (*utilization >= critical)
        return BarTint::red;
    if (*utilization >= warning)
        return BarTint::orange;
    return BarTint::none;
}

QString toolTip(BarMetric metric, const QString &text)
{
    const char *name = "";
    switch (metric) {
    case BarMetric::plan5h:
        name = QT_TRANSLATE_NOOP("TrayLabel", "Plan used — 5h window");
        break;
    case BarMetric::planWeek:
        name = QT_TRANSLATE_NOOP("TrayLabel", "Plan used — weekly");
        break;
    case BarMetric::costToday:
        name = QT_TRANSLATE_NOOP("TrayLabel", "Cost today (estimate)");
        break;
    case BarMetric::tokensToday:
        name = QT_TRANSLATE_NOOP("TrayLabel", "Tokens today");
        break;
    }
    return QCoreApplication::translate("TrayLabel", "%1: %2")
        .arg(QCoreApplication::translate("TrayLabel", name), text);
}

QString iconText(BarMetric metric, const UsageBucket &today, const std::optional<PlanUsage> &plan)
{
    switch (metric) {
    case BarMetric::costToday:
        return u'$' + compact(today.cost);
    case BarMetric::tokensToday: {
        // A unit is taken as soon as the figure would round up to it: 999,600 is "1.0M".
        const double n = double(today.tokens);
        const std::pair<double, char16_t> units[] = {{1e9, u'B'}, {1e6, u'M'}, {1e3, u'K'}};
        for (const auto &[size, suffix] : units) {
            if (std::fabs(n) >= size * (suffix == u'K' ? 1.0 : 0.9995))
                return compact(n / size) + suffix;
        }
        return QString::number(today.tokens);
    }
    case BarMetric::plan5h:
    case BarMetric::planWeek:
        break;
    }
    const std::optional<LimitWindow> &window = planWindow(metric, plan);
    if (!window)
        return emDash;
    QString percent = QString::fromStdString(Format::percent(window->utilization));
    percent.chop(1);
    return percent;
}

} // namespace TrayLabel
