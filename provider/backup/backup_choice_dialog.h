// Dialog 204 "Restore": the archives of the backup folder that hold a deleted object,
// newest first, for the restore to recreate the object's former parent from.
#pragma once

#include "shared/property_set.h"
#include "shared/provider_interfaces.h"
#include "win/types.h"

namespace revivo {

// The record key a restore from backup reads the archive's full path from.
using ::kRestoreFromFileKey;

// Lists the archives of the record's backup folder (its "FocusedDC"'s, or the policy's) that
// hold the object named by the record's tombstone DN and lets the user pick one. True with
// the archive's full path stored under "RestoreFromFile"; false when the user cancelled or no
// archive holds the object (the dialog is then not shown). For a caller that asked for no
// dialogs the choice is handed back as the question, with the archives, and false returned.
bool ChooseBackupArchive(HWND parent, PropertySet* record);

}  // namespace revivo
