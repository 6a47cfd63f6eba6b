// lumivel-scheduler: the service that fires the work items of the task folder.
//
//     lumivel-scheduler [--foreground]
//
// It runs until SIGTERM or SIGINT (SIGHUP reads the folder again) and logs to the system log;
// --foreground also writes the log on stderr, for tests and for hosts without systemd.
#include <cstdio>
#include <cstring>

#include "lumivel/program_information.h"
#include "scheduler_service.h"

namespace {

constexpr char kUsage[] =
    "usage: lumivel-scheduler [--foreground] | --help | --version\n"
    "The service that fires the scheduled backup jobs of the task folder ($LUMIVEL_TASK_FOLDER,\n"
    "default /var/lib/lumivel/tasks), each under the account lumivel. It logs to the system log;\n"
    "--foreground also writes the log on stderr. SIGHUP reads the folder again, SIGTERM stops it.\n";

}  // namespace

int main(int argc, char** argv) {
    if (std::optional<int> answered = lumivel::AnswerHelpOrVersion(argc, argv, "lumivel-scheduler", kUsage)) return *answered;
    auto echo = lumivel::scheduler::LogEcho::SystemLogOnly;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--foreground") == 0) {
            echo = lumivel::scheduler::LogEcho::AlsoStandardError;
        } else {
            std::fprintf(stderr, "lumivel-scheduler: unknown argument '%s'\nTry 'lumivel-scheduler --help' for more information.\n",
                         argv[i]);
            return 2;
        }
    }
    return lumivel::scheduler::RunSchedulerService(echo);
}
