// A hook for tests: it sees each modal dialog, property sheet, popup menu and message box as it
// opens, under every backend, and answers it with ordinary calls.
//
//  - Message box: the hook returns the id of the button to press (IDOK, IDRETRY ...).
//  - Popup menu: the hook returns the command id to choose, 0 to dismiss the menu.
//  - Dialog or property sheet: the hook works the surface with ordinary calls
//    (SetDlgItemTextW, SendMessageW(WM_COMMAND, IDOK), BM_CLICK, PSM_PRESSBUTTON ...); its
//    return value is ignored. It is called once the dialog is shown and its posted messages
//    have run; when the surface is still open after the hook returned and the messages that
//    followed have run, the hook is called again with the next round number (a dialog that
//    refused an input and stays open gets a second look). After kMaxHookRounds rounds the
//    surface is closed with -1 and a message on stderr, so a test never hangs.
//
// With a hook installed, dialogs run even under the headless backend: the UI area drives
// them itself, showing nothing.
#pragma once

#include <functional>
#include <string>

#include "win/user.h"

namespace lumivel::ui {

enum class SurfaceKind { Dialog, PropertySheet, PopupMenu, MessageBox };

struct Surface {
    SurfaceKind kind = SurfaceKind::Dialog;
    HWND window = nullptr;    // the dialog or sheet; null for menus and message boxes
    HWND owner = nullptr;
    int resourceId = 0;       // a dialog's template number (0 when named or indirect)
    std::u16string caption;   // dialog or message-box caption
    std::u16string text;      // message-box text
    UINT style = 0;           // message-box MB_* flags, menu TPM_* flags
    HMENU menu = nullptr;     // popup menus
    int round = 0;
};

using TestHook = std::function<INT_PTR(const Surface&)>;

inline constexpr int kMaxHookRounds = 32;

// Installs the hook for the process; an empty function removes it.
LUMIVEL_EXPORT void SetTestHook(TestHook hook);
LUMIVEL_EXPORT bool HasTestHook();

}  // namespace lumivel::ui
