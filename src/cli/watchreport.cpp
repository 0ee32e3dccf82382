#include "watchreport.h"

#include "linux/linuxservices.h"
#include "linux/stopsignals.h"
#include "output.h"
#include "report.h"
#include "settings/settings.h"
#include "statusbar.h"
#include "store/usagestore.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

namespace {

ReportData snapshot(const UsageStore &store, bool withPlan, Instant now)
{
    ReportData data{store.projectsRoot(), store.entryCount(), store.aggregates(),
                    store.lastUpdatedInstant(), std::nullopt};
    if (withPlan) {
        const auto &error = store.planErrorText();
        data.plan = PlanState{store.planUsage(),
                              error ? std::optional(error->toStdString()) : std::nullopt,
                              store.planRetryAtInstant(),
                              store.history().size(),
                              now,
                              Projection::forPlan(store.history(), store.planUsage(), now)};
    }
    return data;
}

} // namespace

int runWatchReport(const Options &options, QCoreApplication &app)
{
    // The signals were blocked at the top of main(); from here they end the loop.
    StopSignals stop;
    if (!stop.isValid()) {
        std::perror("varnelusage-report: signalfd");
        return 1;
    }
    QObject::connect(&stop, &StopSignals::stopRequested, &app, [&app] { app.exit(0); });

    UsageStoreServices services = LinuxServices::usageStore();
    if (options.now)
        services.now = [now = *options.now] { return now; };
    if (!options.plan) {
        services.planFetcher.reset(); // the transcripts only
        services.notifications.reset();
    }
    // The same preferences as the application: thresholds, "notifyLimits", the announced set.
    Settings settings;
    UsageStore store(settings, options.root, std::move(services));

    // What one turn of the main loop publishes is printed once, however many figures changed.
    QTimer print;
    print.setSingleShot(true);
    print.setInterval(0);
    const bool redraw = !options.json && !options.format && isatty(STDOUT_FILENO);
    std::string printed; // a publication that changed nothing shown prints nothing
    QObject::connect(&print, &QTimer::timeout, &app, [&] {
        if (!store.lastUpdatedInstant())
            return; // nothing to show before the first scan
        ReportData data = snapshot(store, options.plan, options.now.value_or(Instant::now()));
        data.byProject = options.byProject;
        std::string text;
        if (options.format == BarFormat::waybar)
            text = StatusBar::waybar(data, BarPreferences::from(settings));
        else if (options.format == BarFormat::line)
            text = StatusBar::line(data, BarPreferences::from(settings));
        else if (options.json)
            text = Report::json(data) + "\n";
        else
            text = (redraw ? "\x1b[H\x1b[2J" : "\n") + Report::text(data);
        if (text == printed)
            return;
        printed = text;
        if (!Output::write(text))
            app.exit(1); // the reader has gone, or the disk is full: nobody sees the report
    });
    const auto publish = [&print] { print.start(); };
    QObject::connect(&store, &UsageStore::lastUpdatedChanged, &print, publish);
    if (options.plan) {
        QObject::connect(&store, &UsageStore::planUsageChanged, &print, publish);
        QObject::connect(&store, &UsageStore::planErrorChanged, &print, publish);
        QObject::connect(&store, &UsageStore::planRetryAtChanged, &print, publish);
        QObject::connect(&store, &UsageStore::historyChanged, &print, publish);
    }
    store.start();
    return app.exec();
}
