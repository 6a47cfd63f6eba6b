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
// table's header, an empty TSV header line, or "[]").
std::string FormatRows(const std::vector<DeletedRow>& rows, OutputFormat format);

// The name as a person reads it: the mangled part after the line feed left out.
std::string ReadableName(const std::string& name);

}  // namespace lumivel_cli
