// What the provider's dialog procedures share.
#pragma once

#include <string>

#include "win/user.h"

namespace revivo {

// Cancel ends a dialog with IDCANCEL and closing its window with 0; true when the message
// was one of them and the dialog has been ended.
inline bool EndsOnCancelOrClose(HWND dialog, UINT message, WPARAM wParam) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return true;
    }
    return false;
}

// The text of a dialog control, at most limit characters.
inline std::u16string DialogItemText(HWND dialog, int id, int limit) {
    std::u16string text(static_cast<size_t>(limit) + 1, u'\0');
    UINT length = GetDlgItemTextW(dialog, id, text.data(), limit + 1);
    text.resize(length);
    return text;
}

// The wait cursor while directory work runs on the caller's thread.
class BusyCursor {
public:
    BusyCursor() : m_previous(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~BusyCursor() { SetCursor(m_previous); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    HCURSOR m_previous;
};

}  // namespace revivo
