#pragma once

class PanelWindow;

// For tests and measurements only (builds with test seams): prints one line to standard error
// each time the panel is painted for the first time after being shown, with the wall-clock time
// in microseconds, so a test knows the panel is on screen and a measurement can time a click;
// and one as its reopen guard starts and ends, so a test clicks the icon only once it counts.
namespace PaintTrace {

void install(PanelWindow *panel);

} // namespace PaintTrace
