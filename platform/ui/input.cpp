// User actions on windows in general: closing, resizing, focus, mouse and keys.
#include "lumivel/ui_input.h"
#include "ui_internal.h"

namespace lumivel::ui {

void UserCloseWindow(HWND window) {
    if (!IsWindow(window)) return;
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void UserResized(HWND window, int clientWidth, int clientHeight) {
    ApplyBackendClientSize(window, std::max(clientWidth, 0), std::max(clientHeight, 0));
}

void UserFocused(HWND window) {
    if (GetFocus() != window) SetFocus(window);
}

// While a window holds the capture, the mouse is its alone; points are translated to it.
void UserMouse(HWND window, UINT message, WPARAM keys, POINT client) {
    auto target = FindWindowObject(window);
    if (!target) return;
    POINT screen = client;
    ClientToScreen(window, &screen);
    HWND capture = GetCapture();
    if (capture && capture != window) {
        window = capture;
        client = screen;
        ScreenToClient(window, &client);
        target = FindWindowObject(window);
        if (!target) return;
    }
    LPARAM position = MAKELPARAM(SHORT(client.x), SHORT(client.y));
    RecordInputMessage(window, message, keys, position, screen);
    if (!capture) SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, message));
    SendMessageW(window, message, keys, position);
}

void UserKey(HWND window, UINT message, WPARAM virtualKey) {
    if (!IsWindow(window)) return;
    RecordInputMessage(window, message, virtualKey, 1, POINT{});
    SendMessageW(window, message, virtualKey, 1);
}

}  // namespace lumivel::ui
