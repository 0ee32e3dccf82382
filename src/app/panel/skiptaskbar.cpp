#include "panel/skiptaskbar.h"

#include <QGuiApplication>
#include <QWidget>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#endif

void askToSkipTaskbar(QWidget *window)
{
#if QT_CONFIG(xcb)
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || window->isVisible())
        return;
    xcb_connection_t *connection = x11->connection();
    // One short round trip to the local X server, once per process.
    static const std::array<xcb_atom_t, 3> atoms = [connection] {
        std::array<xcb_atom_t, 3> found{};
        const char *names[] = {"_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR",
                               "_NET_WM_STATE_SKIP_PAGER"};
        xcb_intern_atom_cookie_t cookies[3];
        for (int i = 0; i < 3; ++i)
            cookies[i] = xcb_intern_atom(connection, 0, uint16_t(qstrlen(names[i])), names[i]);
        for (int i = 0; i < 3; ++i) {
            xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
            found[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
            std::free(reply);
        }
        return found;
    }();
    if (atoms[0] == XCB_ATOM_NONE || atoms[1] == XCB_ATOM_NONE || atoms[2] == XCB_ATOM_NONE)
        return;
    // Before the window is mapped the state is a property the window manager reads as it
    // manages the window; Qt adds its own states to it when it maps the window.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()), atoms[0],
                        XCB_ATOM_ATOM, 32, 2, &atoms[1]);
    xcb_flush(connection);
#else
    Q_UNUSED(window);
#endif
}
