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
#include "scheduler_usage.h"

int main(int argc, char** argv) {
    if (std::optional<int> answered =
            lumivel::AnswerHelpOrVersion(argc, argv, "lumivel-scheduler", lumivel::scheduler::kSchedulerUsage))
        return *answered;
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
