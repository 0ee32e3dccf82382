#pragma once

#include <QSlider>

// A horizontal slider whose user moves (drag, keys, wheel, clicks) land on min, min + step, …
// and on max itself when the range is not a whole number of steps. Values set by code are shown
// as they are, so a stored value off the grid is not rewritten by merely being displayed.
class SteppedSlider final : public QSlider
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SteppedSlider)

public:
    SteppedSlider(int minimum, int maximum, int step, QWidget *parent = nullptr);

    // The grid value nearest to `value`; halfway between two, the upper one.
    int snapped(int value) const;

private:
    int m_step;
};
