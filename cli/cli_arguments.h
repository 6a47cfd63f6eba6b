// The command line of `lumivel`: sub-commands and their options.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumivel_cli {

enum class Command { Help, Version, Console, Domains, Connect, List, Restore, Backup, Backups, Schedule, Jobs, Log, Config };
enum class OutputFormat { Table, Tsv, Json };

// `schedule`: what goes into the schedule form. Numbers are taken as typed (digits only), so
// that the form's own checks judge them.
struct ScheduleRequest {
    enum class Kind { Daily, Weekly, MonthlyDay, MonthlyWeek, Once } kind = Kind::Daily;
    std::string count;           // --daily N, --weekly N, --monthly-day D
    unsigned days = 0;           // --days: bit 0 Monday ... bit 6 Sunday
    unsigned months = 0;         // --months: bit 0 January ... bit 11 December
    int week = 0;                // --monthly-week: 0 first ... 4 last
    int weekday = 0;             // --weekday: 0 Monday ... 6 Sunday
    int year = 0, month = 0, day = 0;  // --once
    int hour = -1, minute = -1;  // --at
    std::string account;
    std::optional<std::string> passwordFile;
    int kinds = 0;  // how many of --daily ... --once were given: exactly one is wanted
};

enum class JobAction { List, Delete, Run };

struct Arguments {
    Command command = Command::Help;
    // The sub-command whose help was asked for (Help with a topic).
    std::optional<Command> helpTopic;
    std::string domain;
    // restore: the tombstones named on the command line, in order (DNs or GUIDs).
    std::vector<std::string> tombstones;
    // restore: a file with one tombstone per line, "-" for standard input.
    std::optional<std::string> tombstoneFile;
    // backup: the objects' distinguished names.
    std::vector<std::string> objects;
    // backup, backups: the domain controller to back up from and whose sysvol holds the backups.
    std::optional<std::string> server;
    // backups: the object (GUID or DN) whose backups are asked about.
    std::optional<std::string> object;
    // restore: the archive that answers the choice of a backup, or "latest".
    std::optional<std::string> fromBackup;
    // restore: the archive used even though its writer or recorded time is not believed.
    std::optional<std::string> trustArchive;
    std::optional<std::string> filter;
    // log: entries from this time on ("2026-12-08", "2026-12-08T10:00:00Z", or "7d"/"12h" ago).
    std::optional<std::string> since;
    // list: only tombstones purged within this many seconds (--expiring-within 7d or 12h).
    std::optional<long long> expiringWithin;
    // list: read only what changed since the listing saved last time, and save this one.
    bool incremental = false;
    std::optional<std::string> newName;
    // restore: the live container to restore into instead of the last known parent.
    std::optional<std::string> restoreTo;
    OutputFormat format = OutputFormat::Table;
    bool formatGiven = false;
    // -v: the platform's trace (LDAP operations, which domain controller and why) on stderr.
    bool verbose = false;
    bool yes = false;
    // restore: show the plan only, change nothing.
    bool dryRun = false;
    // restore: the deleted container with everything deleted below it; past failures too.
    bool subtree = false;
    bool keepGoing = false;
    // restore: write the backup's values back onto each restored object (with --from-backup).
    bool reapply = false;
    // restore --reapply: also what grants access or runs code, and privileged groups.
    bool reapplySensitive = false;
    ScheduleRequest schedule;
    JobAction jobAction = JobAction::List;
    std::string jobName;
};

struct ParseResult {
    std::optional<Arguments> arguments;
    std::string error;  // set when arguments is empty: one line
    // The sub-command the mistake was made in, whose --help the program points to.
    std::optional<Command> usageOf;
};

// Options go before or after the positional words; "--name=value" and "--name value" alike,
// a short option takes the next word; "--" ends the options. -v may also come before the
// sub-command.
ParseResult ParseArguments(const std::vector<std::string>& words);

// What the program prints for a mistake: the error and where the help is, two lines.
std::string MistakeText(const ParseResult& result);

// "7d" or "12h" (either case) in seconds; nothing for any other text.
std::optional<long long> DurationSeconds(const std::string& text);

// The usage text of a sub-command (its synopsis, description, options and an example), or
// of the program (its commands).
std::string UsageText(std::optional<Command> topic);

// What --version prints.
std::string VersionText();

}  // namespace lumivel_cli
