// lumivel-scheduler: the service that fires the work items of the task folder.
//
//     lumivel-scheduler [--foreground]
//
// It runs until SIGTERM or SIGINT (SIGHUP reads the folder again) and logs to the system log;
// --foreground also writes the log on stderr, for tests and for hosts without systemd.
#include <cstdio>
#include <cstring>

#include "scheduler_service.h"

int main(int argc, char** argv) {
    auto echo = lumivel::scheduler::LogEcho::SystemLogOnly;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--foreground") == 0) {
            echo = lumivel::scheduler::LogEcho::AlsoStandardError;
        } else {
            std::fprintf(stderr, "usage: lumivel-scheduler [--foreground]\n");
            return 2;
        }
    }
    return lumivel::scheduler::RunSchedulerService(echo);
}
