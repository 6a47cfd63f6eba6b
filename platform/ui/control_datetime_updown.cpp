// Date-time pickers (date or time of day, optionally "no value") and up-down controls with
// a buddy edit that shows the position.
#include <algorithm>
#include <cstring>
#include <string>

#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "ui_internal.h"
#include "win/datetime.h"

namespace lumivel::ui {
namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// The range SYSTEMTIME covers on Windows.
bool ValidTime(const SYSTEMTIME& t) {
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12) return false;
    if (t.wDay < 1 || t.wDay > DaysIn(t.wYear, t.wMonth)) return false;
    return t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

WORD DayOfWeek(int year, int month, int day) {
    // Sakamoto's method; 0 is Sunday, as SYSTEMTIME counts.
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return WORD((year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7);
}

// Earlier, equal or later, field by field from the year down.
int CompareTimes(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    const WORD left[] = {a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond, a.wMilliseconds};
    const WORD right[] = {b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond, b.wMilliseconds};
    for (size_t i = 0; i < std::size(left); ++i)
        if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
    return 0;
}

bool InRange(const DateTimeState& state, const SYSTEMTIME& t) {
    return !(state.minimum && CompareTimes(t, *state.minimum) < 0) && !(state.maximum && CompareTimes(t, *state.maximum) > 0);
}

SYSTEMTIME Clamped(const DateTimeState& state, SYSTEMTIME t) {
    if (state.minimum && CompareTimes(t, *state.minimum) < 0) t = *state.minimum;
    if (state.maximum && CompareTimes(t, *state.maximum) > 0) t = *state.maximum;
    t.wDayOfWeek = DayOfWeek(t.wYear, t.wMonth, t.wDay);
    return t;
}

// DTM_SETRANGE: the flags say which of the two limits are given; a limit not given is lifted.
bool SetRange(DateTimeState& state, WPARAM flags, const SYSTEMTIME* limits) {
    if (limits == nullptr && (flags & (GDTR_MIN | GDTR_MAX))) return false;
    if ((flags & GDTR_MIN) && !ValidTime(limits[0])) return false;
    if ((flags & GDTR_MAX) && !ValidTime(limits[1])) return false;
    if ((flags & GDTR_MIN) && (flags & GDTR_MAX) && CompareTimes(limits[0], limits[1]) > 0) return false;
    state.minimum = (flags & GDTR_MIN) ? std::optional<SYSTEMTIME>(limits[0]) : std::nullopt;
    state.maximum = (flags & GDTR_MAX) ? std::optional<SYSTEMTIME>(limits[1]) : std::nullopt;
    state.value = Clamped(state, state.value);
    return true;
}

void NotifyDateTime(HWND picker, const DateTimeState& state) {
    NMDATETIMECHANGE info{};
    info.dwFlags = state.valid ? GDT_VALID : GDT_NONE;
    info.st = state.value;
    NotifyParent(picker, info.nmhdr, DTN_DATETIMECHANGE);
}

std::u16string Digits(int value, bool thousands) {
    std::string text = std::to_string(value < 0 ? -int64_t(value) : int64_t(value));
    if (thousands)
        for (int at = int(text.size()) - 3; at > 0; at -= 3) text.insert(size_t(at), ",");
    if (value < 0) text.insert(0, "-");
    return std::u16string(text.begin(), text.end());
}

std::optional<int> ParseBuddy(const std::u16string& text) {
    std::u16string digits;
    for (char16_t c : text)
        if (c != u',' && c != u' ') digits.push_back(c);
    if (digits.empty()) return std::nullopt;
    size_t i = digits[0] == u'-' ? 1 : 0;
    if (i == digits.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < digits.size(); ++i) {
        if (digits[i] < u'0' || digits[i] > u'9') return std::nullopt;
        value = value * 10 + (digits[i] - u'0');
        if (value > 0x7FFFFFFF) return std::nullopt;
    }
    return int(digits[0] == u'-' ? -value : value);
}

struct UpDown {
    std::shared_ptr<Window> window;
    UpDownState* state;

    int low() const { return std::min(state->lower, state->upper); }
    int high() const { return std::max(state->lower, state->upper); }

    void showInBuddy() {
        if (!(window->style & UDS_SETBUDDYINT) || !IsWindow(state->buddy)) return;
        SetWindowTextW(state->buddy, Digits(state->position, !(window->style & UDS_NOTHOUSANDS)).c_str());
    }

    // The position as the buddy shows it; false when its text is no number in range.
    bool readBuddy() {
        if (!(window->style & UDS_SETBUDDYINT) || !IsWindow(state->buddy)) return true;
        WCHAR text[64];
        GetWindowTextW(state->buddy, text, 64);
        auto value = ParseBuddy(text);
        if (!value || *value < low() || *value > high()) return false;
        state->position = *value;
        return true;
    }

    int setPosition(int position) {
        int previous = state->position;
        state->position = std::clamp(position, low(), high());
        showInBuddy();
        Changed(*window, WindowChange::State);
        return previous;
    }
};

}  // namespace

LRESULT DateTimeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    auto* state = window->state<DateTimeState>();
    if (!state) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        GetLocalTime(&state->value);
        state->value.wMilliseconds = 0;
        state->valid = true;
        return 0;
    case DTM_GETSYSTEMTIME: {
        auto* out = reinterpret_cast<SYSTEMTIME*>(lParam);
        if (out == nullptr) return GDT_ERROR;
        if (!state->valid) return GDT_NONE;
        *out = state->value;
        return GDT_VALID;
    }
    case DTM_SETSYSTEMTIME: {
        if (wParam == GDT_NONE) {
            if (!(window->style & DTS_SHOWNONE)) return FALSE;
            state->valid = false;
        } else if (wParam == GDT_VALID) {
            auto* in = reinterpret_cast<const SYSTEMTIME*>(lParam);
            if (in == nullptr || !ValidTime(*in) || !InRange(*state, *in)) return FALSE;
            state->value = *in;
            state->value.wDayOfWeek = DayOfWeek(in->wYear, in->wMonth, in->wDay);
            state->valid = true;
        } else {
            return FALSE;
        }
        Changed(*window, WindowChange::State);
        return TRUE;
    }
    case DTM_SETFORMATW:
        state->format = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
        Changed(*window, WindowChange::State);
        return TRUE;
    case DTM_GETRANGE: {
        auto* limits = reinterpret_cast<SYSTEMTIME*>(lParam);
        if (limits == nullptr) return 0;
        limits[0] = state->minimum.value_or(SYSTEMTIME{});
        limits[1] = state->maximum.value_or(SYSTEMTIME{});
        return (state->minimum ? GDTR_MIN : 0) | (state->maximum ? GDTR_MAX : 0);
    }
    case DTM_SETRANGE:
        if (!SetRange(*state, wParam, reinterpret_cast<const SYSTEMTIME*>(lParam))) return FALSE;
        Changed(*window, WindowChange::State);
        return TRUE;
    case WM_SETFONT: window->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(window->font);
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void UserSetDateTime(HWND picker, const SYSTEMTIME* value) {
    auto window = FindWindowObject(picker);
    if (!window || (window->style & WS_DISABLED)) return;
    auto* state = window->state<DateTimeState>();
    if (!state) return;
    if (value == nullptr) {
        if (!(window->style & DTS_SHOWNONE) || !state->valid) return;
        state->valid = false;
    } else {
        if (!ValidTime(*value)) return;
        // A person cannot pick past the limits; the picker stops at them.
        SYSTEMTIME next = Clamped(*state, *value);
        if (state->valid && std::memcmp(&next, &state->value, sizeof(next)) == 0) return;
        state->value = next;
        state->valid = true;
    }
    Changed(*window, WindowChange::State);
    NotifyDateTime(picker, *state);
}

LRESULT UpDownProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = FindWindowObject(hwnd);
    if (!window) return 0;
    auto* state = window->state<UpDownState>();
    if (!state) return DefWindowProcW(hwnd, message, wParam, lParam);
    UpDown control{window, state};
    switch (message) {
    case WM_CREATE:
        // An automatic buddy is the window before this one in the tab order.
        if (window->style & UDS_AUTOBUDDY) state->buddy = GetWindow(hwnd, GW_HWNDPREV);
        return 0;
    case UDM_SETRANGE:
        state->upper = SHORT(LOWORD(lParam));
        state->lower = SHORT(HIWORD(lParam));
        state->position = std::clamp(state->position, control.low(), control.high());
        Changed(*window, WindowChange::State);
        return 0;
    case UDM_GETRANGE: return MAKELONG(WORD(state->upper), WORD(state->lower));
    case UDM_SETRANGE32:
        state->lower = int(wParam);
        state->upper = int(lParam);
        state->position = std::clamp(state->position, control.low(), control.high());
        Changed(*window, WindowChange::State);
        return 0;
    case UDM_GETRANGE32:
        if (wParam) *reinterpret_cast<int*>(wParam) = state->lower;
        if (lParam) *reinterpret_cast<int*>(lParam) = state->upper;
        return 0;
    case UDM_SETPOS: return control.setPosition(SHORT(LOWORD(lParam)));
    case UDM_SETPOS32: return control.setPosition(int(lParam));
    case UDM_GETPOS: {
        bool ok = control.readBuddy();
        return MAKELONG(WORD(state->position), ok ? 0 : 1);
    }
    case UDM_GETPOS32: {
        bool ok = control.readBuddy();
        if (lParam) *reinterpret_cast<BOOL*>(lParam) = ok ? FALSE : TRUE;
        return state->position;
    }
    case UDM_SETBUDDY: {
        HWND previous = state->buddy;
        state->buddy = reinterpret_cast<HWND>(wParam);
        control.showInBuddy();
        return reinterpret_cast<LRESULT>(previous);
    }
    case UDM_GETBUDDY: return reinterpret_cast<LRESULT>(state->buddy);
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void UserSpin(HWND updown, int delta) {
    auto window = FindWindowObject(updown);
    if (!window || (window->style & WS_DISABLED) || delta == 0) return;
    auto* state = window->state<UpDownState>();
    if (!state) return;
    UpDown control{window, state};
    control.readBuddy();
    // "Up" moves towards the upper end of the range, whichever way the range runs.
    int step = (state->upper >= state->lower ? 1 : -1) * (delta > 0 ? 1 : -1);
    NMUPDOWN info{};
    info.iPos = state->position;
    info.iDelta = step;
    if (NotifyParent(updown, info.hdr, UDN_DELTAPOS)) return;  // the parent refused the change
    int next = state->position + info.iDelta;
    if (next < control.low() || next > control.high()) {
        if (!(window->style & UDS_WRAP)) return;
        next = next < control.low() ? control.high() : control.low();
    }
    control.setPosition(next);
    if (window->parent)
        SendMessageW(window->parent, (window->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(4, WORD(next)),
                     reinterpret_cast<LPARAM>(updown));  // SB_THUMBPOSITION
}

}  // namespace lumivel::ui
