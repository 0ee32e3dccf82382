#include "options.h"

#include "base/isodate.h"

Options::Parsed Options::parse(const std::vector<std::string> &args)
{
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.starts_with("--")) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        const bool takesValue = arg == "--root" || arg == "--now";
        if (inlineValue && !takesValue)
            return {std::nullopt, "option " + arg + " takes no value"};

        if (arg == "--json") {
            o.json = true;
        } else if (arg == "--watch") {
            o.watch = true;
        } else if (arg == "--plan") {
            o.plan = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--root") {
            const auto v = value();
            if (!v || v->empty())
                return {std::nullopt, "option --root needs a directory"};
            o.root = *v;
        } else if (arg == "--now") {
            const auto v = value();
            if (!v)
                return {std::nullopt, "option --now needs an instant"};
            o.now = IsoDateParser::withFraction().parse(*v);
            if (!o.now)
                o.now = IsoDateParser::withoutFraction().parse(*v);
            if (!o.now)
                return {std::nullopt, "--now: not an internet date-time "
                                      "(such as 2025-06-01T09:15:42Z): " +
                                          *v};
        } else {
            return {std::nullopt, "unknown option: " + arg};
        }
    }
    if (o.watch && o.plan)
        return {std::nullopt, "--watch and --plan cannot be combined"};
    if (o.plan && (o.root || o.now))
        return {std::nullopt, "--plan takes no --root or --now"};
    return {o, {}};
}

const char *Options::usage()
{
    return "usage: varnelusage-report [--root DIR] [--now INSTANT] [--json] [--watch]\n"
           "       varnelusage-report --plan [--json]\n"
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
           "                 transcripts change (with --json: one object per line)\n"
           "  --plan         print the plan's official utilisation from the plan usage\n"
           "                 service instead, using Varnel Code's sign-in\n"
           "  --help         show this text\n";
}
