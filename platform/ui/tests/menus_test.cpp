// Menus from resources and by code: states, ids searched through submenus, default items,
// copies that outlive their source, and refusal of stale handles.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "lumivel/ui_menus.h"
#include "win/errors.h"
#include "win/user.h"

namespace {

std::u16string ItemText(HMENU menu, UINT item, BOOL byPosition) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    if (!GetMenuItemInfoW(menu, item, byPosition, &info)) return u"<none>";
    std::u16string text(info.cch + 1, u'\0');
    info.dwTypeData = text.data();
    info.cch = UINT(text.size());
    GetMenuItemInfoW(menu, item, byPosition, &info);
    text.resize(info.cch);
    return text;
}

UINT ItemState(HMENU menu, UINT item, BOOL byPosition) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    return GetMenuItemInfoW(menu, item, byPosition, &info) ? info.fState : 0xDEADu;
}

TEST(Menus, LoadedMenuKeepsItemsStatesAndSubmenus) {
    HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(202));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 5);
    EXPECT_EQ(GetMenuItemID(menu, 0), 311u);
    EXPECT_EQ(ItemText(menu, 0, TRUE), u"&Restore");
    EXPECT_EQ(ItemState(menu, 5000, FALSE), UINT(MFS_GRAYED));
    EXPECT_EQ(GetMenuState(menu, 2, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), 5002u);
    EXPECT_EQ(GetMenuItemID(menu, 4), UINT(-1)) << "a popup has no command id";

    HMENU sub = GetSubMenu(menu, 4);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(GetMenuItemCount(sub), 2);
    // By command id the search reaches into submenus, two levels down.
    EXPECT_EQ(ItemText(menu, 402, FALSE), u"&Group");
    EXPECT_EQ(ItemState(menu, 402, FALSE), UINT(MFS_CHECKED));
    EXPECT_TRUE(DestroyMenu(menu));
}

TEST(Menus, SetMenuItemInfoGreysAnItemByCommand) {
    HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(202));
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    info.fState = MFS_GRAYED;
    ASSERT_TRUE(SetMenuItemInfoW(menu, 311, FALSE, &info));
    EXPECT_EQ(ItemState(menu, 311, FALSE), UINT(MFS_GRAYED));
    EXPECT_EQ(GetMenuState(menu, 311, MF_BYCOMMAND) & MF_GRAYED, UINT(MF_GRAYED));

    SetLastError(0);
    EXPECT_FALSE(SetMenuItemInfoW(menu, 999, FALSE, &info));
    EXPECT_EQ(GetLastError(), 1456u) << "ERROR_MENU_ITEM_NOT_FOUND";
    info.cbSize = 12;
    EXPECT_FALSE(SetMenuItemInfoW(menu, 311, FALSE, &info));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    DestroyMenu(menu);
}

TEST(Menus, TextLengthQueryAndTruncation) {
    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(AppendMenuW(menu, MF_STRING, 7, u"C&onnect to Domain Controller..."));
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 7, FALSE, &info));
    EXPECT_EQ(info.cch, 32u) << "a null buffer asks for the length";
    WCHAR small[5];
    info.dwTypeData = small;
    info.cch = 5;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 7, FALSE, &info));
    EXPECT_EQ(std::u16string(small), u"C&on");
    EXPECT_EQ(info.cch, 4u);
    DestroyMenu(menu);
}

TEST(Menus, OneDefaultPerMenu) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, u"a");
    AppendMenuW(menu, MF_STRING, 2, u"b");
    ASSERT_TRUE(SetMenuDefaultItem(menu, 1, FALSE));
    ASSERT_TRUE(SetMenuDefaultItem(menu, 1, TRUE));  // position 1 = id 2
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), 2u);
    EXPECT_EQ(ItemState(menu, 1, FALSE) & MFS_DEFAULT, 0u);
    // A grey default counts only when asked for disabled defaults too.
    EnableMenuItem(menu, 2, MF_BYCOMMAND | MF_GRAYED);
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), UINT(-1));
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, GMDI_USEDISABLED), 2u);
    ASSERT_TRUE(SetMenuDefaultItem(menu, UINT(-1), FALSE));
    EXPECT_EQ(GetMenuDefaultItem(menu, TRUE, GMDI_USEDISABLED), UINT(-1));
    DestroyMenu(menu);
}

// The result pane copies a provider's menu (items and submenus) into its popup and destroys
// the provider's menu at once; the copy must stay whole.
TEST(Menus, CopyOutlivesItsSource) {
    HMENU source = LoadMenuW(nullptr, MAKEINTRESOURCEW(202));
    HMENU sourceSub = GetSubMenu(source, 4);
    std::function<void(HMENU, HMENU, UINT)> copy = [&](HMENU from, HMENU to, UINT idBits) {
        for (int i = 0; i < GetMenuItemCount(from); ++i) {
            WCHAR text[128];
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 128;
            ASSERT_TRUE(GetMenuItemInfoW(from, UINT(i), TRUE, &info));
            if (info.hSubMenu) {
                HMENU sub = CreatePopupMenu();
                copy(info.hSubMenu, sub, idBits);
                info.hSubMenu = sub;
            } else {
                info.wID |= idBits;
            }
            ASSERT_TRUE(InsertMenuItemW(to, UINT(GetMenuItemCount(to)), TRUE, &info));
        }
    };
    HMENU popup = CreatePopupMenu();
    copy(source, popup, 1u << 12);
    ASSERT_TRUE(DestroyMenu(source));
    EXPECT_FALSE(IsMenu(source));
    EXPECT_FALSE(IsMenu(sourceSub)) << "destroying a menu destroys its submenus";

    auto snapshot = lumivel::ui::SnapshotMenu(popup);
    ASSERT_TRUE(snapshot.has_value());
    ASSERT_EQ(snapshot->size(), 5u);
    EXPECT_EQ((*snapshot)[0].id, 311u | 0x1000u);
    EXPECT_TRUE((*snapshot)[1].grayed());
    EXPECT_TRUE((*snapshot)[2].separator());
    EXPECT_TRUE((*snapshot)[3].isDefault());
    ASSERT_TRUE((*snapshot)[4].popup);
    ASSERT_EQ((*snapshot)[4].children.size(), 2u);
    EXPECT_EQ((*snapshot)[4].children[1].children[0].id, 402u | 0x1000u);
    EXPECT_TRUE((*snapshot)[4].children[1].children[0].checked());
    DestroyMenu(popup);
}

TEST(Menus, DeleteDestroysSubmenuRemoveKeepsIt) {
    HMENU menu = CreatePopupMenu();
    HMENU a = CreatePopupMenu();
    HMENU b = CreatePopupMenu();
    AppendMenuW(a, MF_STRING, 1, u"x");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(a), u"A");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(b), u"B");
    ASSERT_TRUE(RemoveMenu(menu, 0, MF_BYPOSITION));
    EXPECT_TRUE(IsMenu(a));
    ASSERT_TRUE(DeleteMenu(menu, 0, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(b));
    EXPECT_EQ(GetMenuItemCount(menu), 0);
    DestroyMenu(menu);
    DestroyMenu(a);
}

TEST(Menus, StaleAndForeignHandlesAreRefused) {
    HMENU menu = CreatePopupMenu();
    DestroyMenu(menu);
    SetLastError(0);
    EXPECT_EQ(GetMenuItemCount(menu), -1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
    EXPECT_FALSE(DestroyMenu(menu));
    EXPECT_FALSE(AppendMenuW(menu, MF_STRING, 1, u"x"));
    EXPECT_FALSE(DestroyMenu(reinterpret_cast<HMENU>(0x12345678)));
    HMENU live = CreatePopupMenu();
    EXPECT_FALSE(AppendMenuW(live, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), u"dead submenu"));
    EXPECT_EQ(GetMenuItemCount(live), 0);
    DestroyMenu(live);
    EXPECT_EQ(LoadMenuW(nullptr, MAKEINTRESOURCEW(999)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(Menus, MnemonicMarkersAreDropped) {
    EXPECT_EQ(lumivel::ui::MenuTextWithoutMnemonics(u"C&onnect"), u"Connect");
    EXPECT_EQ(lumivel::ui::MenuTextWithoutMnemonics(u"Save && Exit"), u"Save & Exit");
    EXPECT_EQ(lumivel::ui::MenuTextWithoutMnemonics(u"trailing&"), u"trailing");
}

}  // namespace
