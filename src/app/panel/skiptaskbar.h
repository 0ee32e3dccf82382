#pragma once

class QWidget;

// Asks the window manager to leave `window` off task bars and pagers: the panel is part of the
// tray icon, not a window of its own to switch to. Call before each showing; window managers
// drop the request when a window is withdrawn. Does nothing outside X11.
void askToSkipTaskbar(QWidget *window);
