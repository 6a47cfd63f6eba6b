// "&Schedule" of the "Perform Backup" dialog.
#include "provider/backup/perform_backup_dialog.h"

namespace revivo {

// FIXME: the schedule form, the backup script and the scheduled work item come with the
// scheduler; until then the button does nothing and the dialog stays open.
bool ScheduleBackup(HWND, PerformBackupInput&) { return false; }

}  // namespace revivo
