#include "resultpane/popup_menu.h"

#include <vector>

namespace panorel {

namespace {

// Provider menus are shallow; a deeper one is cut off rather than followed without end.
constexpr int kMaxMenuDepth = 8;

MENUITEMINFOW ItemInfo(UINT mask) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = mask;
    return info;
}

}  // namespace

PopupMenu::~PopupMenu() {
    if (m_menu) DestroyMenu(m_menu);
}

HMENU PopupMenu::ensure() {
    if (!m_menu) m_menu = CreatePopupMenu();
    return m_menu;
}

int PopupMenu::itemCount() const { return m_menu ? GetMenuItemCount(m_menu) : 0; }

int PopupMenu::copyInto(HMENU target, HMENU source, size_t provider, bool fromNew, int depth) {
    if (!source || depth > kMaxMenuDepth) return 0;
    const int count = GetMenuItemCount(source);
    int copied = 0;
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = ItemInfo(MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING);
        if (!GetMenuItemInfoW(source, UINT(i), TRUE, &info)) continue;
        std::vector<WCHAR> text(size_t(info.cch) + 1, 0);
        info.dwTypeData = text.data();
        info.cch = UINT(text.size());
        if (!GetMenuItemInfoW(source, UINT(i), TRUE, &info)) continue;
        MENUITEMINFOW item = ItemInfo(MIIM_FTYPE | MIIM_STATE | MIIM_STRING);
        item.fType = info.fType;
        item.fState = info.fState;
        item.dwTypeData = text.data();
        if (info.fType & MFT_SEPARATOR) {
            item.fMask = MIIM_FTYPE;
        } else if (info.hSubMenu) {
            HMENU submenu = copy(info.hSubMenu, provider, fromNew, depth + 1);
            if (!submenu) continue;
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = submenu;
        } else {
            const UINT id = ProviderMenuId(provider, info.wID, fromNew);
            if (id == 0) continue;
            item.fMask |= MIIM_ID;
            item.wID = id;
            m_merged[id] = MenuCommand{provider, LONG(info.wID), fromNew};
        }
        if (InsertMenuItemW(target, UINT(GetMenuItemCount(target)), TRUE, &item)) {
            ++copied;
        } else if (item.hSubMenu) {
            DestroyMenu(item.hSubMenu);
        }
    }
    return copied;
}

HMENU PopupMenu::copy(HMENU source, size_t provider, bool fromNew, int depth) {
    HMENU target = CreatePopupMenu();
    if (!target) return nullptr;
    if (copyInto(target, source, provider, fromNew, depth) == 0) {
        DestroyMenu(target);
        return nullptr;
    }
    return target;
}

int PopupMenu::appendProvider(HMENU source, size_t provider) {
    if (!ensure()) return 0;
    const int before = itemCount();
    if (before > 0) appendSeparator();
    const int copied = copyInto(m_menu, source, provider, false, 0);
    // Nothing carried over: no separator for it either.
    if (copied == 0 && before > 0) DeleteMenu(m_menu, UINT(before), MF_BYPOSITION);
    return copied;
}

bool PopupMenu::appendNewMenu(HMENU source, size_t provider) {
    HMENU items = copy(source, provider, true, 0);
    if (!items) return false;
    if (!ensure()) {
        DestroyMenu(items);
        return false;
    }
    if (itemCount() > 0) appendSeparator();
    if (!AppendMenuW(m_menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(items), u"&New")) {
        DestroyMenu(items);
        return false;
    }
    return true;
}

void PopupMenu::appendSeparator() {
    if (ensure()) AppendMenuW(m_menu, MF_SEPARATOR, 0, nullptr);
}

void PopupMenu::appendItem(const std::u16string& text, UINT id, UINT state) {
    if (!ensure()) return;
    MENUITEMINFOW info = ItemInfo(MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING);
    info.fType = MFT_STRING;
    info.fState = state;
    info.wID = id;
    std::u16string owned = text;
    info.dwTypeData = owned.data();
    InsertMenuItemW(m_menu, UINT(GetMenuItemCount(m_menu)), TRUE, &info);
}

std::optional<MenuCommand> PopupMenu::command(UINT id) const {
    auto found = m_merged.find(id);
    if (found == m_merged.end()) return std::nullopt;
    return found->second;
}

}  // namespace panorel
