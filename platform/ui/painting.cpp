// Painting custom windows: invalidation, WM_PAINT, and DCs that draw into the window's
// surface, which the backend shows.
#include <algorithm>
#include <map>

#include "lumivel/gdi_objects.h"
#include "lumivel/ui_input.h"
#include "ui_internal.h"
#include "win/errors.h"
#include "win/gdi.h"

namespace lumivel::ui {
namespace {

struct PaintFlags {
    bool invalid = true;
    bool erase = true;
};

std::mutex g_paintMutex;
std::map<HWND, PaintFlags>& Flags() {
    static auto* flags = new std::map<HWND, PaintFlags>;
    return *flags;
}

// The surface always has the client area's size; a resize starts it afresh.
void PrepareSurface(Window& window) {
    RECT client = window.clientRect();
    int w = std::max<LONG>(client.right, 1), h = std::max<LONG>(client.bottom, 1);
    if (!window.surfaceMutex) window.surfaceMutex = std::make_shared<std::mutex>();
    std::lock_guard lock(*window.surfaceMutex);
    if (!window.surface || window.surface->width != w || window.surface->height != h)
        window.surface = std::make_shared<gfx::Image>(w, h, gfx::kOpaque | 0x00FFFFFF);
}

}  // namespace

std::optional<gfx::Image> PaintedSurface(HWND hwnd) {
    auto window = FindWindowObject(hwnd);
    if (!window) return std::nullopt;
    bool invalid;
    {
        std::lock_guard lock(g_paintMutex);
        auto it = Flags().find(hwnd);
        invalid = it == Flags().end() || it->second.invalid;
    }
    PrepareSurface(*window);
    if (invalid || !window->surface) CallProcedure(window, WM_PAINT, 0, 0);
    if (!FindWindowObject(hwnd)) return std::nullopt;
    std::lock_guard lock(*window->surfaceMutex);
    return *window->surface;
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" {

BOOL InvalidateRect(HWND hWnd, const RECT* /*lpRect*/, BOOL bErase) {
    if (hWnd == nullptr) return TRUE;  // the whole screen: nothing of ours to redraw
    auto window = FindWindowObject(hWnd);
    if (!window) return FALSE;
    {
        std::lock_guard lock(g_paintMutex);
        PaintFlags& flags = Flags()[hWnd];
        flags.invalid = true;
        flags.erase = flags.erase || bErase;
    }
    Changed(*window, WindowChange::Redraw);
    return TRUE;
}

BOOL UpdateWindow(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    if (!window) return FALSE;
    bool invalid;
    {
        std::lock_guard lock(g_paintMutex);
        auto it = Flags().find(hWnd);
        invalid = it != Flags().end() && it->second.invalid;
    }
    if (invalid && window->kind() == ControlKind::Custom) {
        PrepareSurface(*window);
        CallProcedure(window, WM_PAINT, 0, 0);
    }
    return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    auto window = FindWindowObject(hWnd);
    if (!window || lpPaint == nullptr) return nullptr;
    PrepareSurface(*window);
    HDC dc = lumivel::gfx::CreateSurfaceDC(window->surface, window->surfaceMutex);
    bool erase;
    {
        std::lock_guard lock(g_paintMutex);
        PaintFlags& flags = Flags()[hWnd];
        erase = flags.erase;
        flags.erase = false;
    }
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = dc;
    lpPaint->rcPaint = window->clientRect();
    lpPaint->fErase = erase ? FALSE : TRUE;
    if (erase) lpPaint->fErase = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    return dc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (lpPaint) DeleteDC(lpPaint->hdc);
    std::lock_guard lock(g_paintMutex);
    auto it = Flags().find(hWnd);
    if (it != Flags().end()) it->second.invalid = false;
    else Flags()[hWnd] = PaintFlags{false, false};
    return TRUE;
}

HDC GetDC(HWND hWnd) {
    if (hWnd == nullptr) {
        // The screen: a DC to be compatible with, drawing into a pixel of its own.
        return lumivel::gfx::CreateSurfaceDC(std::make_shared<lumivel::gfx::Image>(1, 1, lumivel::gfx::kOpaque),
                                             std::make_shared<std::mutex>());
    }
    auto window = FindWindowObject(hWnd);
    if (!window) return nullptr;
    PrepareSurface(*window);
    return lumivel::gfx::CreateSurfaceDC(window->surface, window->surfaceMutex);
}

int ReleaseDC(HWND hWnd, HDC hDC) {
    BOOL deleted = DeleteDC(hDC);
    if (hWnd) Changed(hWnd, WindowChange::Redraw);
    return deleted ? 1 : 0;
}

}  // extern "C"
