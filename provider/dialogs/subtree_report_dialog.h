// Command 320: command 316 after a confirmation, its outcome shown in the "Restore Subtree"
// report.
#pragma once

#include <string>
#include <vector>

#include "shared/property_set.h"
#include "win/types.h"

namespace revivo {

struct SubtreeReportRow {
    std::u16string name, className, tombstone, target, outcome, error;
};

// The rows of command 316's result, outcomes in words ("Restored", "Failed", "Not attempted").
std::vector<SubtreeReportRow> SubtreeReportRowsOf(const std::vector<PropertySet*>& report);
// "3 objects restored, 1 failed, 2 not attempted."
std::u16string SubtreeSummaryText(const std::vector<SubtreeReportRow>& rows);
// The question asked before anything changes; count includes the container itself.
std::u16string SubtreeConfirmationText(std::u16string_view containerName, size_t count);

// The report under its own caption ("Restore Subtree" unless another is given).
void ShowSubtreeReportDialog(HWND parent, const std::vector<SubtreeReportRow>& rows, LPCWSTR caption = nullptr);

}  // namespace revivo
