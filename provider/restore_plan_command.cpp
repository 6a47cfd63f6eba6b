// Command 315: what a restore would do, worked out by the rules reanimation follows and the
// directory's own answers (names taken in the forest, rights), without changing anything.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "provider/reanimate_rights.h"
#include "provider/reanimation.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

// Deeper than any container nesting a directory allows; a longer chain is hostile data.
constexpr size_t kMaxChain = 256;

struct Step {
    std::u16string name, className, distinguishedName, lastKnownParent, expires, expiresUtc;
};

Step stepOf(const TombstoneCopy& copy) {
    return Step{std::u16string(copy.name()),       std::u16string(copy.className()),
                std::u16string(copy.distinguishedName()), std::u16string(copy.lastKnownParent()),
                std::u16string(copy.expires()),    std::u16string(copy.expiresUtc())};
}

}  // namespace

HRESULT Revivo::PlanRestore(PropertySet* record, VARIANT* result) {
    Step first{std::u16string(record->getText(u"name")),
               std::u16string(record->getText(u"class")),
               std::u16string(record->getText(u"distinguishedName")),
               std::u16string(record->getText(u"lastKnownParent")),
               std::u16string(record->getText(kExpiresKey)),
               std::u16string(record->getText(kExpiresUtcKey))};
    if (first.distinguishedName.empty() || first.lastKnownParent.empty() ||
        lumivel::shared::ReanimatedDn(first.distinguishedName, u"x").empty())
        return E_INVALIDARG;

    // Up the chain of deleted parents the last listing holds, as reanimation finds them; a
    // loop or an endless chain ends as if the next parent were not listed.
    std::vector<TombstoneRef> cache = deletedObjectCacheSnapshot();
    std::unordered_map<std::u16string, const TombstoneCopy*> byGuid;
    byGuid.reserve(cache.size());
    for (const TombstoneRef& copy : cache) {
        std::u16string guid = lumivel::shared::TombstoneGuid(copy->name());
        if (!guid.empty()) byGuid.emplace(lumivel::FoldCase(guid), copy.get());
    }
    std::vector<Step> chain{first};
    std::unordered_set<std::u16string> seen{lumivel::FoldCase(first.distinguishedName)};
    std::u16string parent = first.lastKnownParent;
    std::u16string missingParent;
    while (DsIsMangledDnW(parent.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION)) {
        auto found = byGuid.find(lumivel::FoldCase(lumivel::shared::TombstoneGuidOfDn(parent)));
        if (found == byGuid.end() || chain.size() >= kMaxChain ||
            !seen.insert(lumivel::FoldCase(found->second->distinguishedName())).second) {
            missingParent = parent;
            break;
        }
        chain.push_back(stepOf(*found->second));
        parent = chain.back().lastKnownParent;
    }

    std::u16string server(record->getText(u"FocusedDC"));
    PropertySet* header = PropertySet::create();
    if (!header) return E_OUTOFMEMORY;
    ReanimateRights rights = CheckReanimateRights(server, lumivel::shared::NamingContextOfTombstone(first.distinguishedName));
    if (rights.mayReanimate) header->setInt(kPlanMayReanimateKey, *rights.mayReanimate ? 1 : 0);
    header->setText(kPlanRightsKey, rights.note);
    if (!missingParent.empty()) header->setText(kPlanMissingParentKey, missingParent);

    std::vector<PropertySet*> records{header};
    bool failed = false;
    // Down again: each object goes below the DN its parent gets.
    for (auto step = chain.rbegin(); step != chain.rend() && !failed; ++step) {
        PropertySet* planned = PropertySet::create();
        if (!planned) {
            failed = true;
            break;
        }
        records.push_back(planned);
        std::u16string target;
        if (missingParent.empty()) target = lumivel::shared::ReanimatedDn(step->distinguishedName, parent);
        planned->setText(u"name", step->name);
        planned->setText(u"class", step->className);
        planned->setText(u"distinguishedName", step->distinguishedName);
        planned->setText(u"lastKnownParent", step->lastKnownParent);
        planned->setText(kPlanTargetKey, target);
        planned->setText(kExpiresKey, step->expires);
        planned->setText(kExpiresUtcKey, step->expiresUtc);
        if (!target.empty()) {
            planned->setInt(kPlanNameTakenKey, NameIsTaken(target) ? 1 : 0);
            if (step == chain.rbegin()) {
                HRESULT may = CheckCreationIn(server, parent, step->className);
                if (may == S_OK || may == E_ACCESSDENIED) planned->setInt(kPlanMayCreateKey, may == S_OK ? 1 : 0);
            }
        }
        parent = target;
    }
    // A plan that cannot be handed over is a failure, not an empty plan.
    HRESULT built = failed ? E_OUTOFMEMORY : result ? lumivel::shared::BuildObjectList(records, result) : S_OK;
    if (failed || !result || FAILED(built))
        for (PropertySet* planned : records) planned->release();
    return FAILED(built) ? built : S_OK;
}

}  // namespace revivo
