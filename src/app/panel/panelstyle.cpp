#include "panel/panelstyle.h"

#include <QApplication>

#include <algorithm>

UsageLevel usageLevel(double utilization, double warning, double critical)
{
    if (utilization < warning)
        return UsageLevel::green;
    if (utilization < critical)
        return UsageLevel::orange;
    return UsageLevel::red;
}

namespace PanelStyle {

QFont font(Text style, const QFont &base)
{
    // Steps relative to the desktop's body size; the smallest stays readable on a 9 pt desktop.
    struct Step
    {
        double scale;
        QFont::Weight weight;
    };
    Step step{1.0, QFont::Normal};
    switch (style) {
    case Text::headline:
        step = {1.15, QFont::Bold};
        break;
    case Text::subheadline:
        step = {0.93, QFont::DemiBold};
        break;
    case Text::callout:
        step = {1.0, QFont::Normal};
        break;
    case Text::caption:
        step = {0.9, QFont::Normal};
        break;
    case Text::caption2:
        step = {0.86, QFont::Normal};
        break;
    }
    QFont f = base;
    const double points = base.pointSizeF() > 0 ? base.pointSizeF() : 10.0;
    f.setPointSizeF(std::max(points * step.scale, 7.5));
    f.setWeight(step.weight);
    return f;
}

QFont font(Text style)
{
    return font(style, QApplication::font());
}

QColor ink(Ink level, const QPalette &palette)
{
    QColor c = palette.color(QPalette::WindowText);
    switch (level) {
    case Ink::primary:
        break;
    case Ink::secondary:
        c.setAlphaF(0.68f);
        break;
    case Ink::tertiary:
        c.setAlphaF(0.5f);
        break;
    case Ink::quaternary:
        c.setAlphaF(0.16f);
        break;
    }
    return c;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor levelColor(UsageLevel level, const QPalette &palette)
{
    // Darker shades on light backgrounds, brighter ones on dark, so each keeps its contrast.
    const bool dark = isDark(palette);
    switch (level) {
    case UsageLevel::green:
        return dark ? QColor(0x32, 0xd7, 0x4b) : QColor(0x1f, 0x9d, 0x3a);
    case UsageLevel::orange:
        return dark ? QColor(0xff, 0xa4, 0x1c) : QColor(0xe6, 0x7e, 0x00);
    case UsageLevel::red:
        return dark ? QColor(0xff, 0x5a, 0x50) : QColor(0xd9, 0x2d, 0x20);
    }
    return {};
}

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}

} // namespace PanelStyle
