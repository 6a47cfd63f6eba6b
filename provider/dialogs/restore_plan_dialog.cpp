// Command 319: the plan of command 315 in a dialog, and the restore it may lead to, done as
// command 311 does it, followed by command 318 when the administrator asked for it.
#include "provider/dialogs/restore_plan_dialog.h"

#include <algorithm>
#include <optional>

#include "provider/dialogs/dialog_worker.h"

#include "lumivel/variant_holder.h"
#include "provider/backup/backup_listing.h"
#include "provider/common/system_error_text.h"
#include "provider/common/command_report.h"
#include "provider/common/dialog_helpers.h"
#include "provider/dialogs/list_view_rows.h"
#include "provider/common/resource_ids.h"
#include "provider/restore/restore_plan.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

namespace revivo {

namespace {

// More names than this in one message box are summed up.
constexpr size_t kNamesShown = 30;

constexpr ListColumn kPlanColumns[] = {
    {u"Name", 20}, {u"Class", 15}, {u"Target DN", 35}, {u"Name taken", 11}, {u"Expires", 19}};

int intOrUnknown(const PropertySet* record, LPCWSTR key) {
    return record->has(key) ? (record->getRaw(key) != 0 ? 1 : 0) : -1;
}

// The list reads as a tree: each object one level below the parent that comes back before it.
std::u16string indented(std::u16string_view name, size_t depth) {
    return std::u16string(depth * 4, u' ') + std::u16string(name);
}

void fillPlan(HWND dialog, const RestorePlanView& view) {
    SetDlgItemTextW(dialog, IDC_PLAN_RIGHTS, PlanRightsText(view).c_str());
    SetDlgItemTextW(dialog, IDC_PLAN_NOTE, PlanNoteText(view).c_str());
    SetDlgItemTextW(dialog, IDC_PLAN_ARCHIVE, PlanArchiveText(view).c_str());
    SetDlgItemTextW(dialog, IDC_PLAN_SENSITIVE, PlanSensitiveText(view).c_str());
    EnableWindow(GetDlgItem(dialog, IDC_PLAN_REAPPLY), ReapplyOffered(view));
    // Consent to the sensitive writes follows the choice to re-apply at all.
    EnableWindow(GetDlgItem(dialog, IDC_PLAN_REAPPLY_SENSITIVE), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_PLAN_RESTORE), TRUE);
    HWND list = GetDlgItem(dialog, IDC_PLAN_LIST);
    // Below a parent a backup recreates, the chain starts one level down.
    size_t depth = view.missingParent.empty() ? 0 : 1;
    for (const PlanRow& row : view.rows) {
        std::u16string taken = row.nameTaken < 0 ? u"" : row.nameTaken ? u"Yes" : u"No";
        std::u16string target = row.target.empty() ? u"(below the parent a backup recreates)" : row.target;
        AddListRow(list, {indented(lumivel::shared::PlainTombstoneName(row.name), depth++), row.className, target,
                          taken, row.expires});
    }
}

constexpr UINT kPlanCheckedMessage = WM_APP + 0x68;

struct PlanState {
    RestorePlanView* view;
    PlanChoice choice;
    // Fills the view on a worker while the dialog says it is checking; empty when the view
    // came complete.
    std::function<HRESULT(RestorePlanView*)> check;
    RestorePlanView checkedView;  // the worker's until it has ended
    HRESULT checked = S_OK;
    // Closed while the checks ran: the dialog ends with this once they have.
    std::optional<INT_PTR> closeWhenChecked;
    DialogWorker worker;
};

void showChecking(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_PLAN_RIGHTS, kPlanCheckingText);
    for (int id : {IDC_PLAN_RESTORE, IDC_PLAN_REAPPLY, IDC_PLAN_REAPPLY_SENSITIVE}) EnableWindow(GetDlgItem(dialog, id), FALSE);
}

// The checks' end: the plan shown, or the dialog ended when they failed or it was closed.
void checksEnded(HWND dialog, PlanState* state) {
    if (state->closeWhenChecked) {
        EndDialog(dialog, *state->closeWhenChecked);
    } else if (FAILED(state->checked)) {
        EndDialog(dialog, IDABORT);
    } else {
        *state->view = std::move(state->checkedView);
        fillPlan(dialog, *state->view);
    }
}

INT_PTR CALLBACK planDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<PlanState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    // The checks are bounded by the directory's time limits.
    if (state && HoldCloseWhileWorking(dialog, message, wParam, state->worker, IDC_PLAN_NOTE, &state->closeWhenChecked))
        return TRUE;
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<PlanState*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            AddListColumns(GetDlgItem(dialog, IDC_PLAN_LIST), kPlanColumns, static_cast<int>(ARRAYSIZE(kPlanColumns)));
            if (state->check) {
                showChecking(dialog);
                if (!state->worker.start(dialog, kPlanCheckedMessage,
                                         [state] { state->checked = state->check(&state->checkedView); })) {
                    state->checked = E_OUTOFMEMORY;
                    EndDialog(dialog, IDABORT);
                }
            } else {
                fillPlan(dialog, *state->view);
            }
            SetFocus(GetDlgItem(dialog, IDCANCEL));
            return FALSE;
        }
        case kPlanCheckedMessage:
            if (state) checksEnded(dialog, state);
            return TRUE;
        case WM_COMMAND:
            if (!state || state->worker.running()) return FALSE;
            if (LOWORD(wParam) == IDC_PLAN_REAPPLY && HIWORD(wParam) == BN_CLICKED) {
                bool reapply = IsDlgButtonChecked(dialog, IDC_PLAN_REAPPLY) == BST_CHECKED;
                if (!reapply) CheckDlgButton(dialog, IDC_PLAN_REAPPLY_SENSITIVE, BST_UNCHECKED);
                EnableWindow(GetDlgItem(dialog, IDC_PLAN_REAPPLY_SENSITIVE),
                             reapply && !state->view->sensitive.empty());
                return TRUE;
            }
            if (LOWORD(wParam) == IDC_PLAN_RESTORE && IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_RESTORE))) {
                state->choice.reapply = ReapplyOffered(*state->view) &&
                                        IsDlgButtonChecked(dialog, IDC_PLAN_REAPPLY) == BST_CHECKED;
                state->choice.reapplySensitive =
                    state->choice.reapply && !state->view->sensitive.empty() &&
                    IsDlgButtonChecked(dialog, IDC_PLAN_REAPPLY_SENSITIVE) == BST_CHECKED;
                EndDialog(dialog, IDC_PLAN_RESTORE);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

std::u16string joined(const std::vector<std::u16string>& names) {
    std::u16string text;
    for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) text += (i ? u", " : u"") + names[i];
    if (names.size() > kNamesShown) text += u" and " + lumivel::shared::WidenText(std::to_string(names.size() - kNamesShown)) + u" more";
    return text;
}

std::vector<PropertySet*> readList(VARIANT* list) {
    std::vector<PropertySet*> records;
    for (PropertySet* record : lumivel::shared::ReadObjectList(list, lumivel::shared::ListForm::AnyArray))
        if (record) records.push_back(record);
    return records;
}

}  // namespace

RestorePlanView RestorePlanViewOf(const std::vector<PropertySet*>& plan) {
    RestorePlanView view;
    if (plan.empty() || !plan.front()) return view;
    const PropertySet* header = plan.front();
    view.mayReanimate = intOrUnknown(header, kPlanMayReanimateKey);
    view.rights = header->getText(kPlanRightsKey);
    view.missingParent = header->getText(kPlanMissingParentKey);
    for (size_t i = 1; i < plan.size(); ++i) {
        const PropertySet* step = plan[i];
        if (!step) continue;
        view.rows.push_back(PlanRow{std::u16string(step->getText(u"name")), std::u16string(step->getText(u"class")),
                                    std::u16string(step->getText(u"distinguishedName")),
                                    std::u16string(step->getText(kPlanTargetKey)),
                                    std::u16string(step->getText(kExpiresKey)), intOrUnknown(step, kPlanNameTakenKey)});
    }
    return view;
}

void TakeNewestHoldingArchive(const std::vector<PropertySet*>& listing, RestorePlanView* view) {
    for (size_t i = 1; i < listing.size(); ++i) {
        const PropertySet* archive = listing[i];
        // An archive whose writer is not believed is never taken without being named.
        if (!archive || archive->getRaw(kHoldsObjectKey) == 0 || archive->getText(u"path").empty() ||
            !archive->getText(kArchiveDistrustKey).empty())
            continue;
        view->archivePath = archive->getText(u"path");
        view->archiveName = archive->getText(u"name");
        view->archiveDate = archive->getText(kBackupDateKey);
        return;
    }
}

size_t PlanStepCount(const RestorePlanView& view) { return view.rows.size() + (view.missingParent.empty() ? 0 : 1); }

std::u16string PlanRightsText(const RestorePlanView& view) {
    std::u16string verdict = view.mayReanimate == 1   ? u"You may restore these objects"
                             : view.mayReanimate == 0 ? u"You may not restore these objects"
                                                      : u"Whether you may restore these objects is not known";
    return view.rights.empty() ? verdict + u"." : verdict + u": " + view.rights + u".";
}

std::u16string PlanNoteText(const RestorePlanView& view) {
    std::u16string note;
    if (!view.missingParent.empty())
        note = u"The deleted parent " + view.missingParent +
               u" is no longer listed: a backup would recreate it, and the objects below it get their names then. ";
    size_t taken = 0;
    for (const PlanRow& row : view.rows) taken += row.nameTaken == 1;
    if (taken == 1) note += u"1 name is taken already: the restore will ask for another one.";
    if (taken > 1)
        note += lumivel::shared::WidenText(std::to_string(taken)) +
                u" names are taken already: the restore will ask for another one each.";
    if (note.empty()) note = u"No name is taken.";
    while (!note.empty() && note.back() == u' ') note.pop_back();
    return note;
}

void TakeReapplyPlan(const std::vector<PropertySet*>& plan, RestorePlanView* view) {
    view->reapplyPlanned = true;
    for (const PropertySet* record : plan) {
        if (!record) continue;
        std::u16string_view outcome = record->getText(kReapplyOutcomeKey);
        std::u16string name(record->getText(u"name"));
        bool membership = record->getRaw(kReapplyMembershipKey) != 0;
        LONG values = record->getRaw(kReapplyValueCountKey);
        view->reapplyLines.push_back(
            ReapplyLine{name, std::u16string(outcome), values > 0 ? static_cast<size_t>(values) : 0, membership});
        if (outcome == u"Withheld")
            view->sensitive.push_back((membership ? u"member of " : u"") + name);
        else if (outcome == u"WouldWrite")
            (membership ? view->wouldJoin : view->wouldWrite).push_back(name);
    }
}

std::u16string PlanArchiveText(const RestorePlanView& view) {
    if (view.archivePath.empty()) return u"No backup archive holds this object.";
    std::u16string text = u"Latest backup holding the object: " + view.archiveName +
                          (view.archiveDate.empty() ? u"" : u" (" + view.archiveDate + u")");
    if (!view.reapplyPlanned) return text;
    text += u". Would write: " + (view.wouldWrite.empty() ? u"nothing" : joined(view.wouldWrite)) + u".";
    if (!view.wouldJoin.empty()) text += u" Would join: " + joined(view.wouldJoin) + u".";
    return text;
}

std::u16string PlanSensitiveText(const RestorePlanView& view) {
    if (view.archivePath.empty() || !view.reapplyPlanned) return {};
    if (view.sensitive.empty()) return u"(nothing of the kind in this backup)";
    return joined(view.sensitive) + u".";
}

namespace {

INT_PTR runPlanDialog(HWND parent, PlanState& state, PlanChoice* choice) {
    INT_PTR result = DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_RESTORE_PLAN), parent,
                                     planDialogProc, reinterpret_cast<LPARAM>(&state));
    if (choice) *choice = result == IDC_PLAN_RESTORE ? state.choice : PlanChoice{};
    return result;
}

}  // namespace

INT_PTR ShowRestorePlanDialog(HWND parent, const RestorePlanView& view, PlanChoice* choice) {
    RestorePlanView shown = view;
    PlanState state{&shown, {}, {}, {}, S_OK, std::nullopt, {}};
    return runPlanDialog(parent, state, choice);
}

INT_PTR ShowCheckedRestorePlanDialog(HWND parent, std::function<HRESULT(RestorePlanView*)> check, RestorePlanView* view,
                                     PlanChoice* choice, HRESULT* checked) {
    PlanState state{view, {}, std::move(check), {}, S_OK, std::nullopt, {}};
    INT_PTR result = runPlanDialog(parent, state, choice);
    if (checked) *checked = state.checked;
    return result;
}

std::u16string ReapplyReportText(const std::vector<PropertySet*>& report, HRESULT result,
                                 std::u16string_view archiveName) {
    if (FAILED(result))
        return u"The attributes could not be re-applied from " + std::u16string(archiveName) +
               u": the backup or the restored object could not be read. Nothing was written.";
    std::vector<std::u16string> written, refused, already, gone, withheld;
    size_t leftAlone = 0;
    for (const PropertySet* record : report) {
        if (!record) continue;
        std::u16string_view outcome = record->getText(kReapplyOutcomeKey);
        std::u16string name(record->getText(u"name"));
        if (record->getRaw(kReapplyMembershipKey)) name = u"member of " + name;
        if (outcome == u"Written")
            written.push_back(name);
        else if (outcome == u"Refused")
            refused.push_back(name + u" (" + std::u16string(record->getText(kReapplyErrorKey)) + u")");
        else if (outcome == u"AlreadyMember")
            already.emplace_back(record->getText(u"name"));
        else if (outcome == u"Gone")
            gone.emplace_back(record->getText(u"name"));
        else if (outcome == u"Withheld")
            withheld.push_back(name);
        else
            ++leftAlone;
    }
    std::u16string text = u"Re-applied from " + std::u16string(archiveName) + u".\n\nWritten: " +
                          (written.empty() ? u"nothing" : joined(written)) + u".";
    if (!refused.empty()) text += u"\n\nRefused: " + joined(refused) + u".";
    if (!already.empty()) text += u"\n\nAlready a member of: " + joined(already) + u".";
    if (!gone.empty()) text += u"\n\nGroups that are gone: " + joined(gone) + u".";
    if (!withheld.empty())
        text += u"\n\nWithheld (grants access or runs code; written only when the second box is checked): " +
                joined(withheld) + u".";
    if (leftAlone)
        text += u"\n\nLeft alone (restricted, or not writable by you): " +
                lumivel::shared::WidenText(std::to_string(leftAlone)) + u".";
    return text;
}

namespace {

// Command 314's listing of the record's backup folder, for the object; an unreadable folder
// only means there is nothing to re-apply from.
void listBackupsOf(const PropertySet* record, lumivel::VariantHolder* listing) {
    PropertySet* request = PropertySet::create();
    if (!request) return;
    request->setText(u"FocusedDC", record->getText(u"FocusedDC"));
    request->setText(kBackupObjectKey, record->getText(u"distinguishedName"));
    ListBackups(request, listing->get());
    request->release();
}

void findNewestArchive(const PropertySet* record, RestorePlanView* view) {
    lumivel::VariantHolder listing;
    listBackupsOf(record, &listing);
    TakeNewestHoldingArchive(readList(listing.get()), view);
    lumivel::shared::FreeObjectListRecords(listing.get());
}

}  // namespace

void PlanReapplyOfNewest(const PropertySet* record, const std::vector<PropertySet*>& listing, AttributeLists& lists,
                         RestorePlanView* view) {
    TakeNewestHoldingArchive(listing, view);
    if (view->archivePath.empty()) return;
    PropertySet* request = PropertySet::create();
    if (!request) return;
    for (LPCWSTR key : {u"distinguishedName", u"FocusedDC", u"class"}) request->setText(key, record->getText(key));
    request->setText(kReapplyArchiveKey, view->archivePath);
    request->setInt(kReapplyPlanOnlyKey, 1);
    lumivel::VariantHolder plan;
    if (SUCCEEDED(Revivo::ReapplyBackupWith(lists, request, plan.get()))) TakeReapplyPlan(readList(plan.get()), view);
    lumivel::shared::FreeObjectListRecords(plan.get());
    request->release();
}

bool ReapplyOffered(const RestorePlanView& view) {
    if (view.archivePath.empty()) return false;
    return !view.reapplyPlanned || !view.wouldWrite.empty() || !view.wouldJoin.empty() || !view.sensitive.empty();
}

HRESULT Revivo::ShowRestorePlan(HWND parent, PropertySet* record, VARIANT* result) {
    RestorePlanView view;
    PlanChoice choice;
    const bool answeredByRecord = record->has(kReapplyKey);
    if (answeredByRecord) {
        // The record answers the dialog: no plan to show, the same restore to run.
        choice.reapply = record->getRaw(kReapplyKey) != 0;
        choice.reapplySensitive = choice.reapply && record->getRaw(kReapplySensitiveKey) != 0;
        view.archivePath = record->getText(kReapplyArchiveKey);
        if (choice.reapply && view.archivePath.empty()) findNewestArchive(record, &view);
        view.archiveName = view.archivePath.substr(view.archivePath.find_last_of(u"/\\") + 1);
    } else if (!MayAskInDialogs()) {
        AskCaller(kReapplyKey);
        NoteFailure(HRESULT_FROM_WIN32(ERROR_CANCELLED), u"Restore Plan", u"The plan was not confirmed.");
        return S_FALSE;
    } else {
        // The plan's directory reads and checks run off the console's thread, the dialog
        // saying so meanwhile; a record no plan can be made for opens none.
        HRESULT checked = CanPlanRestoreOf(record) ? S_OK : E_INVALIDARG;
        // The re-apply plan is worked out on the worker: with lists of its own, since the
        // provider's belong to the console's thread.
        AttributeLists lists(attributeLists().ConfigurationPath());
        INT_PTR answer = FAILED(checked) ? IDABORT : ShowCheckedRestorePlanDialog(
            parent,
            [&](RestorePlanView* planned) {
                lumivel::VariantHolder plan;
                HRESULT hr = PlanRestore(record, plan.get());
                if (SUCCEEDED(hr)) *planned = RestorePlanViewOf(readList(plan.get()));
                lumivel::shared::FreeObjectListRecords(plan.get());
                if (FAILED(hr)) return hr;
                lumivel::VariantHolder listing;
                listBackupsOf(record, &listing);
                PlanReapplyOfNewest(record, readList(listing.get()), lists, planned);
                lumivel::shared::FreeObjectListRecords(listing.get());
                return S_OK;
            },
            &view, &choice, &checked);
        if (answer == IDABORT && FAILED(checked)) {
            std::u16string text = u"The restore plan could not be worked out: " + SystemErrorText(static_cast<DWORD>(checked));
            MessageBoxW(parent, text.c_str(), u"Restore Plan", MB_OK | MB_ICONSTOP);
            return S_FALSE;
        }
        if (answer != IDC_PLAN_RESTORE) return S_FALSE;
    }

    // Chosen in the dialog, the restore runs under the progress dialog, as a selection's does.
    size_t planned = answeredByRecord ? 0 : std::max<size_t>(PlanStepCount(view), 1);
    HRESULT restored = RunRestoreCommand(parent, kCommandRestore, record, result, planned);
    if (restored != S_OK || !choice.reapply) return restored;
    if (view.archivePath.empty()) {
        ShowMessage(parent, u"No backup archive holds this object: nothing was re-applied.", u"Re-apply Attributes",
                    MB_OK | MB_ICONWARNING);
        return restored;
    }
    PropertySet* request = PropertySet::create();
    if (!request) return restored;
    request->setText(u"distinguishedName", record->getText(u"distinguishedName"));
    request->setText(u"FocusedDC", record->getText(u"FocusedDC"));
    request->setText(kReapplyArchiveKey, view.archivePath);
    request->setInt(kReapplySensitiveKey, choice.reapplySensitive ? 1 : 0);
    lumivel::VariantHolder report;
    HRESULT reapplied;
    {
        BusyCursor busy;
        reapplied = RunReapplyCommand(parent, request, report.get());
    }
    request->release();
    std::u16string text = ReapplyReportText(readList(report.get()), reapplied, view.archiveName);
    lumivel::shared::FreeObjectListRecords(report.get());
    ShowMessage(parent, text, u"Re-apply Attributes", MB_OK | (reapplied == S_OK ? MB_ICONINFORMATION : MB_ICONWARNING));
    return restored;
}

}  // namespace revivo
