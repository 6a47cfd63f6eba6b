#include "cli/cli_arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#ifndef LUMIVEL_VERSION
#define LUMIVEL_VERSION "unknown"
#endif

namespace lumivel_cli {

namespace {

struct CommandName {
    const char* word;
    Command command;
    const char* usage;
};

constexpr CommandName kCommands[] = {
    {"domains", Command::Domains,
     "usage: lumivel domains\n"
     "Lists the stored domain nodes, one a line: name, domain, focused domain controller, that\n"
     "controller's site and the site of this machine (as the domain's controllers see it),\n"
     "separated by tabs. The locator prefers the controllers of this machine's site; -v shows\n"
     "how it chose. Says so on stderr when none is stored.\n"
     "Example: lumivel domains\n"},
    {"connect", Command::Connect,
     "usage: lumivel connect DOMAIN\n"
     "Connects to DOMAIN (a DNS name, a distinguished name or an LDAP:// path) and stores it\n"
     "as a domain node.\n"
     "Example: lumivel connect lumivel.test\n"},
    {"list", Command::List,
     "usage: lumivel list DOMAIN [--filter PREFIX] [--expiring-within Nd|Nh] [--format table|tsv|json]\n"
     "Lists the deleted objects of DOMAIN (a stored domain's name, a DNS name or a\n"
     "distinguished name). PREFIX is the beginning of the name (Ann) or an LDAP filter\n"
     "prefix (CN=Ann); a filter the directory refuses is an error.\n"
     "Columns: name, last known parent, class, date deleted (local time with seconds and\n"
     "zone), GUID and the tombstone's distinguished name. TSV and JSON also carry the\n"
     "tombstone's own name (the name, a line feed, DEL: and the GUID) and the date deleted\n"
     "in ISO 8601 UTC. In TSV a backslash, tab, line feed and carriage return are written\n"
     "\\\\, \\t, \\n and \\r, and any other control character as \\x and two hex digits;\n"
     "restore takes the tombstone and guid fields as printed.\n"
     "Expires is when the directory purges the tombstone for good: its deletion plus the\n"
     "forest's lifetime of deleted objects (TSV and JSON: expires, and expiresUtc in ISO 8601\n"
     "UTC). --expiring-within 7d (or 12h) lists only those purged within that time, and those\n"
     "past their time that are not purged yet.\n"
     "Options: -f FORMAT is --format FORMAT; --format=FORMAT works too.\n"
     "Example: lumivel list lumivel.test --filter CN=Carol --format json\n"},
    {"restore", Command::Restore,
     "usage: lumivel restore DOMAIN TOMBSTONE... [--from FILE|-] [--new-name NAME]\n"
     "                       [--from-backup ARCHIVE|latest] [--yes]\n"
     "       lumivel restore DOMAIN TOMBSTONE... --dry-run [--format table|json]\n"
     "       lumivel restore DOMAIN CONTAINER-TOMBSTONE --subtree [--keep-going] [--yes]\n"
     "       lumivel restore DOMAIN TOMBSTONE... --to CONTAINER-DN [--new-name NAME] [--yes]\n"
     "       lumivel restore DOMAIN TOMBSTONE... --from-backup ARCHIVE|latest --reapply [--yes]\n"
     "Restores the deleted objects whose tombstone DN or GUID is given, deleted parents\n"
     "first. --from reads more of them from a file, one a line (- for standard input);\n"
     "a TSV heading line is skipped. Before anything is restored, the plan is shown and\n"
     "confirmed: the deleted parents that come back first and the DN each object gets.\n"
     "--yes confirms it and never waits for input: a name that is taken then fails unless\n"
     "NAME answers it, and a deleted parent that is no longer listed is recreated only from\n"
     "the archive --from-backup names (its file name or path in the backup folder; latest:\n"
     "the newest that holds the object). Without a terminal on standard input nothing is\n"
     "asked either. Prints one line per object: Restored, Not restored, Already restored or\n"
     "Not found. Exits with 0 only when every object was restored.\n"
     "--dry-run changes nothing: it prints, as a tree or JSON, the deleted parents that would\n"
     "come back first, the DN each object would get, names the forest's global catalog holds\n"
     "already, whether the domain's access control list lets you reanimate tombstones and\n"
     "create the object in its parent, and when each tombstone expires.\n"
     "--subtree restores a deleted container and every listed tombstone whose last known\n"
     "parents lead to it, parents first, one line per object; the first failure stops the\n"
     "rest (they are listed as Not attempted) unless --keep-going is given, which skips only\n"
     "what lies below a failed object.\n"
     "--to restores into the live container CONTAINER-DN instead of the last known parent;\n"
     "the container must exist and accept the object's class for you.\n"
     "--reapply writes back, onto each restored object, the values its section in the\n"
     "--from-backup archive holds for every attribute that is not restricted and that the\n"
     "directory lets you write, and adds it again to the groups of that archive that listed\n"
     "it; it reports what was written and what was refused.\n"
     "Example: lumivel restore lumivel.test 0b9e6f2c-5d1a-4c3e-9f1b-2a7d8e6c4b10 --yes\n"},
    {"backup", Command::Backup,
     "usage: lumivel backup DOMAIN DN... [--server DC]\n"
     "Backs up the objects (each with everything below it) into one archive in the backup\n"
     "folder: the FileLocation policy's folder, else \\\\DC\\sysvol\\Tarvo Lumivel. DC is the\n"
     "domain controller to read from (default: the domain node's, else the domain's).\n"
     "Prints the archive's path; exits with 0 only when the archive reached the folder.\n"
     "Example: lumivel backup lumivel.test 'OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test'\n"},
    {"backups", Command::Backups,
     "usage: lumivel backups DOMAIN [--object GUID|DN] [--server DC]\n"
     "Lists the archives of the backup folder, newest first: file, date (UTC), origin and\n"
     "number of objects; with --object also whether each archive holds that object (its\n"
     "GUID, or the DN of the live object or of its tombstone).\n"
     "Example: lumivel backups lumivel.test\n"},
    {"schedule", Command::Schedule,
     "usage: lumivel schedule DOMAIN DN SCHEDULE --at HH:MM --account USER [--password-file FILE]\n"
     "                        [--server DC]\n"
     "SCHEDULE is one of\n"
     "  --daily N                                   every N days (1-365)\n"
     "  --weekly N --days mon,...,sun               every N weeks (1-52) on those days\n"
     "  --monthly-day D --months jan,...,dec|all    on day D (1-31) of those months\n"
     "  --monthly-week first|second|third|fourth|last --weekday mon..sun --months ...\n"
     "  --once YYYY-MM-DD                           once, on that day\n"
     "Schedules a backup of the object DN (with everything below it) as a job of the task\n"
     "scheduler, run as USER (DOMAIN\\user, user@REALM or user) at HH:MM local time, the\n"
     "schedule starting today. The password is read from FILE (its first line), else asked\n"
     "on the terminal; it is checked with the domain and kept only as a key. The form's own\n"
     "checks apply. Exits with 0 only when the job was made; an object scheduled already\n"
     "keeps its job.\n"
     "Example: lumivel schedule lumivel.test 'OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test' --daily 1\n"
     "         --at 02:00 --account backup@LUMIVEL.TEST --password-file ~/.backup-password\n"},
    {"log", Command::Log,
     "usage: lumivel log [--since YYYY-MM-DD|YYYY-MM-DDThh:mm:ssZ|Nd|Nh]\n"
     "Prints the audit log, one JSON line per restore, backup, schedule change and domain\n"
     "node change: time (UTC), Kerberos principal, command, object DN and GUID, domain\n"
     "controller, result and error. --since keeps the entries from that time on (Nd, Nh:\n"
     "that long ago). The file is $LUMIVEL_AUDIT_LOG, else /var/log/lumivel/audit.log for\n"
     "root, else $XDG_STATE_HOME/lumivel/audit.log.\n"
     "Example: lumivel log --since 7d\n"},
    {"jobs", Command::Jobs,
     "usage: lumivel jobs | jobs delete NAME | jobs run NAME\n"
     "Lists the jobs of the task scheduler: name, object, schedule, next run, last run and\n"
     "its result. 'delete' removes a job; 'run' asks the scheduler service to run it now.\n"
     "Example: lumivel jobs\n"},
};

constexpr const char* kProgramUsage =
    "usage: lumivel [<command> [arguments]]\n"
    "Without a command the console opens (it needs a display).\n"
    "Commands:\n"
    "  domains                      list the stored domain nodes\n"
    "  connect DOMAIN               connect to a domain and store it\n"
    "  list DOMAIN [options]        list a domain's deleted objects\n"
    "  restore DOMAIN TOMBSTONE...  restore deleted objects\n"
    "  backup DOMAIN DN...          back up objects into an archive\n"
    "  backups DOMAIN               list the archives of the backup folder\n"
    "  schedule DOMAIN DN ...       schedule a backup of an object\n"
    "  jobs [delete|run NAME]       list, delete or run the scheduled jobs\n"
    "  log [--since TIME]           print the audit log\n"
    "Run 'lumivel <command> --help' for the options of a command, 'lumivel --version' for\n"
    "the version. -v (before or after the command) traces on stderr which domain controller\n"
    "is used and why. Exit status: 0 success, 1 failure, 2 a mistake in the command line.\n";

const CommandName* findCommand(const std::string& word) {
    for (const CommandName& entry : kCommands)
        if (word == entry.word) return &entry;
    return nullptr;
}

// An option that takes a value, the sub-commands it belongs to, and where the value goes.
struct ValueOption {
    const char* name;
    const char* shortName;
    std::vector<Command> commands;
    std::optional<std::string> Arguments::*target;
    const char* missing;
};

const std::vector<ValueOption>& valueOptions() {
    static const std::vector<ValueOption> options = {
        {"--filter", nullptr, {Command::List}, &Arguments::filter, "--filter needs a prefix"},
        {"--expiring-within", nullptr, {Command::List}, &Arguments::expiringWithinText,
         "--expiring-within needs a time such as 7d or 12h"},
        {"--new-name", nullptr, {Command::Restore}, &Arguments::newName, "--new-name needs a name"},
        {"--to", nullptr, {Command::Restore}, &Arguments::restoreTo, "--to needs a container's DN"},
        {"--from-backup", nullptr, {Command::Restore}, &Arguments::fromBackup, "--from-backup needs an archive or latest"},
        {"--from", nullptr, {Command::Restore}, &Arguments::tombstoneFile, "--from needs a file or -"},
        {"--server", nullptr, {Command::Backup, Command::Backups, Command::Schedule}, &Arguments::server, "--server needs a domain controller"},
        {"--object", nullptr, {Command::Backups}, &Arguments::object, "--object needs a GUID or a DN"},
        {"--since", nullptr, {Command::Log}, &Arguments::since, "--since needs a date or a time such as 7d"},
    };
    return options;
}

bool parseFormat(const std::string& text, OutputFormat* format) {
    if (text == "table") *format = OutputFormat::Table;
    else if (text == "tsv") *format = OutputFormat::Tsv;
    else if (text == "json") *format = OutputFormat::Json;
    else return false;
    return true;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool digits(const std::string& text) {
    return !text.empty() && text.size() <= 9 && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The index of a name in a list, by its first three letters or whole; -1 when none.
int nameIndex(const std::string& word, const std::vector<std::string>& names) {
    const std::string w = lower(word);
    for (size_t i = 0; i < names.size(); ++i)
        if (w == names[i] || (w.size() >= 3 && names[i].compare(0, w.size(), w) == 0)) return static_cast<int>(i);
    return -1;
}

const std::vector<std::string> kDayNames = {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
const std::vector<std::string> kMonthNames = {"january", "february", "march",     "april",   "may",      "june",
                                              "july",    "august",   "september", "october", "november", "december"};
const std::vector<std::string> kWeekNames = {"first", "second", "third", "fourth", "last"};

// A comma-separated list of names as a bit mask; 0 for an unknown name.
unsigned nameMask(const std::string& list, const std::vector<std::string>& names) {
    if (lower(list) == "all") return (1u << names.size()) - 1;
    unsigned mask = 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string word = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int index = nameIndex(word, names);
        if (index < 0) return 0;
        mask |= 1u << index;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return mask;
}

// The schedule options; an error message, or empty when the option was taken.
std::string scheduleOption(const std::string& word, const std::optional<std::string>& value, ScheduleRequest& r,
                           int* kinds) {
    using Kind = ScheduleRequest::Kind;
    if (!value) return word + " needs a value";
    if (word == "--daily" || word == "--weekly" || word == "--monthly-day") {
        if (!digits(*value)) return word + " needs a number";
        r.kind = word == "--daily" ? Kind::Daily : word == "--weekly" ? Kind::Weekly : Kind::MonthlyDay;
        r.count = *value;
        ++*kinds;
    } else if (word == "--monthly-week") {
        r.week = nameIndex(*value, kWeekNames);
        if (r.week < 0) return "--monthly-week takes first, second, third, fourth or last";
        r.kind = Kind::MonthlyWeek;
        ++*kinds;
    } else if (word == "--once") {
        char rest = 0;
        if (std::sscanf(value->c_str(), "%4d-%2d-%2d%c", &r.year, &r.month, &r.day, &rest) != 3)
            return "--once needs a date as YYYY-MM-DD";
        r.kind = Kind::Once;
        ++*kinds;
    } else if (word == "--days") {
        r.days = nameMask(*value, kDayNames);
        if (!r.days) return "--days takes days such as mon,sun";
    } else if (word == "--months") {
        r.months = nameMask(*value, kMonthNames);
        if (!r.months) return "--months takes months such as jan,jul, or all";
    } else if (word == "--weekday") {
        r.weekday = nameIndex(*value, kDayNames);
        if (r.weekday < 0) return "--weekday takes a day such as mon";
    } else if (word == "--at") {
        char rest = 0;
        if (std::sscanf(value->c_str(), "%2d:%2d%c", &r.hour, &r.minute, &rest) != 2 || r.hour < 0 || r.hour > 23 ||
            r.minute < 0 || r.minute > 59)
            return "--at needs a time as HH:MM";
    } else if (word == "--account") {
        if (value->empty()) return "--account needs a user";
        r.account = *value;
    } else if (word == "--password-file") {
        r.passwordFile = value;
    } else {
        return "unknown option '" + word + "' for schedule";
    }
    return {};
}

}  // namespace

// At most 9 digits, so the product stays far inside a 64-bit count.
std::optional<long long> DurationSeconds(const std::string& text) {
    if (text.size() < 2) return std::nullopt;
    std::string number = text.substr(0, text.size() - 1);
    char unit = static_cast<char>(std::tolower(static_cast<unsigned char>(text.back())));
    if (!digits(number) || (unit != 'd' && unit != 'h')) return std::nullopt;
    return std::stoll(number) * (unit == 'd' ? 86400LL : 3600LL);
}

namespace {

bool isScheduleOption(const std::string& word) {
    for (const char* option : {"--daily", "--weekly", "--monthly-day", "--monthly-week", "--once", "--days", "--months",
                               "--weekday", "--at", "--account", "--password-file"})
        if (word == option) return true;
    return false;
}

}  // namespace

std::string UsageText(std::optional<Command> topic) {
    if (topic) {
        for (const CommandName& entry : kCommands)
            if (entry.command == *topic) return entry.usage;
    }
    return kProgramUsage;
}

std::string VersionText() { return std::string("lumivel ") + LUMIVEL_VERSION + "\n"; }

ParseResult ParseArguments(const std::vector<std::string>& given) {
    Arguments arguments;
    // -v before the command holds for it as -v among its options does.
    std::vector<std::string> words = given;
    while (!words.empty() && (words.front() == "-v" || words.front() == "--verbose")) {
        arguments.verbose = true;
        words.erase(words.begin());
    }
    if (words.empty() && arguments.verbose) return ParseResult{std::nullopt, "-v goes with a command", {}};
    if (words.empty()) {
        // No arguments: the console, when a display is there to show it.
        arguments.command = Command::Console;
        return ParseResult{arguments, {}, {}};
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        if (words.size() >= 2) {
            if (const CommandName* topic = findCommand(words[1])) arguments.helpTopic = topic->command;
        }
        return ParseResult{arguments, {}, {}};
    }
    if (words[0] == "--version") {
        arguments.command = Command::Version;
        return ParseResult{arguments, {}, {}};
    }
    const CommandName* command = findCommand(words[0]);
    if (!command) return ParseResult{std::nullopt, "unknown command '" + words[0] + "'", {}};
    arguments.command = command->command;
    auto failure = [&](std::string message) { return ParseResult{std::nullopt, std::move(message), command->command}; };
    auto belongs = [&](const std::vector<Command>& commands) {
        return std::find(commands.begin(), commands.end(), command->command) != commands.end();
    };

    std::vector<std::string> positional;
    int scheduleKinds = 0;
    bool formatGiven = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            positional.insert(positional.end(), words.begin() + static_cast<long>(i) + 1, words.end());
            break;
        }
        if (word == "-v" || word == "--verbose") {
            arguments.verbose = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            arguments.command = Command::Help;
            arguments.helpTopic = command->command;
            return ParseResult{arguments, {}, {}};
        }
        if (word.size() < 2 || word[0] != '-') {
            positional.push_back(word);
            continue;
        }
        // "--name=value" and "--name value" alike; a lone "-" is a value (standard input).
        size_t equals = word.rfind("--", 0) == 0 ? word.find('=') : std::string::npos;
        std::string name = word.substr(0, equals);
        std::optional<std::string> inlineValue;
        if (equals != std::string::npos) inlineValue = word.substr(equals + 1);
        auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 >= words.size()) return std::nullopt;
            return words[++i];
        };

        if ((name == "--format" || name == "-f") &&
            (command->command == Command::List || command->command == Command::Restore)) {
            std::optional<std::string> format = takeValue();
            if (!format || !parseFormat(*format, &arguments.format)) return failure("--format takes table, tsv or json");
            formatGiven = true;
            continue;
        }
        if ((name == "--subtree" || name == "--keep-going" || name == "--reapply") && !inlineValue &&
            command->command == Command::Restore) {
            (name == "--subtree" ? arguments.subtree : name == "--reapply" ? arguments.reapply : arguments.keepGoing) = true;
            continue;
        }
        if (name == "--dry-run" && !inlineValue && command->command == Command::Restore) {
            arguments.dryRun = true;
            continue;
        }
        if (name == "--yes" && !inlineValue && command->command == Command::Restore) {
            arguments.yes = true;
            continue;
        }
        if (command->command == Command::Schedule && isScheduleOption(name)) {
            std::string problem = scheduleOption(name, takeValue(), arguments.schedule, &scheduleKinds);
            if (!problem.empty()) return failure(problem);
            continue;
        }
        bool known = false;
        for (const ValueOption& option : valueOptions()) {
            if (name != option.name && !(option.shortName && name == option.shortName)) continue;
            if (!belongs(option.commands)) break;
            std::optional<std::string> value = takeValue();
            if (!value || value->empty()) return failure(option.missing);
            arguments.*option.target = std::move(value);
            known = true;
            break;
        }
        if (!known) return failure("unknown option '" + word + "' for " + command->word);
    }

    if (command->command == Command::Backup) {
        if (positional.size() < 2) return failure("backup takes DOMAIN and at least one DN");
        arguments.domain = positional[0];
        arguments.objects.assign(positional.begin() + 1, positional.end());
        if (arguments.domain.empty()) return failure("DOMAIN must not be empty");
        for (const std::string& dn : arguments.objects)
            if (dn.empty()) return failure("a DN must not be empty");
        return ParseResult{arguments, {}, {}};
    }
    if (command->command == Command::Schedule) {
        using Kind = ScheduleRequest::Kind;
        const ScheduleRequest& r = arguments.schedule;
        if (positional.size() != 2 || positional[0].empty() || positional[1].empty())
            return failure("schedule takes DOMAIN and DN");
        if (scheduleKinds != 1)
            return failure("schedule takes one of --daily, --weekly, --monthly-day, --monthly-week and --once");
        if (r.kind == Kind::Weekly && !r.days) return failure("--weekly needs --days");
        if ((r.kind == Kind::MonthlyDay || r.kind == Kind::MonthlyWeek) && !r.months)
            return failure("a monthly schedule needs --months");
        if (r.hour < 0) return failure("schedule needs --at HH:MM");
        if (r.account.empty()) return failure("schedule needs --account USER");
        arguments.domain = positional[0];
        arguments.objects = {positional[1]};
        return ParseResult{arguments, {}, {}};
    }
    if (command->command == Command::Jobs) {
        if (positional.empty()) return ParseResult{arguments, {}, {}};
        if (positional.size() == 2 && (positional[0] == "delete" || positional[0] == "run") && !positional[1].empty()) {
            arguments.jobAction = positional[0] == "delete" ? JobAction::Delete : JobAction::Run;
            arguments.jobName = positional[1];
            return ParseResult{arguments, {}, {}};
        }
        return failure("jobs takes nothing, 'delete NAME' or 'run NAME'");
    }
    if (command->command == Command::Restore) {
        if (positional.empty() || (positional.size() < 2 && !arguments.tombstoneFile))
            return failure("restore takes DOMAIN and at least one TOMBSTONE (or --from FILE)");
        arguments.domain = positional[0];
        arguments.tombstones.assign(positional.begin() + 1, positional.end());
        if (arguments.domain.empty()) return failure("DOMAIN must not be empty");
        for (const std::string& tombstone : arguments.tombstones)
            if (tombstone.empty()) return failure("TOMBSTONE must not be empty");
        if (formatGiven && !arguments.dryRun) return failure("restore takes --format only with --dry-run");
        if (arguments.keepGoing && !arguments.subtree) return failure("--keep-going goes with --subtree");
        if (arguments.reapply && (!arguments.fromBackup || arguments.subtree || arguments.dryRun))
            return failure("--reapply needs --from-backup, and goes without --subtree and --dry-run");
        if (arguments.restoreTo && (arguments.subtree || arguments.dryRun))
            return failure("--to goes without --subtree and --dry-run");
        if (arguments.subtree && (arguments.tombstones.size() != 1 || arguments.tombstoneFile || arguments.dryRun))
            return failure("--subtree takes exactly one TOMBSTONE, without --from or --dry-run");
        if (arguments.format == OutputFormat::Tsv) return failure("restore --dry-run takes --format table or json");
        return ParseResult{arguments, {}, {}};
    }
    if (arguments.expiringWithinText) {
        arguments.expiringWithin = DurationSeconds(*arguments.expiringWithinText);
        if (!arguments.expiringWithin) return failure("--expiring-within takes days or hours, such as 7d or 12h");
    }
    size_t wanted = command->command == Command::Domains || command->command == Command::Log ? 0 : 1;
    if (positional.size() != wanted)
        return failure(std::string(command->word) + " takes " + (wanted == 0 ? "no arguments" : "one DOMAIN"));
    if (wanted == 1) {
        arguments.domain = positional[0];
        if (arguments.domain.empty()) return failure("DOMAIN must not be empty");
    }
    return ParseResult{arguments, {}, {}};
}

}  // namespace lumivel_cli
