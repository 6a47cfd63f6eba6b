// Cursors and mouse capture.
#include <atomic>

#include "lumivel/gdi_objects.h"
#include "ui_internal.h"
#include "win/errors.h"

namespace {
std::atomic<HCURSOR> g_cursor{nullptr};
thread_local HWND t_capture = nullptr;
}  // namespace

using namespace lumivel::ui;

extern "C" {

HCURSOR LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
    if (hInstance == nullptr && IS_INTRESOURCE(lpCursorName))
        return lumivel::gfx::SystemCursor(WORD(reinterpret_cast<ULONG_PTR>(lpCursorName)));
    // Modules carry no cursor resources on this platform.
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR hCursor) {
    HCURSOR previous = g_cursor.exchange(hCursor);
    if (previous != hCursor) CurrentBackend().setCursor(hCursor);
    return previous;
}

HCURSOR GetCursor() { return g_cursor.load(); }

BOOL GetCursorPos(LPPOINT lpPoint) {
    if (lpPoint == nullptr) return FALSE;
    if (CurrentBackend().cursorPosition(lpPoint)) return TRUE;
    DWORD pos = GetMessagePos();
    lpPoint->x = SHORT(LOWORD(pos));
    lpPoint->y = SHORT(HIWORD(pos));
    return TRUE;
}

HWND SetCapture(HWND hWnd) {
    if (!FindWindowObject(hWnd)) return nullptr;
    HWND previous = t_capture;
    if (previous == hWnd) return previous;
    t_capture = hWnd;
    if (previous && IsWindow(previous)) SendMessageW(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    CurrentBackend().captureChanged(hWnd);
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous = t_capture;
    t_capture = nullptr;
    if (previous) {
        CurrentBackend().captureChanged(nullptr);
        if (IsWindow(previous)) SendMessageW(previous, WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND GetCapture() {
    if (t_capture && !IsWindow(t_capture)) t_capture = nullptr;
    return t_capture;
}

}  // extern "C"
