#include "base/bytepath.h"
#include "format/plaintext.h"
#include "linux/stopsignals.h"
#include "options.h"
#include "output.h"
#include "periodreport.h"
#include "planreport.h"
#include "report.h"
#include "sessionreport.h"
#include "store/transcriptscan.h"
#include "watchreport.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

// Bytes from the command line or the environment to the system calls, never decoded.
std::string absoluteRoot(const std::optional<std::string> &given)
{
    return BytePath::absolute(given.value_or(TranscriptScan::defaultRoot()));
}

int reportOnce(const Options &options)
{
    ReportData data = Report::scanOnce(options.root.value_or(TranscriptScan::defaultRoot()),
                                       options.now.value_or(Instant::now()));
    data.byProject = options.byProject;
    return Output::write(options.json ? Report::json(data) + "\n" : Report::text(data)) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything else, and before any thread exists: a SIGTERM that arrives while the watch
    // starts must end it cleanly too, not kill it or be lost on a thread that ignores it.
    StopSignals::block();
    // A reader that has gone is a failed write, reported as such, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    const auto parsed = Options::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        // The error may quote an argument: shown harmlessly, on its one line.
        std::fprintf(stderr, "varnelusage-report: %s\n%s", PlainText::visible(parsed.error).c_str(),
                     parsed.showUsage ? Options::usage() : "");
        return 2;
    }
    const Options &options = *parsed.options;
    if (!options.watch)
        StopSignals::unblock(); // a one-shot report keeps the default behaviour
    QCoreApplication app(argc, argv);
    if (options.help)
        return Output::write(Options::usage()) ? 0 : 1;
    if (options.version)
        return Output::write("varnelusage-report " VARNELUSAGE_VERSION "\n") ? 0 : 1;
    if (options.watch) {
        Options live = options;
        live.root = absoluteRoot(options.root);
        return runWatchReport(live, app);
    }
    if (options.period) {
        const auto rows = PeriodReport::scan(options.root.value_or(TranscriptScan::defaultRoot()),
                                             options, options.now.value_or(Instant::now()));
        const Period period = *options.period;
        return Output::write(options.json
                                 ? PeriodReport::json(rows, period, options.breakdown) + "\n"
                                 : PeriodReport::text(rows, period, options.breakdown))
                   ? 0
                   : 1;
    }
    if (options.sessions) {
        const auto rows =
            SessionReport::scan(options.root.value_or(TranscriptScan::defaultRoot()), options);
        return Output::write(options.json ? SessionReport::json(rows) + "\n"
                                          : SessionReport::text(rows))
                   ? 0
                   : 1;
    }
    if (options.plan) {
        runPlanReport(options.json, [&app](int code) { app.exit(code); });
        return app.exec();
    }
    return reportOnce(options);
}
