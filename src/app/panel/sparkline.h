#pragma once

#include "panel/sparklinegeometry.h"

#include <QColor>
#include <QWidget>

#include <vector>

// The framed trend chart under a limit row: a 28-pixel band on a faint rounded background,
// and inside it, 22 pixels high, the area under the line at 15 % opacity, the line itself and a
// dot on the newest point. The scale is fixed at 0 to 100 %.
class Sparkline final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sparkline)

public:
    static constexpr int frameHeight = 28;
    static constexpr int chartHeight = 22;
    static constexpr int padX = 6;
    static constexpr int padY = 5;

    explicit Sparkline(QWidget *parent = nullptr);

    void setPoints(std::vector<SparkPoint> points, const QColor &tint);
    const std::vector<SparkPoint> &points() const { return m_points; }
    // Where the chart is drawn inside the widget.
    QRectF chartRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<SparkPoint> m_points;
    QColor m_tint;
};
