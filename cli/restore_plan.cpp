#include "cli/restore_plan.h"

#include <algorithm>

namespace lumivel_cli {

namespace {

// Deeper than any container nesting a directory allows.
constexpr size_t kMaxChain = 256;

bool isMangled(std::u16string_view dn) { return !GuidOfTombstoneArgument(dn).empty(); }

}  // namespace

std::u16string ReanimatedDn(std::u16string_view tombstoneDn, std::u16string_view parent) {
    // Escape pairs are stepped over whole, so an escaped backslash before "0A" is not taken
    // for the escaped line feed.
    for (size_t i = 0; i + 2 < tombstoneDn.size(); ++i) {
        if (tombstoneDn[i] != u'\\') continue;
        if (tombstoneDn[i + 1] == u'0' && (tombstoneDn[i + 2] == u'A' || tombstoneDn[i + 2] == u'a'))
            return std::u16string(tombstoneDn.substr(0, i)) + u"," + std::u16string(parent);
        ++i;
    }
    return {};
}

std::u16string PlainName(std::u16string_view tombstoneName) {
    size_t lineFeed = tombstoneName.find(u'\n');
    return std::u16string(lineFeed == std::u16string_view::npos ? tombstoneName : tombstoneName.substr(0, lineFeed));
}

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
        if (plan.missingParent.empty()) target = ReanimatedDn((*record)->getText(u"distinguishedName"), parent);
        plan.chain.push_back(PlannedObject{*record, target});
        parent = target;
    }
    return plan;
}

}  // namespace lumivel_cli
