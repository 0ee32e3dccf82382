#pragma once

#include <QString>

// The name the X11 window manager gives itself (_NET_WM_NAME of the window that
// _NET_SUPPORTING_WM_CHECK names on the root), at most 64 characters; empty without X11 or a
// window manager that says. Under XWayland it is the Wayland compositor's.
QString x11WindowManagerName();
