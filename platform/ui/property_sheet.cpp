// Modal property sheets: pages from dialog templates, OK / Cancel / Apply with the page
// notifications (PSN_SETACTIVE, PSN_KILLACTIVE, PSN_APPLY, PSN_QUERYCANCEL, PSN_RESET); a page
// that refuses PSN_KILLACTIVE or PSN_APPLY keeps the sheet open.
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>

#include "lumivel/text.h"
#include "lumivel/ui_controls.h"
#include "win/winerror.h"
#include "ui_internal.h"
#include "win/errors.h"
#include "win/gdi.h"

struct _PSP {
    PROPSHEETPAGEW page;
};

namespace lumivel::ui {

struct PropertySheetState {
    std::vector<PROPSHEETPAGEW> pages;       // the sheet's copies; WM_INITDIALOG points at them
    std::vector<HWND> pageWindows;           // created on first activation
    std::vector<HPROPSHEETPAGE> ownedHandles;  // destroyed with the sheet
    int current = -1;
    DWORD flags = 0;
    HINSTANCE instance = nullptr;
    ~PropertySheetState();
};

DialogState::DialogState() = default;
DialogState::~DialogState() = default;

namespace {

constexpr int kApplyNowId = 0x3021;  // the Apply button's id in Windows' sheets
constexpr int kMargin = 7;
constexpr int kTabHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;

std::mutex g_pagesMutex;
std::set<HPROPSHEETPAGE>& LivePages() {
    static auto* pages = new std::set<HPROPSHEETPAGE>;
    return *pages;
}

}  // namespace

// Pages handed to PropertySheetW belong to it even when the sheet fails to open: the caller
// no longer destroys them.
PropertySheetState::~PropertySheetState() {
    std::lock_guard lock(g_pagesMutex);
    for (HPROPSHEETPAGE handle : ownedHandles)
        if (LivePages().erase(handle)) delete handle;
}

namespace {

PropertySheetState* SheetOf(HWND sheet) {
    auto window = FindWindowObject(sheet);
    return window && window->dialog ? window->dialog->sheet.get() : nullptr;
}

LRESULT NotifyPage(HWND sheet, HWND page, UINT code, LPARAM lParam = 0) {
    PSHNOTIFY info{};
    info.hdr.hwndFrom = sheet;
    info.hdr.idFrom = 0;
    info.hdr.code = code;
    info.lParam = lParam;
    return SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
}

std::optional<DialogTemplate> PageTemplate(const PROPSHEETPAGEW& page) {
    if (page.dwFlags & PSP_DLGINDIRECT) {
        // An in-memory template carries no size; only compiled resources are accepted.
        SetLastError(ERROR_NOT_SUPPORTED);
        return std::nullopt;
    }
    return LoadDialogTemplate(page.hInstance, page.pszTemplate);
}

// Pages are created when first shown, at the page area's place inside the sheet.
HWND ActivatePage(HWND sheet, PropertySheetState& state, int index) {
    if (index < 0 || size_t(index) >= state.pages.size()) return nullptr;
    if (state.current == index && state.pageWindows[size_t(index)]) return state.pageWindows[size_t(index)];
    if (state.current >= 0 && state.pageWindows[size_t(state.current)]) {
        if (NotifyPage(sheet, state.pageWindows[size_t(state.current)], PSN_KILLACTIVE)) return nullptr;
        ShowWindow(state.pageWindows[size_t(state.current)], SW_HIDE);
    }
    HWND& page = state.pageWindows[size_t(index)];
    if (!page) {
        PROPSHEETPAGEW& info = state.pages[size_t(index)];
        auto dialog = PageTemplate(info);
        if (!dialog) return nullptr;
        if ((info.dwFlags & PSP_USECALLBACK) && info.pfnCallback && !info.pfnCallback(nullptr, 2 /*PSPCB_CREATE*/, &info))
            return nullptr;
        int resourceId = IS_INTRESOURCE(info.pszTemplate) ? int(reinterpret_cast<ULONG_PTR>(info.pszTemplate)) : 0;
        page = CreateDialogFromTemplate(info.hInstance, *dialog, sheet, info.pfnDlgProc,
                                        reinterpret_cast<LPARAM>(&info), false, resourceId, true);
        if (!page) return nullptr;
        std::u16string title = (info.dwFlags & PSP_USETITLE) && info.pszTitle && !IS_INTRESOURCE(info.pszTitle)
                                   ? std::u16string(info.pszTitle)
                                   : dialog->caption;
        if (auto w = FindWindowObject(page)) w->text = title;
        SetWindowPos(page, nullptr, kMargin + 4, kMargin + kTabHeight + 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    state.current = index;
    ShowWindow(page, SW_SHOW);
    NotifyPage(sheet, page, PSN_SETACTIVE);
    return page;
}

void EndSheet(HWND sheet, INT_PTR result) { EndDialog(sheet, result); }

// OK and Apply: the current page may refuse to be left, every page may refuse the apply.
bool Apply(HWND sheet, PropertySheetState& state, bool closing) {
    HWND current = state.current >= 0 ? state.pageWindows[size_t(state.current)] : nullptr;
    if (current && NotifyPage(sheet, current, PSN_KILLACTIVE)) return false;
    for (size_t i = 0; i < state.pageWindows.size(); ++i) {
        HWND page = state.pageWindows[i];
        if (!page) continue;
        LRESULT answer = NotifyPage(sheet, page, PSN_APPLY, closing ? TRUE : FALSE);
        if (answer == PSNRET_INVALID || answer == PSNRET_INVALID_NOCHANGEPAGE) {
            if (answer == PSNRET_INVALID) ActivatePage(sheet, state, int(i));
            return false;
        }
    }
    if (HWND apply = GetDlgItem(sheet, kApplyNowId)) EnableWindow(apply, FALSE);
    return true;
}

void Cancel(HWND sheet, PropertySheetState& state) {
    HWND current = state.current >= 0 ? state.pageWindows[size_t(state.current)] : nullptr;
    if (current && NotifyPage(sheet, current, PSN_QUERYCANCEL)) return;
    for (HWND page : state.pageWindows)
        if (page) NotifyPage(sheet, page, PSN_RESET);
    EndSheet(sheet, 0);
}

bool PressButton(HWND sheet, int button) {
    PropertySheetState* state = SheetOf(sheet);
    if (!state) return false;
    switch (button) {
    case PSBTN_OK:
        if (Apply(sheet, *state, true)) EndSheet(sheet, 1);
        return true;
    case PSBTN_APPLYNOW: Apply(sheet, *state, false); return true;
    case PSBTN_CANCEL: Cancel(sheet, *state); return true;
    default: return false;
    }
}

HWND AddButton(HWND sheet, int id, const char16_t* text, int x, int y, bool enabled, HINSTANCE instance) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    if (!enabled) style |= WS_DISABLED;
    HWND button = CreateWindowExW(0, u"Button", text, style, x, y, kButtonWidth, kButtonHeight, sheet,
                                  reinterpret_cast<HMENU>(LONG_PTR(id)), instance, nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return button;
}

}  // namespace

LRESULT PropertySheetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PropertySheetState* state = SheetOf(hwnd);
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: PressButton(hwnd, PSBTN_OK); return 0;
        case IDCANCEL: PressButton(hwnd, PSBTN_CANCEL); return 0;
        case kApplyNowId: PressButton(hwnd, PSBTN_APPLYNOW); return 0;
        default: return 0;
        }
    case WM_CLOSE: PressButton(hwnd, PSBTN_CANCEL); return 0;
    case PSM_PRESSBUTTON: return PressButton(hwnd, int(wParam)) ? TRUE : FALSE;
    case PSM_GETCURRENTPAGEHWND:
        return state && state->current >= 0 ? reinterpret_cast<LRESULT>(state->pageWindows[size_t(state->current)]) : 0;
    case PSM_SETCURSEL: return state && ActivatePage(hwnd, *state, int(wParam)) ? TRUE : FALSE;
    case PSM_CHANGED:
        if (HWND apply = GetDlgItem(hwnd, kApplyNowId)) EnableWindow(apply, TRUE);
        return 0;
    case PSM_UNCHANGED:
        if (HWND apply = GetDlgItem(hwnd, kApplyNowId)) EnableWindow(apply, FALSE);
        return 0;
    case PSM_CANCELTOCLOSE:
        if (HWND cancel = GetDlgItem(hwnd, IDCANCEL)) SetWindowTextW(cancel, u"Close");
        return 0;
    case PSM_SETTITLEW:
        if (lParam && !IS_INTRESOURCE(reinterpret_cast<LPCWSTR>(lParam))) SetWindowTextW(hwnd, reinterpret_cast<LPCWSTR>(lParam));
        return 0;
    case WM_DESTROY:
        if (state) {
            for (auto& page : state->pages)
                if ((page.dwFlags & PSP_USECALLBACK) && page.pfnCallback) page.pfnCallback(nullptr, 1 /*PSPCB_RELEASE*/, &page);
            std::lock_guard lock(g_pagesMutex);
            for (HPROPSHEETPAGE handle : state->ownedHandles)
                if (LivePages().erase(handle)) delete handle;
            state->ownedHandles.clear();
        }
        return 0;
    default: return DefDlgProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" {

HPROPSHEETPAGE CreatePropertySheetPageW(LPCPROPSHEETPAGEW page) {
    if (page == nullptr || page->dwSize < offsetof(PROPSHEETPAGEW, pcRefParent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* handle = new _PSP{};
    std::memcpy(&handle->page, page, std::min<size_t>(page->dwSize, sizeof(PROPSHEETPAGEW)));
    handle->page.dwSize = sizeof(PROPSHEETPAGEW);
    std::lock_guard lock(g_pagesMutex);
    LivePages().insert(handle);
    return handle;
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE hPSPage) {
    std::lock_guard lock(g_pagesMutex);
    if (!LivePages().erase(hPSPage)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete hPSPage;
    return TRUE;
}

INT_PTR PropertySheetW(LPCPROPSHEETHEADERW header) {
    if (header == nullptr || header->dwSize < offsetof(PROPSHEETHEADERW, hbmWatermark) || header->nPages == 0 ||
        header->nPages > 64 || header->ppsp == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (header->dwFlags & (PSH_MODELESS | PSH_WIZARD)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return -1;
    }
    auto state = std::make_unique<PropertySheetState>();
    state->flags = header->dwFlags;
    state->instance = header->hInstance;
    for (UINT i = 0; i < header->nPages; ++i) {
        PROPSHEETPAGEW page{};
        if (header->dwFlags & PSH_PROPSHEETPAGE) {
            const auto* source = reinterpret_cast<const BYTE*>(header->ppsp);
            const auto* entry = reinterpret_cast<const PROPSHEETPAGEW*>(source + size_t(i) * header->ppsp->dwSize);
            if (header->ppsp->dwSize < offsetof(PROPSHEETPAGEW, pcRefParent) || entry->dwSize != header->ppsp->dwSize) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return -1;
            }
            std::memcpy(&page, entry, std::min<size_t>(entry->dwSize, sizeof(page)));
        } else {
            HPROPSHEETPAGE handle = header->phpage[i];
            std::lock_guard lock(g_pagesMutex);
            if (!LivePages().count(handle)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return -1;
            }
            page = handle->page;
            state->ownedHandles.push_back(handle);
        }
        page.dwSize = sizeof(PROPSHEETPAGEW);
        state->pages.push_back(page);
    }
    state->pageWindows.assign(state->pages.size(), nullptr);

    // The sheet is as large as its largest page, in that page's dialog units.
    int pageWidth = 0, pageHeight = 0;
    for (const auto& page : state->pages) {
        auto dialog = PageTemplate(page);
        if (!dialog) return -1;
        DialogFontSpec font{dialog->hasFont ? dialog->typeface : u"System", dialog->hasFont ? dialog->pointSize : 10,
                            dialog->weight ? dialog->weight : 400, dialog->italic != 0};
        POINT units = CurrentBackend().dialogBaseUnits(font);
        if (units.x <= 0 || units.y <= 0) units = POINT{kDefaultBaseUnitX, kDefaultBaseUnitY};
        pageWidth = std::max(pageWidth, dialog->cx * int(units.x) / 4);
        pageHeight = std::max(pageHeight, dialog->cy * int(units.y) / 8);
    }
    if (!HasTestHook() && !CurrentBackend().canRunDialogs()) {
        std::fprintf(stderr, "lumivel: property sheet \"%s\" cannot be shown: this process has no display\n",
                     header->pszCaption && !IS_INTRESOURCE(header->pszCaption) ? lumivel::ToUtf8(header->pszCaption).c_str() : "");
        SetLastError(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
        return -1;
    }

    int clientWidth = pageWidth + 2 * kMargin + 8;
    int clientHeight = kMargin + kTabHeight + pageHeight + 8 + kMargin + kButtonHeight + kMargin;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    RECT frame = NonClientFrame(style, 0);
    std::u16string caption;
    if (header->pszCaption && !IS_INTRESOURCE(header->pszCaption)) caption = header->pszCaption;
    if (header->dwFlags & PSH_PROPTITLE) caption = u"Properties for " + caption;
    HWND owner = header->hwndParent && IsWindow(header->hwndParent) ? header->hwndParent : nullptr;
    auto dialogState = std::make_unique<DialogState>();
    dialogState->modal = true;
    dialogState->sheet = std::move(state);
    HWND sheet = CreateWindowWithClass(FindWindowClass(kPropertySheetClassName, nullptr), WS_EX_DLGMODALFRAME,
                                       caption.c_str(), style, 100, 100, clientWidth + frame.left + frame.right,
                                       clientHeight + frame.top + frame.bottom, owner, nullptr, header->hInstance,
                                       nullptr, std::move(dialogState));
    if (!sheet) return -1;
    auto window = FindWindowObject(sheet);
    PropertySheetState& sheetState = *window->dialog->sheet;

    // Right-aligned, and in the tab order OK, Cancel, Apply.
    int buttonsTop = clientHeight - kMargin - kButtonHeight;
    bool apply = !(header->dwFlags & PSH_NOAPPLYNOW);
    int x = clientWidth - kMargin - (apply ? 3 : 2) * kButtonWidth - (apply ? 2 : 1) * kButtonGap;
    AddButton(sheet, IDOK, u"OK", x, buttonsTop, true, header->hInstance);
    x += kButtonWidth + kButtonGap;
    AddButton(sheet, IDCANCEL, u"Cancel", x, buttonsTop, true, header->hInstance);
    x += kButtonWidth + kButtonGap;
    if (apply) AddButton(sheet, kApplyNowId, u"&Apply", x, buttonsTop, false, header->hInstance);

    UINT start = (header->dwFlags & PSH_USEPSTARTPAGE) ? 0 : header->nStartPage;
    if (start >= sheetState.pages.size()) start = 0;
    if (!ActivatePage(sheet, sheetState, int(start))) {
        DestroyWindow(sheet);
        return -1;
    }
    if ((header->dwFlags & PSH_USECALLBACK) && header->pfnCallback) header->pfnCallback(sheet, 1 /*PSCB_INITIALIZED*/, 0);
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        window->dialog->disabledOwner = owner;
    }
    RunModalSurface(sheet, SurfaceKind::PropertySheet);
    INT_PTR result = window->dialog->ended ? window->dialog->result : -1;
    if (HWND disabled = window->dialog->disabledOwner; disabled && IsWindow(disabled)) EnableWindow(disabled, TRUE);
    if (IsWindow(sheet)) DestroyWindow(sheet);
    return result;
}

}  // extern "C"
