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

// The least of a window manager, on a connection of its own: it maps and configures windows as
// asked and, on a _NET_ACTIVE_WINDOW request about a window it manages, raises the window — and
// notes who asked how. Like a real one, it drops requests about windows it has not mapped yet.
class WindowManager
{
public:
    struct Request
    {
        xcb_window_t window;
        uint32_t source;
    };

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_atom_t activeWindow = atom(c, "_NET_ACTIVE_WINDOW");
    QList<Request> requests;
    QList<xcb_window_t> managed;

    ~WindowManager() { xcb_disconnect(c); }

    bool start()
    {
        const uint32_t mask =
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_generic_error_t *error = xcb_request_check(
            c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &mask));
        std::free(error);
        return !error;
    }

    // Handles what has arrived; call it while waiting.
    void pump()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            handle(event);
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

private:
    void handle(xcb_generic_event_t *event)
    {
        switch (event->response_type & 0x7f) {
        case XCB_MAP_REQUEST: {
            const xcb_window_t window = reinterpret_cast<xcb_map_request_event_t *>(event)->window;
            xcb_map_window(c, window);
            managed << window;
            break;
        }
        case XCB_CONFIGURE_REQUEST: {
            // Geometry as asked; a client's own restacking is ignored, as focus-stealing
            // prevention would, so only the _NET_ACTIVE_WINDOW request can raise a window.
            auto *r = reinterpret_cast<xcb_configure_request_event_t *>(event);
            uint32_t values[5];
            int n = 0;
            const std::pair<uint16_t, uint32_t> fields[] = {
                {XCB_CONFIG_WINDOW_X, uint32_t(r->x)},
                {XCB_CONFIG_WINDOW_Y, uint32_t(r->y)},
                {XCB_CONFIG_WINDOW_WIDTH, r->width},
                {XCB_CONFIG_WINDOW_HEIGHT, r->height},
                {XCB_CONFIG_WINDOW_BORDER_WIDTH, r->border_width}};
            uint16_t mask = 0;
            for (const auto &[bit, value] : fields) {
                if (r->value_mask & bit) {
                    values[n++] = value;
                    mask |= bit;
                }
            }
            xcb_configure_window(c, r->window, mask, values);
            break;
        }
        case XCB_CLIENT_MESSAGE: {
            auto *m = reinterpret_cast<xcb_client_message_event_t *>(event);
            if (m->type != activeWindow || !managed.contains(m->window))
                break;
            requests << Request{m->window, m->data.data32[0]};
            const uint32_t above = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(c, m->window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
            break;
        }
        default:
            break;
        }
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
        QVERIFY2(m_wm.start(), "another window manager runs on this display");
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
