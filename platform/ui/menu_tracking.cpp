// TrackPopupMenu: the test hook chooses first, else the backend shows the menu.
#include <cstdio>

#include "ui_internal.h"
#include "win/errors.h"

namespace lumivel::ui {
namespace {

bool Choosable(const std::vector<MenuItemSnapshot>& items, UINT id, int depth = 0) {
    if (depth > 64) return false;
    for (const auto& item : items) {
        if (item.popup) {
            if (!item.grayed() && Choosable(item.children, id, depth + 1)) return true;
        } else if (!item.separator() && !item.grayed() && item.id == id) {
            return true;
        }
    }
    return false;
}

}  // namespace
}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int /*nReserved*/, HWND hWnd,
                               const RECT* /*prcRect*/) {
    auto items = SnapshotMenu(hMenu);
    if (!items) return FALSE;
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    UINT chosen = 0;
    Surface surface;
    surface.kind = SurfaceKind::PopupMenu;
    surface.owner = hWnd;
    surface.menu = hMenu;
    surface.style = uFlags;
    if (auto answer = CallTestHook(surface)) {
        chosen = UINT(*answer);
        if (chosen != 0 && !Choosable(*items, chosen)) {
            std::fprintf(stderr, "lumivel: the test hook chose %u, which the menu does not offer\n", chosen);
            chosen = 0;
        }
    } else {
        chosen = CurrentBackend().trackPopupMenu(hMenu, *items, uFlags, POINT{x, y}, hWnd);
    }
    if (uFlags & TPM_RETURNCMD) return BOOL(chosen);
    if (chosen != 0 && !(uFlags & TPM_NONOTIFY)) PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return TRUE;
}
