#pragma once

#include "base/instant.h"
#include "panel/panelvalues.h"

#include <QWidget>

class LevelBar;
class Sparkline;
class StyledLabel;

// One main plan window: its title and percent, the bar, "Resets in …" when the reset time is
// known, and the trend chart from four points on. Hidden when the window is absent.
class LimitRow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LimitRow)

public:
    static constexpr std::size_t minSparklinePoints = 4;

    explicit LimitRow(const QString &title, QWidget *parent = nullptr);

    void setValues(const std::optional<LimitWindow> &window, std::vector<SparkPoint> points,
                   const Thresholds &thresholds, Instant now);

    QString percentText() const;
    QString resetText() const;
    const LevelBar *bar() const { return m_bar; }
    const Sparkline *sparkline() const { return m_sparkline; }

private:
    StyledLabel *m_title;
    StyledLabel *m_percent;
    LevelBar *m_bar;
    StyledLabel *m_reset;
    Sparkline *m_sparkline;
};
