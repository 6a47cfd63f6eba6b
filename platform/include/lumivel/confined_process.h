// Child processes that run under another account and within limits (not a Windows API; the
// scheduler starts its jobs this way).
//
// The command line, environment block and folder are read as CreateProcessW reads them. The
// child becomes the leader of a session of its own, takes on the limits, and then, when an
// account is given, leaves root for good: its supplementary groups become exactly the ones
// given, its real, effective and saved group and user IDs the account's, and its capability
// sets (bounding set included, where this process may change it) empty. It can never gain
// privileges again (no-new-privs) and its files are private (umask 077). Each step is checked
// before the program starts: a step that fails ends the child, and the call fails with the
// step's error and says which step it was, so that nothing runs half confined.
//
// Ending such a process (TerminateProcess, or its own end) ends what it left running in its
// session too, so nothing of a run outlives it unseen.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/processes.h"

namespace lumivel {

struct ProcessAccount {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // the supplementary groups, the account's own ones
};

struct ProcessLimits {
    uint64_t addressSpaceBytes = 0;  // RLIMIT_AS; 0: unchanged
    uint64_t cpuSeconds = 0;         // RLIMIT_CPU; SIGXCPU at the limit, SIGKILL a little later
    uint64_t processes = 0;          // RLIMIT_NPROC, counted per account
};

struct ProcessConfinement {
    std::optional<ProcessAccount> account;
    ProcessLimits limits;
};

// TRUE with *information filled in, or FALSE with the last error set and *failedStep naming
// what could not be done ("setresuid", "chdir", "execve" ...).
LUMIVEL_EXPORT BOOL CreateConfinedProcessW(LPWSTR commandLine, LPVOID unicodeEnvironment, LPCWSTR currentDirectory,
                                           const ProcessConfinement& confinement, PROCESS_INFORMATION* information,
                                           std::string* failedStep);

// How a process that has ended went: the signal that ended it (0 when it exited) and the
// processor time it used. FALSE while it runs or for a handle that is no process.
struct ProcessEnd {
    int signal = 0;
    double cpuSeconds = 0;
};
LUMIVEL_EXPORT BOOL GetProcessEnd(HANDLE process, ProcessEnd* end);

}  // namespace lumivel
