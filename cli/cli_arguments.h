// The command line of `lumivel`: sub-commands and their options.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumivel_cli {

enum class Command { Help, Domains, Connect, List, Restore };
enum class OutputFormat { Table, Tsv, Json };

struct Arguments {
    Command command = Command::Help;
    // The sub-command whose help was asked for (Help with a topic).
    std::optional<Command> helpTopic;
    std::string domain;
    std::string tombstone;
    std::optional<std::string> filter;
    std::optional<std::string> newName;
    OutputFormat format = OutputFormat::Table;
    bool yes = false;
};

struct ParseResult {
    std::optional<Arguments> arguments;
    std::string error;  // set when arguments is empty
};

ParseResult ParseArguments(const std::vector<std::string>& words);

// The usage text of a sub-command, or of the program.
std::string UsageText(std::optional<Command> topic);

}  // namespace lumivel_cli
