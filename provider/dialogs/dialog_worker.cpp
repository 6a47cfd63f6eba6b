#include "provider/dialogs/dialog_worker.h"

#include <system_error>

#include "win/com.h"
#include "win/user.h"

namespace revivo {

DialogWorker::~DialogWorker() {
    if (m_thread.joinable()) m_thread.join();
}

bool DialogWorker::start(HWND dialog, UINT ended, std::function<void()> work) {
    if (m_running) return false;
    // Its thread is past its work: only the post to the dialog is left of it.
    if (m_thread.joinable()) m_thread.join();
    m_running = true;
    try {
        m_thread = std::thread([this, dialog, ended, work = std::move(work)] {
            CoInitialize(nullptr);
            work();
            CoUninitialize();
            m_running = false;
            PostMessageW(dialog, ended, 0, 0);
        });
    } catch (const std::system_error&) {
        m_running = false;
        return false;
    }
    return true;
}

bool HoldCloseWhileWorking(HWND dialog, UINT message, WPARAM wParam, const DialogWorker& worker, int noteId,
                           std::optional<INT_PTR>* closeWith) {
    const bool closing = message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL);
    if (!closing || !worker.running()) return false;
    *closeWith = message == WM_CLOSE ? 0 : IDCANCEL;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    SetDlgItemTextW(dialog, noteId, u"Closing once the checks have ended...");
    return true;
}

}  // namespace revivo
