#pragma once

#include "alerts/usagehistorystore.h"
#include "plan/planusage.h"

#include <QPainterPath>
#include <QPointF>
#include <QSizeF>

#include <optional>
#include <vector>

// One point of a sparkline: x along the window (0 its start, 1 its reset), y in percent.
struct SparkPoint
{
    double x = 0;
    double y = 0;

    friend bool operator==(const SparkPoint &, const SparkPoint &) = default;
};

// The pure half of the sparkline: which history samples it shows and where they land in pixels.
namespace SparklineGeometry {

// Which value of a sample a series follows.
using SampleValue = std::optional<double> UsageSample::*;

// The samples of the window that ends at the window's reset time, placed by their time; without
// a reset time, every sample with a value, spread evenly. History order is kept.
std::vector<SparkPoint> timedSeries(const UsageHistory &history, SampleValue value,
                                    const std::optional<LimitWindow> &window,
                                    double durationSeconds);
// x clamped to 0…1 of the width, y clamped to 0…100 % of the height (100 % at the top).
std::vector<QPointF> pixels(const std::vector<SparkPoint> &points, QSizeF size);
// The closed outline under the line down to the bottom edge; empty without points.
QPainterPath area(const std::vector<QPointF> &pixels, double height);

} // namespace SparklineGeometry
