#include "shell/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

const QByteArray showCommand = "show\n";

QString runtimeDirectory(const QString &given)
{
    if (!given.isEmpty())
        return given;
    // Qt falls back to a private directory of its own when XDG_RUNTIME_DIR is unset.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

} // namespace

SingleInstance::SingleInstance(QString directory, QObject *parent)
    : QObject(parent), m_directory(runtimeDirectory(directory)),
      m_lock(QDir(m_directory).filePath(QStringLiteral("varnelusage.lock")))
{
    // The lock is held for the life of the process, so age alone never makes it stale; only a
    // holder that no longer runs does.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::lockPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("varnelusage.lock"));
}

QString SingleInstance::socketPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("varnelusage.socket"));
}

bool SingleInstance::acquire()
{
    QDir().mkpath(m_directory);
    if (!m_lock.tryLock(0))
        return false;
    // Holding the lock, any socket file left is a dead instance's.
    QLocalServer::removeServer(socketPath());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    m_server->listen(socketPath());
    return true;
}

bool SingleInstance::notifyRunning(int timeoutMs)
{
    // Bounded waits only: the running instance may still be starting, so connecting is retried
    // a few times within the deadline.
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(showCommand);
            const bool sent =
                socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())));
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(50);
    }
    return false;
}

void SingleInstance::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        const auto readCommands = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == showCommand)
                    emit showRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readCommands);
        connect(socket, &QLocalSocket::disconnected, this, [socket, readCommands] {
            readCommands();
            socket->deleteLater();
        });
    }
}
