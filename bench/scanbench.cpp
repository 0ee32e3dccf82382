// varnelusage-scanbench: the scan, the aggregation and the report's memory, each measured
// beside a reference on the same data, from one run. Also checks that the scan accepted exactly
// the replies the generator wrote, so a fast but wrong scan does not pass unnoticed.

#include "base/calendar.h"
#include "base/isodate.h"
#include "childprocess.h"
#include "random.h"
#include "store/transcriptfile.h"
#include "store/transcriptscan.h"
#include "transcripts/aggregates.h"
#include "transcripts/usagerecords.h"
#include "treemanifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#ifndef VARNELUSAGE_REPORT_PATH
#define VARNELUSAGE_REPORT_PATH ""
#endif

namespace {

constexpr int scanRuns = 3;
constexpr int aggregateRuns = 5;
constexpr std::size_t aggregateEntries = 1'000'000;
constexpr std::int64_t second = 1'000'000;
constexpr double mib = 1024.0 * 1024.0;

struct Args
{
    std::string tree;
    std::string report = VARNELUSAGE_REPORT_PATH;
};

std::optional<Args> parseArgs(int argc, char **argv)
{
    Args args;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--tree")
            args.tree = argv[i + 1];
        else if (arg == "--report")
            args.report = argv[i + 1];
        else
            return std::nullopt;
    }
    if (argc % 2 == 0 || args.tree.empty())
        return std::nullopt;
    return args;
}

double secondsOf(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const char *verdict(double ratio, double target)
{
    return ratio <= target ? "met" : "MISSED";
}

// Reads every byte once, so the timed runs find the tree in the page cache.
std::uint64_t readAll(const std::vector<TranscriptFile> &files)
{
    std::vector<char> buf(1 << 20);
    std::uint64_t total = 0;
    for (const TranscriptFile &f : files) {
        const int fd = open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ssize_t n;
        while ((n = read(fd, buf.data(), buf.size())) > 0)
            total += std::uint64_t(n);
        close(fd);
    }
    return total;
}

// The share of the files' pages that are in the page cache.
double residentFraction(const std::vector<TranscriptFile> &files)
{
    const auto page = std::size_t(sysconf(_SC_PAGESIZE));
    std::size_t pages = 0, resident = 0;
    std::vector<unsigned char> state;
    for (const TranscriptFile &f : files) {
        if (f.size == 0)
            continue;
        const int fd = open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        void *map = mmap(nullptr, f.size, PROT_READ, MAP_SHARED, fd, 0);
        close(fd);
        if (map == MAP_FAILED)
            continue;
        state.resize((f.size + page - 1) / page);
        if (mincore(map, f.size, state.data()) == 0) {
            pages += state.size();
            for (unsigned char s : state)
                resident += s & 1;
        }
        munmap(map, f.size);
    }
    return pages ? double(resident) / double(pages) : 1.0;
}

// CPU time (user and system, all threads) this process has used so far.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing
{
    double wall;
    double cpu;
};

// /usr/bin/cat over the files, as few invocations as the argument limit allows; their times
// add up.
std::optional<Timing> catSeconds(const std::vector<TranscriptFile> &files)
{
    const std::size_t argBudget = std::size_t(std::max(65536L, sysconf(_SC_ARG_MAX) / 4));
    Timing total{0, 0};
    std::size_t next = 0;
    while (next < files.size()) {
        std::vector<std::string> argv{"/usr/bin/cat"};
        std::size_t bytes = 0;
        while (next < files.size() && (argv.size() == 1 || bytes < argBudget)) {
            bytes += files[next].path.size() + 1 + sizeof(char *);
            argv.push_back(files[next++].path);
        }
        const ChildRun run = ChildProcess::run(argv, false);
        if (!run.started || run.exitCode != 0)
            return std::nullopt;
        total.wall += run.seconds;
        total.cpu += run.cpuSeconds;
    }
    return total;
}

// A million replies as the store would hold them after a scan: sessions of consecutive
// replies in time order, the sessions themselves in no particular order, about five models,
// every reply with a de-duplication key.
std::vector<UsageEntry> sampleEntries(Instant end)
{
    static constexpr const char *models[] = {
        "varnel-corvel-4-5-20250929", "varnel-magnar-4-1-20250805", "varnel-tindle-4-5-20251001",
        "varnel-corvel-4-20250514", "<synthetic>"};
    static constexpr double modelUpTo[] = {0.70, 0.82, 0.94, 0.99, 1.0};
    static constexpr char base62[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    Random random(7);
    const auto id = [&](std::string prefix, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            prefix += base62[random.below(62)];
        return prefix;
    };
    std::vector<UsageEntry> entries;
    entries.reserve(aggregateEntries);
    const std::int64_t window = 60 * 86'400 * second;
    while (entries.size() < aggregateEntries) {
        std::int64_t t = end.micros - window + std::int64_t(random.unit() * double(window));
        for (auto n = random.logUniform(5, 3000); n > 0 && entries.size() < aggregateEntries; --n) {
            t = std::min(end.micros, t + random.logUniform(second, 120 * second) +
                                         random.between(0, 999) * 1000);
            UsageEntry e;
            e.timestamp = Instant{t};
            const double pick = random.unit();
            e.model = models[std::find_if(std::begin(modelUpTo), std::end(modelUpTo),
                                          [&](double upTo) { return pick < upTo; }) -
                             std::begin(modelUpTo)];
            e.inputTokens =
                random.chance(0.8) ? random.between(1, 10) : random.logUniform(10, 5000);
            e.outputTokens = random.logUniform(1, 8000);
            e.cacheCreationTokens = random.chance(0.5) ? 0 : random.logUniform(100, 30000);
            e.cacheReadTokens = random.chance(0.9) ? random.logUniform(5000, 180000) : 0;
            e.dedupKey = id("msg_01", 22) + ":" + id("req_011C", 20);
            entries.push_back(std::move(e));
        }
    }
    return entries;
}

struct SortRace
{
    double aggregates;
    double stableSort;
    bool countedAll; // every aggregation counted each entry once
};

SortRace raceAggregates(const std::vector<UsageEntry> &entries, Instant now)
{
    // The records are what the store holds; building them is not part of the work measured.
    UsageRecords records;
    for (const UsageEntry &e : entries)
        records.append(e);
    const Calendar calendar = Calendar::current();
    SortRace best{1e9, 1e9, true};
    std::int64_t counted = 0;
    for (int i = 0; i < aggregateRuns; ++i) {
        Aggregates result;
        best.aggregates =
            std::min(best.aggregates,
                     secondsOf([&] { result = Aggregates::compute(records, now, calendar); }));
        for (const ModelUsage &m : result.perModel)
            counted += m.bucket.count;
    }
    if (counted != std::int64_t(aggregateRuns * entries.size())) {
        std::printf("check: aggregates counted %lld replies in %d runs, expected %zu — WRONG\n",
                    static_cast<long long>(counted), aggregateRuns, aggregateRuns * entries.size());
        best.countedAll = false;
    }
    for (int i = 0; i < aggregateRuns; ++i) {
        std::vector<UsageEntry> copy = entries;
        best.stableSort =
            std::min(best.stableSort, secondsOf([&] {
                         std::stable_sort(copy.begin(), copy.end(),
                                          [](const UsageEntry &a, const UsageEntry &b) {
                                              return a.timestamp < b.timestamp;
                                          });
                     }));
    }
    return best;
}

// This process's resident set now, from /proc.
double residentBytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024.0;
    }
    return 0;
}

std::optional<long long> jsonCount(const std::string &json, const std::string &key)
{
    const auto at = json.find("\"" + key + "\": ");
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtoll(json.c_str() + at + key.size() + 4, nullptr, 10);
}

// Peak memory of the report command over the whole tree; the number of entries it counted, or
// nothing when it failed. Must run while this process is still small: a child's peak as the
// kernel reports it includes the spawning process's resident set at the moment of exec.
std::optional<long long> measureReport(const std::string &report, const std::string &root,
                                       const std::optional<TreeManifest> &manifest)
{
    std::vector<std::string> command{report, "--json", "--root", root};
    if (manifest)
        command.insert(command.end(), {"--now", manifest->end});
    const double ownRss = residentBytes();
    const ChildRun run = ChildProcess::run(command, true);
    const auto entries = jsonCount(run.output, "entries");
    if (!run.started || run.exitCode != 0 || !entries) {
        std::fprintf(stderr, "varnelusage-scanbench: %s failed (exit %d)\n", report.c_str(),
                     run.exitCode);
        return std::nullopt;
    }
    const double rss = double(run.maxRssKiB) * 1024.0;
    const double budget = 64.0 * mib + 150.0 * double(*entries);
    std::printf("peak RSS %.1f MiB   budget %.1f MiB (64 MiB + 150 B x %lld entries)   "
                "ratio %.2f (target <= 1: %s)   [report took %.2f s; spawned from %.1f MiB]\n",
                rss / mib, budget / mib, *entries, rss / budget, verdict(rss / budget, 1),
                run.seconds, ownRss / mib);
    if (rss <= ownRss)
        std::printf("  (not a measurement: the benchmark itself held %.1f MiB when it started "
                    "the report)\n",
                    ownRss / mib);
    return entries;
}

struct ScanOutcome
{
    std::size_t entries = 0;
    Aggregates totals;
};

// Best of three full first scans (a fresh TranscriptScan each time) against the best of three
// cat runs over the same files. The page cache is warmed again before every timed run: this
// machine pages out file data left untouched for a minute, and a cold run would time the disk.
std::optional<ScanOutcome> measureScan(const std::string &root,
                                       const std::vector<TranscriptFile> &files, Instant now)
{
    ScanOutcome outcome;
    Timing scanBest{1e9, 0};
    Timing catBest{1e9, 0};
    double lowestResident = 1;
    std::uint64_t bytes = 0;
    const auto warm = [&] {
        bytes = readAll(files);
        lowestResident = std::min(lowestResident, residentFraction(files));
    };
    for (int i = 0; i < scanRuns; ++i) {
        warm();
        TranscriptScan scan(root);
        const double cpuBefore = cpuSeconds();
        const double wall =
            secondsOf([&] { scan.applyRefresh(TranscriptScan::run(scan.beginPass())); });
        if (wall < scanBest.wall)
            scanBest = {wall, cpuSeconds() - cpuBefore};
        if (i == 0) {
            outcome.entries = scan.entries().size();
            outcome.totals =
                Aggregates::compute(scan.entries().records(), now, Calendar::current());
        }

        warm();
        const auto cat = catSeconds(files);
        if (!cat) {
            std::fprintf(stderr, "varnelusage-scanbench: /usr/bin/cat failed\n");
            return std::nullopt;
        }
        if (cat->wall < catBest.wall)
            catBest = *cat;
    }
    const double ratio = scanBest.wall / catBest.wall;
    std::printf("full scan: %.3f s   cat: %.3f s   ratio %.2f (target <= 2: %s)   "
                "[%.0f MiB/s, %zu replies]\n",
                scanBest.wall, catBest.wall, ratio, verdict(ratio, 2),
                double(bytes) / mib / scanBest.wall, outcome.entries);
    // The machine is shared: CPU time shows what the runs cost whatever else was running.
    std::printf("  CPU time of those runs: scan %.3f s (all threads)   cat %.3f s\n", scanBest.cpu,
                catBest.cpu);
    std::printf("  page cache before the timed runs: at least %.1f %% of the tree resident\n",
                100.0 * lowestResident);
    return outcome;
}

// Aggregation against one stable sort of the same entries, in store order and shuffled. False
// when an aggregation lost or invented replies.
bool measureAggregates(Instant now)
{
    std::vector<UsageEntry> entries = sampleEntries(now);
    const SortRace storeOrder = raceAggregates(entries, now);
    const double ratio = storeOrder.aggregates / storeOrder.stableSort;
    std::printf("aggregates (%zu entries): %.3f s   stable_sort: %.3f s   ratio %.2f "
                "(target <= 1: %s)\n",
                entries.size(), storeOrder.aggregates, storeOrder.stableSort, ratio,
                verdict(ratio, 1));
    Random shuffle(11);
    for (std::size_t i = entries.size(); i > 1; --i)
        std::swap(entries[i - 1], entries[shuffle.below(i)]);
    const SortRace shuffled = raceAggregates(entries, now);
    std::printf("  same entries shuffled: %.3f s   stable_sort: %.3f s   ratio %.2f\n",
                shuffled.aggregates, shuffled.stableSort,
                shuffled.aggregates / shuffled.stableSort);
    return storeOrder.countedAll && shuffled.countedAll;
}

// The scan's and the report's figures against what the generator wrote.
bool checkAgainst(const TreeManifest &manifest, const ScanOutcome &scan, long long reported)
{
    bool ok = true;
    const auto check = [&](bool good, const std::string &what) {
        std::printf("check: %s — %s\n", what.c_str(), good ? "ok" : "WRONG");
        ok = ok && good;
    };
    check(scan.entries == std::size_t(manifest.entries),
          "scan accepted " + std::to_string(scan.entries) + " replies, generator wrote " +
              std::to_string(manifest.entries));
    check(reported == manifest.entries, "report counted " + std::to_string(reported) + " entries");
    bool modelsMatch = scan.totals.perModel.size() == manifest.perModel.size();
    for (const ModelUsage &m : scan.totals.perModel) {
        const auto it = manifest.perModel.find(m.model);
        modelsMatch = modelsMatch && it != manifest.perModel.end() &&
                      it->second.count == m.bucket.count && it->second.tokens == m.bucket.tokens;
    }
    check(modelsMatch, "replies and tokens per model match the generator's");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto args = parseArgs(argc, argv);
    if (!args) {
        std::fputs("usage: varnelusage-scanbench --tree DIR [--report PATH]\n", stderr);
        return 2;
    }
    if (args->report.empty()) {
        std::fprintf(stderr, "varnelusage-scanbench: no report command; pass --report PATH\n");
        return 2;
    }
    const std::string root =
        QDir::cleanPath(QDir(QString::fromStdString(args->tree)).absolutePath()).toStdString();
    const auto manifest = TreeManifest::load(root);
    std::optional<Instant> end;
    if (manifest) {
        end = IsoDateParser::withoutFraction().parse(manifest->end);
        if (!end)
            end = IsoDateParser::withFraction().parse(manifest->end);
    } else {
        std::printf("note: %s has no generator manifest; the acceptance checks are skipped\n",
                    root.c_str());
    }
    const Instant now = end.value_or(Instant::now());

    const auto reported = measureReport(args->report, root, manifest);
    if (!reported)
        return 1;

    const auto listing = TranscriptFiles::list(root);
    if (!listing || listing->empty()) {
        std::fprintf(stderr, "varnelusage-scanbench: no transcripts below %s\n", root.c_str());
        return 1;
    }
    std::uint64_t size = 0;
    for (const TranscriptFile &f : *listing)
        size += f.size;
    std::printf("tree: %s   %zu transcripts   %.1f MiB   (cores: %d)\n", root.c_str(),
                listing->size(), double(size) / mib, QThread::idealThreadCount());
    const auto scan = measureScan(root, *listing, now);
    if (!scan)
        return 1;

    bool ok = measureAggregates(now);
    if (manifest)
        ok = checkAgainst(*manifest, *scan, *reported) && ok;
    return ok ? 0 : 1;
}
