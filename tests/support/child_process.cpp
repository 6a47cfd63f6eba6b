#include "tests/support/child_process.h"

#include <sys/wait.h>

#include <cstdio>

#include "lumivel/text.h"
#include "tests/support/temporary_directory.h"

namespace lumivel::testing {

std::u16string HelperPath() {
    WCHAR self[4096];
    DWORD n = GetModuleFileNameW(nullptr, self, 4096);
    std::u16string path(self, n);
    return path.substr(0, path.rfind(u'/') + 1) + u"lumivel_test_helper";
}

ChildResult RunChild(const std::u16string& commandLine, DWORD timeoutMs) {
    TemporaryDirectory dir;
    std::u16string outputPath = dir.wide("out.txt");
    HANDLE output = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    std::u16string line = commandLine;
    ChildResult result;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        result.exitCode = 0xFFFFFFFF;
        result.output = "CreateProcessW failed " + std::to_string(GetLastError());
        CloseHandle(output);
        return result;
    }
    CloseHandle(output);
    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 0xDEAD);
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &result.exitCode);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    result.output = ReadText(ToUtf8(outputPath));
    return result;
}

ChildResult RunShell(const std::string& command) {
    ChildResult result;
    FILE* pipe = popen(("( " + command + " ) </dev/null 2>&1").c_str(), "r");
    if (!pipe) {
        result.exitCode = 0xFFFFFFFF;
        return result;
    }
    char buffer[4096];
    size_t read;
    while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, read);
    int status = pclose(pipe);
    result.exitCode = static_cast<DWORD>(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return result;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace lumivel::testing
