// Collects the items a snap-in adds to a context menu (IContextMenuCallback), keeping its
// submenus beneath the items that open them.
#pragma once

#include <string>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/console_session.h"
#include "win/mmc.h"

namespace lumivel::console {


class ContextMenuItems final : public com::ComObject<ContextMenuItems, IContextMenuCallback> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<ContextMenuItems, IContextMenuCallback>(IID_IContextMenuCallback),
    };

    HRESULT STDMETHODCALLTYPE AddItem(CONTEXTMENUITEM* pItem) override;

    // The items at one of the console's insertion points, in the order they came.
    std::vector<MenuEntry> itemsAt(LONG insertionPoint) const;
    const std::vector<MenuEntry>& all() const { return m_items; }

private:
    MenuEntry* findSubmenu(std::vector<MenuEntry>& entries, LONG commandId, int depth);

    std::vector<MenuEntry> m_items;  // top level: items at the console's insertion points
};

}  // namespace lumivel::console
