// varnelusage: the tray application. Wiring only; its one argument is --version.
#include "linux/linuxservices.h"
#include "linux/stopsignals.h"
#include "linux/tray/statusnotifieritem.h"
#include "panel/panelwindow.h"
#include "report.h"
#include "settings/settings.h"
#include "settingswindow/settingswindowopener.h"
#include "shell/application.h"
#include "shell/graphicalsession.h"
#include "shell/painttrace.h"
#include "shell/singleinstance.h"
#include "store/transcriptscan.h"
#include "store/usagestore.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("varnelusage " VARNELUSAGE_VERSION);
        return 0;
    }
    // Before any thread exists, so that every thread inherits the mask.
    StopSignals::block();
    GraphicalSession::prepare();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VarnelUsage"));
    // No display name: Qt would append it to every window title, and the settings window's title
    // is exactly "Varnel Usage Settings".
    QApplication::setDesktopFileName(QStringLiteral("org.varnelusage.varnelusage"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The installed theme icon when there is one; the copy built into the program otherwise, so
    // that a run from the build tree shows it too.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("varnelusage"),
                                                 QIcon(QStringLiteral(":/varnelusage.svg"))));

    if (!GraphicalSession::started()) {
        std::fprintf(stderr, "%s\n", qPrintable(GraphicalSession::missingMessage()));
        const std::string report =
            Report::text(Report::scanOnce(TranscriptScan::defaultRoot(), Instant::now()));
        std::fwrite(report.data(), 1, report.size(), stdout);
        return 0;
    }

    SingleInstance instance;
    if (!instance.acquire()) {
        instance.notifyRunning();
        return 0;
    }

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [] { QApplication::quit(); });

    Settings settings;
    UsageStore store(settings, std::nullopt, LinuxServices::usageStore());
    store.start();

    const std::unique_ptr<LoginItem> loginItem = LinuxServices::loginItem();
    SettingsWindowOpener settingsWindow(store, settings, *loginItem, LinuxServices::systemLog());

    Application application(settings, store, new StatusNotifierItem);
    QObject::connect(&application, &Application::settingsRequested, &app,
                     [&settingsWindow] { settingsWindow.open(); });
    QObject::connect(&application, &Application::quitRequested, &app, [] { QApplication::quit(); });
    QObject::connect(&instance, &SingleInstance::showRequested, &application,
                     &Application::showPanel);
#ifdef VARNELUSAGE_TEST_SEAMS
    if (qEnvironmentVariableIsSet("VARNELUSAGE_TEST_PAINT_TRACE"))
        PaintTrace::install(application.panel());
#endif
    application.show();
    return app.exec();
}
