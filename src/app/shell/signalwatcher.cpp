#include "shell/signalwatcher.h"

#include <QSocketNotifier>

#include <csignal>

#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void SignalWatcher::blockStopSignals()
{
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    const sigset_t set = stopSignals();
    m_fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_fd < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalWatcher::drain);
}

SignalWatcher::~SignalWatcher()
{
    m_notifier.reset();
    if (m_fd >= 0)
        close(m_fd);
}

void SignalWatcher::drain()
{
    signalfd_siginfo info;
    int last = 0;
    while (read(m_fd, &info, sizeof info) == sizeof info)
        last = int(info.ssi_signo);
    if (last)
        emit stopRequested(last);
}
