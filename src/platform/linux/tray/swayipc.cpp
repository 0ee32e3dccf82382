#include "linux/tray/swayipc.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr quint32 runCommand = 0;
constexpr quint32 getWorkspaces = 1;
const QByteArray magic = QByteArrayLiteral("i3-ipc");
constexpr int headerSize = 14; // magic, payload length, message type
// sway answers at once; the bound on the whole request keeps a stuck or hostile socket from
// freezing the app, and no single wait holds the main thread longer than a frame.
constexpr int requestDeadlineMs = 250;
constexpr int frameMs = 16;
// Far beyond any workspace list or command result; a longer reply is refused unread.
constexpr quint32 maxReplyBytes = 4 * 1024 * 1024;
// sway knows a window only once it is mapped, which takes a frame or two after Qt shows it.
constexpr int retryIntervalMs = 25;
constexpr int retries = 40;

} // namespace

SwayIpc::SwayIpc(QObject *parent) : QObject(parent)
{
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &SwayIpc::tryPlace);
}

bool SwayIpc::available()
{
    return !qEnvironmentVariableIsEmpty("SWAYSOCK");
}

std::optional<QByteArray> SwayIpc::request(quint32 type, const QByteArray &payload)
{
    const QDeadlineTimer deadline(requestDeadlineMs);
    const auto slice = [&deadline] {
        return int(std::clamp<qint64>(deadline.remainingTime(), 0, frameMs));
    };
    QLocalSocket socket;
    socket.connectToServer(qEnvironmentVariable("SWAYSOCK"));
    while (socket.state() == QLocalSocket::ConnectingState && !deadline.hasExpired())
        socket.waitForConnected(slice());
    if (socket.state() != QLocalSocket::ConnectedState)
        return std::nullopt;
    QByteArray message = magic;
    message.resize(headerSize);
    qToLittleEndian<quint32>(quint32(payload.size()), message.data() + magic.size());
    qToLittleEndian<quint32>(type, message.data() + magic.size() + 4);
    socket.write(message + payload);
    QByteArray reply;
    qsizetype expected = headerSize;
    while (reply.size() < expected) {
        if (deadline.hasExpired())
            return std::nullopt;
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(slice())) {
            if (socket.state() != QLocalSocket::ConnectedState)
                return std::nullopt;
            continue;
        }
        // Never more than the reply announced, however much the socket offers.
        reply += socket.read(expected - reply.size());
        if (expected == headerSize && reply.size() == headerSize) {
            const quint32 length = qFromLittleEndian<quint32>(reply.constData() + magic.size());
            if (!reply.startsWith(magic) || length > maxReplyBytes)
                return std::nullopt;
            expected += length;
        }
    }
    return reply.mid(headerSize);
}

std::optional<QRect> SwayIpc::focusedWorkspace(const QByteArray &reply)
{
    for (const QJsonValue &value : QJsonDocument::fromJson(reply).array()) {
        const QJsonObject workspace = value.toObject();
        if (!workspace.value(QLatin1String("focused")).toBool())
            continue;
        const QJsonObject rect = workspace.value(QLatin1String("rect")).toObject();
        const QRect area(rect.value(QLatin1String("x")).toInt(),
                         rect.value(QLatin1String("y")).toInt(),
                         rect.value(QLatin1String("width")).toInt(),
                         rect.value(QLatin1String("height")).toInt());
        if (area.isEmpty())
            return std::nullopt;
        return area;
    }
    return std::nullopt;
}

std::optional<QRect> SwayIpc::workspaceArea()
{
    const std::optional<QByteArray> reply = request(getWorkspaces, {});
    return reply ? focusedWorkspace(*reply) : std::nullopt;
}

QByteArray SwayIpc::placeCommand(qint64 pid, const QString &title, QPoint at)
{
    // The title is matched whole, as a regular expression inside a quoted string that sway
    // takes as it stands: no way to quote a quote there, but any character matches one.
    QString pattern;
    for (const QChar c : title) {
        if (c == QLatin1Char('"'))
            pattern += QLatin1Char('.');
        else if (QStringView(u"\\^$.|?*+()[]{}").contains(c))
            pattern += QLatin1Char('\\') + c;
        else
            pattern += c;
    }
    return QStringLiteral("[pid=%1 title=\"^%2$\"] floating enable, border none, sticky enable, "
                          "move absolute position %3 %4")
        .arg(QString::number(pid), pattern, QString::number(at.x()), QString::number(at.y()))
        .toUtf8();
}

void SwayIpc::place(const QString &title, QPoint at)
{
    m_command = placeCommand(QCoreApplication::applicationPid(), title, at);
    m_triesLeft = retries;
    tryPlace();
}

void SwayIpc::tryPlace()
{
    const std::optional<QByteArray> reply = request(runCommand, m_command);
    // A command that matched no window fails; one that did reports success for each part.
    const QJsonArray results = reply ? QJsonDocument::fromJson(*reply).array() : QJsonArray();
    const bool done =
        !results.isEmpty() && results.first().toObject().value(QLatin1String("success")).toBool();
    // No answer at all is a socket that will not answer the next try either.
    if (done || !reply || --m_triesLeft <= 0)
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start();
}
