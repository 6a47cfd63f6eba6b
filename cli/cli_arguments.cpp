#include "cli/cli_arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

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
     "Lists the stored domain nodes: name, domain and focused domain controller.\n"},
    {"connect", Command::Connect,
     "usage: lumivel connect DOMAIN\n"
     "Connects to DOMAIN (a DNS name, a distinguished name or an LDAP:// path) and stores it\n"
     "as a domain node.\n"},
    {"list", Command::List,
     "usage: lumivel list DOMAIN [--filter PREFIX] [--format table|tsv|json]\n"
     "Lists the deleted objects of DOMAIN: name, last known parent, class, date deleted and\n"
     "the tombstone's distinguished name. PREFIX is an LDAP filter prefix such as CN=Ann.\n"},
    {"restore", Command::Restore,
     "usage: lumivel restore DOMAIN TOMBSTONE [--new-name NAME] [--from-backup ARCHIVE|latest] [--yes]\n"
     "Restores the deleted object whose tombstone DN or GUID is TOMBSTONE, deleted parents\n"
     "first. NAME answers the question for a new name when the old one is taken; --yes\n"
     "skips the confirmation. When a deleted parent is no longer listed, it is recreated\n"
     "from a backup archive that holds the object: ARCHIVE names it (its file name or path in\n"
     "the backup folder), latest takes the newest one. Exits with 0 only when the object was\n"
     "restored.\n"},
    {"backup", Command::Backup,
     "usage: lumivel backup DOMAIN DN... [--server DC]\n"
     "Backs up the objects (each with everything below it) into one archive in the backup\n"
     "folder: the FileLocation policy's folder, else \\\\DC\\sysvol\\Tarvo Lumivel. DC is the\n"
     "domain controller to read from (default: the domain node's, else the domain's).\n"
     "Prints the archive's path; exits with 0 only when the archive reached the folder.\n"},
    {"backups", Command::Backups,
     "usage: lumivel backups DOMAIN [--object GUID|DN] [--server DC]\n"
     "Lists the archives of the backup folder, newest first: file, date (UTC), origin and\n"
     "number of objects; with --object also whether each archive holds that object (its\n"
     "GUID, or the DN of the live object or of its tombstone).\n"},
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
     "keeps its job.\n"},
    {"jobs", Command::Jobs,
     "usage: lumivel jobs | jobs delete NAME | jobs run NAME\n"
     "Lists the jobs of the task scheduler: name, object, schedule, next run, last run and\n"
     "its result. 'delete' removes a job; 'run' asks the scheduler service to run it now.\n"},
};

constexpr const char* kProgramUsage =
    "usage: lumivel <command> [arguments]\n"
    "Commands:\n"
    "  domains                      list the stored domain nodes\n"
    "  connect DOMAIN               connect to a domain and store it\n"
    "  list DOMAIN [options]        list a domain's deleted objects\n"
    "  restore DOMAIN TOMBSTONE     restore a deleted object\n"
    "  backup DOMAIN DN...          back up objects into an archive\n"
    "  backups DOMAIN               list the archives of the backup folder\n"
    "  schedule DOMAIN DN ...       schedule a backup of an object\n"
    "  jobs [delete|run NAME]       list, delete or run the scheduled jobs\n"
    "Run 'lumivel <command> --help' for the options of a command.\n";

const CommandName* findCommand(const std::string& word) {
    for (const CommandName& entry : kCommands)
        if (word == entry.word) return &entry;
    return nullptr;
}

ParseResult failure(std::string message) { return ParseResult{std::nullopt, std::move(message)}; }

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

ParseResult ParseArguments(const std::vector<std::string>& words) {
    Arguments arguments;
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        if (words.size() >= 2) {
            if (const CommandName* topic = findCommand(words[1])) arguments.helpTopic = topic->command;
        }
        return ParseResult{arguments, {}};
    }
    const CommandName* command = findCommand(words[0]);
    if (!command) return failure("unknown command '" + words[0] + "'");
    arguments.command = command->command;

    std::vector<std::string> positional;
    int scheduleKinds = 0;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto value = [&](const char* option) -> std::optional<std::string> {
            if (i + 1 >= words.size()) return std::nullopt;
            (void)option;
            return words[++i];
        };
        if (word == "--help" || word == "-h") {
            arguments.command = Command::Help;
            arguments.helpTopic = command->command;
            return ParseResult{arguments, {}};
        }
        if (word == "--filter" && command->command == Command::List) {
            arguments.filter = value("--filter");
            if (!arguments.filter) return failure("--filter needs a prefix");
        } else if (word == "--format" && command->command == Command::List) {
            std::optional<std::string> format = value("--format");
            if (format == "table")
                arguments.format = OutputFormat::Table;
            else if (format == "tsv")
                arguments.format = OutputFormat::Tsv;
            else if (format == "json")
                arguments.format = OutputFormat::Json;
            else
                return failure("--format takes table, tsv or json");
        } else if (word == "--new-name" && command->command == Command::Restore) {
            arguments.newName = value("--new-name");
            if (!arguments.newName || arguments.newName->empty()) return failure("--new-name needs a name");
        } else if (word == "--yes" && command->command == Command::Restore) {
            arguments.yes = true;
        } else if (word == "--from-backup" && command->command == Command::Restore) {
            arguments.fromBackup = value("--from-backup");
            if (!arguments.fromBackup || arguments.fromBackup->empty()) return failure("--from-backup needs an archive or latest");
        } else if (command->command == Command::Schedule && isScheduleOption(word)) {
            std::string problem = scheduleOption(word, value(word.c_str()), arguments.schedule, &scheduleKinds);
            if (!problem.empty()) return failure(problem);
        } else if (word == "--server" && (command->command == Command::Backup || command->command == Command::Backups ||
                                          command->command == Command::Schedule)) {
            arguments.server = value("--server");
            if (!arguments.server || arguments.server->empty()) return failure("--server needs a domain controller");
        } else if (word == "--object" && command->command == Command::Backups) {
            arguments.object = value("--object");
            if (!arguments.object || arguments.object->empty()) return failure("--object needs a GUID or a DN");
        } else if (word == "--") {
            positional.insert(positional.end(), words.begin() + static_cast<long>(i) + 1, words.end());
            break;
        } else if (word.size() > 1 && word[0] == '-') {
            return failure("unknown option '" + word + "' for " + command->word);
        } else {
            positional.push_back(word);
        }
    }

    if (command->command == Command::Backup) {
        if (positional.size() < 2) return failure("backup takes DOMAIN and at least one DN");
        arguments.domain = positional[0];
        arguments.objects.assign(positional.begin() + 1, positional.end());
        if (arguments.domain.empty()) return failure("DOMAIN must not be empty");
        for (const std::string& dn : arguments.objects)
            if (dn.empty()) return failure("a DN must not be empty");
        return ParseResult{arguments, {}};
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
        return ParseResult{arguments, {}};
    }
    if (command->command == Command::Jobs) {
        if (positional.empty()) return ParseResult{arguments, {}};
        if (positional.size() == 2 && (positional[0] == "delete" || positional[0] == "run") && !positional[1].empty()) {
            arguments.jobAction = positional[0] == "delete" ? JobAction::Delete : JobAction::Run;
            arguments.jobName = positional[1];
            return ParseResult{arguments, {}};
        }
        return failure("jobs takes nothing, 'delete NAME' or 'run NAME'");
    }
    size_t wanted = command->command == Command::Domains ? 0 : command->command == Command::Restore ? 2 : 1;
    if (positional.size() != wanted) {
        return failure(std::string(command->word) + " takes " +
                       (wanted == 0 ? "no arguments" : wanted == 1 ? "one DOMAIN" : "DOMAIN and TOMBSTONE"));
    }
    if (wanted >= 1) arguments.domain = positional[0];
    if (wanted == 2) arguments.tombstone = positional[1];
    if (arguments.domain.empty() && wanted >= 1) return failure("DOMAIN must not be empty");
    if (command->command == Command::Restore && arguments.tombstone.empty()) return failure("TOMBSTONE must not be empty");
    return ParseResult{arguments, {}};
}

}  // namespace lumivel_cli
