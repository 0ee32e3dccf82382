#pragma once

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTimer>

#include <optional>

// sway's control socket ($SWAYSOCK, the i3 IPC protocol). A client of sway cannot place its own
// window, nor does sway honour an unmanaged X11 window's focus; sway places a managed window
// where it is told, floating, and then gives it the keyboard like any other.
class SwayIpc final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SwayIpc)

public:
    explicit SwayIpc(QObject *parent = nullptr);

    // Whether the session is sway's.
    static bool available();
    // The usable area of the focused workspace: its output less the bars.
    std::optional<QRect> workspaceArea();
    // Floats this process's window titled `title` at `at` (layout coordinates), without border
    // and on every workspace; tried again for a moment until sway has mapped the window.
    void place(const QString &title, QPoint at);

    // The command that does so for the process `pid`.
    static QByteArray placeCommand(qint64 pid, const QString &title, QPoint at);
    // The focused workspace's rectangle in a GET_WORKSPACES reply.
    static std::optional<QRect> focusedWorkspace(const QByteArray &reply);

private:
    std::optional<QByteArray> request(quint32 type, const QByteArray &payload);
    void tryPlace();

    QTimer m_retry;
    QByteArray m_command;
    int m_triesLeft = 0;
};
