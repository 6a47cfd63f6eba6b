// How `lumivel list` prints deleted objects.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_arguments.h"

namespace lumivel_cli {

// One listed tombstone, as UTF-8.
struct DeletedRow {
    std::string name;           // as the object was named: the tombstone's name without "\nDEL:<guid>"
    std::string tombstoneName;  // the tombstone's own name, as the directory holds it
    std::string lastKnownParent;
    std::string className;
    std::string dateDeleted;  // local time with seconds and zone
    std::string deletedUtc;   // ISO 8601 UTC, empty when unknown
    std::string guid;
    std::string tombstone;  // the tombstone's distinguished name
};

// The whole listing in the chosen format, ending with a line feed (empty input: only the
// table's header, the TSV header line, or "[]"). Tables escape control characters
// readably, TSV reversibly, JSON with \u escapes (see terminal_text.h).
std::string FormatRows(const std::vector<DeletedRow>& rows, OutputFormat format);

// A field from an archive, the directory or a task file on one line of UTF-8: control
// characters become '?'.
std::string OneLine(std::u16string_view text);

// The TSV and JSON field names, in column order.
const std::vector<std::string>& FieldNames();

// The name as a person reads it: the mangled part after the line feed left out.
std::string ReadableName(const std::string& name);

// "2026-12-08T13:57:53Z" as local time with seconds and zone ("2026-12-08 14:57:53 CET");
// the text itself when it is not of that form.
std::string LocalTimeText(const std::string& isoUtc);

}  // namespace lumivel_cli
