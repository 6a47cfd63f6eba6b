// The progress of a long restore. The work posts to the dialog at most one update at a time,
// so ten thousand objects never flood the console's queue; Cancel only asks, the work ends
// after the object under way and the dialog closes when it has.
#include "provider/dialogs/restore_progress_dialog.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "lumivel/com_object.h"
#include "lumivel/thread_queue.h"
#include "provider/common/resource_ids.h"
#include "provider/restore/restore_plan.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"
#include "win/com.h"
#include "win/user.h"

namespace revivo {

namespace {

constexpr UINT kProgressMessage = WM_APP + 0x66;
constexpr UINT kFinishedMessage = WM_APP + 0x67;

}  // namespace

struct RestoreProgress::State {
    std::mutex lock;
    size_t done = 0, total = 0;
    std::u16string current;
    HWND dialog = nullptr;  // while it is up
    std::atomic<bool> cancelled{false};
    std::atomic<bool> updatePosted{false};
    std::atomic<bool> finished{false};
    std::function<void(RestoreProgress&)> work;
    std::thread thread;
    bool started = false;
    // The caller's thread, which serves what the work asks there until the work has ended.
    lumivel::ThreadQueuePtr caller;

    void post(UINT message) {
        std::lock_guard<std::mutex> guard(lock);
        if (dialog) PostMessageW(dialog, message, 0, 0);
    }
};

bool RestoreProgress::next(size_t done, size_t total, std::u16string_view current) {
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->done = done;
        m_state->total = total;
        m_state->current = current;
    }
    if (!m_state->updatePosted.exchange(true)) m_state->post(kProgressMessage);
    return !m_state->cancelled;
}

HWND RestoreProgress::window() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->dialog;
}

std::u16string ProgressCountText(size_t done, size_t total) {
    using lumivel::shared::WidenText;
    return u"Restoring " + WidenText(std::to_string(done + 1 > total ? total : done + 1)) + u" of " +
           WidenText(std::to_string(total)) + (total == 1 ? u" object..." : u" objects...");
}

std::u16string StoppedRestoreText(std::u16string_view stoppedBefore, size_t restored,
                                  const std::vector<std::u16string>& recreated) {
    std::u16string text = u"The restore was stopped before " + std::u16string(stoppedBefore);
    if (recreated.empty())
        return text + (restored == 0 ? u": nothing was restored." : u": what came back before it stays restored.");
    std::u16string containers;
    for (const std::u16string& dn : recreated) containers += (containers.empty() ? u"" : u"; ") + dn;
    return text + (restored == 0 ? u": nothing was restored, but the containers a backup recreated stay: "
                                 : u": what came back before it stays restored, and so do the containers a backup "
                                   u"recreated: ") +
           containers + u".";
}

namespace {

using State = RestoreProgress::State;

void showProgress(HWND dialog, State* state) {
    state->updatePosted = false;
    size_t done, total;
    std::u16string current;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        done = state->done;
        total = state->total;
        current = state->current;
    }
    if (!state->cancelled) SetDlgItemTextW(dialog, IDC_PROGRESS_COUNT, ProgressCountText(done, total).c_str());
    SetDlgItemTextW(dialog, IDC_PROGRESS_CURRENT, current.c_str());
}

void askToStop(HWND dialog, State* state) {
    if (state->finished) {
        EndDialog(dialog, IDOK);
        return;
    }
    state->cancelled = true;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    SetDlgItemTextW(dialog, IDC_PROGRESS_COUNT, u"Stopping after the current object...");
}

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<State*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            SetDlgItemTextW(dialog, IDC_PROGRESS_COUNT, u"Restoring...");
            {
                std::lock_guard<std::mutex> guard(state->lock);
                state->dialog = dialog;
            }
            // The thread holds the state; the caller waits for it before the state goes.
            try {
                state->thread = std::thread([state] {
                    CoInitialize(nullptr);
                    RestoreProgress progress(state);
                    state->work(progress);
                    CoUninitialize();
                    state->finished = true;
                    state->post(kFinishedMessage);
                    lumivel::WakeThreadQueue(*state->caller);
                });
                state->started = true;
            } catch (const std::system_error&) {
                EndDialog(dialog, -1);
            }
            return TRUE;
        }
        case kProgressMessage:
            if (state) showProgress(dialog, state);
            return TRUE;
        case kFinishedMessage:
            EndDialog(dialog, IDOK);
            return TRUE;
        case WM_CLOSE:
            if (state) askToStop(dialog, state);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && state) {
                askToStop(dialog, state);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

bool RunWithProgress(HWND parent, const std::function<void(RestoreProgress&)>& work) {
    State state;
    state.work = work;
    state.caller = lumivel::CurrentThreadQueue();
    DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_RESTORE_PROGRESS), parent,
                    progressDialogProc, reinterpret_cast<LPARAM>(&state));
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.dialog = nullptr;
    }
    if (!state.started) return false;
    // Closed before the work ended (only a forced close does that): it stops after the object
    // under way, whose directory calls have their own time limits. A box it shows meanwhile
    // is shown on this thread, which serves it while it waits.
    state.cancelled = true;
    lumivel::PumpThreadWorkUntil([&] { return state.finished.load(); }, INFINITE);
    state.thread.join();
    return true;
}

RestoreRunner ProgressRunner(HWND parent) {
    return [parent](const std::function<void(const RestoreStepGate&)>& work) {
        return RunWithProgress(parent, [&](RestoreProgress& progress) {
            work([&](size_t done, size_t total, const PlannedStep& next) {
                return progress.next(done, total, lumivel::shared::PlainTombstoneName(next.name));
            });
        });
    };
}

}  // namespace revivo
