#include "linux/tray/swayipc.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QtEndian>

namespace {

constexpr quint32 runCommand = 0;
constexpr quint32 getWorkspaces = 1;
const QByteArray magic = QByteArrayLiteral("i3-ipc");
constexpr int headerSize = 14; // magic, payload length, message type
// sway answers at once; the bound keeps a stuck compositor from freezing the app.
constexpr int replyTimeoutMs = 250;
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
    QLocalSocket socket;
    socket.connectToServer(qEnvironmentVariable("SWAYSOCK"));
    if (!socket.waitForConnected(replyTimeoutMs))
        return std::nullopt;
    QByteArray message = magic;
    message.resize(headerSize);
    qToLittleEndian<quint32>(quint32(payload.size()), message.data() + magic.size());
    qToLittleEndian<quint32>(type, message.data() + magic.size() + 4);
    socket.write(message + payload);
    QByteArray reply;
    qsizetype expected = headerSize;
    while (reply.size() < expected) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(replyTimeoutMs))
            return std::nullopt;
        reply += socket.readAll();
        if (expected == headerSize && reply.size() >= headerSize)
            expected += qFromLittleEndian<quint32>(reply.constData() + magic.size());
    }
    if (!reply.startsWith(magic))
        return std::nullopt;
    return reply.mid(headerSize, expected - headerSize);
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
    if (done || --m_triesLeft <= 0)
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start();
}
