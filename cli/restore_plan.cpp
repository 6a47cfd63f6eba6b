#include "cli/restore_plan.h"

#include <algorithm>

#include "shared/directory_operations.h"

namespace lumivel_cli {

namespace {

// Deeper than any container nesting a directory allows.
constexpr size_t kMaxChain = 256;

bool isMangled(std::u16string_view dn) { return !GuidOfTombstoneArgument(dn).empty(); }

}  // namespace

RestorePlan PlanRestore(PropertySet* tombstone, const TombstoneIndex& index) {
    RestorePlan plan;
    // Up the chain of deleted parents while the listing holds them.
    std::vector<PropertySet*> chain{tombstone};
    std::u16string parent(tombstone->getText(u"lastKnownParent"));
    while (isMangled(parent)) {
        PropertySet* next = index.byGuid(GuidOfTombstoneArgument(parent));
        if (!next || chain.size() >= kMaxChain || std::find(chain.begin(), chain.end(), next) != chain.end()) {
            plan.missingParent = parent;
            break;
        }
        chain.push_back(next);
        parent = next->getText(u"lastKnownParent");
    }
    // Down again: each object goes below the DN its parent gets.
    for (auto record = chain.rbegin(); record != chain.rend(); ++record) {
        std::u16string target;
        if (plan.missingParent.empty())
            target = lumivel::shared::ReanimatedDn((*record)->getText(u"distinguishedName"), parent);
        plan.chain.push_back(PlannedObject{*record, target});
        parent = target;
    }
    return plan;
}

}  // namespace lumivel_cli
