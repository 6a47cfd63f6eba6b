// A queue and a set of visited objects walk the tree, so no listing can drive a recursion or
// a loop.
#include "provider/restore/subtree_walk.h"

#include <unordered_map>
#include <unordered_set>

#include "provider/restore/restore_plan.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

namespace revivo {

std::vector<SubtreeEntry> ListedSubtree(SubtreeEntry root, const std::vector<TombstoneRef>& listed) {
    std::unordered_map<std::u16string, std::vector<const TombstoneCopy*>> children;
    for (const TombstoneRef& copy : listed) {
        std::u16string parentGuid = lumivel::FoldCase(lumivel::shared::TombstoneGuidOfDn(copy->lastKnownParent()));
        if (!parentGuid.empty()) children[parentGuid].push_back(copy.get());
    }
    std::vector<SubtreeEntry> entries;
    root.parent = 0;
    entries.push_back(std::move(root));
    std::unordered_set<std::u16string> visited{entries.front().guid};
    for (size_t next = 0; next < entries.size(); ++next) {
        auto found = children.find(entries[next].guid);
        if (found == children.end()) continue;
        for (const TombstoneCopy* child : found->second) {
            std::u16string guid = lumivel::FoldCase(lumivel::shared::TombstoneGuid(child->name()));
            if (guid.empty() || !visited.insert(guid).second) continue;
            SubtreeEntry entry;
            entry.name = child->name();
            entry.className = child->className();
            entry.tombstone = child->distinguishedName();
            entry.guid = std::move(guid);
            entry.parent = next;
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

void RestoreDescendants(std::vector<SubtreeEntry>& entries, OnFailure onFailure,
                        const std::function<std::optional<std::u16string>(const SubtreeEntry&)>& reanimate,
                        const RestoreStepGate& gate) {
    bool failedOnce = false, cancelled = false;
    for (size_t i = 1; i < entries.size(); ++i) {
        SubtreeEntry& entry = entries[i];
        const SubtreeEntry& above = entries[entry.parent];
        if (entry.parent >= i || above.outcome != StepOutcome::Restored || above.target.empty()) {
            entry.error = u"its parent was not restored";
            continue;
        }
        entry.target = lumivel::shared::ReanimatedDn(entry.tombstone, above.target);
        if (failedOnce && onFailure == OnFailure::Stop) {
            entry.error = u"the restore stopped at the first failure";
            continue;
        }
        if (!cancelled && gate) {
            PlannedStep next{entry.name, entry.className, entry.tombstone, {}, {}, {}, entry.target};
            cancelled = !gate(i, entries.size(), next);
        }
        if (cancelled) {
            entry.error = kStoppedBeforeIt;
            continue;
        }
        std::optional<std::u16string> failure =
            entry.target.empty() ? std::optional<std::u16string>(u"its new name cannot be made") : reanimate(entry);
        if (!failure) {
            entry.outcome = StepOutcome::Restored;
        } else {
            entry.outcome = StepOutcome::Failed;
            entry.error = failure->empty() ? std::u16string(u"the directory refused it") : std::move(*failure);
            failedOnce = true;
        }
    }
}

}  // namespace revivo
