// Dialog 109 "Perform Backup", opened by command 310: the first selected object's DN, OK to
// back the selection up at once, "&Schedule" to turn the backup into a scheduled job.
#pragma once

#include "provider/backup/perform_backup.h"
#include "win/types.h"

namespace revivo {

// The dialog's result: 1 after OK, 0 after Cancel, closing, or scheduling.
INT_PTR ShowPerformBackupDialog(HWND parent, PerformBackupInput& input);

// "&Schedule": asks for the schedule and the account and registers the job. True when the job
// was confirmed and the dialog is to close (with 0, as no backup is made now); false keeps the
// dialog open.
bool ScheduleBackup(HWND dialog, PerformBackupInput& input);

}  // namespace revivo
