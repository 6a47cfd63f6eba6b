#include "context_menu_items.h"

namespace lumivel::console {

namespace {

// Deeper submenus than anyone reads are refused rather than followed.
constexpr int kMaxSubmenuDepth = 16;

bool IsConsoleInsertionPoint(LONG id) {
    return (id & CCM_INSERTIONPOINTID_MASK_SPECIAL) == CCM_INSERTIONPOINTID_PRIMARY_TOP;
}

}  // namespace

MenuEntry* ContextMenuItems::findSubmenu(std::vector<MenuEntry>& entries, LONG commandId, int depth) {
    if (depth > kMaxSubmenuDepth) return nullptr;
    for (MenuEntry& entry : entries) {
        if ((entry.specialFlags & CCM_SPECIAL_SUBMENU) && entry.commandId == commandId) return &entry;
        if (MenuEntry* found = findSubmenu(entry.children, commandId, depth + 1)) return found;
    }
    return nullptr;
}

HRESULT ContextMenuItems::AddItem(CONTEXTMENUITEM* pItem) {
    if (!pItem) return E_POINTER;
    if (pItem->fSpecialFlags & CCM_SPECIAL_TESTONLY) return S_OK;
    MenuEntry entry;
    if (pItem->strName) entry.name = pItem->strName;
    if (pItem->strStatusBarText) entry.statusText = pItem->strStatusBarText;
    entry.commandId = pItem->lCommandID;
    entry.insertionPoint = pItem->lInsertionPointID;
    entry.flags = pItem->fFlags;
    entry.specialFlags = pItem->fSpecialFlags;
    if (IsConsoleInsertionPoint(pItem->lInsertionPointID)) {
        m_items.push_back(std::move(entry));
        return S_OK;
    }
    // Anything else must be a submenu the snap-in added before.
    MenuEntry* parent = findSubmenu(m_items, pItem->lInsertionPointID, 0);
    if (!parent) return E_INVALIDARG;
    parent->children.push_back(std::move(entry));
    return S_OK;
}

std::vector<MenuEntry> ContextMenuItems::itemsAt(LONG insertionPoint) const {
    std::vector<MenuEntry> found;
    for (const MenuEntry& entry : m_items)
        if (entry.insertionPoint == insertionPoint) found.push_back(entry);
    return found;
}

}  // namespace lumivel::console
