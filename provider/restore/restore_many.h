// Command 321's restore: the steps of one shared plan brought back in order, each as command
// 311 brings one back, with a word before each so that a caller can show progress and stop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "provider/restore/restore_plan.h"
#include "shared/audit_log.h"

namespace revivo {

struct StepOutcome {
    enum Kind { Restored, Failed, NotAttempted };
    Kind kind = NotAttempted;
    std::u16string newDn, error;
};

struct SharedRestoreResult {
    // One per step of the plan, in its order.
    std::vector<StepOutcome> outcomes;
    // What the view holds of what came back: the asked objects' own records and the listing's
    // addresses of deleted parents.
    std::vector<LONG_PTR> restoredRecords;
    std::vector<lumivel::shared::AuditEntry> audit;
    bool stopped = false;
};

// Why a step below a deleted parent no longer listed failed in a batch, which asks no one.
inline constexpr char16_t kNeedsRecreatedParent[] =
    u"its deleted parent is no longer listed, and only a backup recreates it: restore this object alone";

// Why a step a Cancel came before was not attempted.
inline constexpr char16_t kStoppedBeforeIt[] = u"the restore was stopped before it";

// The words of an outcome as the reports show them.
const char16_t* OutcomeText(StepOutcome::Kind kind);

}  // namespace revivo
