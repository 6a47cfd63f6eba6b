// How `lumivel list` prints deleted objects.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_arguments.h"

namespace lumivel_cli {

// One listed tombstone, as UTF-8: the four result columns and the tombstone's DN.
struct DeletedRow {
    std::string name;
    std::string lastKnownParent;
    std::string className;
    std::string dateDeleted;
    std::string tombstone;
};

// The whole listing in the chosen format, ending with a line feed (empty input: only the
// table's header, an empty TSV header line, or "[]"). Text from the directory never steers
// the terminal: a table shows control characters as blanks, JSON escapes them (\u001b), and
// TSV writes a backslash, tab, line feed and carriage return as \\ \t \n \r and every other
// control character (U+0000-U+001F, U+007F-U+009F) as \x and two hexadecimal digits.
std::string FormatRows(const std::vector<DeletedRow>& rows, OutputFormat format);

enum class LineBreaks { Escaped, Kept };
// Directory text for any other line on a terminal, escaped as in TSV; with LineBreaks::Kept
// tabs and line feeds stay as they are (a message's own layout) and a carriage return before
// a line feed goes.
std::string TerminalText(const std::string& text, LineBreaks lineBreaks = LineBreaks::Escaped);

// The name as a person reads it: the mangled part after the line feed left out.
std::string ReadableName(const std::string& name);

}  // namespace lumivel_cli
