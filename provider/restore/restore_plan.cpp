// Command 315: what a restore would do, worked out by the rules reanimation follows and the
// directory's own answers (names taken in the forest, rights), without changing anything.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "provider/restore/reanimate_rights.h"
#include "provider/restore/reanimation.h"
#include "provider/restore/restore_plan.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "win/dsapi.h"
#include "win/oleauto.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

PlannedStep stepOf(const TombstoneCopy& copy) {
    return PlannedStep{std::u16string(copy.name()),       std::u16string(copy.className()),
                       std::u16string(copy.distinguishedName()), std::u16string(copy.lastKnownParent()),
                       std::u16string(copy.expires()),    std::u16string(copy.expiresUtc()), {}};
}

}  // namespace

RestoreChain PlanRestoreChain(const PlannedStep& object, const std::vector<TombstoneRef>& listed,
                              std::u16string_view restoreInto) {
    RestoreChain plan;
    std::vector<PlannedStep> chain{object};
    std::u16string parent = restoreInto.empty() ? object.lastKnownParent : std::u16string(restoreInto);
    if (restoreInto.empty()) {
        std::unordered_map<std::u16string, const TombstoneCopy*> byGuid;
        byGuid.reserve(listed.size());
        for (const TombstoneRef& copy : listed) {
            std::u16string guid = lumivel::shared::TombstoneGuid(copy->name());
            if (!guid.empty()) byGuid.emplace(lumivel::FoldCase(guid), copy.get());
        }
        std::unordered_set<std::u16string> seen{lumivel::FoldCase(object.distinguishedName)};
        while (DsIsMangledDnW(parent.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION)) {
            auto found = byGuid.find(lumivel::FoldCase(lumivel::shared::TombstoneGuidOfDn(parent)));
            if (found == byGuid.end() || chain.size() >= kDeepestPlannedChain ||
                !seen.insert(lumivel::FoldCase(found->second->distinguishedName())).second) {
                plan.missingParent = parent;
                break;
            }
            chain.push_back(stepOf(*found->second));
            parent = chain.back().lastKnownParent;
        }
    }
    if (plan.missingParent.empty()) plan.liveParent = parent;
    // Down again: each object goes below the DN its parent gets.
    for (auto step = chain.rbegin(); step != chain.rend(); ++step) {
        if (plan.missingParent.empty()) step->target = lumivel::shared::ReanimatedDn(step->distinguishedName, parent);
        parent = step->target;
        plan.steps.push_back(std::move(*step));
    }
    return plan;
}

HRESULT Revivo::PlanRestore(PropertySet* record, VARIANT* result) {
    PlannedStep first{std::u16string(record->getText(u"name")),
                      std::u16string(record->getText(u"class")),
                      std::u16string(record->getText(u"distinguishedName")),
                      std::u16string(record->getText(u"lastKnownParent")),
                      std::u16string(record->getText(kExpiresKey)),
                      std::u16string(record->getText(kExpiresUtcKey)),
                      {}};
    if (first.distinguishedName.empty() || first.lastKnownParent.empty() ||
        lumivel::shared::ReanimatedDn(first.distinguishedName, u"x").empty())
        return E_INVALIDARG;
    RestoreChain plan = PlanRestoreChain(first, deletedObjectCacheSnapshot(), record->getText(kRestoreTargetKey));

    std::u16string server(record->getText(u"FocusedDC"));
    PropertySet* header = PropertySet::create();
    if (!header) return E_OUTOFMEMORY;
    ReanimateRights rights = CheckReanimateRights(server, lumivel::shared::NamingContextOfTombstone(first.distinguishedName));
    if (rights.mayReanimate) header->setInt(kPlanMayReanimateKey, *rights.mayReanimate ? 1 : 0);
    header->setText(kPlanRightsKey, rights.note);
    if (!plan.missingParent.empty()) header->setText(kPlanMissingParentKey, plan.missingParent);

    std::vector<PropertySet*> records{header};
    bool failed = false;
    for (const PlannedStep& step : plan.steps) {
        PropertySet* planned = PropertySet::create();
        if (!planned) {
            failed = true;
            break;
        }
        records.push_back(planned);
        planned->setText(u"name", step.name);
        planned->setText(u"class", step.className);
        planned->setText(u"distinguishedName", step.distinguishedName);
        planned->setText(u"lastKnownParent", step.lastKnownParent);
        planned->setText(kPlanTargetKey, step.target);
        planned->setText(kExpiresKey, step.expires);
        planned->setText(kExpiresUtcKey, step.expiresUtc);
        if (!step.target.empty()) {
            planned->setInt(kPlanNameTakenKey, NameIsTaken(step.target) ? 1 : 0);
            if (&step == &plan.steps.front()) {
                HRESULT may = CheckCreationIn(server, plan.liveParent, step.className);
                if (may == S_OK || may == E_ACCESSDENIED) planned->setInt(kPlanMayCreateKey, may == S_OK ? 1 : 0);
            }
        }
    }
    // A plan that cannot be handed over is a failure, not an empty plan.
    HRESULT built = failed ? E_OUTOFMEMORY : result ? lumivel::shared::BuildObjectList(records, result) : S_OK;
    if (failed || !result || FAILED(built))
        for (PropertySet* planned : records) planned->release();
    return FAILED(built) ? built : S_OK;
}

}  // namespace revivo
