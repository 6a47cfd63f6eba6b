// Edit controls (read-only, password, number, text limit) and combo boxes (drop-down lists).
#include <algorithm>

#include "lumivel/ui_controls.h"
#include "lumivel/wide_string.h"
#include "lumivel/ui_input.h"
#include "ui_internal.h"

namespace lumivel::ui {
namespace {

constexpr size_t kDefaultEditLimit = 32767;       // before EM_LIMITTEXT, as on Windows
constexpr size_t kMaximumEditLimit = 0x7FFFFFFE;  // EM_LIMITTEXT(0)

std::u16string CaseConverted(const Window& window, std::u16string text) {
    if (window.style & ES_UPPERCASE) return ToUpperCase(text);
    if (window.style & ES_LOWERCASE) return ToLowerCase(text);
    return text;
}

void EditChanged(const std::shared_ptr<Window>& window) {
    CommandToParent(window->handle, EN_UPDATE);
    CommandToParent(window->handle, EN_CHANGE);
}

bool IsDropDownList(const Window& window) { return (window.style & 0x3) == CBS_DROPDOWNLIST; }

LRESULT CopyText(const std::u16string& text, WPARAM capacity, LPARAM buffer) {
    auto out = reinterpret_cast<LPWSTR>(buffer);
    if (out == nullptr || capacity == 0) return 0;
    size_t copied = std::min(text.size(), size_t(capacity) - 1);
    std::copy_n(text.data(), copied, out);
    out[copied] = 0;
    return LRESULT(copied);
}

}  // namespace

LRESULT EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    auto* state = window->state<EditState>();
    if (!state) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCCREATE:
        state->limit = kDefaultEditLimit;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SETTEXT: {
        // The text limit binds what is typed, not what is set.
        std::u16string text = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
        SetWindowTextInternal(window, CaseConverted(*window, std::move(text)));
        state->modified = false;
        state->selStart = state->selEnd = 0;
        if (!(window->style & ES_MULTILINE) && window->created) EditChanged(window);
        return TRUE;
    }
    case EM_LIMITTEXT:
        state->limit = wParam == 0 ? kMaximumEditLimit : size_t(wParam);
        return 0;
    case EM_GETLIMITTEXT: return LRESULT(state->limit);
    case EM_SETREADONLY:
        if (wParam) window->style |= ES_READONLY;
        else window->style &= ~DWORD(ES_READONLY);
        Changed(*window, WindowChange::Style);
        return TRUE;
    case EM_SETPASSWORDCHAR:
        state->passwordChar = WCHAR(wParam);
        if (wParam) window->style |= ES_PASSWORD;
        else window->style &= ~DWORD(ES_PASSWORD);
        Changed(*window, WindowChange::Style);
        return 0;
    case EM_GETSEL:
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = state->selStart;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = state->selEnd;
        return MAKELRESULT(WORD(std::min<DWORD>(state->selStart, 0xFFFF)), WORD(std::min<DWORD>(state->selEnd, 0xFFFF)));
    case EM_SETSEL: {
        auto length = DWORD(window->text.size());
        LONG start = LONG(wParam), end = LONG(lParam);
        if (start == -1) {
            state->selStart = state->selEnd = length;  // -1 removes the selection
        } else {
            if (end == -1 || DWORD(end) > length) end = LONG(length);
            state->selStart = std::min<DWORD>(DWORD(std::max<LONG>(start, 0)), length);
            state->selEnd = DWORD(std::max<LONG>(end, 0));
            if (state->selStart > state->selEnd) std::swap(state->selStart, state->selEnd);
        }
        Changed(*window, WindowChange::State);
        return 0;
    }
    case EM_REPLACESEL: {
        std::u16string insert = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
        std::u16string text = window->text;
        size_t start = std::min<size_t>(state->selStart, text.size()), end = std::min<size_t>(state->selEnd, text.size());
        size_t room = state->limit > text.size() - (end - start) ? state->limit - (text.size() - (end - start)) : 0;
        CutToLimit(insert, room);
        text.replace(start, end - start, insert);
        SetWindowTextInternal(window, CaseConverted(*window, text));
        state->selStart = state->selEnd = DWORD(start + insert.size());
        state->modified = true;
        EditChanged(window);
        return 0;
    }
    case EM_GETMODIFY: return state->modified ? TRUE : FALSE;
    case EM_SETMODIFY: state->modified = wParam != 0; return 0;
    case EM_GETLINECOUNT: return LRESULT(std::count(window->text.begin(), window->text.end(), u'\n') + 1);
    case WM_SETFONT: window->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(window->font);
    case WM_SETFOCUS: CommandToParent(hwnd, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: CommandToParent(hwnd, EN_KILLFOCUS); return 0;
    case WM_GETDLGCODE: return 0x0001 | 0x0080 | 0x0008;  // DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

bool UserSetEditText(HWND edit, const std::u16string& typed) {
    auto window = FindWindowObject(edit);
    if (!window) return false;
    auto* state = window->state<EditState>();
    if (!state || (window->style & (ES_READONLY | WS_DISABLED))) return false;
    if (window->style & ES_NUMBER) {
        // Windows refuses a character that is no digit and keeps the text as it was.
        if (!std::all_of(typed.begin(), typed.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) return false;
    }
    std::u16string text = typed;
    bool cut = text.size() > state->limit;
    if (cut) CutToLimit(text, state->limit);
    text = CaseConverted(*window, std::move(text));
    if (text != window->text) {
        SetWindowTextInternal(window, std::move(text));
        state->modified = true;
        state->selStart = state->selEnd = DWORD(window->text.size());
        EditChanged(window);
    }
    if (cut) CommandToParent(edit, EN_MAXTEXT);
    return !cut;
}

LRESULT ComboBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    auto* state = window->state<ComboBoxState>();
    if (!state) return DefWindowProcW(hwnd, message, wParam, lParam);
    auto& items = state->items;
    auto index = [&](WPARAM w) { return int(LONG_PTR(w)); };
    auto valid = [&](int i) { return i >= 0 && size_t(i) < items.size(); };
    auto findString = [&](int start, LPCWSTR text, bool exact) -> LRESULT {
        if (text == nullptr || items.empty()) return CB_ERR;
        std::u16string wanted(text);
        size_t first = (start < 0 || size_t(start) >= items.size()) ? 0 : size_t(start) + 1;
        for (size_t n = 0; n < items.size(); ++n) {
            size_t i = (first + n) % items.size();
            if (exact ? EqualsNoCase(items[i].text, wanted) : StartsWithNoCase(items[i].text, wanted)) return LRESULT(i);
        }
        return CB_ERR;
    };
    switch (message) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        if (lParam == 0) return CB_ERR;
        ComboItem item{std::u16string(reinterpret_cast<LPCWSTR>(lParam)), 0};
        size_t at = items.size();
        if (message == CB_INSERTSTRING) {
            int wanted = index(wParam);
            if (wanted >= 0) {
                if (size_t(wanted) > items.size()) return CB_ERR;
                at = size_t(wanted);
            }
        } else if (window->style & CBS_SORT) {
            at = size_t(std::upper_bound(items.begin(), items.end(), item,
                                         [](const ComboItem& a, const ComboItem& b) {
                                             return CompareNoCase(a.text, b.text) < 0;
                                         }) -
                        items.begin());
        }
        items.insert(items.begin() + long(at), std::move(item));
        if (state->selection >= int(at)) ++state->selection;
        Changed(*window, WindowChange::State);
        return LRESULT(at);
    }
    case CB_DELETESTRING: {
        int i = index(wParam);
        if (!valid(i)) return CB_ERR;
        items.erase(items.begin() + i);
        if (state->selection == i) state->selection = -1;
        else if (state->selection > i) --state->selection;
        Changed(*window, WindowChange::State);
        return LRESULT(items.size());
    }
    case CB_RESETCONTENT:
        items.clear();
        state->selection = -1;
        Changed(*window, WindowChange::State);
        return CB_OKAY;
    case CB_GETCOUNT: return LRESULT(items.size());
    case CB_GETCURSEL: return state->selection;
    case CB_SETCURSEL: {
        int i = index(wParam);
        state->selection = valid(i) ? i : -1;
        if (IsDropDownList(*window) || state->selection >= 0)
            SetWindowTextInternal(window, state->selection >= 0 ? items[size_t(i)].text : u"");
        Changed(*window, WindowChange::State);
        return valid(i) ? i : CB_ERR;
    }
    case CB_GETLBTEXT: {
        int i = index(wParam);
        if (!valid(i) || lParam == 0) return CB_ERR;
        const auto& text = items[size_t(i)].text;
        std::copy(text.begin(), text.end(), reinterpret_cast<LPWSTR>(lParam));
        reinterpret_cast<LPWSTR>(lParam)[text.size()] = 0;
        return LRESULT(text.size());
    }
    case CB_GETLBTEXTLEN: return valid(index(wParam)) ? LRESULT(items[wParam].text.size()) : CB_ERR;
    case CB_FINDSTRING: return findString(index(wParam), reinterpret_cast<LPCWSTR>(lParam), false);
    case CB_FINDSTRINGEXACT: return findString(index(wParam), reinterpret_cast<LPCWSTR>(lParam), true);
    case CB_SELECTSTRING: {
        LRESULT found = findString(index(wParam), reinterpret_cast<LPCWSTR>(lParam), false);
        if (found != CB_ERR) SendMessageW(hwnd, CB_SETCURSEL, WPARAM(found), 0);
        return found;
    }
    case CB_GETITEMDATA: return valid(index(wParam)) ? items[wParam].data : CB_ERR;
    case CB_SETITEMDATA:
        if (!valid(index(wParam))) return CB_ERR;
        items[wParam].data = lParam;
        return TRUE;
    case CB_SHOWDROPDOWN:
        if (state->dropped != (wParam != 0)) {
            state->dropped = wParam != 0;
            CommandToParent(hwnd, state->dropped ? CBN_DROPDOWN : CBN_CLOSEUP);
            Changed(*window, WindowChange::State);
        }
        return TRUE;
    case CB_GETDROPPEDSTATE: return state->dropped ? TRUE : FALSE;
    case CB_LIMITTEXT: state->limit = wParam == 0 ? 0x7FFFFFFE : size_t(wParam); return TRUE;
    case WM_SETTEXT: {
        std::u16string text = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
        if (IsDropDownList(*window)) {
            // A drop-down list shows only its items: the text selects a matching one.
            LRESULT found = findString(-1, text.c_str(), true);
            if (found == CB_ERR) return CB_ERR;
            SendMessageW(hwnd, CB_SETCURSEL, WPARAM(found), 0);
            return TRUE;
        }
        SetWindowTextInternal(window, std::move(text));
        return TRUE;
    }
    case WM_GETTEXT:
        if (IsDropDownList(*window))
            return CopyText(state->selection >= 0 ? items[size_t(state->selection)].text : u"", wParam, lParam);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_GETTEXTLENGTH:
        if (IsDropDownList(*window))
            return state->selection >= 0 ? LRESULT(items[size_t(state->selection)].text.size()) : 0;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SETFONT: window->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(window->font);
    case WM_SETFOCUS: CommandToParent(hwnd, CBN_SETFOCUS); return 0;
    case WM_KILLFOCUS: CommandToParent(hwnd, CBN_KILLFOCUS); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void UserSelectComboItem(HWND combo, int index) {
    auto window = FindWindowObject(combo);
    if (!window || (window->style & WS_DISABLED)) return;
    auto* state = window->state<ComboBoxState>();
    if (!state || index < 0 || size_t(index) >= state->items.size()) return;
    if (state->selection != index) {
        SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
        CommandToParent(combo, CBN_SELCHANGE);
    }
    CommandToParent(combo, CBN_SELENDOK);
}

}  // namespace lumivel::ui
