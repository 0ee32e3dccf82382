#pragma once

#include <QElapsedTimer>
#include <QRect>
#include <QWidget>

class PanelView;

// The frameless window that holds the panel: placed beside the tray icon, kept inside the
// screen, closed by Escape, by a click elsewhere (the window loses activation) or by a second
// click on the icon. A tool window rather than a popup, so screen readers see it.
class PanelWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelWindow)

public:
    explicit PanelWindow(QWidget *parent = nullptr);

    PanelView *view() const { return m_view; }

    // Shows the panel beside `anchor` (global, logical pixels), or hides it when it is shown.
    void toggle(const QRect &anchor);
    void showNear(const QRect &anchor);

signals:
    // Just before the panel becomes visible, so its content can be brought up to date first.
    void aboutToShow();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fit();
    void place();

    PanelView *m_view;
    QRect m_anchor;
    // When the panel last closed because it lost activation: the click that took it away may
    // be the very click on the icon that is about to toggle it.
    QElapsedTimer m_deactivated;
};
