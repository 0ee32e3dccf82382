#include "steppedslider.h"

#include <algorithm>

SteppedSlider::SteppedSlider(int minimum, int maximum, int step, QWidget *parent)
    : QSlider(Qt::Horizontal, parent), m_step(step)
{
    setRange(minimum, maximum);
    setSingleStep(step);
    setPageStep(step);
    // The position is already moved when an action is announced and the value not yet: the one
    // place where a drag, a key or a wheel turn can be put on the grid before anyone sees it.
    connect(this, &QAbstractSlider::actionTriggered, this, [this] {
        const int position = snapped(sliderPosition());
        if (position != sliderPosition())
            setSliderPosition(position);
    });
}

int SteppedSlider::snapped(int value) const
{
    value = std::clamp(value, minimum(), maximum());
    const int below = minimum() + (value - minimum()) / m_step * m_step;
    const int above = std::min(below + m_step, maximum());
    return value - below < above - value ? below : above;
}
