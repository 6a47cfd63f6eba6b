// Menu, dialog and icon-group templates compiled from test_resources.rc, read back; and the
// readers' refusal of damaged templates.
#include <gtest/gtest.h>

#include <vector>

#include "lumivel/resource_lookup.h"
#include "lumivel/resource_templates.h"
#include "win/commctrl.h"
#include "win/resources.h"

namespace {

using lumivel::DialogTemplate;
using lumivel::MenuItemTemplate;

std::vector<BYTE> ResourceBytes(int id, LPCWSTR type) {
    auto data = lumivel::FindResourceData(nullptr, MAKEINTRESOURCEW(id), type);
    if (!data) return {};
    return std::vector<BYTE>(data->data, data->data + data->size);
}

TEST(MenuTemplate, ItemsStatesAndPopupsReadBack) {
    auto bytes = ResourceBytes(202, RT_MENU);
    auto menu = lumivel::ParseMenuTemplate(bytes.data(), bytes.size());
    ASSERT_TRUE(menu.has_value());
    ASSERT_EQ(menu->size(), 6u);
    struct Expected {
        const char16_t* text;
        UINT id;
        UINT type;
        UINT state;
        bool popup;
    };
    const Expected expected[] = {
        {u"&Restore", 311, MFT_STRING, 0, false},
        {u"&Delete", 5000, MFT_STRING, MFS_GRAYED, false},
        {u"", 0, MFT_SEPARATOR, 0, false},
        {u"P&roperties", 5002, MFT_STRING, MFS_DEFAULT, false},
        {u"Checked", 5003, MFT_STRING, MFS_CHECKED | MF_DISABLED, false},
        {u"&New", 0, MFT_STRING, 0, true},
    };
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const MenuItemTemplate& item = (*menu)[i];
        EXPECT_EQ(item.text, expected[i].text);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.type, expected[i].type);
        EXPECT_EQ(item.state, expected[i].state);
        EXPECT_EQ(item.popup, expected[i].popup);
    }
    const MenuItemTemplate& popup = (*menu)[5];
    ASSERT_EQ(popup.children.size(), 2u);
    EXPECT_EQ(popup.children[0].id, 0x8001u);
    ASSERT_TRUE(popup.children[1].popup);
    ASSERT_EQ(popup.children[1].children.size(), 1u);
    EXPECT_EQ(popup.children[1].children[0].text, u"Leaf");
}

TEST(DialogTemplate, EveryControlKindReadsBack) {
    auto dialog = lumivel::LoadDialogTemplate(nullptr, MAKEINTRESOURCEW(201));
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->caption, u"Every control");
    EXPECT_EQ(dialog->cx, 186);
    EXPECT_EQ(dialog->cy, 120);
    EXPECT_EQ(dialog->style, DWORD(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT));
    EXPECT_TRUE(dialog->hasFont);
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->typeface, u"MS Shell Dlg");

    struct Expected {
        const char16_t* className;
        int id;
        const char16_t* text;
        DWORD style;
        DWORD exStyle;
    };
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
    const Expected expected[] = {
        {u"Static", -1, u"&Domain:", kChild | SS_LEFT | WS_GROUP, 0},
        {u"Edit", 201, u"", kChild | ES_LEFT | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0},
        {u"Edit", 202, u"", kChild | ES_LEFT | WS_BORDER | ES_PASSWORD, 0},
        {u"Button", 308, u"&Browse...", kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
        {u"Button", 235, u"Mon", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
        {u"Button", 268, u"Day", kChild | BS_AUTORADIOBUTTON | WS_GROUP, 0},
        {u"Button", 300, u"Schedule Task Daily", kChild | BS_GROUPBOX, 0},
        {u"ComboBox", 219, u"", kChild | CBS_SIMPLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, 0},
        {u"SysListView32", 203, u"", kChild | LVS_REPORT | LVS_SINGLESEL | WS_BORDER, 0},
        {u"SysDateTimePick32", 1763, u"", kChild | DTS_TIMEFORMAT, WS_EX_CLIENTEDGE},
        {u"Button", IDOK, u"OK", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
        {u"Button", IDCANCEL, u"Cancel", WS_CHILD | BS_PUSHBUTTON | WS_TABSTOP, 0},
    };
    ASSERT_EQ(dialog->items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const auto& item = dialog->items[i];
        EXPECT_EQ(item.className, expected[i].className);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.text.text, expected[i].text);
        EXPECT_EQ(item.style, expected[i].style);
        EXPECT_EQ(item.exStyle, expected[i].exStyle);
    }
    EXPECT_EQ(dialog->items[1].x, 40);
    EXPECT_EQ(dialog->items[1].y, 7);
    EXPECT_EQ(dialog->items[1].cx, 100);
    EXPECT_EQ(dialog->items[1].cy, 14);
}

TEST(IconDirectory, GroupListsBothSizes) {
    auto bytes = ResourceBytes(101, RT_GROUP_ICON);
    auto entries = lumivel::ParseIconDirectory(bytes.data(), bytes.size());
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].width, 16);
    EXPECT_EQ((*entries)[1].width, 32);
    for (const auto& entry : *entries) {
        auto image = lumivel::FindResourceData(nullptr, MAKEINTRESOURCEW(entry.iconId), RT_ICON);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->size, entry.bytes);
        EXPECT_EQ(entry.bitCount, 4) << "three colours fit in sixteen";
    }
}

// Every prefix of a valid template is a damaged one: each must be refused without reading
// past its end.
TEST(TemplateReaders, EveryTruncationIsRefused) {
    auto menu = ResourceBytes(202, RT_MENU);
    auto dialog = ResourceBytes(201, RT_DIALOG);
    auto icons = ResourceBytes(101, RT_GROUP_ICON);
    ASSERT_FALSE(menu.empty());
    for (size_t n = 0; n < menu.size(); ++n) {
        std::vector<BYTE> cut(menu.begin(), menu.begin() + long(n));
        EXPECT_FALSE(lumivel::ParseMenuTemplate(cut.data(), cut.size()).has_value()) << n;
    }
    for (size_t n = 0; n < dialog.size(); ++n) {
        std::vector<BYTE> cut(dialog.begin(), dialog.begin() + long(n));
        EXPECT_FALSE(lumivel::ParseDialogTemplate(cut.data(), cut.size()).has_value()) << n;
    }
    for (size_t n = 0; n < icons.size(); ++n) {
        std::vector<BYTE> cut(icons.begin(), icons.begin() + long(n));
        EXPECT_FALSE(lumivel::ParseIconDirectory(cut.data(), cut.size()).has_value()) << n;
    }
    EXPECT_FALSE(lumivel::ParseDialogTemplate(nullptr, 100).has_value());
}

TEST(TemplateReaders, UnknownVersionsAndClassAtomsAreRefused) {
    auto menu = ResourceBytes(202, RT_MENU);
    menu[0] = 0;  // classic menu header: not what the compiler writes
    EXPECT_FALSE(lumivel::ParseMenuTemplate(menu.data(), menu.size()).has_value());

    auto dialog = ResourceBytes(201, RT_DIALOG);
    dialog[2] = 0;  // signature
    EXPECT_FALSE(lumivel::ParseDialogTemplate(dialog.data(), dialog.size()).has_value());

    // A menu whose items never end (no "last item" flag before the data ends).
    std::vector<BYTE> endless = {1, 0, 4, 0, 0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        BYTE item[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, u'A', 0, 0, 0, 0, 0};
        endless.insert(endless.end(), std::begin(item), std::end(item));
    }
    EXPECT_FALSE(lumivel::ParseMenuTemplate(endless.data(), endless.size()).has_value());
}

}  // namespace
