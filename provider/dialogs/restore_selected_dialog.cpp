// Command 321: several tombstones restored as one plan. The plan is worked out from the
// listing alone (no directory call per object on the console's thread); the restore runs off
// it, and the console's list loses what came back.
#include "provider/dialogs/restore_selected_dialog.h"

#include <optional>

#include "provider/dialogs/dialog_worker.h"

#include "provider/common/audit.h"
#include "provider/common/command_report.h"
#include "provider/common/dialog_helpers.h"
#include "provider/common/resource_ids.h"
#include "provider/dialogs/list_view_rows.h"
#include "provider/dialogs/restore_plan_dialog.h"
#include "provider/dialogs/restore_progress_dialog.h"
#include "provider/restore/reanimate_rights.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

namespace revivo {

namespace {

constexpr ListColumn kSelectedColumns[] = {{u"Name", 22}, {u"Class", 14}, {u"Target DN", 44}, {u"Expires", 19}};

std::u16string count(size_t number, const char16_t* one, const char16_t* many) {
    return lumivel::shared::WidenText(std::to_string(number)) + u" " + (number == 1 ? one : many);
}

void fillSelectedPlan(HWND dialog, const SelectedPlanView& view) {
    SetDlgItemTextW(dialog, IDC_SELECTED_SUMMARY, SelectedPlanSummaryText(view).c_str());
    SetDlgItemTextW(dialog, IDC_SELECTED_NOTE, SelectedPlanNoteText(view).c_str());
    EnableWindow(GetDlgItem(dialog, IDC_SELECTED_RESTORE), TRUE);
    HWND list = GetDlgItem(dialog, IDC_SELECTED_LIST);
    for (const SharedPlanStep& step : view.steps) {
        std::u16string target = step.step.target.empty() ? u"(below the parent a backup recreates)" : step.step.target;
        AddListRow(list, {std::u16string(step.depth * 4, u' ') + lumivel::shared::PlainTombstoneName(step.step.name),
                          step.step.className, target, step.step.expires});
    }
}

constexpr UINT kSelectedCheckedMessage = WM_APP + 0x69;

struct SelectedState {
    SelectedPlanView* view;
    // Fills the view on a worker while the dialog says it is checking; empty when the view
    // came complete.
    std::function<void(SelectedPlanView*)> check;
    SelectedPlanView checkedView;  // the worker's until it has ended
    std::optional<INT_PTR> closeWhenChecked;
    DialogWorker worker;
};

INT_PTR CALLBACK selectedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<SelectedState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (state &&
        HoldCloseWhileWorking(dialog, message, wParam, state->worker, IDC_SELECTED_NOTE, &state->closeWhenChecked))
        return TRUE;
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            state = reinterpret_cast<SelectedState*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            AddListColumns(GetDlgItem(dialog, IDC_SELECTED_LIST), kSelectedColumns,
                           static_cast<int>(ARRAYSIZE(kSelectedColumns)));
            if (state->check) {
                SetDlgItemTextW(dialog, IDC_SELECTED_SUMMARY, kSelectedCheckingText);
                EnableWindow(GetDlgItem(dialog, IDC_SELECTED_RESTORE), FALSE);
                if (!state->worker.start(dialog, kSelectedCheckedMessage,
                                         [state] { state->check(&state->checkedView); }))
                    EndDialog(dialog, IDABORT);
            } else {
                fillSelectedPlan(dialog, *state->view);
            }
            SetFocus(GetDlgItem(dialog, IDCANCEL));
            return FALSE;
        case kSelectedCheckedMessage:
            if (!state) return TRUE;
            if (state->closeWhenChecked) {
                EndDialog(dialog, *state->closeWhenChecked);
            } else {
                *state->view = std::move(state->checkedView);
                fillSelectedPlan(dialog, *state->view);
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_SELECTED_RESTORE && IsWindowEnabled(GetDlgItem(dialog, IDC_SELECTED_RESTORE))) {
                EndDialog(dialog, IDC_SELECTED_RESTORE);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

INT_PTR runSelectedDialog(HWND parent, SelectedState& state) {
    return DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_RESTORE_SELECTED), parent,
                           selectedDialogProc, reinterpret_cast<LPARAM>(&state));
}

bool namesTombstone(const PropertySet* record) {
    std::u16string_view dn = record->getText(u"distinguishedName");
    return !dn.empty() && !lumivel::shared::ReanimatedDn(dn, u"x").empty();
}

}  // namespace

std::u16string SelectedPlanSummaryText(const SelectedPlanView& view) {
    size_t parents = 0;
    for (const SharedPlanStep& step : view.steps) parents += !step.asked;
    std::u16string text = count(view.selected, u"selected object comes back", u"selected objects come back");
    if (parents) text += u", and first " + count(parents, u"deleted parent it needs", u"deleted parents they need");
    RestorePlanView rights;
    rights.mayReanimate = view.mayReanimate;
    rights.rights = view.rights;
    return text + u". " + PlanRightsText(rights);
}

std::u16string SelectedPlanNoteText(const SelectedPlanView& view) {
    size_t missing = 0;
    for (const SharedPlanStep& step : view.steps) missing += !step.missingParent.empty();
    std::u16string note;
    if (missing)
        note = count(missing, u"object needs a deleted parent", u"objects need deleted parents") +
               u" no longer listed, which only a backup recreates: restore those one by one. ";
    return note + u"An object whose name is taken is not renamed here: it fails, and the report says so.";
}

INT_PTR ShowRestoreSelectedDialog(HWND parent, const SelectedPlanView& view) {
    SelectedPlanView shown = view;
    SelectedState state{&shown, {}, {}, std::nullopt, {}};
    return runSelectedDialog(parent, state);
}

INT_PTR ShowCheckedRestoreSelectedDialog(HWND parent, std::function<void(SelectedPlanView*)> check,
                                         SelectedPlanView* view) {
    SelectedState state{view, std::move(check), {}, std::nullopt, {}};
    return runSelectedDialog(parent, state);
}

std::vector<SubtreeReportRow> SelectedReportRows(const std::vector<SharedPlanStep>& plan,
                                                 const SharedRestoreResult& result) {
    std::vector<SubtreeReportRow> rows;
    for (size_t i = 0; i < plan.size() && i < result.outcomes.size(); ++i) {
        const StepOutcome& outcome = result.outcomes[i];
        const PlannedStep& step = plan[i].step;
        rows.push_back(SubtreeReportRow{step.name, step.className, step.distinguishedName,
                                        outcome.newDn.empty() ? step.target : outcome.newDn,
                                        OutcomeText(outcome.kind), outcome.error});
    }
    return rows;
}

HRESULT Revivo::RestoreSelected(HWND parent, const std::vector<PropertySet*>& selection, VARIANT* result) {
    if (!MayAskInDialogs()) {
        NoteFailure(HRESULT_FROM_WIN32(ERROR_CANCELLED), u"Restore Selected",
                    u"Several objects are restored at once only in the console; restore them one by one.");
        return S_FALSE;
    }
    std::vector<PropertySet*> objects;
    std::vector<PlannedStep> asked;
    for (PropertySet* record : selection) {
        if (!record || !namesTombstone(record)) continue;
        objects.push_back(record);
        asked.push_back(PlannedStep{std::u16string(record->getText(u"name")), std::u16string(record->getText(u"class")),
                                    std::u16string(record->getText(u"distinguishedName")),
                                    std::u16string(record->getText(u"lastKnownParent")),
                                    std::u16string(record->getText(kExpiresKey)),
                                    std::u16string(record->getText(kExpiresUtcKey)),
                                    {}});
    }
    if (objects.empty()) {
        ShowFailure(parent, E_INVALIDARG, u"None of the selected objects is a listed tombstone.", u"Restore Selected",
                    MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    // The plan over the whole listing and the rights check run off the console's thread, the
    // dialog saying so meanwhile.
    SelectedPlanView view;
    auto check = [&](SelectedPlanView* planned) {
        planned->steps = PlanRestoreOfMany(asked, PlanningIndex(deletedObjectCacheSnapshot()));
        planned->selected = objects.size();
        ReanimateRights rights =
            CheckReanimateRights(objects.front()->getText(u"FocusedDC"),
                                 lumivel::shared::NamingContextOfTombstone(objects.front()->getText(u"distinguishedName")));
        if (rights.mayReanimate) planned->mayReanimate = *rights.mayReanimate ? 1 : 0;
        planned->rights = rights.note;
    };
    INT_PTR answer = ShowCheckedRestoreSelectedDialog(parent, check, &view);
    if (answer == IDABORT) {
        ShowFailure(parent, E_OUTOFMEMORY, u"The restore could not be planned: nothing was restored.", u"Restore Selected",
                    MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    if (answer != IDC_SELECTED_RESTORE) return S_FALSE;

    SharedRestoreResult restored;
    bool ran = ProgressRunner(parent)(
        [&](const RestoreStepGate& gate) { restored = RestoreSharedPlan(view.steps, objects, gate); });
    if (!ran) {
        ShowFailure(parent, E_OUTOFMEMORY, u"The restore could not be started: nothing was restored.",
                    u"Restore Selected", MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    AuditActions(parent, restored.audit);
    ShowSubtreeReportDialog(parent, SelectedReportRows(view.steps, restored), u"Restore Selected");
    if (restored.restoredRecords.empty()) return S_FALSE;
    HandOutObjectsDeleted(restored.restoredRecords, result);
    for (const StepOutcome& outcome : restored.outcomes)
        if (outcome.kind != StepOutcome::Restored) return S_FALSE;
    return S_OK;
}

}  // namespace revivo
