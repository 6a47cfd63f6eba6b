// The start of a confined child (see lumivel/confined_process.h).
//
// Between fork and exec the child may only make system calls: everything it needs is made
// ready before the fork, and it reports a failed step through a close-on-exec pipe, so that
// the parent learns of the failure before it hands out a handle. The credential calls are the
// raw system calls: the C library's wrappers would try to change the other threads of a
// process that, in the child, no longer exist.
#include <grp.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "process_launch.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

extern char** environ;

namespace lumivel {
namespace {

// Processor seconds between SIGXCPU and SIGKILL, for a program that ignores the first.
constexpr rlim_t kCpuGraceSeconds = 5;

enum Step {
    kSession,
    kLimits,
    kBoundingSet,
    kGroups,
    kGroupIds,
    kUserIds,
    kCapabilities,
    kCheck,
    kNoNewPrivileges,
    kDirectory,
    kExecute,
};
constexpr const char* kStepNames[] = {"setsid",       "setrlimit",       "the capability bounding set",
                                      "setgroups",    "setresgid",       "setresuid",
                                      "the capability sets", "the account check", "no-new-privs",
                                      "chdir",        "execve"};

struct Failure {
    int step;
    int error;
};

struct Prepared {
    const char* program;
    char* const* argv;
    char* const* envp;
    const char* directory;
    const ProcessConfinement* confinement;
    const gid_t* groups;
    size_t groupCount;
    gid_t* groupsSeen;  // room for groupCount + 1
    int lastCapability;
    int report;
};

[[noreturn]] void Abandon(const Prepared& p, Step step, int error) {
    Failure failure{step, error ? error : EPERM};
    [[maybe_unused]] ssize_t n = ::write(p.report, &failure, sizeof failure);
    ::_exit(127);
}

// Lowers a limit, never raises one: a hard limit above the one in force could not be set.
bool Lower(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit current {};
    if (::getrlimit(resource, &current) != 0) return false;
    struct rlimit wanted {std::min(soft, current.rlim_max), std::min(hard, current.rlim_max)};
    return ::setrlimit(resource, &wanted) == 0;
}

bool SetLimits(const ProcessLimits& limits) {
    // A core dump would hold the run's ticket.
    if (!Lower(RLIMIT_CORE, 0, 0)) return false;
    if (limits.addressSpaceBytes && !Lower(RLIMIT_AS, limits.addressSpaceBytes, limits.addressSpaceBytes)) return false;
    if (limits.cpuSeconds && !Lower(RLIMIT_CPU, limits.cpuSeconds, limits.cpuSeconds + kCpuGraceSeconds)) return false;
    if (limits.processes && !Lower(RLIMIT_NPROC, limits.processes, limits.processes)) return false;
    return true;
}

bool CapabilitiesAreEmpty() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    for (const auto& d : data)
        if (d.effective || d.permitted || d.inheritable) return false;
    return true;
}

bool TakeOnAccount(const Prepared& p, Step* failed) {
    const ProcessAccount& account = *p.confinement->account;
    // Dropping from the bounding set needs CAP_SETPCAP; without it the set is what the service
    // was given, and the empty sets below are what keep the child unprivileged.
    for (int cap = 0; cap <= p.lastCapability; ++cap) {
        if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) == 0) continue;
        if (errno == EPERM && cap == 0) break;
        if (errno == EINVAL) break;
        return *failed = kBoundingSet, false;
    }
    if (::syscall(SYS_setgroups, p.groupCount, p.groups) != 0) return *failed = kGroups, false;
    if (::syscall(SYS_setresgid, account.gid, account.gid, account.gid) != 0) return *failed = kGroupIds, false;
    if (::syscall(SYS_setresuid, account.uid, account.uid, account.uid) != 0) return *failed = kUserIds, false;
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    // Leaving uid 0 clears the permitted and effective sets, not the inheritable one.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2]{};
    if (::syscall(SYS_capset, &header, none) != 0) return *failed = kCapabilities, false;

    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
    errno = EPERM;
    if (::syscall(SYS_getresuid, &ruid, &euid, &suid) != 0 || ruid != account.uid || euid != account.uid ||
        suid != account.uid || ::syscall(SYS_getresgid, &rgid, &egid, &sgid) != 0 || rgid != account.gid ||
        egid != account.gid || sgid != account.gid)
        return *failed = kCheck, false;
    long count = ::syscall(SYS_getgroups, p.groupCount + 1, p.groupsSeen);
    if (count != static_cast<long>(p.groupCount) || !std::equal(p.groupsSeen, p.groupsSeen + count, p.groups))
        return *failed = kCheck, false;
    errno = EPERM;
    if (!CapabilitiesAreEmpty()) return *failed = kCapabilities, false;
    return true;
}

[[noreturn]] void RunChild(const Prepared& p) {
    // The parent may block signals for its own descriptors, and may ignore SIGPIPE.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &standard, nullptr);

    if (::setsid() < 0) Abandon(p, kSession, errno);
    if (!SetLimits(p.confinement->limits)) Abandon(p, kLimits, errno);
    Step failed = kCheck;
    if (p.confinement->account && !TakeOnAccount(p, &failed)) Abandon(p, failed, errno);
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) != 1)
        Abandon(p, kNoNewPrivileges, errno);
    ::umask(077);
    // As the account, so that a folder it cannot enter fails here and not in the program.
    if (p.directory && ::chdir(p.directory) != 0) Abandon(p, kDirectory, errno);
    // Only the three standard streams go on; the report pipe closes itself with the exec.
    if (p.report > 3) ::syscall(SYS_close_range, 3U, static_cast<unsigned>(p.report - 1), 0U);
    ::syscall(SYS_close_range, static_cast<unsigned>(p.report + 1), ~0U, 0U);
    ::execve(p.program, p.argv, p.envp);
    Abandon(p, kExecute, errno);
}

int LastCapability() {
    int last = 63;
    if (FILE* file = std::fopen("/proc/sys/kernel/cap_last_cap", "re")) {
        if (std::fscanf(file, "%d", &last) != 1) last = 63;
        std::fclose(file);
    }
    return last;
}

}  // namespace

int SpawnConfined(const ProcessLaunch& launch, const ProcessConfinement& confinement, pid_t* pid,
                  std::string* failedStep) {
    std::vector<std::string> arguments = launch.arguments;
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = launch.environment ? *launch.environment : std::vector<std::string>();
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    // The kernel keeps supplementary groups sorted, and the check compares with that.
    std::vector<gid_t> groups = confinement.account ? confinement.account->groups : std::vector<gid_t>();
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    if (groups.size() > NGROUPS_MAX) return *failedStep = kStepNames[kGroups], EINVAL;
    std::vector<gid_t> seen(groups.size() + 1);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errno;
    Prepared p{launch.program.c_str(),
               argv.data(),
               launch.environment ? envp.data() : environ,
               launch.directory ? launch.directory->c_str() : nullptr,
               &confinement,
               groups.data(),
               groups.size(),
               seen.data(),
               LastCapability(),
               report[1]};
    pid_t child = ::fork();
    if (child < 0) {
        int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (child == 0) {
        ::close(report[0]);
        RunChild(p);
    }
    ::close(report[1]);
    Failure failure{};
    ssize_t got;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == 0) {
        *pid = child;
        return 0;
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (got != static_cast<ssize_t>(sizeof failure) || failure.step < 0 || failure.step > kExecute)
        return *failedStep = "the start", EIO;
    *failedStep = kStepNames[failure.step];
    return failure.error;
}

}  // namespace lumivel
