#include "options.h"
#include "planreport.h"
#include "report.h"
#include "store/transcriptscan.h"
#include "transcripts/aggregates.h"
#include "watchreport.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

std::string absoluteRoot(const std::optional<std::string> &given)
{
    const QString root = given ? QString::fromStdString(*given)
                               : QString::fromStdString(TranscriptScan::defaultRoot());
    return QDir::cleanPath(QDir(root).absolutePath()).toStdString();
}

void print(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int reportOnce(const Options &options)
{
    TranscriptScan scan(absoluteRoot(options.root));
    scan.applyRefresh(TranscriptScan::run(scan.beginPass()));
    ReportData data{scan.root(), scan.entries().size(),
                    Aggregates::compute(scan.entries().records(),
                                        options.now.value_or(Instant::now()), Calendar::current()),
                    std::nullopt};
    print(options.json ? Report::json(data) + "\n" : Report::text(data));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto parsed = Options::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "varnelusage-report: %s\n%s", parsed.error.c_str(), Options::usage());
        return 2;
    }
    const Options &options = *parsed.options;
    if (options.help) {
        print(Options::usage());
        return 0;
    }
    if (options.plan) {
        runPlanReport(options.json, [&app](int code) { app.exit(code); });
        return app.exec();
    }
    if (options.watch) {
        Options live = options;
        live.root = absoluteRoot(options.root);
        return runWatchReport(live, app);
    }
    return reportOnce(options);
}
