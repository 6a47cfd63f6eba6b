// The service that fires the work items of the task folder (libplatform, for the lumivel-scheduler program).
//
// It runs as the folder's owner and holds the folder's service mark while it runs. It reads
// the items again whenever the folder changes, starts each due item in a process of its own
// (never a second instance of an item that is still running), obtains the item's ticket from
// its keytab into a credential cache of that run alone, records the last run, exit code and
// status in the item, stops a run that outlives the item's maximum run time, and deletes an
// item flagged TASK_FLAG_DELETE_WHEN_DONE once it has no further run time. Runs that fell due
// while the service was not running are not made up. Everything it does goes to the system
// log (and to stderr when it runs in the foreground).
#pragma once

#include "win/types.h"

namespace lumivel::scheduler {

enum class LogEcho { SystemLogOnly, AlsoStandardError };

// Runs until SIGTERM or SIGINT; the exit status for the process.
LUMIVEL_EXPORT int RunSchedulerService(LogEcho echo);

}  // namespace lumivel::scheduler
