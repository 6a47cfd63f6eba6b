// The listed subtree of a deleted container, in the order it comes back (breadth first, so
// every parent before what is below it), and the restore of what lies below the container:
// nothing is tried below an object that did not come back, and a gate asked before each
// object can stop the walk there.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "provider/restore/restore_many.h"
#include "provider/revivo.h"

namespace revivo {

struct SubtreeEntry {
    std::u16string name, className, tombstone, target, error;
    std::u16string guid;  // folded
    size_t parent = 0;    // index of the parent entry; the root's is its own
    StepOutcome::Kind outcome = StepOutcome::NotAttempted;
};

// The root's entry first, then every listed tombstone whose chain of last known parents leads
// to it. A tombstone listed twice, or a chain that loops, is taken once.
std::vector<SubtreeEntry> ListedSubtree(SubtreeEntry root, const std::vector<TombstoneRef>& listed);

enum class OnFailure { Stop, KeepGoing };

// Brings back every entry after the root, in order, below its parent's new DN. `reanimate`
// returns nothing on success, else why it failed. The gate hears (entries done, entries in
// all, the entry next) before each attempt; once it says no, that entry and all that would
// follow are left as tombstones. Entries whose parent did not come back are never attempted.
void RestoreDescendants(std::vector<SubtreeEntry>& entries, OnFailure onFailure,
                        const std::function<std::optional<std::u16string>(const SubtreeEntry&)>& reanimate,
                        const RestoreStepGate& gate);

// What an entry left untried by a run that never started says.
inline constexpr char16_t kSubtreeNotStarted[] = u"the restore could not be started";

}  // namespace revivo
