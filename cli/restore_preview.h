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

// One attribute or group a re-apply would handle, as the provider's plan says.
struct PreviewValue {
    std::string name, outcome, reason;
    bool membership = false;
    bool sensitive = false;
};

// What --reapply would write and join, and from which archive; empty archive and a reason
// when there is nothing to re-apply from.
struct PreviewReapply {
    std::string archive, reason;
    std::vector<PreviewValue> values;
};

struct RestorePreview {
    std::string requested;  // as given on the command line
    bool found = false;
    std::optional<bool> mayReanimate;
    std::string rights;
    std::string missingParent;
    std::vector<PreviewObject> objects;  // deleted parents first, the requested object last
    std::optional<PreviewReapply> reapply;  // with --reapply
};

// The plans as a tree (a line per object, children indented below their parent), as TSV (a row
// per object) or as JSON (an object with "dryRun" and "plans"); trees and TSV escape what
// came from the directory.
std::string FormatPreviews(const std::vector<RestorePreview>& previews, OutputFormat format);

}  // namespace lumivel_cli
