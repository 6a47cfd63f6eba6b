#include "bench/common/timed_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>

extern char** environ;

namespace bench {

double TimeProcess(const std::vector<std::string>& words) {
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
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

std::vector<std::string> TombstoneLdapsearch(const std::string& server, const std::string& baseDn) {
    return {"ldapsearch", "-Q", "-LLL", "-N", "-Y", "GSSAPI", "-O", "minssf=56", "-H", "ldap://" + server,
            "-b", "<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + baseDn + ">", "-s", "one",
            "-E", "!1.2.840.113556.1.4.417", "-E", "pr=1000/noprompt", "(objectClass=*)",
            "cn", "ou", "distinguishedName", "lastKnownParent", "objectClass", "whenChanged"};
}

}  // namespace bench
