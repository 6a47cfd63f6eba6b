// Child processes from Windows command lines, and process handles.
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "command_line.h"
#include "lumivel/errno_map.h"
#include "lumivel/kernel_object.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"
#include "path.h"
#include "process_launch.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/processes.h"
#include "win/threads.h"

extern char** environ;
using lumivel::Fail;

namespace {

constexpr DWORD kAccessViolationExit = 0xC0000005;
constexpr DWORD kAbortExit = 3;
constexpr DWORD kSignalledExit = 0xC000013A;

class ProcessObject : public lumivel::WaitableObject {
public:
    ProcessObject(pid_t pid, bool sessionLeader) : m_pid(pid), m_sessionLeader(sessionLeader) {}
    pid_t pid() const { return m_pid; }
    bool sessionLeader() const { return m_sessionLeader; }
    bool isSignaled() const override { return m_finished; }

    DWORD exitCode() {
        std::lock_guard lock(this->lock());
        return m_finished ? m_exitCode : STILL_ACTIVE;
    }

    bool end(lumivel::ProcessEnd* end) {
        std::lock_guard lock(this->lock());
        if (m_finished) *end = m_end;
        return m_finished;
    }

    bool terminate(UINT code) {
        {
            std::lock_guard lock(this->lock());
            if (m_finished) return true;
            m_terminateCode = code;
        }
        // Until it is waited for, the leader's ID cannot be taken by another process.
        return ::kill(m_sessionLeader ? -m_pid : m_pid, SIGKILL) == 0 || errno == ESRCH;
    }

    // Runs on the reaper thread once the child is gone.
    void finished(int status, const struct rusage& usage) {
        {
            std::lock_guard lock(this->lock());
            if (m_terminateCode) {
                m_exitCode = *m_terminateCode;
            } else if (WIFEXITED(status)) {
                m_exitCode = static_cast<DWORD>(WEXITSTATUS(status));
            } else if (WIFSIGNALED(status)) {
                int signal = WTERMSIG(status);
                m_exitCode = (signal == SIGSEGV || signal == SIGBUS) ? kAccessViolationExit
                             : signal == SIGABRT                     ? kAbortExit
                                                                     : kSignalledExit;
            }
            m_end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            m_end.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            m_finished = true;
        }
        notifyWaiters();
    }

private:
    pid_t m_pid;
    bool m_sessionLeader;
    bool m_finished = false;
    DWORD m_exitCode = STILL_ACTIVE;
    lumivel::ProcessEnd m_end;
    std::optional<UINT> m_terminateCode;
};

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file itself, or "X" for "X.exe".
std::vector<std::string> Spellings(const std::string& path) {
    std::vector<std::string> names{path};
    if (path.size() > 4) {
        std::u16string tail = lumivel::FromUtf8(path.substr(path.size() - 4));
        if (lumivel::AsciiEqualsNoCase(tail, u".exe")) names.push_back(path.substr(0, path.size() - 4));
    }
    return names;
}

std::string ProgramDirectory() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return n > 0 ? lumivel::ParentDirectory(std::string(buffer, static_cast<size_t>(n))) : std::string(".");
}

// Finds the program file; *error explains a miss. A bare name is looked for in the program's
// directory, the current one and PATH, unless it came as the application name, which Windows
// completes from the current directory alone.
std::optional<std::string> ResolveProgram(const std::u16string& name, DWORD* error, bool searchPath = true) {
    DWORD pathError = ERROR_SUCCESS;
    auto local = lumivel::LocalPath(name.c_str(), &pathError);
    if (!local) {
        *error = pathError;
        return std::nullopt;
    }
    std::vector<std::string> candidates;
    if (local->find('/') != std::string::npos || !searchPath) {
        candidates = Spellings(*local);
    } else {
        std::vector<std::string> dirs{ProgramDirectory(), "."};
        if (const char* path = std::getenv("PATH")) {
            std::stringstream list(path);
            std::string dir;
            while (std::getline(list, dir, ':'))
                if (!dir.empty()) dirs.push_back(dir);
        }
        for (const auto& dir : dirs)
            for (const auto& spelling : Spellings(dir + "/" + *local)) candidates.push_back(spelling);
    }
    bool sawFile = false;
    for (const auto& candidate : candidates) {
        if (IsExecutableFile(candidate)) return candidate;
        sawFile |= Exists(candidate);
    }
    *error = sawFile ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return std::nullopt;
}

// Windows reads an unquoted program name with blanks by trying each blank in turn.
std::optional<std::string> ProgramFromCommandLine(std::u16string_view line, DWORD* error) {
    size_t start = 0;
    while (start < line.size() && (line[start] == u' ' || line[start] == u'\t')) ++start;
    line.remove_prefix(start);
    if (line.empty()) {
        *error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    if (line[0] == u'"') {
        size_t close = line.find(u'"', 1);
        return ResolveProgram(std::u16string(line.substr(1, close == std::u16string_view::npos ? close : close - 1)), error);
    }
    size_t at = 0;
    DWORD firstError = ERROR_FILE_NOT_FOUND;
    bool first = true;
    for (;;) {
        size_t blank = line.find_first_of(u" \t", at);
        std::u16string candidate(line.substr(0, blank));
        DWORD e = ERROR_SUCCESS;
        if (auto found = ResolveProgram(candidate, &e)) return found;
        if (first) firstError = e, first = false;
        if (blank == std::u16string_view::npos) break;
        at = blank + 1;
    }
    *error = firstError;
    return std::nullopt;
}

std::vector<std::string> EnvironmentFrom(LPVOID block, bool unicode) {
    std::vector<std::string> entries;
    if (unicode) {
        for (auto* p = static_cast<const WCHAR*>(block); *p; p += std::char_traits<char16_t>::length(p) + 1)
            entries.push_back(lumivel::ToUtf8(p));
    } else {
        for (auto* p = static_cast<const char*>(block); *p; p += std::strlen(p) + 1) entries.emplace_back(p);
    }
    return entries;
}

int DescriptorOf(HANDLE handle) {
    auto file = lumivel::LookupHandleAs<lumivel::FileObject>(handle);
    return file ? file->descriptor() : -1;
}

// Waits for the child and records its end. A session leader's session goes with it: what
// it left running is stopped while its ID is still held by the unreaped leader.
void Reap(const std::shared_ptr<ProcessObject>& process) {
    if (process->sessionLeader()) {
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(process->pid()), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
        ::kill(-process->pid(), SIGKILL);
    }
    int status = 0;
    struct rusage usage {};
    while (::wait4(process->pid(), &status, 0, &usage) < 0 && errno == EINTR) {
    }
    process->finished(status, usage);
}

// Hands out the handles of a started child and starts waiting for it.
BOOL HandOut(pid_t pid, bool sessionLeader, LPPROCESS_INFORMATION information) {
    auto process = std::make_shared<ProcessObject>(pid, sessionLeader);
    try {
        std::thread([process] { Reap(process); }).detach();
    } catch (const std::system_error&) {
        // Without a thread to wait for it the child's end could never be seen: stop it now.
        process->terminate(ERROR_NO_SYSTEM_RESOURCES);
        Reap(process);
        return Fail(ERROR_NO_SYSTEM_RESOURCES, FALSE);
    }
    HANDLE processHandle = lumivel::InsertHandle(process);
    HANDLE threadHandle = lumivel::InsertHandle(process);
    if (!processHandle || !threadHandle) {
        process->terminate(ERROR_NOT_ENOUGH_MEMORY);
        if (processHandle) lumivel::RemoveHandle(processHandle);
        if (threadHandle) lumivel::RemoveHandle(threadHandle);
        return Fail(ERROR_NO_SYSTEM_RESOURCES, FALSE);
    }
    *information = {processHandle, threadHandle, static_cast<DWORD>(pid), static_cast<DWORD>(pid)};
    return TRUE;
}

// Reads CreateProcessW's arguments into a launch; a Win32 error when they name no program or
// no folder.
DWORD PrepareLaunch(LPCWSTR applicationName, LPWSTR commandLine, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, lumivel::ProcessLaunch* launch) {
    std::u16string line = commandLine ? std::u16string(commandLine) : std::u16string();
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> program;
    if (applicationName) {
        program = ResolveProgram(applicationName, &error, false);
        if (line.empty()) line = lumivel::JoinCommandLine({applicationName});
    } else {
        program = ProgramFromCommandLine(line, &error);
    }
    if (!program) return error;
    launch->program = *program;
    for (const auto& argument : lumivel::SplitCommandLine(line)) launch->arguments.push_back(lumivel::ToUtf8(argument));
    if (environment) launch->environment = EnvironmentFrom(environment, creationFlags & CREATE_UNICODE_ENVIRONMENT);
    if (currentDirectory) {
        auto dir = lumivel::LocalPath(currentDirectory, &error);
        struct stat st {};
        if (!dir || ::stat(dir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return dir ? ERROR_DIRECTORY : error;
        launch->directory = *dir;
    }
    return ERROR_SUCCESS;
}

DWORD SpawnError(int error) {
    return error == ENOEXEC ? ERROR_BAD_EXE_FORMAT : error == ENOENT ? ERROR_FILE_NOT_FOUND : lumivel::Win32ErrorFromErrno(error);
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

namespace lumivel {

BOOL CreateConfinedProcessW(LPWSTR commandLine, LPVOID unicodeEnvironment, LPCWSTR currentDirectory,
                            const ProcessConfinement& confinement, PROCESS_INFORMATION* information,
                            std::string* failedStep) {
    failedStep->clear();
    if (!information || !commandLine) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    ProcessLaunch launch;
    if (DWORD e = PrepareLaunch(nullptr, commandLine, CREATE_UNICODE_ENVIRONMENT, unicodeEnvironment, currentDirectory,
                                &launch))
        return Fail(e, FALSE);
    pid_t pid = 0;
    if (int e = SpawnConfined(launch, confinement, &pid, failedStep)) return Fail(SpawnError(e), FALSE);
    return HandOut(pid, true, information);
}

BOOL GetProcessEnd(HANDLE process, ProcessEnd* end) {
    auto object = LookupHandleAs<ProcessObject>(process);
    if (!object || !end) return Fail(ERROR_INVALID_HANDLE, FALSE);
    return object->end(end) ? TRUE : Fail(ERROR_INVALID_STATE, FALSE);
}

}  // namespace lumivel

extern "C" {

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                    LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
    if (!lpProcessInformation || (!lpApplicationName && !lpCommandLine)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (dwCreationFlags & (CREATE_SUSPENDED | DEBUG_PROCESS)) return Fail(ERROR_NOT_SUPPORTED, FALSE);
    lumivel::ProcessLaunch launch;
    if (DWORD e = PrepareLaunch(lpApplicationName, lpCommandLine, dwCreationFlags, lpEnvironment, lpCurrentDirectory,
                                &launch))
        return Fail(e, FALSE);
    std::vector<char*> argv = Pointers(launch.arguments);
    std::vector<char*> envp;
    if (launch.environment) envp = Pointers(*launch.environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (lpStartupInfo && (lpStartupInfo->dwFlags & STARTF_USESTDHANDLES)) {
        HANDLE handles[3] = {lpStartupInfo->hStdInput, lpStartupInfo->hStdOutput, lpStartupInfo->hStdError};
        for (int target = 0; target < 3; ++target) {
            int fd = DescriptorOf(handles[target]);
            if (fd >= 0 && fd != target) posix_spawn_file_actions_adddup2(&actions, fd, target);
        }
    }
    if (launch.directory) posix_spawn_file_actions_addchdir_np(&actions, launch.directory->c_str());
    // Handles are not inherited: the child gets only its three standard streams.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, launch.program.c_str(), &actions, &attributes, argv.data(),
                              launch.environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) return Fail(SpawnError(spawned), FALSE);
    return HandOut(pid, false, lpProcessInformation);
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    if (!lpExitCode) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (hProcess == GetCurrentProcess()) {
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto process = lumivel::LookupHandleAs<ProcessObject>(hProcess);
    if (!process) return Fail(ERROR_INVALID_HANDLE, FALSE);
    *lpExitCode = process->exitCode();
    return TRUE;
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    if (hProcess == GetCurrentProcess()) ExitProcess(uExitCode);
    auto process = lumivel::LookupHandleAs<ProcessObject>(hProcess);
    if (!process) return Fail(ERROR_INVALID_HANDLE, FALSE);
    return process->terminate(uExitCode) ? TRUE : Fail(ERROR_ACCESS_DENIED, FALSE);
}

DWORD GetProcessId(HANDLE Process) {
    if (Process == GetCurrentProcess()) return GetCurrentProcessId();
    auto process = lumivel::LookupHandleAs<ProcessObject>(Process);
    if (!process) return Fail(ERROR_INVALID_HANDLE, DWORD(0));
    return static_cast<DWORD>(process->pid());
}

LPWSTR GetCommandLineW() {
    static std::u16string line = [] {
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::u16string> arguments;
        size_t start = 0;
        while (start < data.size()) {
            size_t end = data.find('\0', start);
            if (end == std::string::npos) end = data.size();
            arguments.push_back(lumivel::FromUtf8(std::string_view(data).substr(start, end - start)));
            start = end + 1;
        }
        return lumivel::JoinCommandLine(arguments);
    }();
    return line.data();
}

LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
    if (!pNumArgs) return Fail(ERROR_INVALID_PARAMETER, static_cast<LPWSTR*>(nullptr));
    std::vector<std::u16string> arguments;
    if (!lpCmdLine || !*lpCmdLine) {
        WCHAR name[4096];
        DWORD n = GetModuleFileNameW(nullptr, name, ARRAYSIZE(name));
        arguments.push_back(std::u16string(name, n < ARRAYSIZE(name) ? n : 0));
    } else {
        arguments = lumivel::SplitCommandLine(lpCmdLine);
    }
    size_t bytes = sizeof(LPWSTR) * (arguments.size() + 1);
    for (const auto& a : arguments) bytes += (a.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes));
    if (!block) return nullptr;
    auto** pointers = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + sizeof(LPWSTR) * (arguments.size() + 1));
    for (size_t i = 0; i < arguments.size(); ++i) {
        pointers[i] = text;
        std::char_traits<char16_t>::copy(text, arguments[i].c_str(), arguments[i].size() + 1);
        text += arguments[i].size() + 1;
    }
    pointers[arguments.size()] = nullptr;
    *pNumArgs = static_cast<int>(arguments.size());
    return pointers;
}

void ExitProcess(UINT uExitCode) { std::exit(static_cast<int>(uExitCode)); }

}  // extern "C"
