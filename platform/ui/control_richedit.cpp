// The rich edit subset of a read-only details pane: plain text set as UTF-16 (code page 1200)
// or UTF-8, a text limit, detected links and EN_LINK, text ranges.
#include <algorithm>

#include "lumivel/text.h"
#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "ui_internal.h"

namespace lumivel::ui {
namespace {

constexpr UINT kCodePageUtf16 = 1200;
constexpr size_t kDefaultRichEditLimit = 32767;

bool IsLinkChar(char16_t c) {
    if (c <= u' ' || c == 0x7F) return false;
    switch (c) {
    case u'"': case u'<': case u'>': case u'{': case u'}': case u'|': case u'\\': case u'^': case u'`':
        return false;
    default: return true;
    }
}

bool StartsAt(const std::u16string& text, size_t at, std::u16string_view prefix) {
    if (at + prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char16_t c = text[at + i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
        if (c != prefix[i]) return false;
    }
    return true;
}

void Refresh(const std::shared_ptr<Window>& window, RichEditState& state) {
    state.links = state.autoUrlDetect ? DetectLinks(window->text) : std::vector<LinkRange>{};
    state.selection = CHARRANGE{0, 0};
    Changed(*window, WindowChange::State);
}

void SetText(const std::shared_ptr<Window>& window, RichEditState& state, std::u16string text, bool replaceSelection) {
    if (replaceSelection) {
        std::u16string all = window->text;
        size_t start = std::min<size_t>(size_t(std::max<LONG>(state.selection.cpMin, 0)), all.size());
        size_t end = state.selection.cpMax < 0 ? all.size() : std::min<size_t>(size_t(state.selection.cpMax), all.size());
        if (end < start) std::swap(start, end);
        all.replace(start, end - start, text);
        text = std::move(all);
    }
    CutToLimit(text, state.limit);
    SetWindowTextInternal(window, std::move(text));
    Refresh(window, state);
    if (state.eventMask & ENM_CHANGE) CommandToParent(window->handle, EN_CHANGE);
}

}  // namespace

// Schemes and "www." starts that rich edit's URL detection knows; a link runs to the next
// blank or quote and loses trailing punctuation.
std::vector<LinkRange> DetectLinks(const std::u16string& text) {
    static const std::u16string_view kStarts[] = {u"http://", u"https://", u"ftp://",  u"file://", u"mailto:",
                                                  u"ldap://", u"news:",    u"telnet:", u"www."};
    std::vector<LinkRange> links;
    size_t i = 0;
    while (i < text.size()) {
        bool atWordStart = i == 0 || !IsLinkChar(text[i - 1]) || text[i - 1] == u'(' || text[i - 1] == u'\'';
        bool matched = false;
        for (auto start : kStarts) {
            if (!atWordStart || !StartsAt(text, i, start)) continue;
            size_t end = i + start.size();
            while (end < text.size() && IsLinkChar(text[end])) ++end;
            while (end > i + start.size() && std::u16string_view(u".,;:!?)'").find(text[end - 1]) != std::u16string_view::npos)
                --end;
            if (end > i + start.size()) {
                links.push_back(LinkRange{LONG(i), LONG(end)});
                i = end;
                matched = true;
            }
            break;
        }
        if (!matched) ++i;
    }
    return links;
}

LRESULT RichEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    auto* state = window->state<RichEditState>();
    if (!state) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCCREATE:
        state->limit = kDefaultRichEditLimit;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SETTEXT:
        SetText(window, *state, lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string(), false);
        return TRUE;
    case EM_SETTEXTEX: {
        auto* options = reinterpret_cast<const SETTEXTEX*>(wParam);
        if (options == nullptr) return 0;
        std::u16string text;
        if (lParam != 0) {
            // Code page 1200 hands over UTF-16; every other code page is this platform's ANSI
            // code page, UTF-8.
            if (options->codepage == kCodePageUtf16) text = reinterpret_cast<LPCWSTR>(lParam);
            else text = FromUtf8(reinterpret_cast<const char*>(lParam));
        }
        SetText(window, *state, std::move(text), (options->flags & ST_SELECTION) != 0);
        return 1;
    }
    case EM_GETTEXTLENGTHEX: return LRESULT(window->text.size());
    case EM_GETTEXTEX: {
        auto* options = reinterpret_cast<const GETTEXTEX*>(wParam);
        if (options == nullptr || lParam == 0 || options->cb == 0) return 0;
        if (options->codepage == kCodePageUtf16) {
            size_t capacity = options->cb / sizeof(WCHAR);
            if (capacity == 0) return 0;
            size_t copied = std::min(window->text.size(), capacity - 1);
            std::copy_n(window->text.data(), copied, reinterpret_cast<LPWSTR>(lParam));
            reinterpret_cast<LPWSTR>(lParam)[copied] = 0;
            return LRESULT(copied);
        }
        std::string utf8 = ToUtf8(window->text);
        size_t copied = std::min(utf8.size(), size_t(options->cb) - 1);
        std::copy_n(utf8.data(), copied, reinterpret_cast<char*>(lParam));
        reinterpret_cast<char*>(lParam)[copied] = 0;
        return LRESULT(copied);
    }
    case EM_EXLIMITTEXT: {
        LONG_PTR limit = lParam;
        state->limit = limit <= 0 ? (limit == 0 ? 65536 : 0x7FFFFFFE) : size_t(limit);
        return 0;
    }
    case EM_LIMITTEXT: state->limit = wParam == 0 ? 65536 : size_t(wParam); return 0;
    case EM_GETLIMITTEXT: return LRESULT(state->limit);
    case EM_SETEVENTMASK: {
        DWORD previous = state->eventMask;
        state->eventMask = DWORD(lParam);
        return previous;
    }
    case EM_GETEVENTMASK: return state->eventMask;
    case EM_AUTOURLDETECT:
        state->autoUrlDetect = wParam != 0;
        Refresh(window, *state);
        return 0;
    case EM_GETTEXTRANGE: {
        auto* range = reinterpret_cast<TEXTRANGEW*>(lParam);
        if (range == nullptr || range->lpstrText == nullptr) return 0;
        LONG length = LONG(window->text.size());
        LONG start = std::clamp<LONG>(range->chrg.cpMin, 0, length);
        LONG end = range->chrg.cpMax < 0 ? length : std::clamp<LONG>(range->chrg.cpMax, 0, length);
        if (end < start) end = start;
        std::copy(window->text.begin() + start, window->text.begin() + end, range->lpstrText);
        range->lpstrText[end - start] = 0;
        return end - start;
    }
    case EM_EXSETSEL: {
        auto* range = reinterpret_cast<const CHARRANGE*>(lParam);
        if (range) state->selection = *range;
        return state->selection.cpMax;
    }
    case EM_EXGETSEL:
        if (lParam) *reinterpret_cast<CHARRANGE*>(lParam) = state->selection;
        return 0;
    case EM_SETREADONLY:
        if (wParam) window->style |= ES_READONLY;
        else window->style &= ~DWORD(ES_READONLY);
        Changed(*window, WindowChange::Style);
        return TRUE;
    case EM_SETBKGNDCOLOR: {
        COLORREF previous = state->background;
        state->background = wParam ? GetSysColor(COLOR_WINDOW) : COLORREF(lParam);
        Changed(*window, WindowChange::Redraw);
        return previous;
    }
    case WM_SETFONT: window->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(window->font);
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void UserClickRichEdit(HWND richEdit, LONG position, UINT mouseMessage) {
    auto window = FindWindowObject(richEdit);
    if (!window) return;
    auto* state = window->state<RichEditState>();
    if (!state || !(state->eventMask & ENM_LINK)) return;
    for (const auto& link : state->links) {
        if (position < link.start || position >= link.end) continue;
        ENLINK info{};
        info.msg = mouseMessage;
        info.chrg = CHARRANGE{link.start, link.end};
        NotifyParent(richEdit, info.nmhdr, EN_LINK);
        return;
    }
}

}  // namespace lumivel::ui
