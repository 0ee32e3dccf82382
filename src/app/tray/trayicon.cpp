#include "tray/trayicon.h"

#include "panel/panelplacement.h"
#include "tray/trayiconpainter.h"
#include "tray/trayitem.h"
#include "tray/traymenu.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>

namespace {

bool onX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QList<PanelPlacement::Screen> screens()
{
    QList<PanelPlacement::Screen> out;
    for (const QScreen *screen : QGuiApplication::screens())
        out.append({screen->geometry(), screen->devicePixelRatio()});
    return out;
}

// On X11 the pointer at a click on the tray is on the icon; an X server behind a Wayland
// compositor sees the pointer only over its own windows.
std::optional<QPoint> pointerAtClick()
{
    if (!onX11() || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
        qgetenv("XDG_SESSION_TYPE") == "wayland")
        return std::nullopt;
    return QCursor::pos();
}

} // namespace

TrayIcon::TrayIcon(TrayItem *item, QObject *parent)
    : QObject(parent), m_item(item), m_menu(new QMenu), m_probe(new QTimer(this))
{
    m_item->setParent(this);
    m_menu->setTitle(tr("Varnel Usage"));
    connect(m_menu, &QMenu::aboutToShow, this, &TrayIcon::onMenuAboutToShow);
    connect(m_item, &TrayItem::activateRequested, this, [this](QPoint point, const QString &host) {
        onHostPoint(point, host);
        emit panelRequested();
    });
    connect(m_item, &TrayItem::secondaryActivateRequested, this, &TrayIcon::refreshRequested);
    connect(m_item, &TrayItem::contextMenuRequested, this,
            [this](QPoint point, const QString &host) {
                onHostPoint(point, host);
                m_menu->popup(m_hostPoint ? *m_hostPoint : QCursor::pos());
            });
    connect(m_item, &TrayItem::watcherPresenceChanged, this, &TrayIcon::chooseTray);
    connect(m_item, &TrayItem::dockedChanged, this, &TrayIcon::updateHostPresence);
    connect(m_item, &TrayItem::menuClicked, this, &TrayIcon::onAction);
    connect(m_item, &TrayItem::menuAboutToShow, this, &TrayIcon::onMenuAboutToShow);
    // An XEmbed tray announces itself to Qt's icon, which docks on its own; this only notices
    // that it did, and only while none is there.
    m_probe->setInterval(1000);
    connect(m_probe, &QTimer::timeout, this, &TrayIcon::updateHostPresence);
    // Until the first figure arrives the icon shows the dash of "no data yet".
    m_figure = QStringLiteral("\u2014");
    applyIcon();
    setFigureRows({});
}

TrayIcon::~TrayIcon()
{
    if (m_xembed)
        m_xembed->hide();
    delete m_xembed;
    delete m_menu;
}

void TrayIcon::setLabel(const QString &figure, BarTint tint, const QString &text,
                        const QString &toolTip)
{
    if (figure != m_figure || tint != m_tint) {
        m_figure = figure;
        m_tint = tint;
        applyIcon();
    }
    m_toolTip = toolTip;
    m_item->setToolTip(toolTip);
    m_item->setLabel(text, text);
    m_item->setNeedsAttention(tint == BarTint::red);
    if (m_xembed && toolTip != m_xembed->toolTip())
        m_xembed->setToolTip(toolTip);
}

void TrayIcon::applyIcon()
{
    const QList<QImage> images = TrayIconPainter::images(m_figure, m_tint);
    m_item->setIcon(images);
    if (m_xembed)
        m_xembed->setIcon(TrayIconPainter::icon(images));
    ++m_redraws;
}

void TrayIcon::setFigureRows(const QStringList &rows)
{
    const TrayMenuEntries entries = TrayMenu::entries(rows);
    if (entries == m_entries)
        return;
    m_entries = entries;
    m_item->setMenuEntries(m_entries);
    rebuildMenu();
}

void TrayIcon::rebuildMenu()
{
    m_menu->clear();
    for (const TrayMenuEntry &entry : m_entries) {
        if (entry.separator) {
            m_menu->addSeparator();
            continue;
        }
        QAction *action = m_menu->addAction(entry.label);
        action->setEnabled(entry.enabled);
        connect(action, &QAction::triggered, this, [this, id = entry.id] { onAction(id); });
    }
}

void TrayIcon::onAction(int id)
{
    switch (id) {
    case TrayMenu::showUsage:
        emit showUsageRequested();
        break;
    case TrayMenu::refresh:
        emit refreshRequested();
        break;
    case TrayMenu::settings:
        emit settingsRequested();
        break;
    case TrayMenu::quit:
        emit quitRequested();
        break;
    default:
        break;
    }
}

void TrayIcon::show()
{
    m_shown = true;
    m_item->start();
    chooseTray();
}

void TrayIcon::chooseTray()
{
    if (!m_shown)
        return;
    m_tray = TrayChoice::choose(m_item->watcherPresent(), onX11());
    if (m_tray == TrayChoice::Tray::xembed) {
        if (!m_xembed) {
            // Made only while no watcher is on the bus: Qt decides once, when its first tray icon
            // is made, whether to export a D-Bus item of its own, and it must never do so.
            m_xembed = new QSystemTrayIcon;
            m_xembed->setContextMenu(m_menu);
            m_xembed->setIcon(TrayIconPainter::icon(TrayIconPainter::images(m_figure, m_tint)));
            m_xembed->setToolTip(m_toolTip);
            connect(m_xembed, &QSystemTrayIcon::activated, this, &TrayIcon::onXEmbedActivated);
        }
        m_xembed->show();
    } else if (m_xembed) {
        m_xembed->hide();
    }
    updateHostPresence();
}

void TrayIcon::updateHostPresence()
{
    bool present = false;
    switch (m_tray) {
    case TrayChoice::Tray::statusNotifier:
        present = m_item->isDocked();
        break;
    case TrayChoice::Tray::xembed:
        present = m_item->systemTrayPresent();
        break;
    case TrayChoice::Tray::none:
        break;
    }
    if (m_tray == TrayChoice::Tray::xembed && !present)
        m_probe->start();
    else
        m_probe->stop();
    if (present == m_hostPresent)
        return;
    m_hostPresent = present;
    emit hostPresenceChanged(present);
}

void TrayIcon::onHostPoint(QPoint point, const QString &host)
{
    // A point that is no place on the screen leaves the panel to its place for an unknown tray,
    // rather than one another host gave earlier. Hosts count the display's own pixels on X11.
    m_hostPoint = PanelPlacement::hostPoint(point, host, screens(), onX11(), pointerAtClick());
}

QRect TrayIcon::anchor() const
{
    if (m_tray == TrayChoice::Tray::xembed && m_xembed) {
        const QRect geometry = m_xembed->geometry();
        if (geometry.isValid() && !geometry.isEmpty())
            return geometry;
    }
    return m_hostPoint ? PanelPlacement::aroundPoint(*m_hostPoint) : QRect();
}

void TrayIcon::onXEmbedActivated(QSystemTrayIcon::ActivationReason reason)
{
    // A second click soon after the first comes as a double click: it closes the panel the
    // first one opened, as any click on the icon does.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        emit panelRequested();
    else if (reason == QSystemTrayIcon::MiddleClick)
        emit refreshRequested();
}

void TrayIcon::onMenuAboutToShow()
{
    // Any program on the bus may ask as often as it likes, and the rows are computed from the
    // whole plan history; their relative times change by the minute, so once a second will do.
    if (m_rowsAsked.isValid() && m_rowsAsked.elapsed() < 1000)
        return;
    m_rowsAsked.start();
    emit menuAboutToShow();
}
