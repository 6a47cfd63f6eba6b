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

// Until a dialog that reads on a worker has said what it read: its control `id` enabled and
// the text of `statusId` no longer ending in "...", as it does while the worker reads; false
// after a minute.
inline bool WaitUntilSettled(HWND dialog, int id, int statusId) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    auto reading = [&] {
        WCHAR text[2048] = {};
        int length = GetDlgItemTextW(dialog, statusId, text, 2048);
        return length >= 3 && text[length - 1] == u'.' && text[length - 2] == u'.' && text[length - 3] == u'.';
    };
    while (IsWindow(dialog) && (!IsWindowEnabled(GetDlgItem(dialog, id)) || reading())) {
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
