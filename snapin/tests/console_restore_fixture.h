// What the console's restore tests against the test domain share: the modules registered, an
// OU of their own, right-clicks on the control's list, and what they read off it and the
// merged menus.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeView>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "lumivel/console_driver.h"
#include "lumivel/qt_ui.h"
#include "lumivel/text.h"
#include "lumivel/thread_queue.h"
#include "lumivel/ui_test_hook.h"
#include "shared/provider_dialog_ids.h"
#include "root_expansion.h"
#include "snapin_test_support.h"
#include "tests/support/directory_fixture.h"
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

// Every row's texts, the first `columns` columns of each.
inline std::vector<std::vector<std::string>> RowsOf(HWND list, int columns) {
    std::vector<std::vector<std::string>> rows;
    int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        rows.emplace_back();
        for (int column = 0; column < columns; ++column) rows.back().push_back(lumivel::ToUtf8(ItemText(list, row, column)));
    }
    return rows;
}

// A cell without the indent that shows its depth in the tree.
inline std::string Trimmed(const std::string& text) {
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
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

// Lets the console's thread run (a restore's progress updates included) until the answer is
// true or the dialog is gone, for at most three minutes; whether the answer came true.
inline bool RunWhileShown(HWND dialog, const std::function<bool()>& answer = {}) {
    for (int i = 0; i < 36000 && IsWindowVisible(dialog); ++i) {
        if (answer && answer()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        lumivel::RunPendingThreadWork();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return answer && answer();
}

// The control's list of the top pane.
inline constexpr int kTopList = 100;

// Registers the modules and makes an OU named after the test, taken away again afterwards.
class ConsoleRestoreFixture : public ::testing::Test {
protected:
    explicit ConsoleRestoreFixture(std::string rootName) : m_rootName(std::move(rootName)) {}

    void SetUp() override {
        REQUIRE_TEST_DIRECTORY();
        for (const char* module : {"RevivoProvider.so", "RevivoSnapin.so", "Glossar.so", "Panorel.so"})
            ASSERT_EQ(Regsvr("/s \"" + BinDir() + "/" + module + "\""), 0u) << module;
        m_suffix = lumivel::testing::UniqueSuffix();
        m_root = "OU=" + m_rootName + " " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
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

    // Opens the console, connects the test domain from the Action menu and waits for its whole
    // listing; the control's list, null when any step failed.
    HWND openAndList(lumivel::console::ConsoleDriver& console, long* listed) {
        const std::string& domain = lumivel::testing::TestDirectory().domain;
        CLSID snapin{};
        CLSIDFromString(kSnapinClsid, &snapin);
        if (console.open(snapin) != S_OK) return nullptr;
        if (!ExpandRoot(console, StoredDomainCount())) return nullptr;
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            if (surface.resourceId == IDD_CONNECT_TO) {
                SetDlgItemTextW(surface.window, IDC_CONNECT_DOMAIN, lumivel::FromUtf8(domain).c_str());
                SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
            }
            return IDOK;
        });
        bool connected = console.chooseAction(console.root(), u"&Connect To...");
        lumivel::ui::SetTestHook({});
        if (!connected || console.children(console.root()).empty()) return nullptr;
        console.select(console.children(console.root()).back());
        if (!console.runUntil([&] { return CountIn(console.statusText()) >= 0; }, 180000)) return nullptr;
        *listed = CountIn(console.statusText());
        HWND control = console.session().resultViewWindow();
        HWND list = control ? GetDlgItem(control, kTopList) : nullptr;
        if (!list || !console.runUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == *listed; }, 5000))
            return nullptr;
        return list;
    }

    std::string m_rootName, m_suffix, m_root;
};

}  // namespace snapin_test
