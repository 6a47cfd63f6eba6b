// Command 321: the one plan for several selected tombstones in the "Restore Selected" dialog,
// their restore with progress, and the report of each object's outcome.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "provider/dialogs/subtree_report_dialog.h"
#include "provider/restore/restore_many.h"

namespace revivo {

struct SelectedPlanView {
    std::vector<SharedPlanStep> steps;  // in the order they come back
    size_t selected = 0;                // how many objects were asked for
    int mayReanimate = -1;              // 1, 0, or -1 when the directory would not tell
    std::u16string rights;
};

// "2 selected objects come back, and first the 1 deleted parent they need." and the rights.
std::u16string SelectedPlanSummaryText(const SelectedPlanView& view);
// What cannot be done in one go: parents only a backup recreates, answers the batch cannot ask.
std::u16string SelectedPlanNoteText(const SelectedPlanView& view);

// IDC_SELECTED_RESTORE when the administrator chose "&Restore", otherwise IDCANCEL or 0.
INT_PTR ShowRestoreSelectedDialog(HWND parent, const SelectedPlanView& view);

// What the summary says while the checks run.
inline constexpr const char16_t* kSelectedCheckingText = u"Checking the plan and your rights...";

// The same dialog, shown at once: it says it is checking, with Restore off, while `check`
// fills *view on a thread of its own, and then shows the plan; closed meanwhile, it ends once
// the checks have. IDABORT when no thread could be made.
INT_PTR ShowCheckedRestoreSelectedDialog(HWND parent, std::function<void(SelectedPlanView*)> check,
                                         SelectedPlanView* view);

// The report's rows: each planned object with the DN it got (or was to get) and its outcome.
std::vector<SubtreeReportRow> SelectedReportRows(const std::vector<SharedPlanStep>& plan,
                                                 const SharedRestoreResult& result);

}  // namespace revivo
