#include "bench/common/timed_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

extern char** environ;

namespace bench {

ProcessRun RunProcess(const std::vector<std::string>& words) {
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    for (auto& word : copies) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    struct rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return {};
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return ProcessRun{elapsed, usage.ru_maxrss};
}

double TimeProcess(const std::vector<std::string>& words) { return RunProcess(words).seconds; }

std::optional<std::array<double, 3>> LoadAverages() {
    std::ifstream file("/proc/loadavg");
    std::array<double, 3> load{};
    if (!(file >> load[0] >> load[1] >> load[2])) return std::nullopt;
    return load;
}

std::string MachineLoad() {
    const std::optional<std::array<double, 3>> load = LoadAverages();
    if (!load) return "unknown";
    char text[96];
    std::snprintf(text, sizeof text, "load %.2f %.2f %.2f on %ld cores", (*load)[0], (*load)[1], (*load)[2],
                  sysconf(_SC_NPROCESSORS_ONLN));
    return text;
}

std::vector<std::string> TombstoneLdapsearch(const std::string& server, const std::string& baseDn) {
    return {"ldapsearch", "-Q", "-LLL", "-N", "-Y", "GSSAPI", "-O", "minssf=56", "-H", "ldap://" + server,
            "-b", "<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + baseDn + ">", "-s", "one",
            "-E", "!1.2.840.113556.1.4.417", "-E", "pr=1000/noprompt", "(objectClass=*)",
            "cn", "ou", "distinguishedName", "lastKnownParent", "objectClass", "whenChanged"};
}

}  // namespace bench
