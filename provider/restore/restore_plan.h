// The restore planner: which tombstones a restore of one brings back, in the order it brings
// them back, and the DN each gets. Command 315 and, through it, every caller that shows a plan
// before a restore (the "Restore Plan" dialog, the command line's question) use this one.
#pragma once

#include <string>
#include <vector>

#include "provider/revivo.h"
#include "shared/restore_chain.h"

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

using lumivel::shared::kDeepestPlannedChain;

// The listed tombstones indexed once, for plans of many objects over one listing.
class PlanningIndex {
public:
    explicit PlanningIndex(std::vector<TombstoneRef> listed);
    PlanningIndex(const PlanningIndex&) = delete;
    PlanningIndex& operator=(const PlanningIndex&) = delete;
    const std::vector<TombstoneRef>& listed() const { return m_listed; }
    const lumivel::shared::ListedTombstones& byGuid() const { return m_byGuid; }

private:
    std::vector<TombstoneRef> m_listed;
    lumivel::shared::ListedTombstones m_byGuid;
};

// The plan for the object, by the rules reanimation follows: up its chain of deleted parents as
// the listed tombstones hold them (a loop or an endless chain ends as if the next parent were
// not listed), then down again, each below the DN its parent gets. With a container to restore
// into, the object comes back alone, into it.
RestoreChain PlanRestoreChain(const PlannedStep& object, const std::vector<TombstoneRef>& listed,
                              std::u16string_view restoreInto = {});
RestoreChain PlanRestoreChain(const PlannedStep& object, const PlanningIndex& listed,
                              std::u16string_view restoreInto = {});

// One step of a plan for several objects at once.
struct SharedPlanStep {
    PlannedStep step;
    static constexpr size_t kNoParent = size_t(-1);
    // The step it goes below; kNoParent for one whose parent is live or missing.
    size_t parent = kNoParent;
    // How deep below the first step of its chain it lies (one more below a missing parent).
    size_t depth = 0;
    // The objects asked for (their indexes), as opposed to deleted parents they need; a step
    // asked for twice names the first.
    bool asked = false;
    size_t object = 0;
    // Only on the first step of a chain: its deleted parent that is no longer listed.
    std::u16string missingParent;
};

// One plan for several objects: each one's chain as PlanRestoreChain makes it, a deleted
// parent that several share taken once, at its first place, so every step comes after the
// step it goes below.
std::vector<SharedPlanStep> PlanRestoreOfMany(const std::vector<PlannedStep>& objects, const PlanningIndex& listed);

// Whether command 315 can plan the record's restore at all: it names a tombstone and its last
// known parent. Known without the directory.
bool CanPlanRestoreOf(const PropertySet* record);

}  // namespace revivo
