#pragma once

#include <QString>

// Whether the process has a desktop to show itself on. Qt ends a process whose platform plugin
// cannot start; so before the application object exists the plugin list is made to end in
// "offscreen", and once it exists, that plugin having started means there is no display.
namespace GraphicalSession {

// Before QApplication: the platforms to try (those of the displays the environment names, then
// "offscreen", unless the user chose), and Qt's messages kept quiet until the choice is made.
void prepare();
// After QApplication: tells whether a real display was reached, and if so gives Qt its messages
// back; without one they stay quiet.
bool started();
// The line printed when there is none.
QString missingMessage();

} // namespace GraphicalSession
