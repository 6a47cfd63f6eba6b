// What a restore will do before it does it: the deleted parents that come back first and the
// DN each object gets, worked out from the listing by the rules reanimation follows.
#pragma once

#include <string>
#include <vector>

#include "cli/tombstone_index.h"
#include "shared/property_set.h"

namespace lumivel_cli {

struct PlannedObject {
    PropertySet* tombstone = nullptr;
    // The DN it is to get; empty when a parent is to come from a backup archive.
    std::u16string target;
};

struct RestorePlan {
    // Deleted parents, topmost first, then the object itself (last).
    std::vector<PlannedObject> chain;
    // The DN of a deleted parent that is no longer listed (recreated from a backup), if any.
    std::u16string missingParent;
};

// The plan for one listed tombstone. A chain of deleted parents longer than any directory
// nests, or one that loops, ends as if its next parent were missing.
RestorePlan PlanRestore(PropertySet* tombstone, const TombstoneIndex& index);

}  // namespace lumivel_cli
