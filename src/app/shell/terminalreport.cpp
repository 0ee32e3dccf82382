#include "shell/terminalreport.h"

#include "report.h"
#include "store/transcriptscan.h"
#include "transcripts/aggregates.h"

#include <QDir>

namespace TerminalReport {

std::string text()
{
    const QString root = QString::fromStdString(TranscriptScan::defaultRoot());
    TranscriptScan scan(QDir::cleanPath(QDir(root).absolutePath()).toStdString());
    scan.applyRefresh(TranscriptScan::run(scan.beginPass()));
    const ReportData data{
        scan.root(), scan.entries().size(),
        Aggregates::compute(scan.entries().records(), Instant::now(), Calendar::current()),
        std::nullopt};
    return Report::text(data);
}

} // namespace TerminalReport
