#include "cli/cli_arguments.h"

#include <algorithm>
#include <cctype>

#include "cli/command_table.h"
#include "lumivel/program_information.h"

namespace lumivel_cli {

namespace {

constexpr size_t kHelpColumn = 30;

std::string programUsage() {
    std::string out =
        "usage: lumivel [-v] [<command> [arguments]]\n"
        "Without a command the console opens (it needs a display).\n"
        "Commands:\n";
    for (const CommandRow& row : CommandRows()) {
        std::string entry = std::string("  ") + row.word;
        entry.append(entry.size() < 15 ? 15 - entry.size() : 1, ' ');
        out += entry + row.summary + "\n";
    }
    return out +
           "Run 'lumivel <command> --help' for the options of a command, 'lumivel --version' for\n"
           "the version. -v (before or after the command) traces on stderr the LDAP operations and\n"
           "which domain controller is used and why. Exit status: 0 success, 1 failure, 2 a mistake\n"
           "in the command line.\n";
}

std::string optionLines(Command command) {
    std::string out;
    for (const OptionRow& row : OptionRows()) {
        if (!row.commands.has(command)) continue;
        std::string entry = std::string("  ") + (row.shortName ? std::string(row.shortName) + ", " : "    ") + row.name;
        if (row.value) entry += std::string(" ") + row.value;
        // A long option and value put their help on a line of its own.
        if (entry.size() + 2 > kHelpColumn) entry += "\n" + std::string(kHelpColumn, ' ');
        else entry.append(kHelpColumn - entry.size(), ' ');
        out += entry + row.help + "\n";
    }
    return out;
}

std::string commandUsage(const CommandRow& row) {
    std::string out;
    std::string_view synopsis = row.synopsis;
    for (bool first = true; !synopsis.empty(); first = false) {
        size_t end = synopsis.find('\n');
        out += std::string(first ? "usage: lumivel " : "       lumivel ") + std::string(synopsis.substr(0, end)) + "\n";
        synopsis = end == std::string_view::npos ? std::string_view() : synopsis.substr(end + 1);
        // Continuation lines of one form carry their own indent.
        while (!synopsis.empty() && synopsis.front() == ' ') {
            end = synopsis.find('\n');
            out += "       " + std::string(synopsis.substr(0, end)) + "\n";
            synopsis = end == std::string_view::npos ? std::string_view() : synopsis.substr(end + 1);
        }
    }
    return out + row.description + "Options:\n" + optionLines(row.command) + "Example: " + row.example + "\n";
}

ParseResult mistake(std::string message, std::optional<Command> command) {
    return ParseResult{std::nullopt, std::move(message), command};
}

bool isVerbose(const std::string& word) { return word == "-v" || word == "--verbose"; }

// What the sub-command makes of its positional words, once every option is read.
std::string takePositional(Arguments& arguments, const std::vector<std::string>& positional) {
    switch (arguments.command) {
        case Command::Backup:
            if (positional.size() < 2) return "backup takes DOMAIN and at least one DN";
            arguments.objects.assign(positional.begin() + 1, positional.end());
            for (const std::string& dn : arguments.objects)
                if (dn.empty()) return "a DN must not be empty";
            break;
        case Command::Schedule:
            if (positional.size() != 2 || positional[1].empty()) return "schedule takes DOMAIN and DN";
            arguments.objects = {positional[1]};
            break;
        case Command::Restore:
            if (positional.empty() || (positional.size() < 2 && !arguments.tombstoneFile))
                return "restore takes DOMAIN and at least one TOMBSTONE (or --from FILE)";
            arguments.tombstones.assign(positional.begin() + 1, positional.end());
            for (const std::string& tombstone : arguments.tombstones)
                if (tombstone.empty()) return "TOMBSTONE must not be empty";
            break;
        case Command::Jobs:
            if (positional.empty()) return {};
            if (positional.size() != 2 || (positional[0] != "delete" && positional[0] != "run") || positional[1].empty())
                return "jobs takes nothing, 'delete NAME' or 'run NAME'";
            arguments.jobAction = positional[0] == "delete" ? JobAction::Delete : JobAction::Run;
            arguments.jobName = positional[1];
            return {};
        case Command::Domains:
        case Command::Log:
        case Command::Config:
            return positional.empty() ? std::string() : std::string(RowOf(arguments.command).word) + " takes no arguments";
        case Command::Connect:
        case Command::List:
        case Command::Backups:
            if (positional.size() != 1) return std::string(RowOf(arguments.command).word) + " takes one DOMAIN";
            break;
        case Command::Help:
        case Command::Version:
        case Command::Console:
            return {};
    }
    arguments.domain = positional[0];
    return arguments.domain.empty() ? "DOMAIN must not be empty" : std::string();
}

// Options that make sense only together, or never together.
std::string checkCombinations(const Arguments& a) {
    using Kind = ScheduleRequest::Kind;
    if (a.command == Command::Schedule) {
        const ScheduleRequest& r = a.schedule;
        if (r.kinds != 1) return "schedule takes one of --daily, --weekly, --monthly-day, --monthly-week and --once";
        if (r.kind == Kind::Weekly && !r.days) return "--weekly needs --days";
        if ((r.kind == Kind::MonthlyDay || r.kind == Kind::MonthlyWeek) && !r.months)
            return "a monthly schedule needs --months";
        if (r.hour < 0) return "schedule needs --at HH:MM";
        if (r.account.empty()) return "schedule needs --account USER";
    }
    if (a.command == Command::Jobs && a.formatGiven && a.jobAction != JobAction::List)
        return "jobs takes --format only for its list";
    if (a.server && a.domain.rfind("LDAP://", 0) == 0) return "--server and an LDAP:// path both name a server";
    if (a.command != Command::Restore) return {};
    if (a.keepGoing && !a.subtree) return "--keep-going goes with --subtree";
    if (a.incremental && a.filter) return "--incremental lists the whole domain: it does not go with --filter";
    if (a.reapply && (!a.fromBackup || a.subtree))
        return "--reapply needs --from-backup, and goes without --subtree";
    if (a.reapplySensitive && !a.reapply) return "--reapply-sensitive goes with --reapply";
    if (a.restoreTo && (a.subtree || a.dryRun)) return "--to goes without --subtree and --dry-run";
    if (a.subtree && (a.tombstones.size() != 1 || a.tombstoneFile || a.dryRun))
        return "--subtree takes exactly one TOMBSTONE, without --from or --dry-run";
    return {};
}

}  // namespace

// At most 9 digits, so the product stays far inside a 64-bit count.
std::optional<long long> DurationSeconds(const std::string& text) {
    if (text.size() < 2) return std::nullopt;
    std::string number = text.substr(0, text.size() - 1);
    char unit = static_cast<char>(std::tolower(static_cast<unsigned char>(text.back())));
    if (number.size() > 9 || number.empty() ||
        !std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }) ||
        (unit != 'd' && unit != 'h'))
        return std::nullopt;
    return std::stoll(number) * (unit == 'd' ? 86400LL : 3600LL);
}

std::string UsageText(std::optional<Command> topic) {
    if (topic && *topic != Command::Help && *topic != Command::Version && *topic != Command::Console)
        return commandUsage(RowOf(*topic));
    return programUsage();
}

std::string VersionText() { return lumivel::ProgramVersionText("lumivel"); }

std::string MistakeText(const ParseResult& result) {
    const std::string help = result.usageOf ? std::string("lumivel ") + RowOf(*result.usageOf).word + " --help"
                                            : std::string("lumivel --help");
    return "lumivel: " + result.error + "\nTry '" + help + "' for more information.\n";
}

ParseResult ParseArguments(const std::vector<std::string>& given) {
    Arguments arguments;
    // -v before the sub-command holds for it as -v among its options does.
    size_t first = 0;
    while (first < given.size() && isVerbose(given[first])) ++first;
    arguments.verbose = first > 0;
    const std::vector<std::string> words(given.begin() + static_cast<long>(first), given.end());
    if (words.empty()) {
        if (arguments.verbose) return mistake("-v goes with a command", std::nullopt);
        // No arguments: the console, when a display is there to show it.
        arguments.command = Command::Console;
        return ParseResult{arguments, {}, {}};
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        arguments.command = Command::Help;
        if (words.size() >= 2)
            if (const CommandRow* topic = FindCommand(words[1])) arguments.helpTopic = topic->command;
        return ParseResult{arguments, {}, {}};
    }
    if (words[0] == "--version" || words[0] == "-V") {
        arguments.command = Command::Version;
        return ParseResult{arguments, {}, {}};
    }
    const CommandRow* command = FindCommand(words[0]);
    if (!command) {
        if (words[0].size() > 1 && words[0][0] == '-') return mistake("unknown option '" + words[0] + "'", std::nullopt);
        return mistake("unknown command '" + words[0] + "'", std::nullopt);
    }
    arguments.command = command->command;
    auto failure = [&](std::string message) { return mistake(std::move(message), command->command); };

    std::vector<std::string> positional;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            positional.insert(positional.end(), words.begin() + static_cast<long>(i) + 1, words.end());
            break;
        }
        // A lone "-" is a value (standard input), as is anything without a leading "-".
        if (word.size() < 2 || word[0] != '-') {
            positional.push_back(word);
            continue;
        }
        const bool isLong = word.rfind("--", 0) == 0;
        const size_t equals = isLong ? word.find('=') : std::string::npos;
        const std::string name = word.substr(0, equals);
        const OptionRow* option = FindOption(name, command->command);
        if (!option) {
            if (IsAnyOption(name)) return failure(name + " does not go with " + command->word);
            return failure("unknown option '" + word + "' for " + command->word);
        }
        std::string value;
        if (!option->value) {
            if (equals != std::string::npos) return failure(name + " takes no value");
        } else if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        }
        if (option->value && value.empty()) return failure(name + " needs " + option->value);
        std::string problem = option->action(arguments, value);
        if (!problem.empty()) return failure(problem);
        // Help asked for wins over every mistake after it.
        if (arguments.command == Command::Help) return ParseResult{arguments, {}, {}};
    }
    std::string problem = takePositional(arguments, positional);
    if (problem.empty()) problem = checkCombinations(arguments);
    if (!problem.empty()) return failure(problem);
    return ParseResult{arguments, {}, {}};
}

}  // namespace lumivel_cli
