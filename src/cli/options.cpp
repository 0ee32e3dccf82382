#include "options.h"

#include "base/isodate.h"

#include <tuple>

namespace {

// One argument split into its name and the value written after "=", if any.
struct Argument
{
    std::string name;
    std::optional<std::string> inlineValue;
};

Argument split(const std::string &arg)
{
    if (arg.starts_with("--")) {
        if (const auto eq = arg.find('='); eq != std::string::npos)
            return {arg.substr(0, eq), arg.substr(eq + 1)};
    }
    return {arg, std::nullopt};
}

bool takesValue(const std::string &name)
{
    return name == "--root" || name == "--now" || name == "--format" || name == "--since" ||
           name == "--until";
}

bool setFlag(Options &o, const std::string &name)
{
    if (name == "--json")
        o.json = true;
    else if (name == "--watch")
        o.watch = true;
    else if (name == "--plan")
        o.plan = true;
    else if (name == "--by-project")
        o.byProject = true;
    else if (name == "--breakdown")
        o.breakdown = true;
    else if (name == "--sessions")
        o.sessions = true;
    else if (name == "--daily" || name == "--monthly") {
        if (o.period && *o.period != (name == "--daily" ? Period::day : Period::month))
            o.bothPeriods = true;
        o.period = name == "--daily" ? Period::day : Period::month;
    } else if (name == "--help" || name == "-h")
        o.help = true;
    else if (name == "--version")
        o.version = true;
    else
        return false;
    return true;
}

// The error of one option that takes a value, or nothing.
std::optional<std::string> setValue(Options &o, const std::string &name,
                                    const std::optional<std::string> &value)
{
    if (name == "--root") {
        if (!value || value->empty())
            return "option --root needs a directory";
        o.root = *value;
        return std::nullopt;
    }
    if (name == "--since" || name == "--until") {
        if (!value || value->empty())
            return "option " + name + " needs a date";
        (name == "--since" ? o.sinceText : o.untilText) = *value;
        return std::nullopt;
    }
    if (name == "--format") {
        if (!value)
            return "option --format needs waybar or line";
        if (value == "waybar")
            o.format = BarFormat::waybar;
        else if (value == "line")
            o.format = BarFormat::line;
        else
            return "--format: not waybar or line: " + *value;
        return std::nullopt;
    }
    if (!value)
        return "option --now needs an instant";
    o.now = IsoDateParser::withFraction().parse(*value);
    if (!o.now)
        o.now = IsoDateParser::withoutFraction().parse(*value);
    if (!o.now)
        return "--now: not an internet date-time (such as 2025-06-01T09:15:42Z): " + *value;
    return std::nullopt;
}

std::optional<std::string> checkCombination(const Options &o)
{
    if (o.plan && o.now)
        return "--plan takes no --now";
    if (o.plan && o.root && !o.watch)
        return "--plan takes no --root unless with --watch";
    if (o.format && !o.watch)
        return "--format needs --watch";
    if (o.format && o.json)
        return "--format takes no --json";
    if (o.byProject && (o.period || o.format))
        return "--by-project goes with the report and --watch only";
    if (o.bothPeriods)
        return "--daily and --monthly exclude each other";
    if (o.period && (o.watch || o.plan))
        return "--daily and --monthly take no --watch or --plan";
    if (o.sessions && (o.period || o.watch || o.plan || o.byProject || o.now))
        return "--sessions takes no --daily, --monthly, --watch, --plan, --by-project or --now";
    if ((o.sinceText || o.untilText) && !o.period && !o.sessions)
        return "--since and --until need --daily, --monthly or --sessions";
    return std::nullopt;
}

// The dates of --since and --until, read once the period is known.
std::optional<std::string> parseDates(Options &o)
{
    const Period period = o.period.value_or(Period::day); // --sessions takes days
    const char *form = period == Period::day ? "YYYY-MM-DD" : "YYYY-MM";
    for (auto [text, date, name] : {std::tuple(&o.sinceText, &o.since, "--since"),
                                    std::tuple(&o.untilText, &o.until, "--until")}) {
        if (!*text)
            continue;
        *date = PeriodTotals::parse(**text, period);
        if (!*date)
            return std::string(name) + ": not a date of the form " + form + ": " + **text;
    }
    // Without --until the range ends with the day (or month) of --now: one rule for both.
    const LocalDate until =
        o.until.value_or(PeriodTotals::localDate(o.now.value_or(Instant::now())));
    if (o.since && *o.since > until)
        return std::string("--since is after --until (by default the date of --now)");
    return std::nullopt;
}

} // namespace

Options::Parsed Options::parse(const std::vector<std::string> &args)
{
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Argument arg = split(args[i]);
        if (takesValue(arg.name)) {
            std::optional<std::string> value = arg.inlineValue;
            if (!value && i + 1 < args.size())
                value = args[++i];
            if (auto error = setValue(o, arg.name, value))
                return {std::nullopt, *error, !value || arg.name != "--format"};
            continue;
        }
        if (arg.inlineValue)
            return {std::nullopt, "option " + arg.name + " takes no value"};
        if (!setFlag(o, arg.name))
            return {std::nullopt, "unknown option: " + arg.name};
    }
    if (auto error = checkCombination(o))
        return {std::nullopt, *error};
    if (o.breakdown && !o.period)
        return {std::nullopt, "--breakdown needs --daily or --monthly", false};
    if (auto error = parseDates(o))
        return {std::nullopt, *error, false};
    return {o, {}};
}

const char *Options::usage()
{
    return "usage: varnelusage-report [--root DIR] [--now INSTANT] [--json] [--watch]\n"
           "                          [--by-project]\n"
           "       varnelusage-report --plan [--json]\n"
           "       varnelusage-report --watch --plan [--root DIR] [--json]\n"
           "       varnelusage-report --watch [--plan] [--root DIR] --format waybar|line\n"
           "       varnelusage-report --daily|--monthly [--since DATE] [--until DATE]\n"
           "                          [--breakdown] [--root DIR] [--now INSTANT] [--json]\n"
           "       varnelusage-report --sessions [--since DATE] [--until DATE]\n"
           "                          [--root DIR] [--json]\n"
           "\n"
           "Prints the estimated cost, tokens and messages of Varnel Code from its local\n"
           "transcripts: today, the last seven days and each model.\n"
           "\n"
           "  --root DIR     transcript tree to read (default: ~/.varnel/projects)\n"
           "  --now INSTANT  report as of this internet date-time, such as\n"
           "                 2025-06-01T09:15:42Z or 2025-06-01T11:15:42.5+02:00\n"
           "                 (default: now; days follow the time zone in TZ)\n"
           "  --json         print one JSON object instead of the text report\n"
           "  --watch        keep running and print the report again whenever the\n"
           "                 figures change (with --json: one object per line)\n"
           "  --plan         the plan's official utilisation from the plan usage service,\n"
           "                 using Varnel Code's sign-in: once, or with --watch polled\n"
           "                 like the tray application does, beside the transcript figures\n"
           "  --format F     with --watch, one line per update for a status bar:\n"
           "                 waybar (a JSON object) or line (plain text)\n"
           "  --by-project   add each project's totals: today, 7 days, all time\n"
           "  --daily        one row per local day: cost, tokens, messages and models,\n"
           "                 from --since to --until (YYYY-MM-DD; default the last 30 days)\n"
           "  --monthly      the same per month (YYYY-MM; default the last 12 months)\n"
           "  --breakdown    with --daily or --monthly, each model's share under each row\n"
           "  --sessions     one row per conversation, newest first: project, first and\n"
           "                 last reply, duration, replies, tokens, cost and models; with\n"
           "                 --since/--until (YYYY-MM-DD) only the replies of those days\n"
           "  --help         show this text\n"
           "  --version      show the version\n";
}
