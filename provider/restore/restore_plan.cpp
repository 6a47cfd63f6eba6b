// Command 315: what a restore would do, worked out by the rules reanimation follows and the
// directory's own answers (names taken in the forest, rights), without changing anything.
#include <unordered_map>
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

PlanningIndex::PlanningIndex(std::vector<TombstoneRef> listed)
    : m_listed(std::move(listed)), m_byGuid([this](size_t id) {
          return lumivel::shared::ListedTombstones::Texts{m_listed[id]->distinguishedName(),
                                                           m_listed[id]->lastKnownParent()};
      }) {
    m_byGuid.reserve(m_listed.size());
    for (size_t i = 0; i < m_listed.size(); ++i) m_byGuid.add(m_listed[i]->name(), i);
}

RestoreChain PlanRestoreChain(const PlannedStep& object, const std::vector<TombstoneRef>& listed,
                              std::u16string_view restoreInto) {
    return PlanRestoreChain(object, PlanningIndex(restoreInto.empty() ? listed : std::vector<TombstoneRef>{}),
                            restoreInto);
}

RestoreChain PlanRestoreChain(const PlannedStep& object, const PlanningIndex& listed, std::u16string_view restoreInto) {
    RestoreChain plan;
    lumivel::shared::ParentChain chain;
    if (restoreInto.empty())
        chain = lumivel::shared::WalkDeletedParents(object.distinguishedName, object.lastKnownParent, listed.byGuid());
    else
        chain.liveParent = restoreInto;
    plan.liveParent = chain.liveParent;
    plan.missingParent = chain.missingParent;
    std::vector<std::u16string> targets =
        lumivel::shared::RestoredDnsDown(chain, object.distinguishedName, listed.byGuid());
    for (size_t i = 0; i < chain.parents.size(); ++i) {
        plan.steps.push_back(stepOf(*listed.listed()[chain.parents[chain.parents.size() - 1 - i]]));
        plan.steps.back().target = std::move(targets[i]);
    }
    plan.steps.push_back(object);
    plan.steps.back().target = std::move(targets.back());
    return plan;
}

std::vector<SharedPlanStep> PlanRestoreOfMany(const std::vector<PlannedStep>& objects, const PlanningIndex& listed) {
    std::vector<SharedPlanStep> steps;
    std::unordered_map<std::u16string, size_t> placed;
    for (size_t object = 0; object < objects.size(); ++object) {
        RestoreChain chain = PlanRestoreChain(objects[object], listed);
        size_t above = SharedPlanStep::kNoParent;
        for (size_t i = 0; i < chain.steps.size(); ++i) {
            const bool last = i + 1 == chain.steps.size();
            auto [found, added] = placed.emplace(lumivel::FoldCase(chain.steps[i].distinguishedName), steps.size());
            if (added) {
                SharedPlanStep step;
                step.step = std::move(chain.steps[i]);
                step.parent = above;
                if (above != SharedPlanStep::kNoParent)
                    step.depth = steps[above].depth + 1;
                else if (!chain.missingParent.empty())
                    step.depth = 1;
                if (i == 0) step.missingParent = chain.missingParent;
                steps.push_back(std::move(step));
            }
            SharedPlanStep& placedStep = steps[found->second];
            if (last && !placedStep.asked) {
                placedStep.asked = true;
                placedStep.object = object;
            }
            above = found->second;
        }
    }
    return steps;
}

bool CanPlanRestoreOf(const PropertySet* record) {
    std::u16string_view dn = record->getText(u"distinguishedName");
    return !dn.empty() && !record->getText(u"lastKnownParent").empty() &&
           !lumivel::shared::ReanimatedDn(dn, u"x").empty();
}

HRESULT Revivo::PlanRestore(PropertySet* record, VARIANT* result) {
    PlannedStep first{std::u16string(record->getText(u"name")),
                      std::u16string(record->getText(u"class")),
                      std::u16string(record->getText(u"distinguishedName")),
                      std::u16string(record->getText(u"lastKnownParent")),
                      std::u16string(record->getText(kExpiresKey)),
                      std::u16string(record->getText(kExpiresUtcKey)),
                      {}};
    if (!CanPlanRestoreOf(record)) return E_INVALIDARG;
    RestoreChain plan = PlanRestoreChain(first, PlanningIndex(deletedObjectCacheSnapshot()), record->getText(kRestoreTargetKey));

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
