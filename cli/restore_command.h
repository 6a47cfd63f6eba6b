// `lumivel restore`: one or many tombstones, a plan confirmed first, one report line per
// object, and an exit status that says whether every one came back.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/cli_session.h"
#include "cli/terminal_questions.h"

namespace lumivel_cli {

int RunRestore(ProviderSession& session, const Arguments& arguments, Interaction interaction);

// The tombstones a --from file names: one a line; empty lines, "#" comments and a TSV
// heading line are skipped, a carriage return before the line end dropped, and of a whole
// `list --format tsv` row its tombstone field is taken.
std::vector<std::string> ReadTombstoneLines(std::istream& input);

}  // namespace lumivel_cli
