// `lumivel restore --dry-run`: the provider's plan for each tombstone, as a tree a person
// reads or as JSON.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_arguments.h"

namespace lumivel_cli {

// One object of a plan, in UTF-8 as the directory gave it.
struct PreviewObject {
    std::string name;  // the name a person knows, without the tombstone's "\nDEL:" tail
    std::string className;
    std::string tombstone;
    std::string target;  // empty below a parent recreated from a backup
    std::string expires, expiresUtc;
    bool nameTaken = false;
    std::optional<bool> mayCreate;
};

struct RestorePreview {
    std::string requested;  // as given on the command line
    bool found = false;
    std::optional<bool> mayReanimate;
    std::string rights;
    std::string missingParent;
    std::vector<PreviewObject> objects;  // deleted parents first, the requested object last
};

// The plans as a tree (a line per object, children indented below their parent) or as JSON
// (an object with "dryRun" and "plans"); tables and trees escape what came from the directory.
std::string FormatPreviews(const std::vector<RestorePreview>& previews, OutputFormat format);

}  // namespace lumivel_cli
