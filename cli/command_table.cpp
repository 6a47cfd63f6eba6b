#include "cli/command_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace lumivel_cli {

namespace {

using C = Command;

const std::vector<CommandRow> kCommandRows = {
    {"domains", C::Domains, "domains [--format table|tsv|json]", "list the stored domain nodes",
     "Lists the stored domain nodes: name, domain, focused domain controller, that\n"
     "controller's site and the site of this machine (as the domain's controllers see it).\n"
     "The locator prefers the controllers of this machine's site; -v shows how it chose.\n"
     "Says so on stderr when none is stored.\n",
     "lumivel domains"},
    {"connect", C::Connect, "connect DOMAIN [--server DC]", "connect to a domain and store it",
     "Connects to DOMAIN (a DNS name, a distinguished name or an LDAP:// path) and stores it\n"
     "as a domain node; with --server, through that domain controller.\n",
     "lumivel connect lumivel.test"},
    {"list", C::List,
     "list DOMAIN [--filter PREFIX] [--expiring-within Nd|Nh] [--server DC]\n"
     "             [--incremental] [--format table|tsv|json]",
     "list a domain's deleted objects",
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
     "--incremental reads only what changed since the last --incremental listing of DOMAIN\n"
     "(through the same --server): new tombstones join, restored ones leave, and those past\n"
     "their purge time are read again. Its state is kept per user under\n"
     "$XDG_STATE_HOME/lumivel/listings (~/.local/state/lumivel/listings). Everything is read\n"
     "again the first time, when the state is not this user's own or cannot be read, when\n"
     "another domain controller (or a restored database) answers, when the server refuses the\n"
     "state, and when the last whole read is older than 12 hours: a tombstone removed before its\n"
     "time is not reported by the directory.\n",
     "lumivel list lumivel.test --filter CN=Carol --format json"},
    {"restore", C::Restore,
     "restore DOMAIN TOMBSTONE... [--from FILE|-] [--new-name NAME]\n"
     "                [--from-backup ARCHIVE|latest] [--yes]\n"
     "restore DOMAIN TOMBSTONE... --dry-run [--format table|tsv|json]\n"
     "restore DOMAIN CONTAINER-TOMBSTONE --subtree [--keep-going] [--yes]\n"
     "restore DOMAIN TOMBSTONE... --to CONTAINER-DN [--new-name NAME] [--yes]\n"
     "restore DOMAIN TOMBSTONE... --from-backup ARCHIVE|latest --reapply\n"
     "                [--reapply-sensitive] [--trust-archive ARCHIVE] [--dry-run] [--yes]",
     "restore deleted objects",
     "Restores the deleted objects whose tombstone DN or GUID is given, deleted parents\n"
     "first. --from reads more of them from a file, one a line (- for standard input);\n"
     "a TSV heading line is skipped. Before anything is restored, the plan is shown and\n"
     "confirmed: the deleted parents that come back first and the DN each object gets.\n"
     "--yes confirms it and never waits for input: a name that is taken then fails unless\n"
     "NAME answers it, and a deleted parent that is no longer listed is recreated only from\n"
     "the archive --from-backup names (its file name or path in the backup folder; latest:\n"
     "the newest trusted one that holds the object). Without a terminal on standard input\n"
     "nothing is asked either. Prints one line per object: Restored, Not restored, Already\n"
     "restored or Not found (TSV and JSON: a record per object). Exits with 0 only when\n"
     "every object was restored.\n"
     "--dry-run changes nothing: it prints, as a tree, TSV or JSON, the deleted parents that\n"
     "would come back first, the DN each object would get, names the forest's global catalog\n"
     "holds already, whether the domain's access control list lets you reanimate tombstones\n"
     "and create the object in its parent, and when each tombstone expires.\n"
     "--subtree restores a deleted container and every listed tombstone whose last known\n"
     "parents lead to it, parents first, one line per object; the first failure stops the\n"
     "rest (they are listed as Not attempted) unless --keep-going is given, which skips only\n"
     "what lies below a failed object.\n"
     "--to restores into the live container CONTAINER-DN instead of the last known parent;\n"
     "the container must exist and accept the object's class for you.\n"
     "--reapply writes back, onto each restored object, the values its section in the\n"
     "--from-backup archive holds for every attribute that is not restricted and that the\n"
     "directory lets you write, and adds it again to the groups its section's memberOf names\n"
     "and to the groups of that archive that listed it; it reports what was written and\n"
     "refused, and each group as joined again, already a member, gone or refused. An archive\n"
     "is used only when you, root (a local folder), an administrator of the domain or the\n"
     "account of the object's backup job wrote it and its recorded time fits the file;\n"
     "--trust-archive ARCHIVE names one to use all the same. Attributes that grant access or\n"
     "run code (servicePrincipalName, delegation, key credentials, userAccountControl, logon\n"
     "scripts and folders, sIDHistory, a group's member, group policy links and paths, ...)\n"
     "and joining a privileged group (adminCount 1, or a built-in administrators' group) are\n"
     "withheld unless --reapply-sensitive is given. With --dry-run it lists, per object, what\n"
     "would be written and joined, what is withheld, and the archive it comes from.\n",
     "lumivel restore lumivel.test 0b9e6f2c-5d1a-4c3e-9f1b-2a7d8e6c4b10 --yes"},
    {"backup", C::Backup, "backup DOMAIN DN... [--server DC] [--format table|tsv|json]",
     "back up objects into an archive",
     "Backs up the objects (each with everything below it) into one archive in the backup\n"
     "folder: the FileLocation policy's folder, else the machine's BackupFolder (lumivel.conf),\n"
     "else \\\\DC\\sysvol\\Tarvo Lumivel. DC is the domain controller to read from (default:\n"
     "the domain node's, else the domain's).\n"
     "Prints the archive's path; exits with 0 only when the archive reached the folder.\n",
     "lumivel backup lumivel.test 'OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test'"},
    {"backups", C::Backups, "backups DOMAIN [--object GUID|DN] [--server DC] [--format table|tsv|json]",
     "list the archives of the backup folder",
     "Lists the archives of the backup folder, newest first: file, date (UTC), origin and\n"
     "number of objects; with --object also whether each archive holds that object (its\n"
     "GUID, or the DN of the live object or of its tombstone), and why an archive is not\n"
     "trusted (who wrote it, or a recorded time that does not fit the file).\n",
     "lumivel backups lumivel.test"},
    {"schedule", C::Schedule,
     "schedule DOMAIN DN SCHEDULE --at HH:MM --account USER [--password-file FILE]\n"
     "                 [--server DC] [--format table|tsv|json]",
     "schedule a backup of an object",
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
     "keeps its job.\n",
     "lumivel schedule lumivel.test 'OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test' --daily 1\n"
     "         --at 02:00 --account backup@LUMIVEL.TEST --password-file ~/.backup-password"},
    {"log", C::Log, "log [--since YYYY-MM-DD|YYYY-MM-DDThh:mm:ssZ|Nd|Nh] [--format table|tsv|json]",
     "print the audit log",
     "Prints the audit log, an entry per restore, backup, schedule change and domain node\n"
     "change: time (UTC), Kerberos principal, command, object DN and GUID, domain controller,\n"
     "result and error. --since keeps the entries from that time on (Nd, Nh: that long ago).\n"
     "The file is $LUMIVEL_AUDIT_LOG, else /var/log/lumivel/audit.log for root, else\n"
     "$XDG_STATE_HOME/lumivel/audit.log; it holds one JSON line per entry.\n",
     "lumivel log --since 7d"},
    {"config", C::Config, "config [--format table|tsv|json]", "show the settings in effect and where they come from",
     "Shows the settings in effect for this user on this machine and where each comes from:\n"
     "the user's FileLocation policy, a line of the machine's configuration file\n"
     "/etc/lumivel/lumivel.conf (see lumivel.conf(5)), an environment variable, or the default;\n"
     "and which list of restricted attributes (Revivo_Config.inf) backups use. Lines of the\n"
     "file that are ignored are said on stderr, each with its number and why.\n",
     "lumivel config"},
    {"jobs", C::Jobs, "jobs [--format table|tsv|json] | jobs delete NAME | jobs run NAME",
     "list, delete or run the scheduled jobs",
     "Lists the jobs of the task scheduler: name, object, schedule, next run, last run and\n"
     "its result. 'delete' removes a job; 'run' asks the scheduler service to run it now.\n",
     "lumivel jobs"},
};

bool digits(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
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

// Actions of the options: each takes what its row says, or says in one line what is wrong.

template <std::optional<std::string> Arguments::*Member>
std::string text(Arguments& arguments, const std::string& value) {
    arguments.*Member = value;
    return {};
}

template <bool Arguments::*Member>
std::string flag(Arguments& arguments, const std::string&) {
    arguments.*Member = true;
    return {};
}

std::string help(Arguments& arguments, const std::string&) {
    arguments.helpTopic = arguments.command;
    arguments.command = Command::Help;
    return {};
}

std::string format(Arguments& arguments, const std::string& value) {
    if (value == "table") arguments.format = OutputFormat::Table;
    else if (value == "tsv") arguments.format = OutputFormat::Tsv;
    else if (value == "json") arguments.format = OutputFormat::Json;
    else return "--format takes table, tsv or json";
    arguments.formatGiven = true;
    return {};
}

std::string expiringWithin(Arguments& arguments, const std::string& value) {
    arguments.expiringWithin = DurationSeconds(value);
    if (!arguments.expiringWithin) return "--expiring-within takes days or hours, such as 7d or 12h";
    return {};
}

using Kind = ScheduleRequest::Kind;

std::string count(Arguments& arguments, const std::string& value, Kind kind, const char* name) {
    ScheduleRequest& r = arguments.schedule;
    if (!digits(value)) return std::string(name) + " needs a number";
    r.kind = kind;
    r.count = value;
    ++r.kinds;
    return {};
}

std::string monthlyWeek(Arguments& arguments, const std::string& value) {
    ScheduleRequest& r = arguments.schedule;
    r.week = nameIndex(value, kWeekNames);
    if (r.week < 0) return "--monthly-week takes first, second, third, fourth or last";
    r.kind = Kind::MonthlyWeek;
    ++r.kinds;
    return {};
}

std::string once(Arguments& arguments, const std::string& value) {
    ScheduleRequest& r = arguments.schedule;
    char rest = 0;
    if (std::sscanf(value.c_str(), "%4d-%2d-%2d%c", &r.year, &r.month, &r.day, &rest) != 3)
        return "--once needs a date as YYYY-MM-DD";
    r.kind = Kind::Once;
    ++r.kinds;
    return {};
}

std::string days(Arguments& arguments, const std::string& value) {
    arguments.schedule.days = nameMask(value, kDayNames);
    return arguments.schedule.days ? std::string() : "--days takes days such as mon,sun";
}

std::string months(Arguments& arguments, const std::string& value) {
    arguments.schedule.months = nameMask(value, kMonthNames);
    return arguments.schedule.months ? std::string() : "--months takes months such as jan,jul, or all";
}

std::string weekday(Arguments& arguments, const std::string& value) {
    arguments.schedule.weekday = nameIndex(value, kDayNames);
    return arguments.schedule.weekday >= 0 ? std::string() : "--weekday takes a day such as mon";
}

std::string at(Arguments& arguments, const std::string& value) {
    ScheduleRequest& r = arguments.schedule;
    char rest = 0;
    if (std::sscanf(value.c_str(), "%2d:%2d%c", &r.hour, &r.minute, &rest) != 2 || r.hour < 0 || r.hour > 23 ||
        r.minute < 0 || r.minute > 59) {
        r.hour = -1;
        return "--at needs a time as HH:MM";
    }
    return {};
}

std::string account(Arguments& arguments, const std::string& value) {
    arguments.schedule.account = value;
    return {};
}

std::string passwordFile(Arguments& arguments, const std::string& value) {
    arguments.schedule.passwordFile = value;
    return {};
}

constexpr CommandSet kAll = {C::Domains, C::Connect,  C::List, C::Restore, C::Backup,
                             C::Backups, C::Schedule, C::Jobs, C::Log,     C::Config};
// The sub-commands that print records, and those that talk to a domain controller.
constexpr CommandSet kRecords = {C::Domains, C::List,     C::Restore, C::Backup, C::Backups,
                                 C::Schedule, C::Jobs, C::Log,     C::Config};
constexpr CommandSet kToDc = {C::Connect, C::List, C::Restore, C::Backup, C::Backups, C::Schedule};

const std::vector<OptionRow> kOptionRows = {
    {"--help", "-h", nullptr, kAll, help, "print this help and exit"},
    {"--verbose", "-v", nullptr, kAll, flag<&Arguments::verbose>,
     "trace LDAP operations and the choice of DC on stderr"},
    {"--format", "-f", "table|tsv|json", kRecords, format,
     "records as an aligned table (the default), TSV or JSON"},
    {"--server", nullptr, "DC", kToDc, text<&Arguments::server>,
     "use this domain controller, not the locator's choice"},
    {"--yes", "-y", nullptr, {C::Restore}, flag<&Arguments::yes>, "confirm the plan without asking; never wait for input"},
    {"--filter", nullptr, "PREFIX", {C::List}, text<&Arguments::filter>,
     "names that begin with PREFIX, or an LDAP prefix such as CN=Ann"},
    {"--expiring-within", nullptr, "Nd|Nh", {C::List}, expiringWithin,
     "only tombstones purged within N days or hours, and those overdue"},
    {"--incremental", nullptr, nullptr, {C::List}, flag<&Arguments::incremental>,
     "read only what changed since the last --incremental listing"},
    {"--from", nullptr, "FILE|-", {C::Restore}, text<&Arguments::tombstoneFile>,
     "more tombstones, one a line (-: standard input)"},
    {"--new-name", nullptr, "NAME", {C::Restore}, text<&Arguments::newName>, "the name to use when the object's is taken"},
    {"--from-backup", nullptr, "ARCHIVE|latest", {C::Restore}, text<&Arguments::fromBackup>,
     "the archive that recreates a deleted parent no longer listed"},
    {"--trust-archive", nullptr, "ARCHIVE", {C::Restore}, text<&Arguments::trustArchive>,
     "use this archive though its writer or date is not trusted"},
    {"--reapply", nullptr, nullptr, {C::Restore}, flag<&Arguments::reapply>,
     "write the archive's values back onto each restored object"},
    {"--reapply-sensitive", nullptr, nullptr, {C::Restore}, flag<&Arguments::reapplySensitive>,
     "with --reapply: also what grants access, and privileged groups"},
    {"--to", nullptr, "CONTAINER-DN", {C::Restore}, text<&Arguments::restoreTo>,
     "restore into this live container, not the last known parent"},
    {"--dry-run", nullptr, nullptr, {C::Restore}, flag<&Arguments::dryRun>, "show the plan only, change nothing"},
    {"--subtree", nullptr, nullptr, {C::Restore}, flag<&Arguments::subtree>,
     "a deleted container with everything deleted below it"},
    {"--keep-going", nullptr, nullptr, {C::Restore}, flag<&Arguments::keepGoing>,
     "with --subtree: past a failure, skip only what is below it"},
    {"--object", nullptr, "GUID|DN", {C::Backups}, text<&Arguments::object>, "say whether each archive holds this object"},
    {"--since", nullptr, "TIME", {C::Log}, text<&Arguments::since>,
     "entries from that day, time (UTC), or Nd or Nh ago on"},
    {"--daily", nullptr, "N", {C::Schedule}, [](Arguments& a, const std::string& v) { return count(a, v, Kind::Daily, "--daily"); }, "every N days"},
    {"--weekly", nullptr, "N", {C::Schedule}, [](Arguments& a, const std::string& v) { return count(a, v, Kind::Weekly, "--weekly"); }, "every N weeks, on the --days"},
    {"--days", nullptr, "DAYS", {C::Schedule}, days, "the days of a weekly schedule, such as mon,fri"},
    {"--monthly-day", nullptr, "D", {C::Schedule}, [](Arguments& a, const std::string& v) { return count(a, v, Kind::MonthlyDay, "--monthly-day"); }, "on day D of the --months"},
    {"--monthly-week", nullptr, "WEEK", {C::Schedule}, monthlyWeek,
     "first, second, third, fourth or last week of the --months"},
    {"--weekday", nullptr, "DAY", {C::Schedule}, weekday, "the day of a --monthly-week schedule"},
    {"--months", nullptr, "MONTHS", {C::Schedule}, months, "the months of a monthly schedule: jan,jul or all"},
    {"--once", nullptr, "YYYY-MM-DD", {C::Schedule}, once, "once, on that day"},
    {"--at", nullptr, "HH:MM", {C::Schedule}, at, "the time of day the backup runs, local time"},
    {"--account", nullptr, "USER", {C::Schedule}, account, "the account the job runs as"},
    {"--password-file", nullptr, "FILE", {C::Schedule}, passwordFile,
     "the password is FILE's first line (else it is asked)"},
};

}  // namespace

const std::vector<CommandRow>& CommandRows() { return kCommandRows; }
const std::vector<OptionRow>& OptionRows() { return kOptionRows; }

const CommandRow* FindCommand(const std::string& word) {
    for (const CommandRow& row : kCommandRows)
        if (word == row.word) return &row;
    return nullptr;
}

const CommandRow& RowOf(Command command) {
    for (const CommandRow& row : kCommandRows)
        if (row.command == command) return row;
    return kCommandRows.front();
}

const OptionRow* FindOption(const std::string& name, Command command) {
    for (const OptionRow& row : kOptionRows)
        if ((name == row.name || (row.shortName && name == row.shortName)) && row.commands.has(command)) return &row;
    return nullptr;
}

bool IsAnyOption(const std::string& name) {
    return std::any_of(kOptionRows.begin(), kOptionRows.end(),
                       [&](const OptionRow& row) { return name == row.name || (row.shortName && name == row.shortName); });
}

}  // namespace lumivel_cli
