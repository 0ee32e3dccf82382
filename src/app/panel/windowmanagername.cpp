#include "panel/windowmanagername.h"

#include <QGuiApplication>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

QString x11WindowManagerName()
{
#if QT_CONFIG(xcb)
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return {};
    xcb_connection_t *connection = x11->connection();
    const auto intern = [connection](const char *name) {
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name), nullptr),
            &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const auto property = [connection](xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                                       uint32_t words) {
        return std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>(
            xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, window, name, type, 0, words), nullptr),
            &std::free);
    };
    const xcb_atom_t check = intern("_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t wmName = intern("_NET_WM_NAME");
    const xcb_atom_t utf8 = intern("UTF8_STRING");
    if (check == XCB_ATOM_NONE || wmName == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE)
        return {};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto supporting = property(root, check, XCB_ATOM_WINDOW, 1);
    if (!supporting || supporting->format != 32 ||
        xcb_get_property_value_length(supporting.get()) < 4)
        return {};
    const auto window =
        *static_cast<const xcb_window_t *>(xcb_get_property_value(supporting.get()));
    // 16 words: a name longer than 64 bytes is cut there, as it is only compared.
    const auto name = property(window, wmName, utf8, 16);
    if (!name || name->format != 8)
        return {};
    return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(name.get())),
                             xcb_get_property_value_length(name.get()));
#else
    return {};
#endif
}
