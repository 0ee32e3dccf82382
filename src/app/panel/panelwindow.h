#pragma once

#include <QElapsedTimer>
#include <QRect>
#include <QWidget>

class ClickElsewhere;
class PanelView;
class QLabel;
class QTimer;
class SwayIpc;

// The window that holds the panel. Beside a tray icon it is frameless: placed next to the icon,
// kept inside the screen, closed by Escape, by a click elsewhere (the window loses activation)
// or by a second click on the icon; a tool window rather than a popup, so screen readers see
// it. Without any tray it is an ordinary window instead, which says why it is there.
class PanelWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelWindow)

public:
    explicit PanelWindow(QWidget *parent = nullptr);

    PanelView *view() const { return m_view; }

    // Shows the panel beside `anchor` (global, logical pixels; empty when unknown), or hides
    // it when it is shown.
    void toggle(const QRect &anchor);
    void showNear(const QRect &anchor);
    // The ordinary window for a session without a tray: titled, closable, in the taskbar.
    void showStandalone();
    // Back to the frameless panel (hidden), once a tray has taken the item.
    void leaveStandalone();
    bool isStandalone() const { return m_standalone; }

signals:
    // Just before the panel becomes visible, so its content can be brought up to date first.
    void aboutToShow();
    // The panel closed because it lost activation (true), and the time in which a click on the
    // icon counts as the click that closed it is over (false).
    void reopenGuardChanged(bool on);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setStandalone(bool standalone);
    void fit();
    void place();
    void closeOnDeactivation();

    PanelView *m_view;
    // Where sway runs the session: the compositor that places the panel on request.
    SwayIpc *m_sway;
    QLabel *m_notice;
    // A click that leaves the focus where it was (on a bar's empty stretch) closes the panel too.
    ClickElsewhere *m_clickElsewhere;
    QRect m_anchor;
    bool m_standalone = false;
    // Whether the platform has given this showing the focus, and since when it shows: a loss of
    // activation before that may be the late word of the previous showing's.
    bool m_focusedSinceShown = false;
    QElapsedTimer m_shownFor;
    // Runs from when the panel closed because it lost activation: the click that took it away
    // may be the very click on the icon that is about to toggle it.
    QTimer *m_reopenGuard;
};
