// What the console's directory tests read off the control's list and the merged menus.
#pragma once

#include <string>

#include "lumivel/text.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace snapin_test {

inline std::u16string ItemText(HWND list, int item, int column) {
    WCHAR buffer[512] = {};
    LVITEMW request{};
    request.iSubItem = column;
    request.pszText = buffer;
    request.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(item), LPARAM(&request));
    return buffer;
}

// The row whose first column begins with the name (a tombstone's name carries its "DEL:" tail).
inline int RowNamed(HWND list, const std::string& name) {
    std::u16string wanted = lumivel::FromUtf8(name);
    int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item)
        if (ItemText(list, item, 0).compare(0, wanted.size(), wanted) == 0) return item;
    return -1;
}

// The id of a popup menu's item by its text, searched through submenus; 0 when absent.
inline UINT MenuItemId(HMENU menu, const std::u16string& text) {
    for (int position = 0; position < GetMenuItemCount(menu); ++position) {
        WCHAR name[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = name;
        info.cch = 256;
        if (!GetMenuItemInfoW(menu, UINT(position), TRUE, &info)) continue;
        if (info.hSubMenu) {
            if (UINT id = MenuItemId(info.hSubMenu, text)) return id;
        } else if (text == name) {
            return info.wID;
        }
    }
    return 0;
}

}  // namespace snapin_test
