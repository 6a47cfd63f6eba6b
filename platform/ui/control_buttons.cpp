// Push buttons, check boxes, radio buttons and group boxes; static texts and icons.
#include <algorithm>

#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "ui_internal.h"

namespace lumivel::ui {
namespace {

UINT TypeOf(const Window& window) { return window.style & BS_TYPEMASK; }

bool IsCheckable(UINT type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

void SetCheck(const std::shared_ptr<Window>& window, UINT check) {
    auto* state = window->state<ButtonState>();
    if (!state || state->check == check) return;
    state->check = check;
    Changed(*window, WindowChange::State);
}

// The radio buttons of a button's group: from the nearest WS_GROUP at or before it to the
// next WS_GROUP, among its siblings in tab order.
std::vector<HWND> GroupOf(const std::shared_ptr<Window>& button) {
    std::vector<HWND> siblings = ChildWindows(button->parent);
    auto self = std::find(siblings.begin(), siblings.end(), button->handle);
    if (self == siblings.end()) return {button->handle};
    auto first = self;
    while (first != siblings.begin()) {
        auto w = FindWindowObject(*first);
        if (w && (w->style & WS_GROUP)) break;
        --first;
    }
    std::vector<HWND> group;
    for (auto it = first; it != siblings.end(); ++it) {
        auto w = FindWindowObject(*it);
        if (!w) continue;
        if (it != first && (w->style & WS_GROUP)) break;
        group.push_back(*it);
    }
    return group;
}

void Click(const std::shared_ptr<Window>& window) {
    if (window->style & WS_DISABLED) return;
    auto* state = window->state<ButtonState>();
    if (!state) return;
    switch (TypeOf(*window)) {
    case BS_AUTOCHECKBOX: SetCheck(window, state->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED); break;
    case BS_AUTO3STATE: SetCheck(window, (state->check + 1) % 3); break;
    case BS_AUTORADIOBUTTON:
        for (HWND other : GroupOf(window)) {
            auto w = FindWindowObject(other);
            if (w && w != window && w->kind() == ControlKind::Button && TypeOf(*w) == BS_AUTORADIOBUTTON)
                SetCheck(w, BST_UNCHECKED);
        }
        SetCheck(window, BST_CHECKED);
        break;
    default: break;
    }
    if (TypeOf(*window) != BS_GROUPBOX) CommandToParent(window->handle, BN_CLICKED);
}

}  // namespace

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    auto* state = window->state<ButtonState>();
    switch (message) {
    case BM_GETCHECK: return IsCheckable(TypeOf(*window)) && state ? state->check : BST_UNCHECKED;
    case BM_SETCHECK:
        if (IsCheckable(TypeOf(*window))) {
            UINT check = UINT(wParam);
            if (check == BST_INDETERMINATE && TypeOf(*window) != BS_3STATE && TypeOf(*window) != BS_AUTO3STATE)
                check = BST_CHECKED;
            SetCheck(window, check > BST_INDETERMINATE ? BST_CHECKED : check);
        }
        return 0;
    case BM_GETSTATE:
        return (state ? state->check : 0) | (state && state->pushed ? BST_PUSHED : 0) | (GetFocus() == hwnd ? BST_FOCUS : 0);
    case BM_SETSTATE:
        if (state && state->pushed != (wParam != 0)) {
            state->pushed = wParam != 0;
            Changed(*window, WindowChange::State);
        }
        return 0;
    case BM_SETSTYLE:
        window->style = (window->style & ~DWORD(0xFFFF)) | DWORD(wParam & 0xFFFF);
        Changed(*window, WindowChange::Style);
        return 0;
    case BM_CLICK: Click(window); return 0;
    case WM_SETFONT: window->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(window->font);
    case WM_SETFOCUS:
        if (window->style & BS_NOTIFY) CommandToParent(hwnd, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (window->style & BS_NOTIFY) CommandToParent(hwnd, BN_KILLFOCUS);
        return 0;
    case WM_GETDLGCODE: {
        UINT type = TypeOf(*window);
        if (type == BS_DEFPUSHBUTTON) return 0x0010;  // DLGC_DEFPUSHBUTTON
        if (type == BS_PUSHBUTTON) return 0x0020;     // DLGC_UNDEFPUSHBUTTON
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return 0x0040;  // DLGC_RADIOBUTTON
        return 0x2000;                                // DLGC_BUTTON
    }
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    auto* state = window->state<StaticState>();
    switch (message) {
    case STM_SETICON: {
        HICON previous = state ? state->icon : nullptr;
        if (state) state->icon = reinterpret_cast<HICON>(wParam);
        Changed(*window, WindowChange::State);
        return reinterpret_cast<LRESULT>(previous);
    }
    case STM_GETICON: return reinterpret_cast<LRESULT>(state ? state->icon : nullptr);
    case WM_SETFONT: window->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(window->font);
    case WM_GETDLGCODE: return 0x0100;  // DLGC_STATIC
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void UserClickButton(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

}  // namespace lumivel::ui
