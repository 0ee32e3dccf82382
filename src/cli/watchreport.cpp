#include "watchreport.h"

#include "linux/linuxservices.h"
#include "report.h"
#include "settings/settings.h"
#include "store/usagestore.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void print(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int runWatchReport(const Options &options, QCoreApplication &app)
{
    // Blocked before any thread starts, so every thread inherits the mask and the signals
    // arrive only through the descriptor, on the main thread's event loop.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    const int sigFd = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    if (sigFd < 0) {
        std::perror("varnelusage-report: signalfd");
        return 1;
    }
    QSocketNotifier onSignal(sigFd, QSocketNotifier::Read);
    QObject::connect(&onSignal, &QSocketNotifier::activated, &app, [&] {
        signalfd_siginfo info;
        while (read(sigFd, &info, sizeof info) == sizeof info) {
        }
        app.quit();
    });

    UsageStoreServices services = LinuxServices::usageStore();
    services.planFetcher.reset(); // the transcripts only
    if (options.now)
        services.now = [now = *options.now] { return now; };
    Settings settings;
    UsageStore store(settings, options.root, std::move(services));
    const bool redraw = !options.json && isatty(STDOUT_FILENO);
    QObject::connect(&store, &UsageStore::lastUpdatedChanged, &app, [&] {
        const ReportData data{store.projectsRoot(), store.entryCount(), store.aggregates(),
                              store.lastUpdatedInstant()};
        if (options.json)
            print(Report::json(data) + "\n");
        else
            print((redraw ? "\x1b[H\x1b[2J" : "\n") + Report::text(data));
    });
    store.start();
    const int code = app.exec();
    close(sigFd);
    return code;
}
