#include "panel/panelwindow.h"

#include "panel/panelplacement.h"
#include "panel/panelview.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// A click on the icon that arrives this soon after the panel lost activation is the click that
// closed it, not a request to open it again.
constexpr qint64 reopenGuardMs = 300;

bool compositorPlaces()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

PanelWindow::PanelWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_view(new PanelView(this))
{
    setWindowTitle(tr("Varnel Usage"));
    setAccessibleName(tr("Varnel Usage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    fit();
}

void PanelWindow::toggle(const QRect &anchor)
{
    if (isVisible()) {
        hide();
        return;
    }
    if (m_deactivated.isValid() && m_deactivated.elapsed() < reopenGuardMs)
        return;
    showNear(anchor);
}

void PanelWindow::showNear(const QRect &anchor)
{
    m_anchor = anchor;
    if (!isVisible())
        emit aboutToShow();
    fit();
    place();
    show();
    raise();
    activateWindow();
}

bool PanelWindow::event(QEvent *event)
{
    // The content grew or shrank (a section appeared, a text wrapped): follow it, and keep the
    // panel where it belongs, since its edge towards the tray may have moved.
    if (event->type() == QEvent::LayoutRequest) {
        const bool handled = QWidget::event(event);
        fit();
        if (isVisible())
            place();
        return handled;
    }
    return QWidget::event(event);
}

void PanelWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PanelWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) {
        m_deactivated.start();
        hide();
    }
}

void PanelWindow::fit()
{
    setFixedSize(PanelView::width, m_view->fittedHeight());
}

void PanelWindow::place()
{
    if (compositorPlaces())
        return;
    QScreen *screen = QGuiApplication::screenAt(m_anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    move(PanelPlacement::place(size(), m_anchor, screen->geometry(), screen->availableGeometry()));
}
