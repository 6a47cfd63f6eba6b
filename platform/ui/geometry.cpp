// Placing, showing, enabling and focusing windows; coordinates between windows and screen.
#include <algorithm>

#include "win/winerror.h"
#include "ui_internal.h"
#include "win/errors.h"

namespace lumivel::ui {
namespace {

thread_local HWND t_focus = nullptr;

bool EffectivelyVisible(const std::shared_ptr<Window>& window) {
    auto w = window;
    for (int depth = 0; w && depth < 256; ++depth) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->isChild()) return true;
        w = FindWindowObject(w->parent);
    }
    return w != nullptr;
}

void Place(const std::shared_ptr<Window>& window, RECT rect, bool notify) {
    RECT old = window->rect;
    window->rect = rect;
    bool moved = old.left != rect.left || old.top != rect.top;
    bool resized = (old.right - old.left) != (rect.right - rect.left) || (old.bottom - old.top) != (rect.bottom - rect.top);
    if (!moved && !resized) return;
    Changed(*window, WindowChange::Geometry);
    if (!notify) return;
    if (resized) {
        RECT client = window->clientRect();
        CallProcedure(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }
    if (moved) CallProcedure(window, WM_MOVE, 0, MAKELPARAM(rect.left + window->frame.left, rect.top + window->frame.top));
}

}  // namespace

POINT ClientOrigin(const Window& window) {
    POINT origin{window.rect.left + window.frame.left, window.rect.top + window.frame.top};
    if (!window.isChild()) return origin;
    auto parent = FindWindowObject(window.parent);
    for (int depth = 0; parent && depth < 256; ++depth) {
        origin.x += parent->rect.left + parent->frame.left;
        origin.y += parent->rect.top + parent->frame.top;
        if (!parent->isChild()) break;
        parent = FindWindowObject(parent->parent);
    }
    return origin;
}

void ApplyBackendClientSize(HWND hwnd, int width, int height) {
    auto window = FindWindowObject(hwnd);
    if (!window) return;
    RECT rect = window->rect;
    rect.right = rect.left + width + window->frame.left + window->frame.right;
    rect.bottom = rect.top + height + window->frame.top + window->frame.bottom;
    Place(window, rect, true);
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" {

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
    auto window = FindWindowObject(hWnd);
    if (!window || lpRect == nullptr) return FALSE;
    *lpRect = window->clientRect();
    return TRUE;
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
    auto window = FindWindowObject(hWnd);
    if (!window || lpRect == nullptr) return FALSE;
    if (!window->isChild()) {
        *lpRect = window->rect;
        return TRUE;
    }
    auto parent = FindWindowObject(window->parent);
    POINT origin = parent ? ClientOrigin(*parent) : POINT{0, 0};
    *lpRect = RECT{window->rect.left + origin.x, window->rect.top + origin.y, window->rect.right + origin.x,
                   window->rect.bottom + origin.y};
    return TRUE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    auto window = FindWindowObject(hWnd);
    if (!window) return FALSE;
    RECT rect = window->rect;
    if (!(uFlags & SWP_NOMOVE)) {
        rect.right += X - rect.left;
        rect.bottom += Y - rect.top;
        rect.left = X;
        rect.top = Y;
    }
    if (!(uFlags & SWP_NOSIZE)) {
        rect.right = rect.left + std::max(cx, 0);
        rect.bottom = rect.top + std::max(cy, 0);
    }
    if (!(uFlags & SWP_NOZORDER) && window->isChild() && hWndInsertAfter != hWnd) {
        std::lock_guard lock(WindowTreeMutex());
        if (auto parent = FindWindowObject(window->parent)) {
            auto& siblings = parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), hWnd), siblings.end());
            if (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST) {
                siblings.insert(siblings.begin(), hWnd);
            } else if (hWndInsertAfter == HWND_BOTTOM || hWndInsertAfter == HWND_NOTOPMOST) {
                siblings.push_back(hWnd);
            } else {
                auto it = std::find(siblings.begin(), siblings.end(), hWndInsertAfter);
                siblings.insert(it == siblings.end() ? it : it + 1, hWnd);
            }
        }
        Changed(*window, WindowChange::ZOrder);
    }
    Place(window, rect, true);
    if (uFlags & SWP_SHOWWINDOW) ShowWindow(hWnd, SW_SHOWNA);
    if (uFlags & SWP_HIDEWINDOW) ShowWindow(hWnd, SW_HIDE);
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    BOOL ok = SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    if (ok && bRepaint) InvalidateRect(hWnd, nullptr, TRUE);
    return ok;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    auto window = FindWindowObject(hWnd);
    if (!window) return FALSE;
    bool wasVisible = (window->style & WS_VISIBLE) != 0;
    bool show = nCmdShow != SW_HIDE;
    if (show == wasVisible) return wasVisible ? TRUE : FALSE;
    CallProcedure(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (show) window->style |= WS_VISIBLE;
    else window->style &= ~WS_VISIBLE;
    if (!show && (t_focus == hWnd || IsChild(hWnd, t_focus))) SetFocus(window->isChild() ? window->parent : nullptr);
    Changed(*window, WindowChange::Visibility);
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    return window && EffectivelyVisible(window) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    auto window = FindWindowObject(hWnd);
    if (!window) return FALSE;
    bool wasDisabled = (window->style & WS_DISABLED) != 0;
    if (bEnable == !wasDisabled) return wasDisabled ? TRUE : FALSE;
    if (bEnable) window->style &= ~WS_DISABLED;
    else window->style |= WS_DISABLED;
    if (!bEnable && t_focus == hWnd) SetFocus(nullptr);
    CallProcedure(window, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    Changed(*window, WindowChange::Enabled);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND SetFocus(HWND hWnd) {
    HWND previous = t_focus;
    if (hWnd == previous) return previous;
    std::shared_ptr<Window> window;
    if (hWnd) {
        window = FindWindowObject(hWnd);
        if (!window || (window->style & WS_DISABLED)) return nullptr;
    }
    t_focus = hWnd;
    if (previous && IsWindow(previous)) SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (window && t_focus == hWnd) {
        CallProcedure(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
        Changed(*window, WindowChange::Focus);
    }
    return previous;
}

HWND GetFocus() {
    if (t_focus && !IsWindow(t_focus)) t_focus = nullptr;
    return t_focus;
}

HWND ChildWindowFromPointEx(HWND hwnd, POINT pt, UINT flags) {
    auto parent = FindWindowObject(hwnd);
    if (!parent) return nullptr;
    RECT client = parent->clientRect();
    if (pt.x < client.left || pt.y < client.top || pt.x >= client.right || pt.y >= client.bottom) return nullptr;
    for (HWND child : ChildWindows(hwnd)) {
        auto c = FindWindowObject(child);
        if (!c) continue;
        if ((flags & CWP_SKIPINVISIBLE) && !(c->style & WS_VISIBLE)) continue;
        if ((flags & CWP_SKIPDISABLED) && (c->style & WS_DISABLED)) continue;
        if ((flags & CWP_SKIPTRANSPARENT) && (c->exStyle & WS_EX_TRANSPARENT)) continue;
        const RECT& r = c->rect;
        if (pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom) return child;
    }
    return hwnd;
}

HWND ChildWindowFromPoint(HWND hWndParent, POINT Point) { return ChildWindowFromPointEx(hWndParent, Point, CWP_ALL); }

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    auto window = FindWindowObject(hWnd);
    if (!window || lpPoint == nullptr) return FALSE;
    POINT origin = ClientOrigin(*window);
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    auto window = FindWindowObject(hWnd);
    if (!window || lpPoint == nullptr) return FALSE;
    POINT origin = ClientOrigin(*window);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

int MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
    POINT from{0, 0}, to{0, 0};
    if (hWndFrom) {
        auto w = FindWindowObject(hWndFrom);
        if (!w) return 0;
        from = ClientOrigin(*w);
    }
    if (hWndTo) {
        auto w = FindWindowObject(hWndTo);
        if (!w) return 0;
        to = ClientOrigin(*w);
    }
    LONG dx = from.x - to.x, dy = from.y - to.y;
    for (UINT i = 0; lpPoints && i < cPoints; ++i) {
        lpPoints[i].x += dx;
        lpPoints[i].y += dy;
    }
    SetLastError(0);
    return MAKELONG(SHORT(dx), SHORT(dy));
}

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXSCREEN: return 1920;
    case SM_CYSCREEN: return 1080;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}

}  // extern "C"
