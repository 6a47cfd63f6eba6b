// For test hooks on dialogs that fill in from a worker: the hook sees such a dialog as soon as
// it shows, and waits, serving the thread's posted work, until the dialog is ready.
#pragma once

#include <chrono>
#include <thread>

#include "lumivel/thread_queue.h"
#include "win/user.h"

namespace lumivel::testing {

// Until the dialog's control `id` is enabled (or the dialog is gone); false after a minute.
inline bool WaitUntilEnabled(HWND dialog, int id) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (IsWindow(dialog) && !IsWindowEnabled(GetDlgItem(dialog, id))) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        RunPendingThreadWork();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Until the dialog is gone, such as a progress dialog that closes itself when its work ends;
// false after three minutes.
inline bool WaitWhileShown(HWND dialog) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (IsWindow(dialog) && IsWindowVisible(dialog)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        RunPendingThreadWork();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace lumivel::testing
