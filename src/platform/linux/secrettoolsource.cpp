#include "linux/secrettoolsource.h"

#include "base/secret.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>

namespace {

// How often a wait for the tool looks at the stop request.
constexpr int stopCheckMs = 50;

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
    process.start(QIODevice::ReadOnly);
    const bool started = waitUnlessStopped(deadline, stop, [&](int ms) {
        return process.waitForStarted(ms) || process.state() == QProcess::NotRunning;
    });
    if (!started || process.error() == QProcess::FailedToStart)
        return std::nullopt;
    const bool finished = waitUnlessStopped(deadline, stop, [&](int ms) {
        return process.waitForFinished(ms) || process.state() == QProcess::NotRunning;
    });
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        Secret::wipe(output);
        return std::nullopt;
    }
    return output;
}
