#pragma once

class QWidget;

// Shows `window` (restored if minimised), raises it and makes it the active window, above other
// applications' windows. On X11 the request goes to the window manager as a pager's would, since
// window managers refuse to let a background application take focus by itself — and a tray
// application is always in the background when it is asked for a window.
void bringToFront(QWidget *window);
