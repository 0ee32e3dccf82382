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
// and who asked for which to be made active, and how. On that request about a mapped window it
// raises the window, as a window manager would; requests about windows not mapped yet are dropped,
// as a real one drops those about windows it does not manage yet.
struct WindowManager
{
    struct Request
    {
        xcb_window_t window;
        uint32_t source;
    };

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_atom_t activeWindow = atom(c, "_NET_ACTIVE_WINDOW");
    QList<Request> requests;
    QList<xcb_window_t> mapped;

    WindowManager()
    {
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }
    ~WindowManager() { xcb_disconnect(c); }

    // Handles what has arrived; call it while waiting.
    void pump()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const auto *m = reinterpret_cast<xcb_client_message_event_t *>(event);
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                mapped << reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
            } else if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                       m->type == activeWindow && mapped.contains(m->window)) {
                requests << Request{m->window, m->data.data32[0]};
                const uint32_t above = XCB_STACK_MODE_ABOVE;
                xcb_configure_window(c, m->window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
            }
            std::free(event);
        }
        xcb_flush(c);
    }

    // Whether `upper` is stacked above `lower` among the root's children (lowest first).
    bool above(xcb_window_t upper, xcb_window_t lower)
    {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
        const xcb_window_t *kids = xcb_query_tree_children(tree.get());
        const QList<xcb_window_t> order(kids, kids + xcb_query_tree_children_length(tree.get()));
        return order.contains(lower) && order.indexOf(upper) > order.indexOf(lower);
    }
};

} // namespace

class TestBringToFront : public QObject
{
    Q_OBJECT

    WindowManager m_wm;

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QFAIL("run on an X server (xvfb-run) with QT_QPA_PLATFORM=xcb");
    }

    // Shown afresh, the window is asked for as a pager would, once the window manager manages
    // it. Then another application's window covers it, and asking again brings it back on top.
    void comesForward()
    {
        QWidget window;
        window.resize(200, 100);
        bringToFront(&window);
        const auto id = xcb_window_t(window.winId());
        QTRY_VERIFY((m_wm.pump(), !m_wm.requests.isEmpty()));
        QCOMPARE(m_wm.requests.last().window, id);
        QCOMPARE(m_wm.requests.last().source, 2u); // as the user's own request

        xcb_connection_t *other = xcb_connect(nullptr, nullptr);
        const xcb_window_t cover = xcb_generate_id(other);
        xcb_create_window(other, XCB_COPY_FROM_PARENT, cover, m_wm.root, 0, 0, 300, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(other, cover);
        xcb_flush(other);
        QTRY_VERIFY((m_wm.pump(), m_wm.above(cover, id)));

        bringToFront(&window);
        QTRY_VERIFY((m_wm.pump(), m_wm.above(id, cover)));
        QCOMPARE(m_wm.requests.size(), 2);
        xcb_disconnect(other);
    }
};

QTEST_MAIN(TestBringToFront)
#include "tst_bringtofront.moc"
