// Command 320: a deleted container and what is listed below it, restored after the
// administrator confirmed how many objects come back, with progress, a Cancel that stops
// after the object under way, and a report of each one.
#include "provider/dialogs/subtree_report_dialog.h"

#include <optional>

#include "lumivel/variant_holder.h"
#include "provider/common/system_error_text.h"
#include "provider/common/command_report.h"
#include "provider/common/dialog_helpers.h"
#include "provider/dialogs/list_view_rows.h"
#include "provider/common/resource_ids.h"
#include "provider/dialogs/restore_plan_dialog.h"
#include "provider/dialogs/restore_progress_dialog.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

namespace revivo {

namespace {

constexpr ListColumn kReportColumns[] = {
    {u"Name", 17}, {u"Class", 15}, {u"Target DN", 33}, {u"Outcome", 13}, {u"Error", 22}};

struct ReportInput {
    const std::vector<SubtreeReportRow>* rows;
    LPCWSTR caption;
};

std::u16string numberText(size_t number) { return lumivel::shared::WidenText(std::to_string(number)); }

INT_PTR CALLBACK reportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG: {
            const auto& report = *reinterpret_cast<const ReportInput*>(lParam);
            const std::vector<SubtreeReportRow>& rows = *report.rows;
            if (report.caption) SetWindowTextW(dialog, report.caption);
            SetDlgItemTextW(dialog, IDC_SUBTREE_SUMMARY, SubtreeSummaryText(rows).c_str());
            HWND list = GetDlgItem(dialog, IDC_SUBTREE_LIST);
            AddListColumns(list, kReportColumns, static_cast<int>(ARRAYSIZE(kReportColumns)));
            for (const SubtreeReportRow& row : rows)
                AddListRow(list, {lumivel::shared::PlainTombstoneName(row.name), row.className, row.target, row.outcome,
                                  row.error});
            SetFocus(GetDlgItem(dialog, IDOK));
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

std::vector<SubtreeReportRow> SubtreeReportRowsOf(const std::vector<PropertySet*>& report) {
    std::vector<SubtreeReportRow> rows;
    for (const PropertySet* record : report) {
        if (!record) continue;
        std::u16string outcome(record->getText(kSubtreeOutcomeKey));
        if (outcome == u"NotAttempted") outcome = u"Not attempted";
        rows.push_back(SubtreeReportRow{std::u16string(record->getText(u"name")),
                                        std::u16string(record->getText(u"class")),
                                        std::u16string(record->getText(u"distinguishedName")),
                                        std::u16string(record->getText(kPlanTargetKey)), std::move(outcome),
                                        std::u16string(record->getText(kSubtreeErrorKey))});
    }
    return rows;
}

std::u16string SubtreeSummaryText(const std::vector<SubtreeReportRow>& rows) {
    size_t restored = 0, failed = 0;
    for (const SubtreeReportRow& row : rows) {
        restored += row.outcome == u"Restored";
        failed += row.outcome == u"Failed";
    }
    size_t notAttempted = rows.size() - restored - failed;
    std::u16string text = numberText(restored) + (restored == 1 ? u" object restored" : u" objects restored");
    if (failed) text += u", " + numberText(failed) + u" failed";
    if (notAttempted) text += u", " + numberText(notAttempted) + u" not attempted";
    return text + u".";
}

std::u16string SubtreeConfirmationText(std::u16string_view containerName, size_t count) {
    std::u16string name = u"\"" + lumivel::shared::PlainTombstoneName(containerName) + u"\"";
    if (count <= 1)
        return u"Nothing deleted is listed below " + name + u". Restore just " + name +
               u" (and any deleted parent it needs)?";
    return u"Restore " + name + u" and the " + numberText(count - 1) +
           (count == 2 ? u" deleted object" : u" deleted objects") + u" listed below it, " + numberText(count) +
           u" objects in all (and any deleted parent the container needs), parents first?";
}

void ShowSubtreeReportDialog(HWND parent, const std::vector<SubtreeReportRow>& rows, LPCWSTR caption) {
    ReportInput input{&rows, caption};
    DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_SUBTREE_REPORT), parent, reportDialogProc,
                    reinterpret_cast<LPARAM>(&input));
}

HRESULT Revivo::RestoreSubtreeWithReport(HWND parent, PropertySet* record, VARIANT* result) {
    size_t count = ListedSubtreeSize(record);
    if (count == 0) {
        ShowFailure(parent, E_INVALIDARG,
                    u"This object is not a listed tombstone and cannot be restored with what is below it.",
                    u"Restore Subtree", MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    std::u16string question = SubtreeConfirmationText(record->getText(u"name"), count);
    if (ShowMessage(parent, question, u"Restore Subtree", MB_YESNO | MB_ICONQUESTION) != IDYES) return S_FALSE;

    lumivel::VariantHolder report;
    std::vector<TombstoneRef> forgotten;
    HRESULT restored;
    {
        // The container (which may ask) comes back under a busy cursor; what lies below it
        // runs off this thread with the progress dialog, whose Cancel leaves the rest listed.
        std::optional<BusyCursor> busy(std::in_place);
        RestoreRunner withProgress = ProgressRunner(parent);
        restored = RestoreSubtree(parent, record, report.get(), &forgotten,
                                  [&](const std::function<void(const RestoreStepGate&)>& work) {
                                      busy.reset();
                                      return withProgress(work);
                                  });
    }
    std::vector<PropertySet*> reported;
    for (PropertySet* entry : lumivel::shared::ReadObjectList(report.get(), lumivel::shared::ListForm::AnyArray))
        if (entry) reported.push_back(entry);
    std::vector<SubtreeReportRow> rows = SubtreeReportRowsOf(reported);
    lumivel::shared::FreeObjectListRecords(report.get());
    if (FAILED(restored) && rows.empty()) {
        std::u16string text = u"The subtree could not be restored: " + SystemErrorText(static_cast<DWORD>(restored));
        ShowFailure(parent, restored, text, u"Restore Subtree", MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    ShowSubtreeReportDialog(parent, rows);

    // As command 311 reports them: the caller's own record, and every other restored object at
    // the address the listing handed it out at.
    std::u16string selectedName(record->getText(u"distinguishedName"));
    std::vector<LONG_PTR> records;
    for (const SubtreeReportRow& row : rows)
        if (row.outcome == u"Restored" && lumivel::EqualsNoCase(row.tombstone, selectedName))
            records.push_back(reinterpret_cast<LONG_PTR>(record));
    for (const TombstoneRef& copy : forgotten)
        if (!lumivel::EqualsNoCase(copy->distinguishedName(), selectedName) && copy->handedOut())
            records.push_back(copy->handedOut());
    if (records.empty()) return S_FALSE;
    HandOutObjectsDeleted(records, result);
    return S_OK;
}

}  // namespace revivo
