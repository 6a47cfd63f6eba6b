// wscript: the script host that runs the generated backup scripts.
//
//     wscript [//B] [//NoLogo] SCRIPT.vbs
//
// The script must be a plain file of this account or root that no other account may change:
// neither everybody nor a group other than this account's own may write it, nor the folder it
// lies in (unless that folder has the sticky bit): a job runs whatever its script says under
// the job's account. A script outside the language of script_parser.h, or
// a statement that fails, is reported with the file, line, column, error number and text as a
// message box (the headless user interface shows it on stderr and in the system log; //B
// writes one line on stderr instead), and ends the host with exit status 1; a script that
// cannot be read ends it with 2. A host that runs out of memory (a run's address space is
// bounded) says so and ends with 3. Exit status 0 means every statement ran.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "lumivel/terminal_text.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"
#include "bounded_read.h"
#include "job_limits.h"
#include "script_parser.h"
#include "script_runner.h"
#include "win/com.h"
#include "win/errors.h"
#include "win/user.h"

namespace {

using lumivel::scheduler::ScriptError;

constexpr int kExitScriptError = 1;
constexpr int kExitCannotRun = 2;
constexpr off_t kLargestScript = 1 << 20;

// Group write is left to the account's own group, as user-private groups have it: any other
// group's members could change what the job runs.
bool MayOnlyBeChangedByOwner(const struct stat& st) {
    if (st.st_uid != ::geteuid() && st.st_uid != 0) return false;
    if (st.st_mode & S_IWOTH) return false;
    return !(st.st_mode & S_IWGRP) || st.st_gid == ::getegid();
}

// Room given back when memory runs out, so that the host can still say so.
char* g_reserve = nullptr;

[[noreturn]] void OutOfMemory() {
    delete[] g_reserve;
    g_reserve = nullptr;
    struct rlimit limit {};
    ::getrlimit(RLIMIT_AS, &limit);
    char text[160];
    if (limit.rlim_cur == RLIM_INFINITY)
        std::snprintf(text, sizeof text, "wscript: the script ran out of memory; it was ended\n");
    else
        std::snprintf(text, sizeof text, "wscript: the script ran out of memory (a run may use %llu MiB); it was ended\n",
                      static_cast<unsigned long long>(limit.rlim_cur >> 20));
    [[maybe_unused]] ssize_t n = ::write(2, text, std::strlen(text));
    ::syslog(LOG_ERR, "%s", text);
    ::_exit(static_cast<int>(lumivel::scheduler::kScriptHostOutOfMemory));
}

bool IsOutOfMemory(HRESULT hr) { return hr == E_OUTOFMEMORY || hr == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY); }

// The script's bytes, or why it is not run.
bool ReadScript(const std::string& path, std::string* bytes, std::string* problem) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *problem = errno == ELOOP ? "is a symbolic link" : std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok) *problem = std::string("cannot be read: ") + std::strerror(errno);
    else if (!S_ISREG(st.st_mode)) ok = false, *problem = "is not a plain file";
    else if (!MayOnlyBeChangedByOwner(st)) ok = false, *problem = "may be changed by another account";
    else if (st.st_size > kLargestScript) ok = false, *problem = "is larger than 1 MiB";
    if (ok) {
        std::string folder = path.substr(0, path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/'));
        struct stat dir {};
        if (::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0 ||
            (!MayOnlyBeChangedByOwner(dir) && !(dir.st_mode & S_ISVTX))) {
            ok = false;
            *problem = "lies in a folder that another account may change";
        }
    }
    if (ok) *bytes = lumivel::scheduler::ReadUpTo(fd, static_cast<size_t>(st.st_size));
    ::close(fd);
    return ok;
}

// Control characters of a name or message would forge lines in the log.
std::u16string Printable(const std::u16string& text) {
    return lumivel::FromUtf8(lumivel::TerminalText(lumivel::ToUtf8(text)));
}

void Report(const std::u16string& script, const ScriptError& error, bool compiling, bool batch) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(error.code));
    const std::u16string source = compiling ? u"script compilation error" : u"script runtime error";
    const std::u16string description = Printable(error.description);
    if (batch) {
        std::fprintf(stderr, "%s(%d, %d) %s: %s (0x%s)\n", lumivel::ToUtf8(Printable(script)).c_str(), error.line,
                     error.column, lumivel::ToUtf8(source).c_str(), lumivel::ToUtf8(description).c_str(), code);
        return;
    }
    std::u16string text = u"Script:\t" + Printable(script) + u"\nLine:\t" + lumivel::FromUtf8(std::to_string(error.line)) +
                          u"\nChar:\t" + lumivel::FromUtf8(std::to_string(error.column)) + u"\nError:\t" + description +
                          u"\nCode:\t" + lumivel::FromUtf8(code) + u"\nSource:\t" + source;
    MessageBoxW(nullptr, text.c_str(), u"Script Host", MB_OK | MB_ICONERROR);
}

int Usage() {
    std::fprintf(stderr, "usage: wscript [//B] [//NoLogo] SCRIPT.vbs\n");
    return kExitCannotRun;
}

}  // namespace

int main(int argc, char** argv) {
    g_reserve = new char[64 << 10];
    std::set_new_handler(OutOfMemory);
    bool batch = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::u16string argument = lumivel::FromUtf8(argv[i]);
        if (lumivel::AsciiEqualsNoCase(argument, u"//B")) {
            batch = true;
        } else if (lumivel::AsciiEqualsNoCase(argument, u"//NoLogo")) {
        } else if (argument.rfind(u"//", 0) == 0 || !path.empty()) {
            return Usage();
        } else {
            path = argv[i];
        }
    }
    if (path.empty()) return Usage();

    std::string bytes, problem;
    if (!ReadScript(path, &bytes, &problem)) {
        std::fprintf(stderr, "wscript: the script %s %s; it is not run\n",
                     lumivel::ToUtf8(Printable(lumivel::FromUtf8(path))).c_str(), problem.c_str());
        return kExitCannotRun;
    }
    const std::u16string script = lumivel::FromUtf8(path);
    auto parsed = lumivel::scheduler::ParseScript(bytes);
    if (parsed.error) {
        Report(script, *parsed.error, true, batch);
        return kExitScriptError;
    }
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "wscript: COM cannot start (0x%08X)\n", static_cast<unsigned>(hr));
        return kExitCannotRun;
    }
    auto failure = lumivel::scheduler::RunScript(parsed.statements);
    if (failure) Report(script, *failure, false, batch);
    if (failure && IsOutOfMemory(failure->code)) OutOfMemory();
    CoUninitialize();
    return failure ? kExitScriptError : 0;
}
