#pragma once

#include <QString>

// Whether the process has a desktop to show itself on. Qt ends a process whose platform plugin
// cannot start; so before the application object exists the plugin list is made to end in
// "offscreen", and once it exists, that plugin having started means there is no display.
namespace GraphicalSession {

// Before QApplication: the platforms to try ("xcb;wayland;offscreen" unless the user chose),
// and Qt's own complaints about a missing display kept quiet until the choice is made.
void prepare();
// After QApplication: restores Qt's messages and tells whether a real display was reached.
bool started();
// The line printed when there is none.
QString missingMessage();

} // namespace GraphicalSession
