// The scheduled work item of a backup.
#pragma once

#include "shared/property_set.h"
#include "win/types.h"

namespace revivo {

inline constexpr char16_t kBackupTaskComment[] = u"Scheduled Revivo Backup";

// Creates and saves the work item the settings describe: named "name", running "path" (put
// between quotes) with "parameter", one trigger, the account, TASK_FLAG_DELETE_WHEN_DONE and
// the comment. The first failing step's HRESULT is returned and the task folder is left as it
// was: HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) when an item of that name exists already, the
// account's refusal (a wrong password: ERROR_LOGON_FAILURE) when it is refused.
HRESULT CreateBackupTask(const PropertySet& settings);

}  // namespace revivo
