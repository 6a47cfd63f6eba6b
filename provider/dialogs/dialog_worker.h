// Directory work a dialog waits for without holding up the console's thread: it runs on a
// thread of its own while the dialog stays up, and the dialog hears when it has ended.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "win/types.h"

namespace revivo {

class DialogWorker {
public:
    DialogWorker() = default;
    // Waits for work still running; a dialog ends only after its work did, so this is short.
    ~DialogWorker();
    DialogWorker(const DialogWorker&) = delete;
    DialogWorker& operator=(const DialogWorker&) = delete;

    // Runs the work (COM initialised for its thread), then posts `ended` to the dialog. A worker
    // whose work has ended takes the next; false while work still runs, or when no thread could
    // be made: then nothing ran and nothing is posted.
    bool start(HWND dialog, UINT ended, std::function<void()> work);
    // True from start until the work has returned.
    bool running() const { return m_running; }

private:
    std::thread m_thread;
    std::atomic<bool> m_running{false};
};

// A Cancel or a close of the dialog while its worker runs: the dialog stays, its Cancel off and
// the text `noteId` saying it closes once the work has ended, since the work writes into
// what the dialog holds. True when the message was such a close; *closeWith is then what the
// dialog is to end with when the work has ended.
bool HoldCloseWhileWorking(HWND dialog, UINT message, WPARAM wParam, const DialogWorker& worker, int noteId,
                           std::optional<INT_PTR>* closeWith);

}  // namespace revivo
