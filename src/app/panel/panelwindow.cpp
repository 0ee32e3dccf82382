#include "panel/panelwindow.h"

#include "panel/clickelsewhere.h"
#include "panel/panelplacement.h"
#include "panel/panelview.h"
#include "panel/skiptaskbar.h"
#include "panel/windowmanagername.h"

#include "linux/tray/swayipc.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// A click on the icon that arrives this soon after the panel lost activation is the click that
// closed it, not a request to open it again.
constexpr int reopenGuardMs = 300;
// How long a busy window manager may take to hand a panel just shown the focus.
constexpr int focusPatienceMs = 1000;

bool compositorPlaces()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// An X11 client of a Wayland compositor.
bool underXWayland()
{
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
            qgetenv("XDG_SESSION_TYPE") == "wayland");
}

// Whether the panel is a window the compositor does not manage. KWin and GNOME Shell place a
// managed X11 tool window where it asks and hand it the keyboard, while they never focus an
// unmanaged one, and a click on one of their own surfaces reaches no X client: Escape and a
// click elsewhere would not reach the panel there. Elsewhere under XWayland the compositor may
// place a managed window itself, but honours where an unmanaged one asks to be. sway is told
// where instead, since it never hands an unmanaged window the keyboard back, nor tells it of
// clicks elsewhere.
bool unmanaged()
{
    static const bool answer = [] {
        if (!underXWayland() || SwayIpc::available())
            return false;
        const QString manager = x11WindowManagerName();
        return manager != QLatin1String("KWin") && manager != QLatin1String("GNOME Shell");
    }();
    return answer;
}

Qt::WindowFlags panelFlags()
{
    const Qt::WindowFlags frameless = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    // Unmanaged, and of the normal window type: compositors give the keyboard to an unmanaged
    // window unless its type says utility, menu or the like (sway), and the taskbar never
    // lists an unmanaged window anyway.
    if (unmanaged())
        return Qt::Window | Qt::X11BypassWindowManagerHint | frameless;
    return Qt::Tool | frameless;
}

} // namespace

PanelWindow::PanelWindow(QWidget *parent)
    : QWidget(parent, panelFlags()), m_view(new PanelView(this)),
      m_sway(SwayIpc::available() ? new SwayIpc(this) : nullptr),
      m_notice(new QLabel(tr("No system tray found — Varnel Usage keeps running and docks when "
                             "a tray appears."),
                          this)),
      m_clickElsewhere(new ClickElsewhere(this)), m_reopenGuard(new QTimer(this))
{
    m_reopenGuard->setSingleShot(true);
    m_reopenGuard->setInterval(reopenGuardMs);
    connect(m_reopenGuard, &QTimer::timeout, this, [this] { emit reopenGuardChanged(false); });
    connect(m_clickElsewhere, &ClickElsewhere::pressed, this, [this] {
        if (isVisible() && !m_standalone)
            closeOnDeactivation();
    });
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *window) {
        if (window && window == windowHandle() && isVisible())
            m_focusedSinceShown = true;
    });
    setWindowTitle(tr("Varnel Usage"));
    setAccessibleName(tr("Varnel Usage"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setWordWrap(true);
    m_notice->setContentsMargins(14, 14, 14, 0);
    m_notice->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_notice);
    layout->addWidget(m_view);
    fit();
}

void PanelWindow::toggle(const QRect &anchor)
{
    if (isVisible() && !m_standalone) {
        hide();
        return;
    }
    if (m_reopenGuard->isActive())
        return;
    showNear(anchor);
}

void PanelWindow::showNear(const QRect &anchor)
{
    if (m_standalone)
        leaveStandalone();
    m_anchor = anchor;
    if (!isVisible()) {
        m_focusedSinceShown = false;
        m_shownFor.start();
        emit aboutToShow();
    }
    fit();
    place();
    askToSkipTaskbar(this);
    show();
    askToSkipTaskbar(this);
    raise();
    m_clickElsewhere->setWatching(true);
    // Under XWayland the compositor hands the keyboard to an unmanaged window as it maps; one
    // that takes the focus itself is put back at once (and would close on losing it).
    if (unmanaged()) {
        grabKeyboard();
        return;
    }
    // Shown again before the platform's word that the focus left arrived (Escape, then a quick
    // click), the window still holds the focus there, while hiding made the panel inactive: no
    // focus change would come to make it active again, nor to close it on a click elsewhere.
    if (QGuiApplication::focusWindow() == windowHandle())
        QApplication::setActiveWindow(this);
    activateWindow();
}

void PanelWindow::showStandalone()
{
    if (!m_standalone) {
        hide();
        setStandalone(true);
    }
    if (!isVisible())
        emit aboutToShow();
    fit();
    show();
    raise();
    activateWindow();
}

void PanelWindow::leaveStandalone()
{
    if (!m_standalone)
        return;
    hide();
    setStandalone(false);
    // The window's activation goes with it: the platform's late word that its focus left would
    // otherwise come as the panel's own loss of activation, and close it as soon as it opens.
    if (QApplication::activeWindow() == this)
        QApplication::setActiveWindow(nullptr);
}

void PanelWindow::setStandalone(bool standalone)
{
    m_standalone = standalone;
    m_notice->setVisible(standalone);
    // Changing the flags makes a new native window, hidden; the caller shows it again.
    setWindowFlags(standalone ? Qt::Window : panelFlags());
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

void PanelWindow::hideEvent(QHideEvent *event)
{
    if (keyboardGrabber() == this)
        releaseKeyboard();
    m_clickElsewhere->setWatching(false);
    QWidget::hideEvent(event);
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
    if (event->type() != QEvent::ActivationChange || m_standalone)
        return;
    // Hiding the panel (Escape, a second activation) deactivates it on the way, while it still
    // counts as visible: that is no click elsewhere, and must not hold off the next activation.
    if (isActiveWindow() || isHidden())
        return;
    // Shown again while the word that the previous showing lost the focus was on its way, the
    // panel gets that word now, with the window manager's answer to this showing still to
    // come: it is decided once that answer had its time. A click elsewhere then closes it too.
    if (!m_focusedSinceShown && m_shownFor.isValid() && !m_shownFor.hasExpired(focusPatienceMs)) {
        const qint64 showing = m_shownFor.msecsSinceReference();
        QTimer::singleShot(focusPatienceMs - m_shownFor.elapsed(), this, [this, showing] {
            if (m_shownFor.msecsSinceReference() == showing && !isActiveWindow() && isVisible() &&
                !m_standalone)
                closeOnDeactivation();
        });
        return;
    }
    closeOnDeactivation();
}

void PanelWindow::closeOnDeactivation()
{
    m_reopenGuard->start();
    emit reopenGuardChanged(true);
    hide();
}

void PanelWindow::fit()
{
    const int notice = m_notice->isVisibleTo(this) ? m_notice->heightForWidth(PanelView::width) : 0;
    setFixedSize(PanelView::width, m_view->fittedHeight() + notice);
}

void PanelWindow::place()
{
    if ((compositorPlaces() && !m_sway) || m_standalone)
        return;
    QScreen *screen = m_anchor.isEmpty() ? nullptr : QGuiApplication::screenAt(m_anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // sway's bars reserve their room in the workspace's area, not in what Qt sees of the screen.
    const std::optional<QRect> workspace = m_sway ? m_sway->workspaceArea() : std::nullopt;
    const QRect available = workspace ? *workspace : screen->availableGeometry();
    const QRect anchor = m_anchor.isEmpty()
                             ? PanelPlacement::unknownAnchor(screen->geometry(), available)
                             : m_anchor;
    const QPoint at = PanelPlacement::place(size(), anchor, screen->geometry(), available);
    if (m_sway)
        m_sway->place(windowTitle(), at);
    else
        move(at);
}
