// What lumivel-scheduler --help says; its manual page is made from the same text.
#pragma once

namespace lumivel::scheduler {

inline constexpr char kSchedulerUsage[] =
    "usage: lumivel-scheduler [--foreground] | --help | --version\n"
    "The service that fires the scheduled backup jobs of the task folder ($LUMIVEL_TASK_FOLDER,\n"
    "default /var/lib/lumivel/tasks), each under the account lumivel. It logs to the system log;\n"
    "--foreground also writes the log on stderr. SIGHUP reads the folder again, SIGTERM stops it.\n";

}  // namespace lumivel::scheduler
