#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// SIGINT and SIGTERM delivered as a signal on the main loop. blockStopSignals() must run at the
// very top of main(), before any thread starts, so that every thread inherits the mask and no
// thread is ever interrupted by them; the watcher then reads them from a signalfd.
class SignalWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SignalWatcher)

public:
    static void blockStopSignals();

    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    bool isValid() const { return m_fd >= 0; }

signals:
    void stopRequested(int signal);

private:
    void drain();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
