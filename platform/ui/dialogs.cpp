// Dialogs from templates: creation in dialog units with the dialog font's base units, the
// dialog window procedure, modal runs (test hook or backend), dialog-item helpers.
//
// Message order as Windows gives it to a dialog procedure: WM_SETFONT (templates with a
// font), the controls are created, WM_INITDIALOG; a modal dialog is then shown
// (WM_SHOWWINDOW) and runs until EndDialog.
#include <algorithm>
#include <cstdio>

#include "lumivel/resource_lookup.h"
#include "lumivel/text.h"
#include "lumivel/thread_queue.h"
#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "win/winerror.h"
#include "ui_internal.h"
#include "win/errors.h"
#include "win/gdi.h"

namespace lumivel::ui {
namespace {

int MulDiv(int value, int numerator, int denominator) {
    int64_t product = int64_t(value) * numerator;
    return int(product >= 0 ? (product + denominator / 2) / denominator : (product - denominator / 2) / denominator);
}

bool ReturnsValueDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case 0x0132:  // WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC
    case 0x0133:
    case 0x0134:
    case 0x0135:
    case 0x0136:
    case 0x0137:
    case 0x0138:
    case 0x0039:  // WM_COMPAREITEM
    case 0x002E:  // WM_VKEYTOITEM
    case 0x002F:  // WM_CHARTOITEM
    case 0x0037:  // WM_QUERYDRAGICON
        return true;
    default:
        return false;
    }
}

HWND FirstTabStop(HWND dialog) {
    for (HWND child : ChildWindows(dialog)) {
        auto w = FindWindowObject(child);
        if (w && (w->style & WS_TABSTOP) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED)) return child;
    }
    return nullptr;
}

HWND TopLevelOf(HWND hwnd) {
    auto w = FindWindowObject(hwnd);
    for (int depth = 0; w && w->isChild() && depth < 256; ++depth) {
        auto parent = FindWindowObject(w->parent);
        if (!parent) break;
        w = parent;
    }
    return w ? w->handle : nullptr;
}

}  // namespace

POINT BaseUnitsFor(HWND dialog) {
    auto w = FindWindowObject(dialog);
    for (int depth = 0; w && depth < 256; ++depth) {
        if (w->dialog) return w->dialog->baseUnits;
        if (!w->isChild()) break;
        w = FindWindowObject(w->parent);
    }
    return POINT{kDefaultBaseUnitX, kDefaultBaseUnitY};
}

int DefaultButtonId(HWND dialog) {
    for (HWND child : ChildWindows(dialog)) {
        auto w = FindWindowObject(child);
        if (w && w->kind() == ControlKind::Button && (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return w->id;
    }
    return IDOK;
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialog, HWND parent, DLGPROC proc,
                              LPARAM initParam, bool modal, int resourceId, bool asPage) {
    auto state = std::make_unique<DialogState>();
    state->modal = modal;
    state->resourceId = resourceId;
    if (dialog.hasFont) {
        state->font.face = dialog.typeface;
        state->font.pointSize = dialog.pointSize;
        state->font.weight = dialog.weight ? dialog.weight : 400;
        state->font.italic = dialog.italic != 0;
    } else {
        state->font.face = u"System";
        state->font.pointSize = 10;
    }
    state->baseUnits = CurrentBackend().dialogBaseUnits(state->font);
    if (state->baseUnits.x <= 0 || state->baseUnits.y <= 0) state->baseUnits = POINT{kDefaultBaseUnitX, kDefaultBaseUnitY};
    POINT units = state->baseUnits;
    DWORD style = dialog.style;
    if (asPage) style = (style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE)) | WS_CHILD | DS_CONTROL;
    if (modal) style &= ~WS_VISIBLE;  // shown once initialised
    if ((style & WS_CHILD) && parent == nullptr) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }

    int x = MulDiv(dialog.x, units.x, 4), y = MulDiv(dialog.y, units.y, 8);
    int cx = MulDiv(dialog.cx, units.x, 4), cy = MulDiv(dialog.cy, units.y, 8);
    // Templates give the client size; the window adds its frame.
    RECT frame = NonClientFrame(style, dialog.exStyle);
    if (!(style & WS_CHILD)) {
        if (auto owner = FindWindowObject(parent)) {
            POINT origin = ClientOrigin(*owner);
            x += origin.x;
            y += origin.y;
        }
    }
    state->proc = nullptr;  // installed after creation, as the dialog manager does
    auto windowClass = FindWindowClass(kDialogClassName, nullptr);
    HWND hwnd = CreateWindowWithClass(windowClass, dialog.exStyle, dialog.caption.c_str(), style, x, y,
                                      cx + frame.left + frame.right, cy + frame.top + frame.bottom, parent,
                                      nullptr, instance, nullptr, std::move(state));
    if (!hwnd) return nullptr;
    auto window = FindWindowObject(hwnd);
    window->dialog->proc = proc;
    // Fonts are the backend's to render from the dialog's font description; the handle
    // exists so WM_GETFONT and WM_SETFONT work.
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    window->font = font;
    if (dialog.hasFont) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    for (const auto& item : dialog.items) {
        std::u16string text = item.text.ordinal ? std::u16string() : item.text.text;
        auto controlClass = FindWindowClass(item.className.c_str(), instance);
        if (!controlClass) {
            if (!(dialog.style & DS_NOFAILCREATE)) {
                std::fprintf(stderr, "lumivel: dialog %d: no window class \"%s\"\n", resourceId,
                             ToUtf8(item.className).c_str());
                DestroyWindow(hwnd);
                SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
                return nullptr;
            }
            continue;
        }
        HWND control = CreateWindowWithClass(
            controlClass, item.exStyle | WS_EX_NOPARENTNOTIFY, text.c_str(), item.style | WS_CHILD, MulDiv(item.x, units.x, 4),
            MulDiv(item.y, units.y, 8), MulDiv(item.cx, units.x, 4), MulDiv(item.cy, units.y, 8), hwnd,
            reinterpret_cast<HMENU>(LONG_PTR(item.id)), instance, nullptr);
        if (!control) {
            if (!(dialog.style & DS_NOFAILCREATE)) {
                DestroyWindow(hwnd);
                return nullptr;
            }
            continue;
        }
        // Only a template that names a font hands it to its controls; others keep their own.
        if (dialog.hasFont) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (item.text.ordinal && controlClass->kind == ControlKind::Static && (item.style & SS_TYPEMASK) == SS_ICON) {
            if (HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(*item.text.ordinal)))
                SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        }
    }

    HWND focus = FirstTabStop(hwnd);
    if (SendMessageW(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam) && focus && IsWindow(focus))
        SetFocus(focus);
    if (!IsWindow(hwnd)) return nullptr;
    if (!modal && (dialog.style & WS_VISIBLE) && !asPage) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

void RunModalSurface(HWND hwnd, SurfaceKind kind) {
    auto window = FindWindowObject(hwnd);
    if (!window || !window->dialog) return;
    ShowWindow(hwnd, SW_SHOW);
    auto ended = [window] { return window->dialog->ended || !IsWindow(window->handle); };
    Surface surface;
    surface.kind = kind;
    surface.window = hwnd;
    surface.owner = window->parent;
    surface.resourceId = window->dialog->resourceId;
    surface.caption = window->text;
    int round = 0;
    while (!ended()) {
        DrainPendingWork();
        if (ended()) break;
        if (HasTestHook()) {
            if (round >= kMaxHookRounds) {
                std::fprintf(stderr, "lumivel: the test hook left dialog %d open after %d rounds; closing it with -1\n",
                             surface.resourceId, round);
                EndDialog(hwnd, -1);
                break;
            }
            surface.round = round++;
            surface.caption = window->text;
            CallTestHook(surface);
            continue;
        }
        CurrentBackend().runModalLoop(hwnd, ended);
    }
}

LRESULT DialogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    DialogState* dialog = window->dialog.get();
    if (dialog && dialog->proc) {
        dialog->msgResult = 0;
        INT_PTR handled = dialog->proc(hwnd, message, wParam, lParam);
        if (handled) return ReturnsValueDirectly(message) ? handled : (window->dialog ? window->dialog->msgResult : 0);
    }
    return DefDlgProcW(hwnd, message, wParam, lParam);
}

std::optional<DialogFontSpec> DialogFont(HWND dialog) {
    auto window = FindWindowObject(dialog);
    if (!window || !window->dialog) return std::nullopt;
    return window->dialog->font;
}

bool IsModalDialog(HWND dialog) {
    auto window = FindWindowObject(dialog);
    return window && window->dialog && window->dialog->modal;
}

void UserDialogKey(HWND dialog, WORD virtualKey) {
    auto window = FindWindowObject(dialog);
    if (!window) return;
    int id;
    if (virtualKey == VK_RETURN) {
        LRESULT defId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
        id = HIWORD(defId) == DC_HASDEFID ? LOWORD(defId) : IDOK;
    } else if (virtualKey == VK_ESCAPE) {
        id = IDCANCEL;
    } else {
        return;
    }
    HWND button = GetDlgItem(dialog, id);
    if (button && !IsWindowEnabled(button)) return;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(WORD(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" {

LRESULT DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hDlg);
    if (!window) return 0;
    switch (Msg) {
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(hDlg, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_SETFONT:
        window->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(window->font);
    case WM_ERASEBKGND: {
        RECT client = window->clientRect();
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case DM_GETDEFID: return MAKELRESULT(WORD(DefaultButtonId(hDlg)), DC_HASDEFID);
    case DM_SETDEFID: {
        for (HWND child : ChildWindows(hDlg)) {
            auto w = FindWindowObject(child);
            if (!w || w->kind() != ControlKind::Button) continue;
            DWORD type = w->style & BS_TYPEMASK;
            if (w->id == int(wParam) && type == BS_PUSHBUTTON) SendMessageW(child, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            else if (w->id != int(wParam) && type == BS_DEFPUSHBUTTON) SendMessageW(child, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        }
        return TRUE;
    }
    case WM_NEXTDLGCTL: {
        HWND target = lParam ? reinterpret_cast<HWND>(wParam) : nullptr;
        if (!target) {
            std::vector<HWND> children = ChildWindows(hDlg);
            HWND current = GetFocus();
            auto it = std::find(children.begin(), children.end(), current);
            size_t start = it == children.end() ? 0 : size_t(it - children.begin());
            for (size_t step = 1; step <= children.size() && !target; ++step) {
                size_t index = wParam ? (start + children.size() - step) % children.size() : (start + step) % children.size();
                auto w = FindWindowObject(children[index]);
                if (w && (w->style & WS_TABSTOP) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED)) target = w->handle;
            }
        }
        if (target) SetFocus(target);
        return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_INITDIALOG: return 0;
    default: return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
}

INT_PTR DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    // Asked for by a worker for a window of the UI's thread: the dialog runs there, as widgets
    // live on one thread, and the worker waits for its answer.
    INT_PTR answer = -1;
    switch (CallOnWindowThread(hWndParent, [&] {
        answer = DialogBoxParamW(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam);
    })) {
    case WindowThreadCall::Ran: return answer;
    case WindowThreadCall::Gone: SetLastError(ERROR_INVALID_WINDOW_HANDLE); return -1;
    case WindowThreadCall::Here: break;
    }
    auto dialog = lumivel::LoadDialogTemplate(hInstance, lpTemplateName);
    int resourceId = IS_INTRESOURCE(lpTemplateName) ? int(reinterpret_cast<ULONG_PTR>(lpTemplateName)) : 0;
    if (!dialog) return -1;
    if (hWndParent && !IsWindow(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    if (!HasTestHook() && !CurrentBackend().canRunDialogs()) {
        std::fprintf(stderr,
                     "lumivel: dialog %d \"%s\" cannot be shown: this process has no display "
                     "(set DISPLAY, or LUMIVEL_UI=terminal to answer on the terminal)\n",
                     resourceId, lumivel::ToUtf8(dialog->caption).c_str());
        SetLastError(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
        return -1;
    }
    HWND owner = hWndParent ? TopLevelOf(hWndParent) : nullptr;
    HWND hwnd = CreateDialogFromTemplate(hInstance, *dialog, owner, lpDialogFunc, dwInitParam, true, resourceId);
    if (!hwnd) return -1;
    auto window = FindWindowObject(hwnd);
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        window->dialog->disabledOwner = owner;
    }
    RunModalSurface(hwnd, SurfaceKind::Dialog);
    INT_PTR result = window->dialog->ended ? window->dialog->result : -1;
    if (HWND disabled = window->dialog->disabledOwner; disabled && IsWindow(disabled)) EnableWindow(disabled, TRUE);
    window->dialog->disabledOwner = nullptr;
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    if (owner && IsWindow(owner)) SetFocus(owner);
    return result;
}

HWND CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    auto dialog = lumivel::LoadDialogTemplate(hInstance, lpTemplateName);
    if (!dialog) return nullptr;
    if (hWndParent && !IsWindow(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    int resourceId = IS_INTRESOURCE(lpTemplateName) ? int(reinterpret_cast<ULONG_PTR>(lpTemplateName)) : 0;
    return CreateDialogFromTemplate(hInstance, *dialog, hWndParent, lpDialogFunc, dwInitParam, false, resourceId);
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    auto window = FindWindowObject(hDlg);
    if (!window) return FALSE;
    if (!window->dialog) {
        SetLastError(ERROR_WINDOW_NOT_DIALOG);
        return FALSE;
    }
    window->dialog->ended = true;
    window->dialog->result = nResult;
    if (HWND owner = window->dialog->disabledOwner; owner && IsWindow(owner)) {
        EnableWindow(owner, TRUE);
        window->dialog->disabledOwner = nullptr;
    }
    ShowWindow(hDlg, SW_HIDE);
    lumivel::WakeThreadQueue(*lumivel::CurrentThreadQueue());
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    if (!FindWindowObject(hDlg)) return nullptr;
    for (HWND child : ChildWindows(hDlg)) {
        auto w = FindWindowObject(child);
        if (w && w->id == nIDDlgItem) return child;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
    if (lpString && cchMax > 0) lpString[0] = 0;
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item) return 0;
    return UINT(GetWindowTextW(item, lpString, cchMax));
}

BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SetWindowTextW(item, lpString) : FALSE;
}

UINT GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned) {
    if (lpTranslated) *lpTranslated = FALSE;
    WCHAR buffer[64];
    if (!GetDlgItem(hDlg, nIDDlgItem)) return 0;
    GetDlgItemTextW(hDlg, nIDDlgItem, buffer, 64);
    std::u16string text(buffer);
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (bSigned && i < text.size() && text[i] == u'-') {
        negative = true;
        ++i;
    }
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9') return 0;
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + uint64_t(text[i] - u'0');
        if (value > (bSigned ? 0x80000000ull : 0xFFFFFFFFull)) return 0;  // overflow: not translated
    }
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    if (i != text.size()) return 0;
    if (bSigned && !negative && value > 0x7FFFFFFF) return 0;
    if (lpTranslated) *lpTranslated = TRUE;
    return negative ? UINT(-int64_t(value)) : UINT(value);
}

BOOL SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
    std::string digits = bSigned ? std::to_string(int(uValue)) : std::to_string(uValue);
    std::u16string text(digits.begin(), digits.end());
    return SetDlgItemTextW(hDlg, nIDDlgItem, text.c_str());
}

LRESULT SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    HWND item = GetDlgItem(hDlg, nIDButton);
    if (!item) return FALSE;
    SendMessageW(item, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    HWND item = GetDlgItem(hDlg, nIDButton);
    return item ? UINT(SendMessageW(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    if (!FindWindowObject(hDlg)) return FALSE;
    for (HWND child : ChildWindows(hDlg)) {
        auto w = FindWindowObject(child);
        if (w && w->id >= nIDFirstButton && w->id <= nIDLastButton)
            SendMessageW(child, BM_SETCHECK, w->id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}

BOOL MapDialogRect(HWND hDlg, LPRECT lpRect) {
    auto window = FindWindowObject(hDlg);
    if (!window || !window->dialog || lpRect == nullptr) {
        SetLastError(window ? ERROR_WINDOW_NOT_DIALOG : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT units = window->dialog->baseUnits;
    lpRect->left = MulDiv(lpRect->left, units.x, 4);
    lpRect->right = MulDiv(lpRect->right, units.x, 4);
    lpRect->top = MulDiv(lpRect->top, units.y, 8);
    lpRect->bottom = MulDiv(lpRect->bottom, units.y, 8);
    return TRUE;
}

}  // extern "C"
