#include "settingswindow/bringtofront.h"

#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// What a window manager sees of the test's windows, on a connection of its own: which are mapped,
// and who asked for which to be made active, and how. Requests about windows not mapped yet are
// dropped, as a real window manager drops those about windows it does not manage yet.
struct WindowManager
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_atom_t activeWindow = atom(c, "_NET_ACTIVE_WINDOW");
    QList<std::pair<xcb_window_t, uint32_t>> requests; // the window, and the source indication
    QList<xcb_window_t> mapped;

    WindowManager()
    {
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root,
                                     XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }
    ~WindowManager() { xcb_disconnect(c); }

    void pump()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const auto *m = reinterpret_cast<xcb_client_message_event_t *>(event);
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                mapped << reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
            else if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                     m->type == activeWindow && mapped.contains(m->window))
                requests << std::pair(m->window, m->data.data32[0]);
            std::free(event);
        }
    }
};

} // namespace

class TestBringToFront : public QObject
{
    Q_OBJECT

    WindowManager m_wm;

private slots:
    // Shown afresh, the window is asked for as a pager would (the user's own request), once the
    // window manager manages it; shown already, it is asked for again.
    void comesForward()
    {
        QWidget window;
        window.resize(200, 100);
        for (int asked = 1; asked <= 2; ++asked) {
            bringToFront(&window);
            QTRY_COMPARE((m_wm.pump(), m_wm.requests.size()), asked);
            QCOMPARE(m_wm.requests.last(), std::pair(xcb_window_t(window.winId()), 2u));
        }
    }
};

QTEST_MAIN(TestBringToFront)
#include "tst_bringtofront.moc"
