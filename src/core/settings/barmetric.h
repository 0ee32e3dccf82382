#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// The figure the tray label shows. The raw value is what the "barMetric" preference stores.
enum class BarMetric { plan5h, planWeek, costToday, tokensToday };

// Declaration order, which is also the order of the choices in the settings window.
inline constexpr std::array<BarMetric, 4> allBarMetrics{
    BarMetric::plan5h, BarMetric::planWeek, BarMetric::costToday, BarMetric::tokensToday};

QString rawValue(BarMetric metric);
// The text the settings window shows for the choice.
QString label(BarMetric metric);
// The metric whose raw value is exactly `raw` (case-sensitive), or nothing.
std::optional<BarMetric> barMetricFromRaw(QStringView raw);
