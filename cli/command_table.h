// The sub-commands of `lumivel` and every option they take, in one table each: the parser,
// `--help` and the manual page are all made from these rows, so a new option is one row here.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"

namespace lumivel_cli {

// A set of sub-commands, one bit per Command.
class CommandSet {
public:
    constexpr CommandSet(std::initializer_list<Command> commands) {
        for (Command command : commands) m_bits |= bit(command);
    }
    constexpr bool has(Command command) const { return (m_bits & bit(command)) != 0; }

private:
    static constexpr unsigned bit(Command command) { return 1u << static_cast<unsigned>(command); }
    unsigned m_bits = 0;
};

struct CommandRow {
    const char* word;
    Command command;
    const char* synopsis;     // the usage lines, each after "usage: lumivel " or its indent
    const char* summary;      // one line for the program's list of commands
    const char* description;  // what it does, in lines of at most 90 characters
    const char* example;
};

// What an option does to the arguments with its value (empty for a switch): a mistake in one
// line, or empty when it was taken.
using OptionAction = std::string (*)(Arguments& arguments, const std::string& value);

struct OptionRow {
    const char* name;       // "--format"
    const char* shortName;  // "-f", or nullptr
    const char* value;      // what its value is called in the usage ("FORMAT"); nullptr: a switch
    CommandSet commands;
    OptionAction action;
    const char* help;  // one line
};

const std::vector<CommandRow>& CommandRows();
const std::vector<OptionRow>& OptionRows();

const CommandRow* FindCommand(const std::string& word);
const CommandRow& RowOf(Command command);

// The row whose long or short name is the word, and that belongs to the command; nullptr when
// there is none.
const OptionRow* FindOption(const std::string& name, Command command);
// Whether some sub-command takes an option of that name.
bool IsAnyOption(const std::string& name);

}  // namespace lumivel_cli
