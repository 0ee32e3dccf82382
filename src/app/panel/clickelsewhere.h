#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QWidget;

// Tells of a mouse button pressed anywhere on an X11 screen outside one window, while watching.
// Not every click elsewhere takes the focus from the panel: a click on a bar's empty stretch or
// on a bare desktop leaves the focus where it was (Cinnamon, MATE). The X server's raw input
// events reach the program whoever gets the click, without a grab that would take the click
// from its target. Does nothing on other platforms.
class ClickElsewhere final : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClickElsewhere)

public:
    explicit ClickElsewhere(QWidget *window);
    ~ClickElsewhere() override;

    // Watching costs a small event per button press on the screen: only while the window shows.
    void setWatching(bool watching);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void pressed();

private:
    QWidget *m_window;
    bool m_watching = false;
    // The X input extension's opcode; 0 where there is none (or no X11 at all).
    quint8 m_opcode = 0;
};
