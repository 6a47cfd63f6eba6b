// Command 319: command 315's plan shown in the "Restore Plan" dialog, from which the
// administrator restores (and may re-apply the latest backup holding the object).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "provider/backup/attribute_lists.h"
#include "shared/property_set.h"
#include "win/types.h"

namespace revivo {

struct PlanRow {
    std::u16string name, className, tombstone, target, expires;
    int nameTaken = -1;  // 1 taken, 0 free, -1 not known (no target yet)
};

// One attribute or group of command 318's plan.
struct ReapplyLine {
    std::u16string name, outcome;
    size_t values = 0;  // of an attribute: how many the backup holds
    bool membership = false;
};

struct RestorePlanView {
    int mayReanimate = -1;  // 1, 0, or -1 when the directory would not tell
    std::u16string rights, missingParent;
    std::vector<PlanRow> rows;  // in the order they come back, deleted parents first
    // The newest backup archive holding the object; empty when none does.
    std::u16string archivePath, archiveName, archiveDate;
    // What re-applying that archive would do (command 318's plan): attributes written and
    // groups joined without consent, and what needs it (the second check box).
    bool reapplyPlanned = false;
    std::vector<std::u16string> wouldWrite, wouldJoin, sensitive;
    std::vector<ReapplyLine> reapplyLines;  // the whole plan, in its order
};

// The view of command 315's result (header record first).
RestorePlanView RestorePlanViewOf(const std::vector<PropertySet*>& plan);
// Takes from command 314's answer (header, then archives newest first) the newest archive
// that holds the object.
void TakeNewestHoldingArchive(const std::vector<PropertySet*>& listing, RestorePlanView* view);

// Takes command 318's plan (kReapplyPlanOnlyKey) into the view.
void TakeReapplyPlan(const std::vector<PropertySet*>& plan, RestorePlanView* view);

// The newest trusted archive of command 314's listing that holds the record's object, and what
// re-applying it would do (command 318's plan, with the lists given): what the dialog offers,
// and what the object's details say it would offer. Nothing is written.
void PlanReapplyOfNewest(const PropertySet* record, const std::vector<PropertySet*>& listing, AttributeLists& lists,
                         RestorePlanView* view);

// Whether the plan offers "Re-apply": an archive holds the object and its plan, when it could be
// worked out, would bring something back (with consent or without).
bool ReapplyOffered(const RestorePlanView& view);

// How many steps the plan's restore takes, as its progress counts them: each object it brings
// back, and before them the deleted parent a backup recreates when one is no longer listed.
size_t PlanStepCount(const RestorePlanView& view);

// The dialog's texts, also what the dialog's test reads.
std::u16string PlanRightsText(const RestorePlanView& view);
std::u16string PlanNoteText(const RestorePlanView& view);
std::u16string PlanArchiveText(const RestorePlanView& view);
std::u16string PlanSensitiveText(const RestorePlanView& view);

struct PlanChoice {
    bool reapply = false;
    bool reapplySensitive = false;  // the second check box: only with reapply
};

// IDC_PLAN_RESTORE when the administrator chose "&Restore" (with *choice the check boxes),
// otherwise IDCANCEL or 0.
INT_PTR ShowRestorePlanDialog(HWND parent, const RestorePlanView& view, PlanChoice* choice);

// What the plan says while its checks run.
inline constexpr const char16_t* kPlanCheckingText = u"Checking your rights, the names and the backups...";

// The same dialog, shown at once: it says it is checking, with Restore off, while `check`
// fills *view on a thread of its own, and then shows the plan. IDABORT, with *checked the
// reason, when the checks failed; closed meanwhile, it ends once they have.
INT_PTR ShowCheckedRestorePlanDialog(HWND parent, std::function<HRESULT(RestorePlanView*)> check, RestorePlanView* view,
                                     PlanChoice* choice, HRESULT* checked);

// What a message box says after command 318: what was written and what refused.
std::u16string ReapplyReportText(const std::vector<PropertySet*>& report, HRESULT result,
                                 std::u16string_view archiveName);

}  // namespace revivo
