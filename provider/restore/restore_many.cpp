// Command 321: the objects of one shared plan restored in its order, on whatever thread the
// caller runs it, asking no one: a step that would need an answer fails with why, and the
// objects below a step that did not come back are not attempted.
#include "provider/restore/restore_many.h"

#include <unordered_map>

#include "provider/common/audit.h"
#include "provider/common/command_report.h"
#include "provider/common/system_error_text.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"
#include "win/dsapi.h"

namespace revivo {

namespace {

PropertySet* recordOfStep(const PlannedStep& step, std::u16string_view server) {
    PropertySet* record = PropertySet::create();
    if (!record) return nullptr;
    record->setText(u"distinguishedName", step.distinguishedName);
    record->setText(u"path", step.distinguishedName);
    record->setText(u"lastKnownParent", step.lastKnownParent);
    record->setText(u"name", step.name);
    record->setText(u"class", step.className);
    record->setText(u"FocusedDC", server);
    return record;
}

}  // namespace

const char16_t* OutcomeText(StepOutcome::Kind kind) {
    switch (kind) {
        case StepOutcome::Restored: return u"Restored";
        case StepOutcome::Failed: return u"Failed";
        case StepOutcome::NotAttempted: break;
    }
    return u"Not attempted";
}

SharedRestoreResult Revivo::RestoreSharedPlan(const std::vector<SharedPlanStep>& plan,
                                              const std::vector<PropertySet*>& objects, const RestoreStepGate& gate) {
    // Dialogs cannot open here: the caller may be off the console's thread, and a batch is not
    // stopped by a question. What a box would say becomes the step's error.
    CommandReport quiet;
    SharedRestoreResult result;
    result.outcomes.resize(plan.size());
    std::unordered_map<std::u16string, size_t> stepOf;
    for (size_t i = 0; i < plan.size(); ++i) stepOf.emplace(lumivel::FoldCase(plan[i].step.distinguishedName), i);
    std::u16string server;
    for (const PropertySet* object : objects)
        if (object && server.empty()) server = object->getText(u"FocusedDC");

    for (size_t i = 0; i < plan.size(); ++i) {
        const SharedPlanStep& step = plan[i];
        StepOutcome& outcome = result.outcomes[i];
        if (outcome.kind == StepOutcome::Restored) continue;  // came back ahead of its turn
        if (step.parent != SharedPlanStep::kNoParent && result.outcomes[step.parent].kind != StepOutcome::Restored) {
            outcome.error = u"its parent was not restored";
            continue;
        }
        if (result.stopped || (gate && !gate(i, plan.size(), step.step))) {
            result.stopped = true;
            outcome.error = kStoppedBeforeIt;
            continue;
        }
        // A copy: the view's record stays as the console shows it while this runs.
        PropertySet* asked = step.asked && step.object < objects.size() ? objects[step.object] : nullptr;
        PropertySet* record = asked ? asked->clone() : recordOfStep(step.step, server);
        if (!record) {
            outcome.kind = StepOutcome::Failed;
            outcome.error = SystemErrorText(static_cast<DWORD>(E_OUTOFMEMORY));
            continue;
        }
        if (!record->has(u"FocusedDC") || record->getText(u"FocusedDC").empty()) FillInFocusedDC(record);
        std::u16string stepServer(record->getText(u"FocusedDC"));
        RestoredTombstones restored;
        m_lastRestoreError.clear();
        HRESULT restoredResult = Restore(nullptr, record, &restored);
        // Still below a deleted parent: no backup could be asked for to recreate it.
        std::u16string parentAfter(record->getText(u"lastKnownParent"));
        const bool parentStillDeleted =
            !step.missingParent.empty() && (parentAfter.empty() ||
                                             DsIsMangledDnW(parentAfter.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION));
        record->release();

        for (const RestoredTombstone& object : restored) {
            LONG_PTR listed = forgetTombstone(object.tombstone);
            auto known = stepOf.find(lumivel::FoldCase(object.tombstone));
            const SharedPlanStep* own = known == stepOf.end() ? nullptr : &plan[known->second];
            LONG_PTR reported = own && own->asked && own->object < objects.size()
                                    ? reinterpret_cast<LONG_PTR>(objects[own->object])
                                    : listed;
            if (reported) result.restoredRecords.push_back(reported);
            if (known != stepOf.end()) {
                result.outcomes[known->second].kind = StepOutcome::Restored;
                result.outcomes[known->second].newDn = object.newName;
            }
            lumivel::shared::AuditEntry entry = AuditEntryOf("restore-selected", object.tombstone,
                                                             lumivel::shared::TombstoneGuidOfDn(object.tombstone),
                                                             stepServer, true);
            entry.newDn = lumivel::shared::NarrowText(object.newName);
            result.audit.push_back(std::move(entry));
        }
        if (restoredResult != S_OK || outcome.kind != StepOutcome::Restored) {
            outcome.kind = StepOutcome::Failed;
            // Without the archive a batch cannot ask for, the directory's own refusal (no such
            // object) would hide why.
            outcome.error = parentStillDeleted ? std::u16string(kNeedsRecreatedParent)
                            : !m_lastRestoreError.empty() ? m_lastRestoreError
                            : FAILED(restoredResult)      ? SystemErrorText(static_cast<DWORD>(restoredResult))
                                                          : std::u16string(u"not restored");
            result.audit.push_back(AuditEntryOf("restore-selected", step.step.distinguishedName,
                                                lumivel::shared::TombstoneGuidOfDn(step.step.distinguishedName),
                                                stepServer, false, outcome.error));
        }
    }
    return result;
}

}  // namespace revivo
