// The command line of `lumivel`: sub-commands and their options.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumivel_cli {

enum class Command { Help, Version, Domains, Connect, List, Restore, Backup, Backups };
enum class OutputFormat { Table, Tsv, Json };

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
    std::optional<std::string> filter;
    std::optional<std::string> newName;
    OutputFormat format = OutputFormat::Table;
    bool yes = false;
};

struct ParseResult {
    std::optional<Arguments> arguments;
    std::string error;  // set when arguments is empty
    // The sub-command the mistake was made in, whose usage the program prints with the error.
    std::optional<Command> usageOf;
};

ParseResult ParseArguments(const std::vector<std::string>& words);

// The usage text of a sub-command, or of the program.
std::string UsageText(std::optional<Command> topic);

// What --version prints.
std::string VersionText();

}  // namespace lumivel_cli
