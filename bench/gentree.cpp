// varnelusage-gentree: writes a realistic transcript tree of a given size, the same for the
// same seed, and a manifest of what a scan should accept from it.

#include "base/isodate.h"
#include "random.h"
#include "textpool.h"
#include "transcriptwriter.h"
#include "treemanifest.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char *defaultEnd = "2026-12-06T12:00:00Z";
constexpr std::int64_t daySpan = 86'400'000'000;
constexpr std::int64_t window = 60 * daySpan;

struct Args
{
    std::string out;
    std::uint64_t sizeMb = 0;
    std::uint64_t seed = 1;
    std::string end = defaultEnd;
};

const char *usage()
{
    return "usage: varnelusage-gentree --out DIR --size-mb N [--seed S] [--end INSTANT]\n"
           "Writes about N MiB of transcripts below DIR (which must be empty or absent), all\n"
           "timestamps in the 60 days before INSTANT (default 2026-12-06T12:00:00Z).\n";
}

std::optional<std::uint64_t> number(const char *text)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-')
        return std::nullopt;
    return v;
}

std::optional<Args> parseArgs(int argc, char **argv)
{
    Args args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return std::nullopt;
        const char *value = argv[++i];
        if (arg == "--out") {
            args.out = value;
        } else if (arg == "--size-mb" || arg == "--seed") {
            const auto n = number(value);
            if (!n)
                return std::nullopt;
            (arg == "--seed" ? args.seed : args.sizeMb) = *n;
        } else if (arg == "--end") {
            args.end = value;
        } else {
            return std::nullopt;
        }
    }
    if (args.out.empty() || args.sizeMb == 0)
        return std::nullopt;
    return args;
}

struct Project
{
    std::string dir;
    std::string cwd;
    std::string gitBranch;
    std::vector<std::string> sessions;
    std::vector<ReplayLine> tail; // of its latest main transcript
};

// File sizes with a log-normal spread (a few large transcripts, many small ones) that add up
// to `total`.
std::vector<std::uint64_t> fileSizes(Random &random, std::size_t count, std::uint64_t total)
{
    std::vector<double> weights(count);
    double sum = 0;
    for (double &w : weights)
        sum += w = std::exp(1.3 * random.normal());
    std::vector<std::uint64_t> sizes;
    for (double w : weights)
        sizes.push_back(std::max<std::uint64_t>(1, std::uint64_t(double(total) * w / sum)));
    return sizes;
}

} // namespace

int main(int argc, char **argv)
{
    const auto args = parseArgs(argc, argv);
    if (!args) {
        std::fputs(usage(), stderr);
        return 2;
    }
    auto end = IsoDateParser::withoutFraction().parse(args->end);
    if (!end)
        end = IsoDateParser::withFraction().parse(args->end);
    if (!end) {
        std::fprintf(stderr, "varnelusage-gentree: --end: not an internet date-time: %s\n",
                     args->end.c_str());
        return 2;
    }
    const QString outDir = QDir::cleanPath(QDir(QString::fromStdString(args->out)).absolutePath());
    const QDir out(outDir);
    // Never mix two trees, nor write over something else.
    if (out.exists() &&
        !out.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        std::fprintf(stderr, "varnelusage-gentree: %s is not empty\n", qPrintable(outDir));
        return 1;
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "varnelusage-gentree: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    const auto started = std::chrono::steady_clock::now();

    Random random(args->seed);
    TextPool text(random);
    TreeManifest manifest;
    manifest.seed = args->seed;
    manifest.end = args->end;
    TranscriptWriter writer(random, text, manifest);

    const std::uint64_t total = args->sizeMb << 20;
    const auto fileCount =
        std::size_t(std::max<long long>(1, std::llround(double(args->sizeMb) * 1500.0 / 1024.0)));
    const std::vector<std::uint64_t> sizes = fileSizes(random, fileCount, total);

    std::vector<Project> projects(std::min<std::size_t>(30, fileCount));
    for (std::size_t p = 0; p < projects.size(); ++p) {
        const std::string name = "project" + std::to_string(p + 1);
        projects[p].dir = "-home-user-src-" + name;
        projects[p].cwd = "/home/user/src/" + name;
        projects[p].gitBranch = random.chance(0.7) ? "main" : "feature/" + text.word();
    }
    static constexpr const char *versions[] = {"2.0.14", "2.0.22", "2.0.27", "2.0.31"};

    for (std::size_t i = 0; i < fileCount; ++i) {
        // Some projects see far more work than others.
        const auto p = std::min(projects.size() - 1, std::size_t(double(projects.size()) *
                                                                 std::pow(random.unit(), 1.6)));
        Project &project = projects[p];
        SessionPlan plan;
        plan.targetBytes = sizes[i];
        plan.cwd = project.cwd;
        plan.gitBranch = project.gitBranch;
        plan.version = versions[random.below(std::size(versions))];
        plan.endMicros = end->micros;
        std::string relative;
        if (!project.sessions.empty() && random.chance(0.12)) {
            // A subagent's transcript sits below its conversation's own directory.
            plan.sessionId = project.sessions[random.below(project.sessions.size())];
            plan.agentId = random.hex(8);
            relative = project.dir + '/' + plan.sessionId + "/subagents";
        } else {
            plan.sessionId = random.uuid();
            project.sessions.push_back(plan.sessionId);
            relative = project.dir;
        }
        if (!QDir(outDir).mkpath(QString::fromStdString(relative))) {
            std::fprintf(stderr, "varnelusage-gentree: cannot create %s\n", relative.c_str());
            return 1;
        }
        plan.path = outDir.toStdString() + '/' + relative + '/' +
                    (plan.agentId.empty() ? plan.sessionId : "agent-" + plan.agentId) + ".jsonl";
        // About 6.5 KB and 20 s per line: place the whole session inside the window.
        const std::int64_t span = std::int64_t(sizes[i] / 6500 + 1) * 20'000'000;
        plan.startMicros =
            end->micros - window +
            std::int64_t(random.unit() *
                         double(std::max<std::int64_t>(0, window - span - daySpan / 24)));

        // A resumed conversation starts by repeating the end of the one before it.
        const bool resumed = plan.agentId.empty() && !project.tail.empty() && random.chance(0.1);
        const auto written = writer.write(plan, resumed ? project.tail : std::vector<ReplayLine>{});
        if (!written) {
            std::fprintf(stderr, "varnelusage-gentree: cannot write %s\n", plan.path.c_str());
            return 1;
        }
        ++manifest.files;
        manifest.bytes += *written;
        if (plan.agentId.empty())
            project.tail = writer.tail();
    }
    if (!manifest.save(outDir.toStdString())) {
        std::fprintf(stderr, "varnelusage-gentree: cannot write the manifest\n");
        return 1;
    }

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double lines = double(manifest.userLines + manifest.assistantLines + manifest.otherLines);
    std::printf("tree:       %s\n", qPrintable(outDir));
    std::printf("end date:   %s (timestamps in the 60 days before it; seed %llu)\n",
                args->end.c_str(), static_cast<unsigned long long>(args->seed));
    std::printf("files:      %llu in %zu projects, %.1f MiB\n",
                static_cast<unsigned long long>(manifest.files),
                std::size_t(std::count_if(projects.begin(), projects.end(),
                                          [](const Project &p) { return !p.sessions.empty(); })),
                double(manifest.bytes) / (1 << 20));
    std::printf("lines:      %.0f (user %.1f %%, assistant %.1f %%, system/summary %.1f %%)\n",
                lines, 100.0 * double(manifest.userLines) / lines,
                100.0 * double(manifest.assistantLines) / lines,
                100.0 * double(manifest.otherLines) / lines);
    std::printf("replies:    %lld with usage (what a scan should accept)\n",
                static_cast<long long>(manifest.entries));
    for (const auto &[model, totals] : manifest.perModel)
        std::printf("            %-28s %8lld replies %14lld tokens\n", model.c_str(),
                    static_cast<long long>(totals.count), static_cast<long long>(totals.tokens));
    std::printf("written in: %.2f s (%.0f MiB/s)\n", seconds,
                double(manifest.bytes) / (1 << 20) / seconds);
    return 0;
}
