#include "shell/graphicalsession.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QList>
#include <QTemporaryDir>
#include <QtGlobal>

namespace {

QtMessageHandler previousHandler = nullptr;

// While the platform starts, what its plugins say about a missing display ("could not connect",
// "Failed to create wl_display", a missing runtime directory) would only repeat less clearly
// what the one line after it says; and without a display nothing else is worth saying.
void quiet(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg && previousHandler)
        previousHandler(type, context, text);
}

} // namespace

namespace GraphicalSession {

void prepare()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty()) {
        // Only the displays the session names, X11 first (XWayland where there is one): a plugin
        // asked to connect to a display that is not there prints its failure to the terminal
        // itself, past any message handler.
        QList<QByteArray> named;
        if (qEnvironmentVariableIsSet("DISPLAY"))
            named << "xcb";
        if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
            qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
            named << "wayland";
        platforms = named.join(';');
        if (named.isEmpty() && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            // Headless: the process prints the report and ends. Qt's platform would make a
            // runtime directory of its own in /tmp, say so and leave it; a private one goes at
            // exit instead.
            static QTemporaryDir runtime(QDir::tempPath() +
                                         QStringLiteral("/varnelusage-runtime-XXXXXX"));
            if (runtime.isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        }
    }
    if (!platforms.split(';').contains("offscreen"))
        platforms += platforms.isEmpty() ? "offscreen" : ";offscreen";
    qputenv("QT_QPA_PLATFORM", platforms);
    previousHandler = qInstallMessageHandler(quiet);
}

bool started()
{
    const QString name = QGuiApplication::platformName();
    const bool reached = name != QLatin1String("offscreen") && name != QLatin1String("minimal");
    if (reached)
        qInstallMessageHandler(previousHandler);
    return reached;
}

QString missingMessage()
{
    return QStringLiteral("varnelusage: no graphical session (no display could be opened); "
                          "printing the usage report instead");
}

} // namespace GraphicalSession
