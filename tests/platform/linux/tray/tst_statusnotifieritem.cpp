#include "datarows.h"
#include "linux/tray/dbusmenu.h"
#include "linux/tray/statusnotifieritem.h"

#include <QImage>
#include <QtDBus>
#include <QtTest>

namespace {

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString eventMethod = QStringLiteral("Event");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
const TrayMenuEntries entries{{100, QStringLiteral("Today $1.00"), false, false},
                              {1, QStringLiteral("Show Usage")},
                              {4, {}, true, true},
                              {5, QStringLiteral("Quit")}};

// A tray's watcher that answers each registration after `delayMs`, as a busy one does.
class FakeWatcher final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

public:
    int delayMs = 0;

public slots:
    void RegisterStatusNotifierItem(const QString &)
    {
        setDelayedReply(true);
        QTimer::singleShot(delayMs, this, [reply = message().createReply(), bus = connection()] {
            bus.send(reply);
        });
    }
};

class SignalLog final : public QObject
{
    Q_OBJECT

public:
    QStringList received;

public slots:
    void onSignal(const QDBusMessage &message)
    {
        QStringList parts{message.member()};
        for (const QVariant &argument : message.arguments())
            parts << argument.toString();
        received << parts.join(' ');
    }
};

QString describe(const DBusMenuLayout &node)
{
    QStringList keys = node.properties.keys();
    QString out = QString::number(node.id) + '{' + keys.join(',') + '}';
    if (node.children.isEmpty())
        return out;
    QStringList children;
    for (const DBusMenuLayout &child : node.children)
        children << describe(child);
    return out + '[' + children.join(' ') + ']';
}

} // namespace

using ClickRow = std::tuple<QString, QList<DBusMenuEvent>, QList<int>, QList<int>, bool>;
using LayoutRow = std::tuple<int, int, QStringList, QString>;
Q_DECLARE_METATYPE(ClickRow)
Q_DECLARE_METATYPE(LayoutRow)

// The exported item and its menu, as a tray host on the same private bus sees them.
class TestStatusNotifierItem : public QObject
{
    Q_OBJECT

    QDBusConnection m_host{QString()};
    FakeWatcher m_watcher;
    std::unique_ptr<StatusNotifierItem> m_item;
    SignalLog m_log;

    QDBusPendingCall send(const QString &path, const QString &interface, const QString &method,
                          const QVariantList &args, const QString &service = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            service.isEmpty() ? m_item->serviceName() : service, path, interface, method);
        message.setArguments(args);
        return m_host.asyncCall(message);
    }

    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &args, const QString &service = {})
    {
        const QDBusPendingCall pending = send(path, interface, method, args, service);
        if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 5000))
            return {};
        return pending.reply();
    }

    SniPixmapList iconPixmap()
    {
        const QDBusMessage reply =
            call(StatusNotifierItem::objectPath, properties, "Get", {itemInterface, "IconPixmap"});
        return qdbus_cast<SniPixmapList>(
            reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>());
    }

private slots:
    void initTestCase()
    {
        if (qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty())
            QFAIL("run under dbus-run-session: this test needs a private session bus");
        m_host = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "host");
        QVERIFY(m_host.registerObject("/StatusNotifierWatcher", &m_watcher,
                                      QDBusConnection::ExportAllSlots));
        QVERIFY(m_host.registerService(StatusNotifierItem::watcherService));
        m_item = std::make_unique<StatusNotifierItem>();
        QVERIFY(m_item->start());
        QTRY_VERIFY(m_item->isDocked());
        m_item->menu()->setEntries(entries);
        for (const char *name : {"NewToolTip", "NewIcon", "NewStatus"})
            QVERIFY(m_host.connect(m_item->serviceName(), StatusNotifierItem::objectPath,
                                   itemInterface, name, &m_log, SLOT(onSignal(QDBusMessage))));
        QVERIFY(m_host.connect(m_item->serviceName(), DBusMenu::objectPath, menuInterface,
                               "LayoutUpdated", &m_log, SLOT(onSignal(QDBusMessage))));
    }

    void init() { m_log.received.clear(); }

    // A click arrives by Event, or by EventGroup from hosts built on the common menu library;
    // a group answers the ids it could not handle, and is refused when it handled none.
    void clicks_data()
    {
        const auto click = [](int id) {
            return DBusMenuEvent{id, QStringLiteral("clicked"), QDBusVariant(0), 0};
        };
        const QString group = QStringLiteral("EventGroup");
        addRows<ClickRow>(
            {{"Event", {eventMethod, {click(5)}, {5}, {}, false}},
             {"Event on an unknown id", {eventMethod, {click(77)}, {}, {}, false}},
             {"EventGroup with an unknown id", {group, {click(77), click(1)}, {1}, {77}, false}},
             {"EventGroup of unknown ids only", {group, {click(77)}, {}, {}, true}}});
    }

    void clicks()
    {
        QFETCH(ClickRow, row);
        const auto &[method, events, clicked, idErrors, refused] = row;
        QSignalSpy spy(m_item->menu(), &DBusMenu::clicked);
        const QVariantList args = method == eventMethod
                                      ? QVariantList{events[0].id, events[0].eventId,
                                                     QVariant::fromValue(events[0].data), 0u}
                                      : QVariantList{QVariant::fromValue(events)};
        const QDBusMessage reply = call(DBusMenu::objectPath, menuInterface, method, args);
        QCOMPARE(reply.type() == QDBusMessage::ErrorMessage, refused);
        if (method != eventMethod && !refused)
            QCOMPARE(qdbus_cast<QList<int>>(reply.arguments().value(0)), idErrors);
        QTRY_COMPARE(spy.size(), clicked.size());
        for (int i = 0; i < clicked.size(); ++i)
            QCOMPARE(spy[i][0].toInt(), clicked[i]);
    }

    // GetLayout gives the node asked for, its children down to the depth asked for, and only
    // the properties named.
    void layoutSubtreeAndDepth_data()
    {
        const QString row = QStringLiteral("{enabled,label,visible}");
        addRows<LayoutRow>(
            {{"whole menu",
              {0, -1, {}, "0{children-display}[100" + row + " 1" + row + " 4{type} 5" + row + "]"}},
             {"root alone", {0, 0, {}, "0{children-display}"}},
             {"one row", {5, -1, {}, "5" + row}},
             {"labels only",
              {0, 1, {"label", "x-unknown"}, "0{}[100{label} 1{label} 4{} 5{label}]"}}});
    }

    void layoutSubtreeAndDepth()
    {
        QFETCH(LayoutRow, row);
        const auto &[parent, depth, names, layout] = row;
        const QDBusMessage reply =
            call(DBusMenu::objectPath, menuInterface, "GetLayout", {parent, depth, names});
        QCOMPARE(describe(qdbus_cast<DBusMenuLayout>(reply.arguments().value(1))), layout);
    }

    // Any peer may send any list: the answer holds each node once, with only the names asked.
    void groupPropertiesBoundedByTheMenu()
    {
        QList<int> ids;
        for (int i = 0; i < 50000; ++i)
            ids << 5 << 77 << 1;
        QStringList names{"label"};
        for (int i = 0; i < 1000; ++i)
            names << QStringLiteral("x-%1").arg(i);
        const QDBusMessage reply = call(DBusMenu::objectPath, menuInterface, "GetGroupProperties",
                                        {QVariant::fromValue(ids), names});
        const auto rows = qdbus_cast<DBusMenuItemPropertiesList>(reply.arguments().value(0));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].id, 5);
        QCOMPARE(rows[1].properties.keys(), QStringList{"label"});
    }

    // A host's activation token is in the environment only while its Activate is answered,
    // and only when it looks like one.
    void activationToken_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("seen");
        QTest::addRow("a token") << "kwin-1234_TIME56" << QByteArray("kwin-1234_TIME56");
        QTest::addRow("200 KB") << QString(200 * 1024, 'a') << QByteArray();
        QTest::addRow("a newline") << "a\nb" << QByteArray();
        QTest::addRow("not ASCII") << "t\u00f6k" << QByteArray();
    }

    void activationToken()
    {
        QFETCH(QString, token);
        QFETCH(QByteArray, seen);
        call(StatusNotifierItem::objectPath, itemInterface, "ProvideXdgActivationToken", {token});
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), QByteArray());
        QByteArray during = "not activated";
        const auto connection = connect(m_item.get(), &TrayItem::activateRequested, this,
                                        [&] { during = qgetenv("XDG_ACTIVATION_TOKEN"); });
        call(StatusNotifierItem::objectPath, itemInterface, "Activate", {10, 20});
        QTRY_COMPARE(during, seen);
        disconnect(connection);
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), QByteArray());
    }

    // Hosts fetch a property again only when told it changed: a changed menu row is a new
    // revision, and the same rows again are none. The icon goes out as ARGB32 in network byte
    // order: alpha first, then red, green and blue.
    void announcesChanges()
    {
        const auto revision = [this] {
            return call(DBusMenu::objectPath, menuInterface, "GetLayout", {0, -1, QStringList()})
                .arguments()
                .value(0)
                .toUInt();
        };
        const uint before = revision();
        TrayMenuEntries changed = entries;
        changed[0].label = QStringLiteral("Today $2.00");
        m_item->menu()->setEntries(changed);
        m_item->menu()->setEntries(changed);
        QCOMPARE(revision(), before + 1);
        m_item->setToolTip(QStringLiteral("Plan used — 5h: 43%"));
        QImage image(2, 1, QImage::Format_ARGB32);
        image.setPixel(0, 0, qRgba(0x11, 0x22, 0x33, 0xff));
        image.setPixel(1, 0, qRgba(0x44, 0x55, 0x66, 0xff));
        m_item->setIcon({image});
        m_item->setNeedsAttention(true);
        QTRY_COMPARE(m_log.received,
                     (QStringList{"LayoutUpdated " + QString::number(before + 1) + " 0",
                                  "NewToolTip", "NewIcon", "NewStatus NeedsAttention"}));
        const SniPixmapList pixmaps = iconPixmap();
        QCOMPARE(pixmaps.size(), 1);
        QCOMPARE(pixmaps[0].width, 2);
        QCOMPARE(pixmaps[0].argb.toHex(), QByteArray("ff112233ff445566"));
    }

    // MATE's notification area draws a label in place of the icon, even an empty one: there the
    // item has no label to read; other hosts show it beside the icon.
    void labelOffered()
    {
        for (const QString desktop : {"KDE", "X-Generic:mate"}) {
            const bool offered = desktop == "KDE";
            qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
            StatusNotifierItem item(
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, desktop));
            qunsetenv("XDG_CURRENT_DESKTOP");
            QVERIFY(item.start());
            item.setLabel(QStringLiteral("42%"), QStringLiteral("100%"));
            const QDBusMessage reply = call(StatusNotifierItem::objectPath, properties, "GetAll",
                                            {itemInterface}, item.serviceName());
            const QVariantMap all = qdbus_cast<QVariantMap>(reply.arguments().value(0));
            QVERIFY(all.contains("IconPixmap"));
            QCOMPARE(all.value("XAyatanaLabel"), offered ? QVariant("42%") : QVariant());
            QCOMPARE(all.value("XAyatanaLabelGuide"), offered ? QVariant("100%") : QVariant());
        }
    }

    // A watcher that answers the registration long after a call's usual patience still gets
    // the item.
    void registrationAnsweredLate()
    {
        m_watcher.delayMs = 2500;
        StatusNotifierItem late(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "late"));
        QSignalSpy docked(&late, &StatusNotifierItem::dockedChanged);
        QVERIFY(late.start());
        QVERIFY(docked.wait(10000) && docked[0][0].toBool());
        m_watcher.delayMs = 0;
    }

    // A peer reading the icon thousands of times gets small replies past a budget, and hosts
    // are told to read it again, once, when the flood is over.
    void iconReadsFlooded()
    {
        m_item->setIcon({QImage(16, 16, QImage::Format_ARGB32)});
        QTRY_VERIFY(m_log.received.contains("NewIcon"));
        m_log.received.clear();
        QList<QDBusPendingCall> calls;
        for (int i = 0; i < 300; ++i)
            calls << send(StatusNotifierItem::objectPath, properties, "GetAll", {itemInterface});
        int full = 0;
        for (const QDBusPendingCall &pending : calls) {
            QVERIFY(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000));
            const QVariantMap all = qdbus_cast<QVariantMap>(pending.reply().arguments().value(0));
            full += !qdbus_cast<SniPixmapList>(all.value("IconPixmap")).isEmpty();
        }
        QVERIFY2(full > 0 && full < 100, qPrintable(QString::number(full)));
        // A pause in the flood (a busy machine) may have announced the icon already: only the
        // announcement after its last call counts.
        m_log.received.clear();
        QTRY_COMPARE_WITH_TIMEOUT(m_log.received, QStringList{"NewIcon"}, 5000);
        QCOMPARE(iconPixmap().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStatusNotifierItem)
#include "tst_statusnotifieritem.moc"
