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
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "lumivel/console_driver.h"
#include "lumivel/qt_ui.h"
#include "lumivel/text.h"
#include "lumivel/ui_test_hook.h"
#include "console_restore_fixture.h"
#include "shared/provider_dialog_ids.h"
#include "root_expansion.h"
#include "snapin_test_support.h"
#include "tests/support/dialog_waits.h"
#include "tests/support/directory_fixture.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace {

using lumivel::console::ConsoleDriver;
using lumivel::testing::EscapeRdnValue;
using namespace snapin_test;

class ConsoleRestoreTest : public ConsoleRestoreFixture {
protected:
    ConsoleRestoreTest() : ConsoleRestoreFixture("ConsoleTest") {}

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
    ASSERT_TRUE(ExpandRoot(console, StoredDomainCount()));
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
    std::vector<HSCOPEITEM> named;
    for (HSCOPEITEM child : children)
        if (lumivel::ToUtf8(console.shownName(child)) == domain) named.push_back(child);
    // A domain connected before (by an earlier test) keeps its one node, which is selected.
    ASSERT_EQ(named.size(), 1u) << "one node for the domain, however often it is connected";
    EXPECT_EQ(children.size(), before == 0 ? 1u : before);
    HSCOPEITEM node = named.front();

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
    ASSERT_TRUE(console.runUntil([&] { return console.children(console.root()).size() == children.size() - 1; }, 5000));
}

// "Restore To..." on a tombstone whose parent is gone: the chooser picks another live OU and
// the object comes back there; a container that does not take the class is refused and nothing
// changes; a cancelled choice restores and audits nothing.
TEST_F(ConsoleRestoreTest, RestoreToPutsAnOrphanIntoTheContainerChosen) {
    std::string lost = "Lost " + m_suffix, orphan = "Orphan " + m_suffix, sub = "Sub " + m_suffix;
    std::string haven = "Haven " + m_suffix, box = "Box " + m_suffix;
    std::string lostDn = "OU=" + lost + "," + m_root, orphanDn = "CN=" + orphan + "," + lostDn;
    std::string subDn = "OU=" + sub + "," + lostDn;
    std::string havenDn = "OU=" + haven + "," + m_root, boxDn = "CN=" + box + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(lostDn));
    ASSERT_TRUE(lumivel::testing::AddUser(orphanDn, orphan));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(subDn));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(havenDn));
    ASSERT_TRUE(lumivel::testing::LdapAdd(boxDn, {"objectClass: container\n"}));
    ASSERT_TRUE(lumivel::testing::LdapDelete(orphanDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(subDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(lostDn));
    std::string auditLog = "/tmp/lumivel-restore-to-audit-" + m_suffix + ".log";
    const char* usualLog = std::getenv("LUMIVEL_AUDIT_LOG");
    std::string usual = usualLog ? usualLog : "";
    setenv("LUMIVEL_AUDIT_LOG", auditLog.c_str(), 1);
    auto auditedRestoresTo = [&] {
        std::ifstream file(auditLog);
        int lines = 0;
        for (std::string line; std::getline(file, line);)
            if (line.find("\"restore-to\"") != std::string::npos) ++lines;
        return lines;
    };

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());

    // The chooser, worked as a person would: the test's OU typed and opened, a row entered.
    // open(): what the chooser showed; then how it is left (0: cancelled, else OK).
    std::vector<std::u16string> seenStatus;
    std::u16string seenLocation;
    auto answerChooser = [&](const std::string& rowToChoose, bool enterRow, bool confirm, const std::string& shot) {
        m_boxes.clear();
        seenStatus.clear();
        lumivel::ui::SetTestHook([&, rowToChoose, enterRow, confirm, shot](const lumivel::ui::Surface& surface) -> INT_PTR {
            switch (surface.kind) {
            case lumivel::ui::SurfaceKind::PopupMenu: return INT_PTR(MenuItemId(surface.menu, u"Restore &To..."));
            case lumivel::ui::SurfaceKind::MessageBox: m_boxes.push_back(surface.text); return IDOK;
            default: break;
            }
            HWND dialog = surface.window;
            if (surface.resourceId != IDD_RESTORE_TO) {
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                return 0;
            }
            // The chooser reads on a worker: it shows at once, and the hook waits for each search.
            auto settled = [dialog] {
                EXPECT_TRUE(lumivel::testing::WaitUntilSettled(dialog, IDC_RESTORE_TO_LIST, IDC_RESTORE_TO_STATUS));
            };
            WCHAR text[1024] = {};
            settled();
            GetDlgItemTextW(dialog, IDC_RESTORE_TO_LOCATION, text, 1024);
            seenLocation = text;
            SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, lumivel::FromUtf8(m_root).c_str());
            SendMessageW(dialog, WM_COMMAND, IDC_RESTORE_TO_OPEN, 0);
            settled();
            HWND rows = GetDlgItem(dialog, IDC_RESTORE_TO_LIST);
            int row = RowNamed(rows, rowToChoose);
            EXPECT_GE(row, 0) << rowToChoose << " is listed in the chooser";
            LVITEMW selected{};
            selected.stateMask = selected.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(rows, LVM_SETITEMSTATE, WPARAM(row), LPARAM(&selected));
            settled();
            if (!shot.empty()) ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(dialog), shot);
            if (enterRow) {
                NMITEMACTIVATE click{};
                click.hdr = {rows, UINT_PTR(IDC_RESTORE_TO_LIST), UINT(NM_DBLCLK)};
                click.iItem = row;
                SendMessageW(dialog, WM_NOTIFY, IDC_RESTORE_TO_LIST, LPARAM(&click));
                settled();
            }
            GetDlgItemTextW(dialog, IDC_RESTORE_TO_STATUS, text, 1024);
            seenStatus.push_back(text);
            SetFocus(GetDlgItem(dialog, IDC_RESTORE_TO_CONTAINER));
            SendMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
            return 0;
        });
    };

    // Cancelled: nothing restored, nothing audited, and the next "Restore To..." asks again.
    answerChooser(haven, true, false, "console_restore_to_chooser");
    rightClick(list, RowNamed(list, orphan));
    EXPECT_EQ(lumivel::ToUtf8(seenLocation), lumivel::testing::TestDirectory().baseDn)
        << "the parent is deleted: the chooser opens at the domain";
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_GE(RowNamed(list, orphan), 0);
    EXPECT_FALSE(lumivel::testing::LdapExists("CN=" + orphan + "," + havenDn));
    EXPECT_EQ(auditedRestoresTo(), 0);

    // Into the live OU chosen: back there, off the list, audited.
    answerChooser(haven, true, true, "");
    rightClick(list, RowNamed(list, orphan));
    ASSERT_EQ(seenStatus.size(), 1u);
    EXPECT_EQ(lumivel::ToUtf8(seenStatus[0]), "An object of class user can be created in " + havenDn + ".");
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_EQ(m_boxes.back(), u"The object was successfully restored.");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + orphan + "," + havenDn));
    EXPECT_EQ(RowNamed(list, orphan), -1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 1);
    EXPECT_EQ(auditedRestoresTo(), 1);
    console.screenshot("console_after_restore_to");

    // An OU into a plain container: said in the chooser, refused by the restore, nothing moves.
    answerChooser(box, false, true, "");
    rightClick(list, RowNamed(list, sub));
    lumivel::ui::SetTestHook({});
    ASSERT_EQ(seenStatus.size(), 1u);
    std::string refusal = "The container " + boxDn + " does not accept an object of class organizationalUnit.";
    EXPECT_EQ(lumivel::ToUtf8(seenStatus[0]), refusal);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(lumivel::ToUtf8(m_boxes[0]), refusal);
    EXPECT_FALSE(lumivel::testing::LdapExists("OU=" + sub + "," + boxDn));
    EXPECT_GE(RowNamed(list, sub), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 1);

    if (usual.empty())
        unsetenv("LUMIVEL_AUDIT_LOG");
    else
        setenv("LUMIVEL_AUDIT_LOG", usual.c_str(), 1);
    std::remove(auditLog.c_str());
    ASSERT_TRUE(console.chooseAction(console.children(console.root()).back(), u"&Remove"));
}

}  // namespace
