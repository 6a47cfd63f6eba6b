// A restore as an administrator lives it, in the console on the test domain: connect the
// domain, see its tombstones in the result pane, right-click one two deleted levels down,
// "&Restore", and see it and its parents leave the list and live again; a taken name is
// answered in the name dialog; Refresh reads the domain again; the node is removed.
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cctype>
#include <string>

#include "lumivel/console_driver.h"
#include "lumivel/qt_ui.h"
#include "lumivel/text.h"
#include "lumivel/ui_test_hook.h"
#include "shared/provider_dialog_ids.h"
#include "snapin_test_support.h"
#include "tests/support/directory_fixture.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace {

using lumivel::console::ConsoleDriver;
using lumivel::testing::EscapeRdnValue;
using namespace snapin_test;

constexpr int kTopList = 100;

std::u16string ItemText(HWND list, int item, int column) {
    WCHAR buffer[512] = {};
    LVITEMW request{};
    request.iSubItem = column;
    request.pszText = buffer;
    request.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(item), LPARAM(&request));
    return buffer;
}

// The row whose first column begins with the name (a tombstone's name carries its "DEL:" tail).
int RowNamed(HWND list, const std::string& name) {
    std::u16string wanted = lumivel::FromUtf8(name);
    int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item)
        if (ItemText(list, item, 0).compare(0, wanted.size(), wanted) == 0) return item;
    return -1;
}

// The id of a popup menu's item by its text, searched through submenus; 0 when absent.
UINT MenuItemId(HMENU menu, const std::u16string& text) {
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

class ConsoleRestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TEST_DIRECTORY();
        for (const char* module : {"RevivoProvider.so", "RevivoSnapin.so", "Glossar.so", "Panorel.so"})
            ASSERT_EQ(Regsvr("/s \"" + BinDir() + "/" + module + "\""), 0u) << module;
        m_suffix = lumivel::testing::UniqueSuffix();
        m_root = "OU=ConsoleTest " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
    }

    // Right-clicks the row as a person would; the hook or the person answers the menu.
    void rightClick(HWND list, int row) {
        auto* view = qobject_cast<QTreeView*>(lumivel::qtui::WidgetForWindow(list));
        ASSERT_NE(view, nullptr);
        QModelIndex index = view->model()->index(row, 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->visualRect(index).center());
    }

    // Answers what a restore asks: the menu with "&Restore", the name dialog with a new name,
    // the message boxes with OK (their texts kept).
    void answerRestore(const std::string& newName) {
        m_boxes.clear();
        lumivel::ui::SetTestHook([this, newName](const lumivel::ui::Surface& surface) -> INT_PTR {
            switch (surface.kind) {
            case lumivel::ui::SurfaceKind::PopupMenu: return INT_PTR(MenuItemId(surface.menu, u"&Restore"));
            case lumivel::ui::SurfaceKind::MessageBox: m_boxes.push_back(surface.text); return IDOK;
            default:
                if (surface.resourceId == IDD_NEW_NAME && !newName.empty()) {
                    ++m_nameQuestions;
                    SetDlgItemTextW(surface.window, IDC_NEW_NAME, lumivel::FromUtf8(newName).c_str());
                    SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
                } else {
                    SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
                }
                return 0;
            }
        });
    }

    std::string m_suffix, m_root;
    std::vector<std::u16string> m_boxes;
    int m_nameQuestions = 0;
};

TEST_F(ConsoleRestoreTest, RestoreFromTheResultPaneBringsObjectsBackAndOffTheList) {
    const std::string& domain = lumivel::testing::TestDirectory().domain;
    std::string outer = "Outer " + m_suffix, inner = "Inner " + m_suffix, leaf = "Leaf, Ada " + m_suffix;
    std::string outerDn = "OU=" + outer + "," + m_root, innerDn = "OU=" + inner + "," + outerDn;
    std::string leafDn = "CN=" + EscapeRdnValue(leaf) + "," + innerDn;
    std::string taken = "Taken " + m_suffix, takenDn = "CN=" + taken + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(outerDn));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(innerDn));
    ASSERT_TRUE(lumivel::testing::AddUser(leafDn, leaf));
    ASSERT_TRUE(lumivel::testing::LdapDelete(leafDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(innerDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(outerDn));
    ASSERT_TRUE(lumivel::testing::AddUser(takenDn, taken));
    ASSERT_TRUE(lumivel::testing::LdapDelete(takenDn));
    ASSERT_TRUE(lumivel::testing::AddUser(takenDn, taken));  // the name is in use again

    ConsoleDriver console;
    CLSID snapin{};
    CLSIDFromString(kSnapinClsid, &snapin);
    ASSERT_EQ(console.open(snapin), S_OK);
    console.expand(console.root());
    size_t before = console.children(console.root()).size();

    // "Connect To..." from the Action menu: the provider's command, merged into the console's.
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.resourceId == IDD_CONNECT_TO) {
            SetDlgItemTextW(surface.window, IDC_CONNECT_DOMAIN, lumivel::FromUtf8(domain).c_str());
            SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        }
        return IDOK;
    });
    ASSERT_TRUE(console.chooseAction(console.root(), u"&Connect To..."));
    lumivel::ui::SetTestHook({});
    std::vector<HSCOPEITEM> children = console.children(console.root());
    ASSERT_EQ(children.size(), before + 1) << "the connected domain is a new node";
    HSCOPEITEM node = children.back();
    EXPECT_EQ(lumivel::ToUtf8(console.shownName(node)), domain);

    // The domain's tombstones in the control, with the provider's columns and class icons.
    console.select(node);
    ASSERT_TRUE(console.runUntil([&] { return CountIn(console.statusText()) >= 0; }, 180000))
        << lumivel::ToUtf8(console.statusText());
    long listed = CountIn(console.statusText());
    HWND control = console.session().resultViewWindow();
    ASSERT_NE(control, nullptr);
    HWND list = GetDlgItem(control, kTopList);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(console.runUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == listed; }, 5000));
    int columns = 0;
    for (WCHAR title[64]; columns < 64; ++columns) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = title;
        column.cchTextMax = 64;
        if (!SendMessageW(list, LVM_GETCOLUMNW, WPARAM(columns), LPARAM(&column))) break;
    }
    EXPECT_GE(columns, 4) << "name, parent, class, date and more";
    int leafRow = RowNamed(list, leaf);
    ASSERT_GE(leafRow, 0) << "the tombstone two deleted levels down is listed";
    ASSERT_GE(RowNamed(list, outer), 0);
    ASSERT_GE(RowNamed(list, inner), 0);
    LVITEMW icon{};
    icon.mask = LVIF_IMAGE;
    icon.iItem = leafRow;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMW, 0, LPARAM(&icon)));
    EXPECT_GE(icon.iImage, 0) << "the user's class icon";
    console.screenshot("console_domain_tombstones");
    EXPECT_FALSE(lumivel::qtui::WidgetForWindow(list)->isWindow()) << "inside the console";

    // The context menu a person sees on the tombstone, for the screenshot; then dismissed.
    bool menuSeen = false;
    QTimer::singleShot(200, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!popup) return;
        for (QAction* action : popup->actions())
            if (action->text() == QStringLiteral("&Restore")) menuSeen = true;
        console.screenshotWithPopup("console_tombstone_menu");
        popup->close();
    });
    rightClick(list, leafRow);
    EXPECT_TRUE(menuSeen) << "the menu offers \"&Restore\"";

    // The purge times on request, from the control's own item, and away again.
    auto toggleExpires = [&] {
        lumivel::ui::SetTestHook([](const lumivel::ui::Surface& surface) -> INT_PTR {
            return surface.kind == lumivel::ui::SurfaceKind::PopupMenu
                       ? INT_PTR(MenuItemId(surface.menu, u"Show &Expires Column"))
                       : 0;
        });
        rightClick(list, RowNamed(list, leaf));
        lumivel::ui::SetTestHook({});
    };
    toggleExpires();
    WCHAR title[64] = {};
    LVCOLUMNW expiresColumn{};
    expiresColumn.mask = LVCF_TEXT;
    expiresColumn.pszText = title;
    expiresColumn.cchTextMax = 64;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, WPARAM(columns), LPARAM(&expiresColumn)));
    EXPECT_EQ(std::u16string(title), u"Expires");
    const std::u16string expires = ItemText(list, RowNamed(list, leaf), columns);
    EXPECT_FALSE(expires.empty()) << "a tombstone of this domain has its purge time";
    EXPECT_NE(expires, ItemText(list, RowNamed(list, leaf), columns - 1)) << "not the date it was deleted";
    console.screenshot("console_expires_column");
    toggleExpires();
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, WPARAM(columns), LPARAM(&expiresColumn)));

    // "&Restore": the parents come back first, and all three leave the list.
    answerRestore("");
    rightClick(list, RowNamed(list, leaf));
    lumivel::ui::SetTestHook({});
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_EQ(m_boxes.back(), u"The object was successfully restored.");
    EXPECT_TRUE(lumivel::testing::LdapExists(outerDn));
    EXPECT_TRUE(lumivel::testing::LdapExists(innerDn));
    EXPECT_TRUE(lumivel::testing::LdapExists(leafDn));
    EXPECT_EQ(RowNamed(list, leaf), -1);
    EXPECT_EQ(RowNamed(list, outer), -1);
    EXPECT_EQ(RowNamed(list, inner), -1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 3);
    console.screenshot("console_after_restore");

    // A name in use: the name question is answered with another name.
    std::string renamed = "Taken again " + m_suffix;
    answerRestore(renamed);
    int takenRow = RowNamed(list, taken);
    ASSERT_GE(takenRow, 0);
    rightClick(list, takenRow);
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(m_nameQuestions, 1);
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + renamed + "," + m_root));
    EXPECT_EQ(RowNamed(list, taken), -1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 4);

    // Refresh reads the domain again: what was restored stays off the list.
    auto shownCount = [&] {
        HWND shown = GetDlgItem(console.session().resultViewWindow(), kTopList);
        return shown ? long(SendMessageW(shown, LVM_GETITEMCOUNT, 0, 0)) : -1;
    };
    console.pressRefresh();
    ASSERT_TRUE(console.runUntil([&] { return CountIn(console.statusText()) >= 0 && shownCount() == CountIn(console.statusText()); },
                                 60000))
        << lumivel::ToUtf8(console.statusText()) << " but the list shows " << shownCount();
    list = GetDlgItem(console.session().resultViewWindow(), kTopList);
    EXPECT_EQ(RowNamed(list, leaf), -1);
    EXPECT_EQ(RowNamed(list, taken), -1);

    // The node goes again with "&Remove".
    ASSERT_TRUE(console.chooseAction(node, u"&Remove"));
    ASSERT_TRUE(console.runUntil([&] { return console.children(console.root()).size() == before; }, 5000));
}

}  // namespace
