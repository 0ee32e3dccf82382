#pragma once

class QWidget;

// For tests and measurements only (builds with test seams): prints one line to standard error
// each time `widget` is painted for the first time after being shown, with the wall-clock time
// in microseconds, so a test knows the panel is on screen and a measurement can time a click.
namespace PaintTrace {

void install(QWidget *widget);

} // namespace PaintTrace
