// The restore planner: which tombstones a restore of one brings back, in the order it brings
// them back, and the DN each gets. Command 315 and, through it, every caller that shows a plan
// before a restore (the "Restore Plan" dialog, the command line's question) use this one.
#pragma once

#include <string>
#include <vector>

#include "provider/revivo.h"

namespace revivo {

struct PlannedStep {
    std::u16string name, className, distinguishedName, lastKnownParent, expires, expiresUtc;
    // The DN it gets; empty below a parent recreated from a backup.
    std::u16string target;
};

struct RestoreChain {
    // Deleted parents, the topmost first, then the object itself (last).
    std::vector<PlannedStep> steps;
    // The live container the first step goes into; empty when it comes from a backup.
    std::u16string liveParent;
    // A deleted parent no longer among the listed tombstones (recreated from a backup), if any.
    std::u16string missingParent;
};

// Deeper than any container nesting a directory allows; a longer chain is hostile data.
inline constexpr size_t kDeepestPlannedChain = 256;

// The plan for the object, by the rules reanimation follows: up its chain of deleted parents as
// the listed tombstones hold them (a loop or an endless chain ends as if the next parent were
// not listed), then down again, each below the DN its parent gets. With a container to restore
// into, the object comes back alone, into it.
RestoreChain PlanRestoreChain(const PlannedStep& object, const std::vector<TombstoneRef>& listed,
                              std::u16string_view restoreInto = {});

}  // namespace revivo
