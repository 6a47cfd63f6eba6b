// `lumivel log`: the audit log read back.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"

namespace lumivel_cli {

// The start of a --since time in seconds since 1970: a day ("2026-12-08", UTC midnight), an
// ISO time ("2026-12-08T10:00:00Z"), or "7d"/"12h" before now. Nothing for anything else.
std::optional<long long> SinceSeconds(const std::string& text, long long now);

// The log's lines from `since` on (all without it), as they were written; a line whose time
// cannot be read is kept, so that nothing in the log is hidden by a filter.
std::vector<std::string> AuditLinesSince(std::istream& log, std::optional<long long> since);

// The entries of those lines in the format. A line that is no JSON object (not written by
// the log's writer) is kept too, whole, as the error of an entry whose result is
// "unreadable".
std::string FormatAuditLines(const std::vector<std::string>& lines, OutputFormat format);

int RunLog(const Arguments& arguments);

}  // namespace lumivel_cli
