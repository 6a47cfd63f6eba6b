#include "schemacache/generator_start.h"

#include <algorithm>

#include "lumivel/thread_queue.h"
#include "win/processes.h"
#include "win/threads.h"
#include "win/user.h"

namespace glossar {
namespace {

// Between two polls the wait wakes this often, so a window stays responsive.
constexpr DWORD kSliceMilliseconds = 50;

struct ProcessHandles {
    PROCESS_INFORMATION information{};
    ~ProcessHandles() {
        if (information.hThread) CloseHandle(information.hThread);
        if (information.hProcess) CloseHandle(information.hProcess);
    }
};

bool StillRunning(HANDLE process) {
    DWORD code = 0;
    return process && GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

// Waits up to the poll interval, ending early when the process ends.
void WaitOneInterval(HANDLE process, DWORD milliseconds, GeneratorWatch* watch, int poll, int polls) {
    DWORD waited = 0;
    while (waited < milliseconds) {
        const DWORD slice = std::min(kSliceMilliseconds, milliseconds - waited);
        if (WaitForSingleObject(process, slice) == WAIT_OBJECT_0) return;
        waited += slice;
        if (watch) watch->Waiting(poll, polls);
    }
}

}  // namespace

std::u16string GeneratorCommandLine(std::u16string_view moduleDirectory) {
    return u"\"" + std::u16string(moduleDirectory) + kGeneratorProgram + u"\"";
}

void PumpThreadMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    lumivel::RunPendingThreadWork();
}

bool StartGeneratorAndLoad(std::u16string_view moduleDirectory, const std::function<bool()>& load,
                           GeneratorWatch* watch, GeneratorTiming timing) {
    std::u16string commandLine = GeneratorCommandLine(moduleDirectory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    ProcessHandles process;
    // A start that fails is not reported: the polls below see no running process and load at
    // once.
    CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                   &startup, &process.information);
    if (watch) watch->Started();
    for (int poll = 0; poll < timing.polls; ++poll) {
        if (!StillRunning(process.information.hProcess)) {
            const bool loaded = load();
            if (watch) watch->Ended(loaded);
            return loaded;
        }
        WaitOneInterval(process.information.hProcess, timing.pollMilliseconds, watch, poll, timing.polls);
    }
    if (watch) watch->Ended(false);
    return false;
}

}  // namespace glossar
