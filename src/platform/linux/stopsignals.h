#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM as events of the main loop, so a program can end cleanly, with status 0.
// block() must run at the very top of main(), before any thread starts: every thread then
// inherits the mask, and a signal that arrives early is held until the notifier reads it rather
// than killing the process or reaching a thread that does not expect it.
class StopSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StopSignals)

public:
    static void block();
    // The default behaviour again, for a program that turns out not to need the signals.
    static void unblock();

    // Reads the blocked signals (also one already pending) from the main loop.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    bool isValid() const { return m_fd >= 0; }

signals:
    void stopRequested();

private:
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
