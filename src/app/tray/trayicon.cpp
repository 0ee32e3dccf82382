#include "tray/trayicon.h"

#include "tray/trayiconpainter.h"

#include <QCursor>
#include <QMenu>

TrayIcon::TrayIcon(QObject *parent) : QObject(parent), m_menu(new QMenu)
{
    m_menu->addAction(tr("Show Usage"), this, &TrayIcon::showUsageRequested);
    m_menu->addAction(tr("Refresh Now"), this, &TrayIcon::refreshRequested);
    m_menu->addAction(tr("Settings…"), this, &TrayIcon::settingsRequested);
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit"), this, &TrayIcon::quitRequested);
    m_icon.setContextMenu(m_menu);
    connect(&m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
    // Until the first figure arrives the icon shows the dash of "no data yet".
    m_figure = QStringLiteral("\u2014");
    m_icon.setIcon(TrayIconPainter::icon(m_figure, m_tint));
    ++m_redraws;
}

TrayIcon::~TrayIcon()
{
    m_icon.hide();
    delete m_menu;
}

void TrayIcon::setLabel(const QString &figure, BarTint tint, const QString &toolTip)
{
    if (figure != m_figure || tint != m_tint) {
        m_figure = figure;
        m_tint = tint;
        m_icon.setIcon(TrayIconPainter::icon(m_figure, m_tint));
        ++m_redraws;
    }
    if (toolTip != m_icon.toolTip())
        m_icon.setToolTip(toolTip);
}

void TrayIcon::show()
{
    // Shown even when no tray host is there yet: the icon docks when one appears.
    m_icon.show();
}

QRect TrayIcon::anchor() const
{
    const QRect geometry = m_icon.geometry();
    if (geometry.isValid() && !geometry.isEmpty())
        return geometry;
    return QRect(QCursor::pos(), QSize(1, 1));
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        emit panelRequested();
}
