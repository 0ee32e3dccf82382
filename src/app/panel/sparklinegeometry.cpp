#include "panel/sparklinegeometry.h"

#include <cmath>

namespace SparklineGeometry {

std::vector<SparkPoint> timedSeries(const UsageHistory &history, SampleValue value,
                                    const std::optional<LimitWindow> &window,
                                    double durationSeconds)
{
    std::vector<SparkPoint> out;
    if (window && window->resetsAt) {
        const Instant end = *window->resetsAt;
        for (const UsageSample &sample : history) {
            const std::optional<double> &v = sample.*value;
            if (!v)
                continue;
            const double beforeEnd = end.secondsSince(sample.t);
            if (beforeEnd < 0 || beforeEnd > durationSeconds)
                continue;
            out.push_back({(durationSeconds - beforeEnd) / durationSeconds, *v});
        }
        return out;
    }
    for (const UsageSample &sample : history) {
        if (const std::optional<double> &v = sample.*value)
            out.push_back({0, *v});
    }
    const std::size_t n = out.size();
    for (std::size_t i = 0; n >= 2 && i < n; ++i)
        out[i].x = double(i) / double(n - 1);
    return out;
}

std::vector<QPointF> pixels(const std::vector<SparkPoint> &points, QSizeF size)
{
    std::vector<QPointF> out;
    out.reserve(points.size());
    for (const SparkPoint &p : points) {
        const double px = !(p.x >= 0) ? 0 : p.x >= 1 ? size.width() : p.x * size.width();
        const double yc = !(p.y >= 0) ? 0 : std::min(p.y, 100.0);
        out.emplace_back(px, (1 - yc / 100) * size.height());
    }
    return out;
}

QPainterPath area(const std::vector<QPointF> &pixels, double height)
{
    QPainterPath path;
    if (pixels.empty())
        return path;
    path.moveTo(pixels.front().x(), height);
    for (const QPointF &p : pixels)
        path.lineTo(p);
    path.lineTo(pixels.back().x(), height);
    path.closeSubpath();
    return path;
}

} // namespace SparklineGeometry
