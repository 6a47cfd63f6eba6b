// The context menu the control tracks: the providers' menus copied in with their ids merged
// (submenus included, so a provider may destroy its own menu right after), and the built-in
// items. Only ids this menu merged are ever turned back into provider commands.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "resultpane/menu_ids.h"
#include "win/user.h"

namespace panorel {

class PopupMenu {
public:
    PopupMenu() = default;
    ~PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    // Copies the provider's items; a separator goes before them when the popup has items.
    // Returns the number of items copied.
    int appendProvider(HMENU source, size_t provider);
    // A "&New" item with a copy of the provider's menu as its submenu; nothing when the copy
    // would be empty.
    bool appendNewMenu(HMENU source, size_t provider);
    void appendSeparator();
    void appendItem(const std::u16string& text, UINT id, UINT state);

    int itemCount() const;
    HMENU handle() const { return m_menu; }
    // The provider command a chosen id stands for, when this menu merged it.
    std::optional<MenuCommand> command(UINT id) const;

private:
    HMENU ensure();
    // Copies the items of `source` that can be carried to the end of `target`; their count.
    int copyInto(HMENU target, HMENU source, size_t provider, bool fromNew, int depth);
    // A copy of `source` with mapped ids, or null when nothing in it could be carried.
    HMENU copy(HMENU source, size_t provider, bool fromNew, int depth);

    HMENU m_menu = nullptr;
    std::map<UINT, MenuCommand> m_merged;
};

}  // namespace panorel
