#include "tests/support/child_process.h"

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

}  // namespace lumivel::testing
