// MessageBoxW: the test hook answers first, else the backend shows the box.
#include <algorithm>

#include "ui_internal.h"
#include "win/errors.h"

namespace lumivel::ui {

std::vector<int> MessageBoxButtons(UINT type) {
    std::vector<int> buttons;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {IDOK, IDCANCEL}; break;
    case MB_ABORTRETRYIGNORE: buttons = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: buttons = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: buttons = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: buttons = {IDRETRY, IDCANCEL}; break;
    case MB_CANCELTRYCONTINUE: buttons = {IDCANCEL, IDTRYAGAIN, IDCONTINUE}; break;
    default: buttons = {IDOK}; break;
    }
    if (type & MB_HELP) buttons.push_back(IDHELP);
    return buttons;
}

int MessageBoxDefaultButton(UINT type) {
    std::vector<int> buttons = MessageBoxButtons(type);
    size_t index = (type & MB_DEFMASK) >> 8;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

int MessageBoxEscapeButton(UINT type) {
    std::vector<int> buttons = MessageBoxButtons(type);
    if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) return IDCANCEL;
    return (type & MB_TYPEMASK) == MB_OK ? IDOK : 0;
}

std::u16string MessageBoxButtonCaption(int id) {
    switch (id) {
    case IDOK: return u"OK";
    case IDCANCEL: return u"Cancel";
    case IDABORT: return u"&Abort";
    case IDRETRY: return u"&Retry";
    case IDIGNORE: return u"&Ignore";
    case IDYES: return u"&Yes";
    case IDNO: return u"&No";
    case IDCLOSE: return u"&Close";
    case IDHELP: return u"Help";
    case IDTRYAGAIN: return u"&Try Again";
    case IDCONTINUE: return u"&Continue";
    default: return u"";
    }
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    if (hWnd != nullptr && !IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // From a worker, over a window of the UI's thread: the box is shown there.
    int answer = 0;
    switch (CallOnWindowThread(hWnd, [&] { answer = MessageBoxW(hWnd, lpText, lpCaption, uType); })) {
    case WindowThreadCall::Ran: return answer;
    case WindowThreadCall::Gone: SetLastError(ERROR_INVALID_WINDOW_HANDLE); return 0;
    case WindowThreadCall::Here: break;
    }
    std::u16string text = lpText ? lpText : u"";
    std::u16string caption = lpCaption ? lpCaption : u"Error";  // Windows' caption when none is given
    Surface surface;
    surface.kind = SurfaceKind::MessageBox;
    surface.owner = hWnd;
    surface.caption = caption;
    surface.text = text;
    surface.style = uType;
    if (auto answer = CallTestHook(surface)) {
        std::vector<int> buttons = MessageBoxButtons(uType);
        if (std::find(buttons.begin(), buttons.end(), int(*answer)) != buttons.end()) return int(*answer);
        return MessageBoxDefaultButton(uType);
    }
    return CurrentBackend().messageBox(hWnd, text, caption, uType);
}
