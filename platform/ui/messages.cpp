// Messages: sending (synchronous, carried to the window's thread when called from another),
// posting (queued on the window's thread through the thread queue), message loops, the
// default window procedure, clipboard format names.
//
// A posted message travels as work on the owner thread's queue. When it runs, it goes to the
// thread's GetMessageW/PeekMessageW if one is collecting messages, else it is dispatched at
// once; so a thread that never runs a classic message loop (one driven by a backend's event
// loop or a modal loop) still gets its posted messages, in order.
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>

#include "lumivel/thread_queue.h"
#include "lumivel/ui_input.h"
#include "win/winerror.h"
#include "ui_internal.h"
#include "win/errors.h"
#include "win/threads.h"

namespace lumivel::ui {
namespace {

// The thread's collected messages outlive its thread_local destructors (which destroy the
// thread's windows, whose procedures may still post and peek), so they are owned through a
// pthread key, whose destructor runs after all of those.
std::deque<MSG>& Messages() {
    static const pthread_key_t key = [] {
        pthread_key_t created;
        pthread_key_create(&created, [](void* messages) { delete static_cast<std::deque<MSG>*>(messages); });
        return created;
    }();
    thread_local std::deque<MSG>* messages = nullptr;  // trivially destructible: readable to the end
    if (messages == nullptr) {
        messages = new std::deque<MSG>;
        pthread_setspecific(key, messages);
    }
    return *messages;
}

thread_local int t_collecting = 0;
thread_local MSG t_current{};
thread_local bool t_keysDown[256] = {};

DWORD Now() {
    using namespace std::chrono;
    return DWORD(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

POINT LastMousePosition() {
    POINT p{};
    if (CurrentBackend().cursorPosition(&p)) return p;
    return t_current.pt;
}

void Deliver(MSG message) {
    if (t_collecting > 0) {
        Messages().push_back(message);
        return;
    }
    if (message.hwnd && IsWindow(message.hwnd)) DispatchMessageW(&message);
}

bool Matches(const MSG& m, HWND hwnd, UINT low, UINT high) {
    if (hwnd != nullptr && m.hwnd != hwnd && !IsChild(hwnd, m.hwnd)) return false;
    if (low == 0 && high == 0) return true;
    return m.message >= low && m.message <= high;
}

std::optional<MSG> Take(HWND hwnd, UINT low, UINT high, bool remove) {
    std::deque<MSG>& messages = Messages();
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (it->message == WM_QUIT || Matches(*it, hwnd, low, high)) {
            MSG m = *it;
            if (remove) messages.erase(it);
            return m;
        }
    }
    return std::nullopt;
}

struct Collecting {
    Collecting() { ++t_collecting; }
    ~Collecting() { --t_collecting; }
};

}  // namespace

LRESULT CallProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = window->proc;
    return proc ? proc(window->handle, message, wParam, lParam) : 0;
}

void DrainPendingWork() {
    for (int rounds = 0; rounds < 1000; ++rounds) {
        size_t ran = RunPendingThreadWork();
        CurrentBackend().processEvents();
        if (ran == 0 && !HasPendingThreadWork()) return;
    }
}

WindowThreadCall CallOnWindowThread(HWND hwnd, const std::function<void()>& call) {
    if (!hwnd) return WindowThreadCall::Here;
    // A window named but gone (a progress dialog closed under its worker) leaves no thread to
    // run on; the caller's own is never the answer, as widgets live on the UI's thread alone.
    auto window = FindWindowObject(hwnd);
    if (!window) return WindowThreadCall::Gone;
    if (window->threadId == GetCurrentThreadId()) return WindowThreadCall::Here;
    auto target = lumivel::FindThreadQueue(window->threadId);
    if (!target) return WindowThreadCall::Gone;
    // The waiting below lasts until the work ran or was abandoned, so the work may use what
    // lives on this thread's stack.
    struct Call {
        std::atomic<bool> done{false};
        bool ran = false;
    };
    auto state = std::make_shared<Call>();
    auto caller = lumivel::CurrentThreadQueue();
    auto finish = [state, caller] {
        state->done = true;
        lumivel::WakeThreadQueue(*caller);
    };
    bool posted = lumivel::PostThreadWork(
        *target,
        [state, finish, &call] {
            call();
            state->ran = true;
            finish();
        },
        finish);
    if (!posted) return WindowThreadCall::Gone;
    lumivel::PumpThreadWorkUntil([&] { return state->done.load(); }, INFINITE);
    return state->ran ? WindowThreadCall::Ran : WindowThreadCall::Gone;
}

void RecordInputMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT screen) {
    t_current = MSG{hwnd, message, wParam, lParam, Now(), screen};
    if ((message == WM_KEYDOWN || message == WM_KEYUP) && wParam < std::size(t_keysDown))
        t_keysDown[wParam] = message == WM_KEYDOWN;
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" {

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hWnd);
    if (!window) return 0;
    if (window->threadId == GetCurrentThreadId()) return CallProcedure(window, Msg, wParam, lParam);
    // Another thread's window: the call runs there while this thread waits, serving what is
    // sent to it meanwhile (a window procedure may call back), as Windows does.
    LRESULT result = 0;
    WindowThreadCall ran = CallOnWindowThread(hWnd, [&] {
        if (auto w = FindWindowObject(hWnd)) result = CallProcedure(w, Msg, wParam, lParam);
    });
    if (ran == WindowThreadCall::Gone) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return result;
}

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    MSG message{hWnd, Msg, wParam, lParam, 0, {}};
    lumivel::ThreadQueuePtr target;
    if (hWnd == nullptr) {
        target = lumivel::CurrentThreadQueue();
    } else {
        auto window = FindWindowObject(hWnd);
        if (!window) return FALSE;
        target = lumivel::FindThreadQueue(window->threadId);
        if (!target) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
    }
    message.pt = LastMousePosition();
    return lumivel::PostThreadWork(*target, [message]() mutable {
        message.time = Now();
        Deliver(message);
    }) ? TRUE : FALSE;
}

void PostQuitMessage(int nExitCode) {
    MSG quit{nullptr, WM_QUIT, WPARAM(nExitCode), 0, Now(), {}};
    lumivel::PostThreadWork(*lumivel::CurrentThreadQueue(), [quit] { Messages().push_back(quit); });
}

BOOL GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Collecting collecting;
    for (;;) {
        if (auto m = Take(hWnd, wMsgFilterMin, wMsgFilterMax, true)) {
            *lpMsg = *m;
            t_current = *m;
            return m->message == WM_QUIT ? FALSE : TRUE;
        }
        lumivel::PumpThreadWorkUntil([&] { return Take(hWnd, wMsgFilterMin, wMsgFilterMax, false).has_value(); },
                                     INFINITE);
    }
}

BOOL PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (lpMsg == nullptr) return FALSE;
    Collecting collecting;
    lumivel::RunPendingThreadWork();
    auto m = Take(hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0);
    if (!m) return FALSE;
    *lpMsg = *m;
    if (wRemoveMsg & PM_REMOVE) t_current = *m;
    return TRUE;
}

BOOL TranslateMessage(const MSG* lpMsg) { return lpMsg && lpMsg->message == WM_KEYDOWN ? TRUE : FALSE; }

LRESULT DispatchMessageW(const MSG* lpMsg) {
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
    auto window = FindWindowObject(lpMsg->hwnd);
    if (!window || window->threadId != GetCurrentThreadId()) return 0;
    MSG previous = t_current;
    t_current = *lpMsg;
    LRESULT result = CallProcedure(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    t_current = previous;
    return result;
}

DWORD GetMessagePos() {
    POINT p = LastMousePosition();
    return DWORD(MAKELONG(SHORT(p.x), SHORT(p.y)));
}

LONG GetMessageTime() { return LONG(t_current.time); }

SHORT GetKeyState(int nVirtKey) {
    return nVirtKey >= 0 && size_t(nVirtKey) < std::size(t_keysDown) && t_keysDown[nVirtKey] ? SHORT(0x8000) : 0;
}

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hWnd);
    if (!window) return 0;
    switch (Msg) {
    case WM_NCCREATE: {
        auto create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName)) window->text = create->lpszName;
        return TRUE;
    }
    case WM_SETTEXT:
        SetWindowTextInternal(window, lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string());
        return TRUE;
    case WM_GETTEXT: {
        auto buffer = reinterpret_cast<LPWSTR>(lParam);
        if (buffer == nullptr || wParam == 0) return 0;
        size_t copied = std::min(window->text.size(), size_t(wParam) - 1);
        std::copy_n(window->text.data(), copied, buffer);
        buffer[copied] = 0;
        return LRESULT(copied);
    }
    case WM_GETTEXTLENGTH: return LRESULT(window->text.size());
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    case WM_SETCURSOR:
        // Over the client area the class cursor is set; a child's parent gets the first say.
        if (window->isChild() && window->parent && SendMessageW(window->parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        if (LOWORD(lParam) == HTCLIENT && window->windowClass->cursor) {
            SetCursor(window->windowClass->cursor);
            return TRUE;
        }
        return FALSE;
    case WM_CONTEXTMENU:
        if (window->isChild() && window->parent) SendMessageW(window->parent, WM_CONTEXTMENU, wParam, lParam);
        return 0;
    case WM_MOUSEWHEEL:
        if (window->isChild() && window->parent) return SendMessageW(window->parent, Msg, wParam, lParam);
        return 0;
    case WM_ERASEBKGND: {
        HBRUSH brush = window->windowClass->background;
        if (brush == nullptr) return 0;
        RECT client = window->clientRect();
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_SHOWWINDOW:
    case WM_NOTIFY:
    case WM_GETDLGCODE:
    default: return 0;
    }
}

UINT RegisterClipboardFormatW(LPCWSTR lpszFormat) {
    static std::mutex mutex;
    static std::map<std::u16string, UINT> formats;
    if (lpszFormat == nullptr || lpszFormat[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Names compare without regard to case; numbers come from the range Windows uses.
    std::u16string key(lpszFormat);
    for (auto& c : key)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    std::lock_guard lock(mutex);
    auto it = formats.find(key);
    if (it != formats.end()) return it->second;
    if (formats.size() >= 0x3FFF) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    UINT format = UINT(0xC000 + formats.size());
    formats.emplace(std::move(key), format);
    return format;
}

}  // extern "C"
