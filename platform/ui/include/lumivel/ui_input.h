// What a person does to windows and controls, as backends report it. Each call sends the
// messages and notifications Windows sends for that action, in Windows' order, on the
// calling (window's) thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lumivel/ui_controls.h"
#include "lumivel/ui_window.h"

namespace lumivel::ui {

// Buttons: a click as the mouse or space bar makes it (BM_CLICK).
LUMIVEL_EXPORT void UserClickButton(HWND button);
// Edit controls: the text after typing; the limit and ES_NUMBER apply. False when refused.
LUMIVEL_EXPORT bool UserSetEditText(HWND edit, const std::u16string& text);
// Combo boxes: an item picked from the list (CBN_SELCHANGE, CBN_SELENDOK).
LUMIVEL_EXPORT void UserSelectComboItem(HWND combo, int index);
// Date-time pickers: a new value, or none (DTN_DATETIMECHANGE).
LUMIVEL_EXPORT void UserSetDateTime(HWND picker, const SYSTEMTIME* value);
// Up-down controls: one step up (+1) or down (-1) (UDN_DELTAPOS, WM_VSCROLL, buddy text).
LUMIVEL_EXPORT void UserSpin(HWND updown, int delta);
// The close box of a top-level window or dialog (WM_SYSCOMMAND SC_CLOSE).
LUMIVEL_EXPORT void UserCloseWindow(HWND window);
// Enter or Escape in a dialog: WM_COMMAND of the default button or of IDCANCEL.
LUMIVEL_EXPORT void UserDialogKey(HWND dialog, WORD virtualKey);
// A backend resized a window's client area to this size (WM_SIZE).
LUMIVEL_EXPORT void UserResized(HWND window, int clientWidth, int clientHeight);
// The focus moved to this window.
LUMIVEL_EXPORT void UserFocused(HWND window);
// Mouse and keys on a custom window: WM_SETCURSOR, then the message itself.
LUMIVEL_EXPORT void UserMouse(HWND window, UINT message, WPARAM keys, POINT client);
LUMIVEL_EXPORT void UserKey(HWND window, UINT message, WPARAM virtualKey);

// List views.
LUMIVEL_EXPORT void UserSetListSelection(HWND list, const std::vector<int>& selected, int focused);
LUMIVEL_EXPORT void UserListClick(HWND list, int item, int subItem, UINT code, POINT client);  // NM_CLICK/DBLCLK/RCLICK
LUMIVEL_EXPORT void UserListColumnClick(HWND list, int column);
LUMIVEL_EXPORT void UserListKeyDown(HWND list, WORD virtualKey);
// The same with Ctrl held: GetKeyState(VK_CONTROL) says so while the list's parent hears of it.
enum class KeyModifier { None, Control };
LUMIVEL_EXPORT void UserListKeyDown(HWND list, WORD virtualKey, KeyModifier modifier);
LUMIVEL_EXPORT void UserListColumnResized(HWND list, int column, int width);
// The user scrolled the list so that this row is the first shown (LVM_GETTOPINDEX answers it).
LUMIVEL_EXPORT void UserListScrolled(HWND list, int topIndex);
// Type-ahead: the item whose text starts with `text` (LVN_ODFINDITEMW for owner data), or -1.
LUMIVEL_EXPORT int UserListFindItem(HWND list, int start, const std::u16string& text);
// What a cell shows; owner data and callback items are asked with LVN_GETDISPINFOW.
LUMIVEL_EXPORT std::u16string ListViewCellText(HWND list, int item, int subItem);
LUMIVEL_EXPORT int ListViewCellImage(HWND list, int item);
// The tip a cell shows under the pointer, as its parent gives it (LVN_GETINFOTIPW); empty for none.
LUMIVEL_EXPORT std::u16string ListViewInfoTip(HWND list, int item, int subItem);
LUMIVEL_EXPORT int ListViewItemCount(HWND list);
LUMIVEL_EXPORT bool ListViewItemSelected(HWND list, int item);

// Rich edit: a click on the character at `position` (EN_LINK when it is in a link).
LUMIVEL_EXPORT void UserClickRichEdit(HWND richEdit, LONG position, UINT mouseMessage);

// Paints a custom window that needs it (WM_PAINT) and returns what it shows.
LUMIVEL_EXPORT std::optional<gfx::Image> PaintedSurface(HWND window);

}  // namespace lumivel::ui
