#include "panel/skiptaskbar.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#endif

void askToSkipTaskbar(QWidget *window)
{
#if QT_CONFIG(xcb)
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
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
    window->winId(); // makes the native window when there is none yet
    const auto id = xcb_window_t(window->windowHandle()->winId());
    if (!window->isVisible()) {
        // Before the window is mapped the state is a property the window manager reads as it
        // manages the window.
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atoms[0], XCB_ATOM_ATOM, 32, 2,
                            &atoms[1]);
        xcb_flush(connection);
        return;
    }
    // Mapped, the window manager takes a request (Qt may have written the property anew as it
    // mapped a window whose flags changed); without one, the property is all there is.
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, atoms[0], XCB_ATOM_ATOM, 0, 64), nullptr);
    const auto *held =
        reply ? static_cast<const xcb_atom_t *>(xcb_get_property_value(reply)) : nullptr;
    const int count = reply ? xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t)) : 0;
    const bool has = count > 0 && std::find(held, held + count, atoms[1]) != held + count;
    std::free(reply);
    if (!has)
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, atoms[0], XCB_ATOM_ATOM, 32, 2,
                            &atoms[1]);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = atoms[0];
    event.data.data32[0] = 1; // add
    event.data.data32[1] = atoms[1];
    event.data.data32[2] = atoms[2];
    event.data.data32[3] = 1; // an application's request
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(connection);
#else
    Q_UNUSED(window);
#endif
}
