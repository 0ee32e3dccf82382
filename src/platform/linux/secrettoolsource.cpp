#include "linux/secrettoolsource.h"

#include "base/secret.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>

#include <csignal>

#include <sys/types.h>
#include <unistd.h>

namespace {

// How often a wait for the tool looks at the stop request.
constexpr int stopCheckMs = 50;
// A credentials document is small; a tool that writes more is not listened to.
constexpr qint64 maxOutputBytes = 64 * 1024;

// Calls `wait` in short steps until the deadline passes or a stop is requested.
template <typename Wait>
bool waitUnlessStopped(const QDeadlineTimer &deadline, const std::stop_token &stop, Wait wait)
{
    while (!stop.stop_requested()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        if (wait(int(std::min<qint64>(left, stopCheckMs))))
            return true;
    }
    return false;
}

} // namespace

SecretToolSource::SecretToolSource(QString program, QStringList arguments)
    : m_program(std::move(program)), m_arguments(std::move(arguments))
{
}

std::optional<QByteArray> SecretToolSource::secret(const QString &service,
                                                   std::chrono::milliseconds bound,
                                                   std::stop_token stop)
{
    const QDeadlineTimer deadline(bound);
    QProcess process;
    process.setProgram(m_program);
    process.setArguments(m_arguments + QStringList{service});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that whatever it starts can be ended with it.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(QIODevice::ReadOnly);
    const bool started = waitUnlessStopped(deadline, stop, [&](int ms) {
        return process.waitForStarted(ms) || process.state() == QProcess::NotRunning;
    });
    if (!started || process.error() == QProcess::FailedToStart)
        return std::nullopt;
    // Read as it comes (at most a pipe's worth per wait), so the output can be bounded.
    bool tooMuch = false;
    const bool finished = waitUnlessStopped(deadline, stop, [&](int ms) {
        if (process.state() == QProcess::NotRunning)
            return true;
        process.waitForReadyRead(ms);
        tooMuch = process.bytesAvailable() > maxOutputBytes;
        return tooMuch || process.state() == QProcess::NotRunning;
    });
    if (!finished || tooMuch) {
        // The whole group while its leader is still ours to name, then the leader.
        if (process.state() != QProcess::NotRunning && process.processId() > 0)
            ::kill(-pid_t(process.processId()), SIGKILL);
        process.kill();
        process.waitForFinished(1000);
        QByteArray unread = process.readAllStandardOutput();
        Secret::wipe(unread);
        return std::nullopt;
    }
    QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        Secret::wipe(output);
        return std::nullopt;
    }
    return output;
}
