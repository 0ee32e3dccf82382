#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// How near a limit a utilisation is, by the effective thresholds.
enum class UsageLevel { green, orange, red };

// green below `warning`, orange below `critical`, red from there on.
UsageLevel usageLevel(double utilization, double warning, double critical);

// The panel's type scale and colours, all derived from the application font and the palette so
// the panel follows the desktop's light or dark scheme and the user's font size.
namespace PanelStyle {

enum class Text { headline, subheadline, callout, caption, caption2 };
// The hierarchical foreground levels, strongest first.
enum class Ink { primary, secondary, tertiary, quaternary };

QFont font(Text style, const QFont &base);
QFont font(Text style);
// The text colour at the level's strength.
QColor ink(Ink level, const QPalette &palette);
bool isDark(const QPalette &palette);
// Green, orange and red chosen for the palette's background, so all three stay apart.
QColor levelColor(UsageLevel level, const QPalette &palette);
// The accent: the palette's highlight.
QColor accent(const QPalette &palette);

} // namespace PanelStyle
