// Menus: creation from templates and by code, items by position or by command id (searching
// submenus as Windows does), states, default items, destruction with submenus.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "lumivel/handle_table.h"
#include "lumivel/resource_lookup.h"
#include "lumivel/resource_templates.h"
#include "lumivel/ui_menus.h"
#include "win/winerror.h"
#include "win/errors.h"

namespace lumivel::ui {
namespace {

struct MenuItem {
    UINT type = MFT_STRING;
    UINT state = 0;
    UINT id = 0;
    std::u16string text;
    HMENU submenu = nullptr;
    ULONG_PTR data = 0;
    HBITMAP checked = nullptr;
    HBITMAP unchecked = nullptr;
    HBITMAP bitmap = nullptr;
};

struct Menu {
    bool popup = false;
    std::vector<MenuItem> items;
};

// Menus are small and touched rarely, so one lock guards them all; no callback runs under it.
std::recursive_mutex g_menuMutex;

HandleTable<Menu>& Menus() {
    static auto* table = new HandleTable<Menu>;
    return *table;
}

std::shared_ptr<Menu> FindMenu(HMENU handle) {
    auto menu = Menus().find(handle);
    if (!menu) SetLastError(ERROR_INVALID_MENU_HANDLE);
    return menu;
}

HMENU NewMenu(bool popup) {
    auto menu = std::make_shared<Menu>();
    menu->popup = popup;
    return Menus().add<HMENU>(std::move(menu));
}

struct ItemRef {
    std::shared_ptr<Menu> menu;
    size_t index;
    MenuItem& item() const { return menu->items[index]; }
};

// By command id the search goes depth first into submenus; a popup's own id matches too.
std::optional<ItemRef> FindById(const std::shared_ptr<Menu>& menu, UINT id, int depth = 0) {
    if (depth > 64) return std::nullopt;
    for (size_t i = 0; i < menu->items.size(); ++i) {
        const MenuItem& item = menu->items[i];
        if (item.submenu) {
            if (auto sub = Menus().find(item.submenu)) {
                if (auto found = FindById(sub, id, depth + 1)) return found;
            }
            if (item.id == id && id != 0) return ItemRef{menu, i};
        } else if (item.id == id && !(item.type & MFT_SEPARATOR)) {
            return ItemRef{menu, i};
        }
    }
    return std::nullopt;
}

std::optional<ItemRef> FindItem(HMENU handle, UINT item, bool byPosition) {
    auto menu = FindMenu(handle);
    if (!menu) return std::nullopt;
    if (byPosition) {
        if (item >= menu->items.size()) {
            SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
            return std::nullopt;
        }
        return ItemRef{menu, item};
    }
    auto found = FindById(menu, item);
    if (!found) SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return found;
}

// The MF_* flags of AppendMenuW/InsertMenuW split into MENUITEMINFO type and state.
void ApplyLegacyFlags(MenuItem& item, UINT flags, UINT_PTR idOrSubmenu, LPCWSTR text) {
    item.type = flags & (MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK | MF_RIGHTJUSTIFY | MFT_RADIOCHECK);
    item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
    if (flags & MF_POPUP) {
        item.submenu = reinterpret_cast<HMENU>(idOrSubmenu);
        item.id = 0;
    } else {
        item.id = UINT(idOrSubmenu);
    }
    if (!(flags & MF_SEPARATOR) && text != nullptr) item.text = text;
}

bool ValidSize(UINT cbSize) {
    // The form without hbmpItem is accepted as Windows accepts it.
    return cbSize == sizeof(MENUITEMINFOW) || cbSize == offsetof(MENUITEMINFOW, hbmpItem);
}

bool ApplyItemInfo(MenuItem& item, const MENUITEMINFOW& info) {
    if ((info.fMask & MIIM_SUBMENU) && info.hSubMenu && !Menus().find(info.hSubMenu)) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return false;
    }
    if (info.fMask & MIIM_TYPE) {
        item.type = info.fType;
        item.text = (!(info.fType & MFT_SEPARATOR) && info.dwTypeData) ? std::u16string(info.dwTypeData) : u"";
    }
    if (info.fMask & MIIM_FTYPE) item.type = info.fType;
    if (info.fMask & MIIM_STRING) item.text = info.dwTypeData ? std::u16string(info.dwTypeData) : u"";
    if (info.fMask & MIIM_STATE) item.state = info.fState;
    if (info.fMask & MIIM_ID) item.id = info.wID;
    if (info.fMask & MIIM_SUBMENU) item.submenu = info.hSubMenu;
    if (info.fMask & MIIM_DATA) item.data = info.dwItemData;
    if (info.fMask & MIIM_CHECKMARKS) {
        item.checked = info.hbmpChecked;
        item.unchecked = info.hbmpUnchecked;
    }
    if ((info.fMask & MIIM_BITMAP) && info.cbSize == sizeof(MENUITEMINFOW)) item.bitmap = info.hbmpItem;
    return true;
}

void DestroyMenuTree(HMENU handle, int depth) {
    auto menu = Menus().remove(handle);
    if (!menu || depth > 64) return;
    for (const auto& item : menu->items)
        if (item.submenu) DestroyMenuTree(item.submenu, depth + 1);
}

bool BuildFromTemplate(HMENU target, const std::vector<MenuItemTemplate>& items, int depth) {
    auto menu = Menus().find(target);
    if (!menu || depth > 64) return false;
    for (const auto& source : items) {
        MenuItem item;
        item.type = source.type;
        item.state = source.state;
        item.id = source.id;
        item.text = source.text;
        if (source.popup) {
            item.submenu = NewMenu(true);
            if (!BuildFromTemplate(item.submenu, source.children, depth + 1)) return false;
        }
        menu->items.push_back(std::move(item));
    }
    return true;
}

void Snapshot(const Menu& menu, std::vector<MenuItemSnapshot>& out, int depth) {
    for (const auto& item : menu.items) {
        MenuItemSnapshot snap;
        snap.type = item.type;
        snap.state = item.state;
        snap.id = item.id;
        snap.text = item.text;
        if (item.submenu) {
            snap.popup = true;
            if (auto sub = Menus().find(item.submenu); sub && depth < 64) Snapshot(*sub, snap.children, depth + 1);
        }
        out.push_back(std::move(snap));
    }
}

}  // namespace

std::optional<std::vector<MenuItemSnapshot>> SnapshotMenu(HMENU handle) {
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(handle);
    if (!menu) return std::nullopt;
    std::vector<MenuItemSnapshot> items;
    Snapshot(*menu, items, 0);
    return items;
}

std::u16string MenuTextWithoutMnemonics(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            out.push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == u'&') {
            out.push_back(u'&');
            ++i;
        }
    }
    return out;
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" {

HMENU CreateMenu() { return NewMenu(false); }
HMENU CreatePopupMenu() { return NewMenu(true); }

BOOL IsMenu(HMENU hMenu) { return lumivel::ui::Menus().find(hMenu) != nullptr; }

BOOL DestroyMenu(HMENU hMenu) {
    std::lock_guard lock(g_menuMutex);
    if (!FindMenu(hMenu)) return FALSE;
    DestroyMenuTree(hMenu, 0);
    return TRUE;
}

HMENU LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
    auto data = lumivel::FindResourceData(hInstance, lpMenuName, RT_MENU);
    if (!data) return nullptr;
    auto items = lumivel::ParseMenuTemplate(data->data, data->size);
    if (!items) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    std::lock_guard lock(g_menuMutex);
    HMENU menu = NewMenu(false);
    if (!BuildFromTemplate(menu, *items, 0)) {
        DestroyMenuTree(menu, 0);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return menu;
}

BOOL InsertMenuW(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(hMenu);
    if (!menu) return FALSE;
    if ((uFlags & MF_POPUP) && !lumivel::ui::Menus().find(reinterpret_cast<HMENU>(uIDNewItem))) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuItem item;
    ApplyLegacyFlags(item, uFlags, uIDNewItem, lpNewItem);
    std::shared_ptr<Menu> target = menu;
    size_t index = menu->items.size();
    if (uFlags & MF_BYPOSITION) {
        if (uPosition < menu->items.size()) index = uPosition;
    } else if (uPosition != UINT(-1)) {
        auto found = FindById(menu, uPosition);
        if (!found) {
            SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
            return FALSE;
        }
        target = found->menu;
        index = found->index;
    }
    target->items.insert(target->items.begin() + long(index), std::move(item));
    return TRUE;
}

BOOL AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    return InsertMenuW(hMenu, UINT(-1), (uFlags & ~MF_BYPOSITION) | MF_BYPOSITION, uIDNewItem, lpNewItem);
}

BOOL InsertMenuItemW(HMENU hmenu, UINT item, BOOL fByPosition, LPCMENUITEMINFOW lpmi) {
    if (lpmi == nullptr || !ValidSize(lpmi->cbSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(hmenu);
    if (!menu) return FALSE;
    MenuItem newItem;
    if (!ApplyItemInfo(newItem, *lpmi)) return FALSE;
    std::shared_ptr<Menu> target = menu;
    size_t index = menu->items.size();
    if (fByPosition) {
        if (item < menu->items.size()) index = item;
    } else {
        auto found = FindById(menu, item);
        if (!found) {
            SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
            return FALSE;
        }
        target = found->menu;
        index = found->index;
    }
    target->items.insert(target->items.begin() + long(index), std::move(newItem));
    return TRUE;
}

BOOL GetMenuItemInfoW(HMENU hmenu, UINT item, BOOL fByPosition, LPMENUITEMINFOW lpmii) {
    if (lpmii == nullptr || !ValidSize(lpmii->cbSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hmenu, item, fByPosition != FALSE);
    if (!found) return FALSE;
    const MenuItem& source = found->item();
    UINT mask = lpmii->fMask;
    if (mask & (MIIM_TYPE | MIIM_FTYPE)) lpmii->fType = source.type;
    if (mask & MIIM_STATE) lpmii->fState = source.state;
    if (mask & MIIM_ID) lpmii->wID = source.id;
    if (mask & MIIM_SUBMENU) lpmii->hSubMenu = source.submenu;
    if (mask & MIIM_DATA) lpmii->dwItemData = source.data;
    if (mask & MIIM_CHECKMARKS) {
        lpmii->hbmpChecked = source.checked;
        lpmii->hbmpUnchecked = source.unchecked;
    }
    if ((mask & MIIM_BITMAP) && lpmii->cbSize == sizeof(MENUITEMINFOW)) lpmii->hbmpItem = source.bitmap;
    bool wantsText = (mask & MIIM_STRING) || ((mask & MIIM_TYPE) && !(source.type & MFT_SEPARATOR));
    if (wantsText) {
        UINT length = UINT(source.text.size());
        if (lpmii->dwTypeData == nullptr || lpmii->cch == 0) {
            lpmii->cch = length;
        } else {
            UINT copied = std::min(length, lpmii->cch - 1);
            std::memcpy(lpmii->dwTypeData, source.text.data(), copied * sizeof(WCHAR));
            lpmii->dwTypeData[copied] = 0;
            lpmii->cch = copied;
        }
    }
    return TRUE;
}

BOOL SetMenuItemInfoW(HMENU hmenu, UINT item, BOOL fByPositon, LPCMENUITEMINFOW lpmii) {
    if (lpmii == nullptr || !ValidSize(lpmii->cbSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hmenu, item, fByPositon != FALSE);
    if (!found) return FALSE;
    return ApplyItemInfo(found->item(), *lpmii) ? TRUE : FALSE;
}

int GetMenuItemCount(HMENU hMenu) {
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(hMenu);
    return menu ? int(menu->items.size()) : -1;
}

UINT GetMenuItemID(HMENU hMenu, int nPos) {
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(hMenu);
    if (!menu || nPos < 0 || size_t(nPos) >= menu->items.size()) return UINT(-1);
    const MenuItem& item = menu->items[size_t(nPos)];
    return item.submenu ? UINT(-1) : item.id;
}

HMENU GetSubMenu(HMENU hMenu, int nPos) {
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(hMenu);
    if (!menu || nPos < 0 || size_t(nPos) >= menu->items.size()) return nullptr;
    return menu->items[size_t(nPos)].submenu;
}

UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hMenu, uId, (uFlags & MF_BYPOSITION) != 0);
    if (!found) return UINT(-1);
    const MenuItem& item = found->item();
    UINT flags = item.type | item.state;
    if (item.submenu) {
        auto sub = lumivel::ui::Menus().find(item.submenu);
        flags = (flags & 0xFF) | MF_POPUP | (UINT(sub ? std::min<size_t>(sub->items.size(), 0xFF) : 0) << 8);
    }
    return flags;
}

int GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags) {
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hMenu, uIDItem, (flags & MF_BYPOSITION) != 0);
    if (!found) return 0;
    const std::u16string& text = found->item().text;
    if (lpString == nullptr || cchMax <= 0) return int(text.size());
    int copied = std::min(int(text.size()), cchMax - 1);
    std::memcpy(lpString, text.data(), size_t(copied) * sizeof(WCHAR));
    lpString[copied] = 0;
    return copied;
}

BOOL SetMenuDefaultItem(HMENU hMenu, UINT uItem, UINT fByPos) {
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(hMenu);
    if (!menu) return FALSE;
    // One default per menu level: the new one replaces any other, -1 clears.
    std::optional<size_t> target;
    if (uItem != UINT(-1)) {
        if (fByPos) {
            if (uItem >= menu->items.size()) {
                SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
                return FALSE;
            }
            target = uItem;
        } else {
            for (size_t i = 0; i < menu->items.size() && !target; ++i)
                if (menu->items[i].id == uItem && !(menu->items[i].type & MFT_SEPARATOR)) target = i;
            if (!target) {
                SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
                return FALSE;
            }
        }
    }
    for (size_t i = 0; i < menu->items.size(); ++i) {
        if (target && i == *target) menu->items[i].state |= MFS_DEFAULT;
        else menu->items[i].state &= ~UINT(MFS_DEFAULT);
    }
    return TRUE;
}

UINT GetMenuDefaultItem(HMENU hMenu, UINT fByPos, UINT gmdiFlags) {
    std::lock_guard lock(g_menuMutex);
    auto menu = FindMenu(hMenu);
    if (!menu) return UINT(-1);
    for (size_t i = 0; i < menu->items.size(); ++i) {
        const MenuItem& item = menu->items[i];
        if (!(item.state & MFS_DEFAULT)) continue;
        if ((item.state & MFS_GRAYED) && !(gmdiFlags & GMDI_USEDISABLED)) return UINT(-1);
        return fByPos ? UINT(i) : item.id;
    }
    SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return UINT(-1);
}

BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hMenu, uIDEnableItem, (uEnable & MF_BYPOSITION) != 0);
    if (!found) return -1;
    MenuItem& item = found->item();
    UINT previous = item.state & (MF_GRAYED | MF_DISABLED);
    item.state = (item.state & ~UINT(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
    return BOOL(previous);
}

DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hMenu, uIDCheckItem, (uCheck & MF_BYPOSITION) != 0);
    if (!found) return DWORD(-1);
    MenuItem& item = found->item();
    DWORD previous = item.state & MF_CHECKED;
    item.state = (item.state & ~UINT(MF_CHECKED)) | (uCheck & MF_CHECKED);
    return previous;
}

BOOL RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hMenu, uPosition, (uFlags & MF_BYPOSITION) != 0);
    if (!found) return FALSE;
    found->menu->items.erase(found->menu->items.begin() + long(found->index));
    return TRUE;
}

BOOL DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    std::lock_guard lock(g_menuMutex);
    auto found = FindItem(hMenu, uPosition, (uFlags & MF_BYPOSITION) != 0);
    if (!found) return FALSE;
    HMENU submenu = found->item().submenu;
    found->menu->items.erase(found->menu->items.begin() + long(found->index));
    if (submenu) DestroyMenuTree(submenu, 0);
    return TRUE;
}

}  // extern "C"
