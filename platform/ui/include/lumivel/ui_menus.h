// Read access to menus for the backends that show them and for the test hook.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/user.h"

namespace lumivel::ui {

// A menu item as a backend draws it; submenus are copied in, so a snapshot stays valid
// whatever happens to the menu while it is shown.
struct MenuItemSnapshot {
    UINT type = 0;   // MFT_*
    UINT state = 0;  // MFS_*
    UINT id = 0;
    std::u16string text;
    bool popup = false;
    std::vector<MenuItemSnapshot> children;

    bool separator() const { return (type & MFT_SEPARATOR) != 0; }
    bool grayed() const { return (state & MFS_GRAYED) != 0; }
    bool checked() const { return (state & MFS_CHECKED) != 0; }
    bool isDefault() const { return (state & MFS_DEFAULT) != 0; }
};

// The items of a menu and of its submenus; nothing for an invalid handle.
LUMIVEL_EXPORT std::optional<std::vector<MenuItemSnapshot>> SnapshotMenu(HMENU menu);

// The text of a menu item without its "&" mnemonic markers ("&&" stays one "&").
LUMIVEL_EXPORT std::u16string MenuTextWithoutMnemonics(const std::u16string& text);

}  // namespace lumivel::ui
