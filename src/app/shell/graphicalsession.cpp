#include "shell/graphicalsession.h"

#include <QGuiApplication>
#include <QtGlobal>

namespace {

QtMessageHandler previousHandler = nullptr;

// While the platform starts, the plugins' own warnings ("could not connect to display") would
// only repeat less clearly what the one line after it says.
void quietPlatformMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg && context.category && QByteArray(context.category).startsWith("qt.qpa"))
        return;
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

namespace GraphicalSession {

void prepare()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        platforms = "xcb;wayland";
    if (!platforms.split(';').contains("offscreen"))
        platforms += ";offscreen";
    qputenv("QT_QPA_PLATFORM", platforms);
    previousHandler = qInstallMessageHandler(quietPlatformMessages);
}

bool started()
{
    qInstallMessageHandler(previousHandler);
    const QString name = QGuiApplication::platformName();
    return name != QLatin1String("offscreen") && name != QLatin1String("minimal");
}

QString missingMessage()
{
    return QStringLiteral("varnelusage: no graphical session (no display could be opened); "
                          "printing the usage report instead");
}

} // namespace GraphicalSession
