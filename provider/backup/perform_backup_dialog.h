// Dialog 109 "Perform Backup", opened by command 310: the first selected object's DN, OK to
// back the selection up at once, "&Schedule" to turn the backup into a scheduled job.
#pragma once

#include <string>
#include <vector>

#include "provider/platform_headers.h"
#include "shared/property_set.h"

namespace revivo {

class Revivo;

// What command 310 hands the dialog, in the order it hands it over.
struct PerformBackupInput {
    Revivo* provider = nullptr;
    std::u16string server;  // the focused domain controller of the selection
    PropertySet* record = nullptr;  // the first selected object
    std::vector<PropertySet*> selection;
};

// The dialog's result: 1 after OK, 0 after Cancel, closing, or scheduling.
INT_PTR ShowPerformBackupDialog(HWND parent, PerformBackupInput& input);

// "&Schedule": asks for the schedule and the account and registers the job. True when the job
// was confirmed and the dialog is to close (with 0, as no backup is made now); false keeps the
// dialog open.
bool ScheduleBackup(HWND dialog, PerformBackupInput& input);

}  // namespace revivo
