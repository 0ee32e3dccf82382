#include "linux/tray/statusnotifieritem.h"

#include "linux/tray/dbusmenu.h"
#include "linux/tray/statusnotifieritemlabeladaptor.h"
#include "linux/tray/xembedtray.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

// Long enough that a slow watcher is asked again seldom; the registration waits however long.
constexpr int registrationTimeoutMs = 25000;

// Property reads of the icon's images answered in full per second: a few hosts reading the
// icon and the attention icon at every change stay far below it.
constexpr int pixmapReadsPerSecond = 64;

// The image's pixels as ARGB32 words in network byte order, as the item protocol wants them.
SniPixmap toSniPixmap(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    SniPixmap out{argb.width(), argb.height(), {}};
    out.argb.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto *dest = reinterpret_cast<quint32 *>(out.argb.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            *dest++ = qToBigEndian(line[x]);
    }
    return out;
}

// The program's name as the kernel keeps it (at most 15 bytes), empty if the process is gone.
QString programName(uint pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(comm.readAll()).trimmed();
}

} // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject *parent)
    : TrayItem(parent), m_bus(std::move(bus)), m_menu(new DBusMenu(this)),
      m_announceAgain(new QTimer(this)),
      m_labelOffered(!qEnvironmentVariable("XDG_CURRENT_DESKTOP")
                          .split(u':')
                          .contains(QLatin1String("MATE"), Qt::CaseInsensitive))
{
    registerDBusTrayTypes();
    m_announceAgain->setSingleShot(true);
    m_announceAgain->setInterval(1000);
    // A host that read the icon while it was withheld holds no images: it reads them again.
    connect(m_announceAgain, &QTimer::timeout, this, [this] {
        // A fresh budget for the reads the announcement brings, even within the flood's second.
        m_readWindow.start();
        m_readsInWindow = 0;
        emit m_adaptor->NewIcon();
        emit m_adaptor->NewAttentionIcon();
    });
    m_adaptor = m_labelOffered ? new StatusNotifierItemLabelAdaptor(this)
                               : new StatusNotifierItemAdaptor(this);
    connect(m_menu, &DBusMenu::clicked, this, &TrayItem::menuClicked);
    connect(m_menu, &DBusMenu::aboutToShow, this, &TrayItem::menuAboutToShow);
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (!m_serviceName.isEmpty() && m_serviceName != m_bus.baseService())
        m_bus.unregisterService(m_serviceName);
    m_bus.unregisterObject(objectPath);
    m_bus.unregisterObject(DBusMenu::objectPath);
}

bool StatusNotifierItem::start()
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    // The name hosts expect; the connection's own unique name if that one is taken.
    m_serviceName =
        QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    if (!m_bus.registerService(m_serviceName))
        m_serviceName = m_bus.baseService();
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors) ||
        !m_menu->exportOn(m_bus))
        return false;
    // Watch first, then ask: a watcher that appears in between is seen by both, and
    // registerWith() takes it once.
    m_watcher = new QDBusServiceWatcher(watcherService, m_bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(
        m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString &, const QString &, const QString &owner) { onWatcherOwner(owner); });
    const QDBusReply<QString> owner = m_bus.interface()->serviceOwner(watcherService);
    if (owner.isValid())
        onWatcherOwner(owner.value());
    return true;
}

void StatusNotifierItem::onWatcherOwner(const QString &owner)
{
    if (owner == m_watcherOwner)
        return;
    const bool wasPresent = watcherPresent();
    m_watcherOwner = owner;
    setDocked(false);
    if (wasPresent != watcherPresent())
        emit watcherPresenceChanged(watcherPresent());
    if (!owner.isEmpty())
        registerWith(owner);
}

void StatusNotifierItem::registerWith(const QString &owner)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        owner, QStringLiteral("/StatusNotifierWatcher"), watcherService,
        QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    // A busy desktop's watcher may answer many seconds late: a call that got no answer in time
    // is sent again while the same watcher holds the name, and only a refusal counts.
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call, registrationTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, owner, pending] {
        pending->deleteLater();
        // An answer from a watcher that has since gone counts for nothing.
        if (owner != m_watcherOwner)
            return;
        const QDBusError::ErrorType error = pending->error().type();
        if (error == QDBusError::NoReply || error == QDBusError::Timeout ||
            error == QDBusError::TimedOut)
            registerWith(owner);
        else
            setDocked(!pending->isError());
    });
}

void StatusNotifierItem::setDocked(bool docked)
{
    if (docked == m_docked)
        return;
    m_docked = docked;
    emit dockedChanged(docked);
}

bool StatusNotifierItem::systemTrayPresent() const
{
    return XEmbedTray::managerPresent();
}

void StatusNotifierItem::setMenuEntries(const TrayMenuEntries &entries)
{
    m_menu->setEntries(entries);
}

void StatusNotifierItem::setIcon(const QList<QImage> &images)
{
    m_pixmaps.clear();
    for (const QImage &image : images)
        m_pixmaps.append(toSniPixmap(image));
    emit m_adaptor->NewIcon();
    emit m_adaptor->NewAttentionIcon();
}

const SniPixmapList &StatusNotifierItem::pixmapsForRead()
{
    static const SniPixmapList none;
    if (!m_readWindow.isValid() || m_readWindow.hasExpired(1000)) {
        m_readWindow.start();
        m_readsInWindow = 0;
    }
    if (++m_readsInWindow <= pixmapReadsPerSecond)
        return m_pixmaps;
    // Announced a second after the last withheld read, so only once the flood has passed.
    m_announceAgain->start();
    return none;
}

void StatusNotifierItem::setToolTip(const QString &text)
{
    if (text == m_toolTip)
        return;
    m_toolTip = text;
    emit m_adaptor->NewToolTip();
}

void StatusNotifierItem::setNeedsAttention(bool attention)
{
    if (attention == m_attention)
        return;
    m_attention = attention;
    emit m_adaptor->NewStatus(m_adaptor->status());
}

void StatusNotifierItem::setLabel(const QString &label, const QString &guide)
{
    if (label == m_label && guide == m_labelGuide)
        return;
    m_label = label;
    m_labelGuide = guide;
    if (m_labelOffered)
        emit m_adaptor->XAyatanaNewLabel(label, guide);
}

void StatusNotifierItem::hostCalled(HostCall call, QPoint point)
{
    // The bus hands the call's context to the object behind the adaptor.
    const QString caller = calledFromDBus() ? message().service() : QString();
    const auto known = m_hostNames.constFind(caller);
    if (caller.isEmpty() || known != m_hostNames.constEnd()) {
        const QString host = caller.isEmpty() ? QString() : *known;
        QMetaObject::invokeMethod(
            this, [this, call, point, host] { report(call, point, host); }, Qt::QueuedConnection);
        return;
    }
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
    ask << caller;
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, 1000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, call, point, caller, pending] {
                pending->deleteLater();
                const QDBusPendingReply<uint> pid = *pending;
                const QString host = pid.isValid() ? programName(pid.value()) : QString();
                m_hostNames.insert(caller, host);
                report(call, point, host);
            });
}

void StatusNotifierItem::provideActivationToken(const QString &token)
{
    const bool plausible = !token.isEmpty() && token.size() <= 256 &&
                           std::all_of(token.begin(), token.end(), [](QChar c) {
                               return c.unicode() > 0x20 && c.unicode() < 0x7f;
                           });
    m_activationToken = plausible ? token.toLatin1() : QByteArray();
}

void StatusNotifierItem::report(HostCall call, QPoint point, const QString &host)
{
    switch (call) {
    case HostCall::activate: {
        // Qt 6.4 has no way to hand a token to one window: its Wayland plugin reads it from the
        // environment when a window asks to be activated. So it is there only while the owner
        // answers this call on this thread (the panel shows and asks then), and gone after,
        // never seen by a child process.
        const QByteArray token = std::exchange(m_activationToken, {});
        if (!token.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", token);
        emit activateRequested(point, host);
        qunsetenv("XDG_ACTIVATION_TOKEN");
        break;
    }
    case HostCall::secondaryActivate:
        emit secondaryActivateRequested(point, host);
        break;
    case HostCall::contextMenu:
        emit contextMenuRequested(point, host);
        break;
    }
}
