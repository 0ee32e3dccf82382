#include "panel/clickelsewhere.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QWidget>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#include <xcb/xinput.h>
#endif

namespace {

#if QT_CONFIG(xcb)
xcb_connection_t *x11Connection()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}
#endif

} // namespace

ClickElsewhere::ClickElsewhere(QWidget *window) : QObject(window), m_window(window)
{
#if QT_CONFIG(xcb)
    if (xcb_connection_t *connection = x11Connection()) {
        // The toolkit has already agreed a version of the extension with the server.
        const xcb_query_extension_reply_t *input =
            xcb_get_extension_data(connection, &xcb_input_id);
        if (input && input->present) {
            m_opcode = input->major_opcode;
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
    }
#endif
}

ClickElsewhere::~ClickElsewhere()
{
    setWatching(false);
}

void ClickElsewhere::setWatching(bool watching)
{
#if QT_CONFIG(xcb)
    if (watching == m_watching || m_opcode == 0)
        return;
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    m_watching = watching;
    struct
    {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                watching ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_input_xi_select_events(connection, root, 1, &selection.head);
    xcb_flush(connection);
#else
    Q_UNUSED(watching)
#endif
}

bool ClickElsewhere::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#if QT_CONFIG(xcb)
    if (!m_watching || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_ge_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC || event->extension != m_opcode ||
        event->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
        return false;
    // Buttons 4 to 7 are the wheel's steps, not clicks.
    const auto *press = static_cast<const xcb_input_raw_button_press_event_t *>(message);
    if (press->detail >= 1 && press->detail <= 3 &&
        !m_window->frameGeometry().contains(QCursor::pos(m_window->screen())))
        emit pressed();
    // Only this watcher asked for raw events: nothing else in the program expects them.
    return true;
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
    return false;
#endif
}
