// "Restore Selected (N)..." on several tombstones in the console, on the test domain: users
// of two deleted OUs selected with Ctrl+click come back under one plan that brings each OU
// back once and first, one report says every outcome, what came back leaves the list and what
// failed stays selected; a user below a deleted parent no longer listed fails with why, the
// worker asking no one; and a long restore cancelled from its progress dialog leaves the list
// and the directory agreeing on every object.
#include <QApplication>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "console_restore_fixture.h"
#include "lumivel/console_driver.h"
#include "lumivel/qt_ui.h"
#include "lumivel/text.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "shared/provider_dialog_ids.h"
#include "snapin_test_support.h"
#include "tests/support/dialog_waits.h"
#include "tests/support/directory_fixture.h"

namespace {

using lumivel::console::ConsoleDriver;
using namespace snapin_test;

// What the hook sees of a dialog, kept for the test to read afterwards.
struct Seen {
    std::vector<std::vector<std::string>> plan, report;
    std::string summary, menuText;
    int progressDialogs = 0;
};

class ConsoleRestoreSelectedTest : public ConsoleRestoreFixture {
protected:
    ConsoleRestoreSelectedTest() : ConsoleRestoreFixture("ConsoleMany") {}

    // Selects the rows as a person does: a click on the first, Ctrl+click on the others.
    void selectRows(HWND list, const std::vector<std::string>& names) {
        auto* view = qobject_cast<QTreeView*>(lumivel::qtui::WidgetForWindow(list));
        ASSERT_NE(view, nullptr);
        for (size_t i = 0; i < names.size(); ++i) {
            int row = RowNamed(list, names[i]);
            ASSERT_GE(row, 0) << names[i];
            QModelIndex index = view->model()->index(row, 0);
            view->scrollTo(index);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                              view->visualRect(index).center());
        }
        EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), LRESULT(names.size()));
    }

    // Ctrl+F in the list, then the text typed into the filter bar it goes to.
    void filterTo(HWND list, const std::string& text) {
        lumivel::ui::UserListKeyDown(list, 'F', lumivel::ui::KeyModifier::Control);
        HWND bar = GetFocus();
        ASSERT_NE(bar, list) << "Ctrl+F goes to the filter bar";
        ASSERT_TRUE(lumivel::ui::UserSetEditText(bar, lumivel::FromUtf8(text)));
    }

    // "N of M deleted objects shown." with N as given.
    static bool StatusSays(ConsoleDriver& console, const std::string& shown) {
        const std::string status = lumivel::ToUtf8(console.statusText());
        const std::string end = " deleted objects shown.";
        return status.rfind(shown, 0) == 0 && status.size() > end.size() &&
               status.compare(status.size() - end.size(), end.size(), end) == 0;
    }

    static bool Selected(HWND list, int row) {
        return row >= 0 && (SendMessageW(list, LVM_GETITEMSTATE, WPARAM(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
    }

    // Chooses "Restore Selected (N)...", restores from the plan and reads the report; with
    // cancel the progress dialog's Cancel is pressed as soon as it shows.
    void restoreSelected(HWND list, const std::string& onRow, size_t count, bool cancel, Seen* seen) {
        std::u16string item = u"Restore &Selected (" + lumivel::FromUtf8(std::to_string(count)) + u")...";
        lumivel::ui::SetTestHook([=, this](const lumivel::ui::Surface& surface) -> INT_PTR {
            switch (surface.kind) {
            case lumivel::ui::SurfaceKind::PopupMenu: return INT_PTR(MenuItemId(surface.menu, item));
            case lumivel::ui::SurfaceKind::MessageBox: ADD_FAILURE() << lumivel::ToUtf8(surface.text); return IDOK;
            default: break;
            }
            if (surface.resourceId == IDD_RESTORE_SELECTED) {
                // It fills in once its checks, run off the console's thread, have ended.
                EXPECT_TRUE(lumivel::testing::WaitUntilEnabled(surface.window, IDC_SELECTED_RESTORE));
                seen->plan = RowsOf(GetDlgItem(surface.window, IDC_SELECTED_LIST), 3);
                WCHAR summary[1024] = {};
                GetDlgItemTextW(surface.window, IDC_SELECTED_SUMMARY, summary, 1024);
                seen->summary = lumivel::ToUtf8(summary);
                ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(surface.window), "console_restore_selected");
                SendMessageW(surface.window, WM_COMMAND, IDC_SELECTED_RESTORE, 0);
            } else if (surface.resourceId == IDD_RESTORE_PROGRESS) {
                if (surface.round == 0) {
                    ++seen->progressDialogs;
                    if (cancel) SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
                }
                RunWhileShown(surface.window);
            } else if (surface.resourceId == IDD_SUBTREE_REPORT) {
                EXPECT_EQ(surface.caption, u"Restore Selected");
                seen->report = RowsOf(GetDlgItem(surface.window, IDC_SUBTREE_LIST), 5);
                ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(surface.window), "console_restore_selected_report");
                SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
            } else {
                ADD_FAILURE() << "unexpected dialog " << surface.resourceId;
                SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
            }
            return 0;
        });
        rightClick(list, RowNamed(list, onRow));
        lumivel::ui::SetTestHook({});
    }
};

TEST_F(ConsoleRestoreSelectedTest, UsersOfTwoDeletedOusComeBackUnderOnePlanAndFailuresStaySelected) {
    const std::string sales = "Sales " + m_suffix, finance = "Finance " + m_suffix;
    const std::string ada = "Ada " + m_suffix, bob = "Bob " + m_suffix, cyd = "Cyd " + m_suffix, dee = "Dee " + m_suffix;
    const std::string salesDn = "OU=" + sales + "," + m_root, financeDn = "OU=" + finance + "," + m_root;
    const std::string adaDn = "CN=" + ada + "," + salesDn, bobDn = "CN=" + bob + "," + salesDn;
    const std::string cydDn = "CN=" + cyd + "," + financeDn, deeDn = "CN=" + dee + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(salesDn));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(financeDn));
    for (const auto& [dn, cn] : {std::pair{adaDn, ada}, {bobDn, bob}, {cydDn, cyd}, {deeDn, dee}})
        ASSERT_TRUE(lumivel::testing::AddUser(dn, cn)) << dn;
    for (const std::string* dn : {&adaDn, &bobDn, &cydDn, &deeDn, &salesDn, &financeDn})
        ASSERT_TRUE(lumivel::testing::LdapDelete(*dn)) << *dn;
    // Dee's name is taken by a new live object: the batch cannot ask for another, so it fails.
    ASSERT_TRUE(lumivel::testing::AddUser(deeDn, dee));

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());

    // Narrowed first to this test's own tombstones, as a person finds them among many.
    filterTo(list, m_suffix);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 6);
    EXPECT_TRUE(StatusSays(console, "6 of ")) << lumivel::ToUtf8(console.statusText());

    selectRows(list, {ada, cyd, bob, dee});
    Seen seen;
    restoreSelected(list, bob, 4, false, &seen);

    // One plan: each OU once, before the users in it, in the order the list shows the selection.
    ASSERT_EQ(seen.plan.size(), 6u) << seen.summary;
    EXPECT_EQ(seen.summary.rfind("4 selected objects come back, and first 2 deleted parents they need.", 0), 0u)
        << seen.summary;
    std::vector<std::string> order;
    for (const auto& row : seen.plan) order.push_back(Trimmed(row[0]));
    ASSERT_EQ(order.size(), 6u);
    EXPECT_EQ(order, (std::vector<std::string>{sales, ada, bob, finance, cyd, dee}));
    EXPECT_EQ(seen.plan[2][2], bobDn) << "below the Sales that comes back for Ada";
    EXPECT_EQ(seen.plan[4][2], cydDn);
    EXPECT_EQ(seen.progressDialogs, 1);

    // One report, every object's outcome.
    ASSERT_EQ(seen.report.size(), 6u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(seen.report[i][3], "Restored") << seen.report[i][0] << ": " << seen.report[i][4];
    EXPECT_EQ(seen.report[2][2], bobDn);
    EXPECT_EQ(seen.report[5][3], "Failed");
    EXPECT_NE(seen.report[5][4].find("exists already"), std::string::npos) << seen.report[5][4];
    for (const std::string* dn : {&salesDn, &financeDn, &adaDn, &bobDn, &cydDn})
        EXPECT_TRUE(lumivel::testing::LdapExists(*dn)) << *dn;

    // What came back left the list, the filter kept and the status bar counting what is left;
    // what failed is still there, and still selected.
    for (const std::string* name : {&sales, &finance, &ada, &bob, &cyd}) EXPECT_EQ(RowNamed(list, *name), -1) << *name;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_TRUE(Selected(list, RowNamed(list, dee)));
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_TRUE(StatusSays(console, "1 of ")) << lumivel::ToUtf8(console.statusText());
    filterTo(list, "");
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 5);
    EXPECT_EQ(CountIn(console.statusText()), listed - 5) << lumivel::ToUtf8(console.statusText());
    console.screenshot("console_after_restore_selected");
}

TEST_F(ConsoleRestoreSelectedTest, ACancelledLongRestoreLeavesTheListAsTheDirectoryIs) {
    const std::string office = "Office " + m_suffix, officeDn = "OU=" + office + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(officeDn));
    std::vector<std::string> names, dns;
    for (int i = 0; i < 24; ++i) {
        names.push_back("Clerk " + std::to_string(100 + i) + " " + m_suffix);
        dns.push_back("CN=" + names.back() + "," + officeDn);
        ASSERT_TRUE(lumivel::testing::AddUser(dns.back(), names.back()));
    }
    for (const std::string& dn : dns) ASSERT_TRUE(lumivel::testing::LdapDelete(dn)) << dn;
    ASSERT_TRUE(lumivel::testing::LdapDelete(officeDn));

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());
    selectRows(list, names);
    Seen seen;
    restoreSelected(list, names.back(), names.size(), true, &seen);
    ASSERT_EQ(seen.plan.size(), names.size() + 1);
    ASSERT_EQ(seen.report.size(), names.size() + 1);

    // Stopped after the object under way: the rest were not attempted.
    size_t restored = 0, notAttempted = 0;
    for (const auto& row : seen.report) {
        restored += row[3] == "Restored";
        notAttempted += row[3] == "Not attempted";
        EXPECT_NE(row[3], "Failed") << row[0] << ": " << row[4];
    }
    EXPECT_GT(notAttempted, 0u) << "Cancel stops the restore";
    EXPECT_EQ(restored + notAttempted, seen.report.size());

    // The list and the directory agree object by object.
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - long(restored));
    for (const auto& row : seen.report) {
        bool back = row[3] == "Restored";
        std::string name = Trimmed(row[0]);
        EXPECT_EQ(RowNamed(list, name) == -1, back) << name;
        std::string dn = name == office ? officeDn : "CN=" + name + "," + officeDn;
        EXPECT_EQ(lumivel::testing::LdapExists(dn), back) << dn;
        if (!back && name != office) {
            EXPECT_TRUE(Selected(list, RowNamed(list, name))) << name << " stays selected";
        }
    }
}

// The batch asks no one from its worker: a user whose deleted parent's tombstone is gone (only
// a backup could recreate it) fails with that reason, and the one beside it comes back.
TEST_F(ConsoleRestoreSelectedTest, AUserBelowALostParentFailsWithWhyAndNothingIsAsked) {
    const std::string lost = "Gone " + m_suffix, lostDn = "OU=" + lost + "," + m_root;
    const std::string stray = "Stray " + m_suffix, strayDn = "CN=" + stray + "," + lostDn;
    const std::string fine = "Fine " + m_suffix, fineDn = "CN=" + fine + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(lostDn));
    ASSERT_TRUE(lumivel::testing::AddUser(strayDn, stray));
    ASSERT_TRUE(lumivel::testing::AddUser(fineDn, fine));
    for (const std::string* dn : {&strayDn, &lostDn, &fineDn}) ASSERT_TRUE(lumivel::testing::LdapDelete(*dn)) << *dn;
    std::vector<std::string> units =
        lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=" + lost + "*)");
    ASSERT_EQ(units.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(units[0]));

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());
    selectRows(list, {stray, fine});
    Seen seen;
    // Any box or dialog but the plan, the progress and the report fails the test.
    restoreSelected(list, fine, 2, false, &seen);

    ASSERT_EQ(seen.plan.size(), 2u) << seen.summary;
    ASSERT_EQ(seen.report.size(), 2u);
    for (const auto& row : seen.report) {
        const std::string name = Trimmed(row[0]);
        if (name == fine) {
            EXPECT_EQ(row[3], "Restored") << row[4];
        } else {
            EXPECT_EQ(name, stray);
            EXPECT_EQ(row[3], "Failed");
            EXPECT_EQ(row[4], "its deleted parent is no longer listed, and only a backup recreates it: restore this object alone");
        }
    }
    EXPECT_TRUE(lumivel::testing::LdapExists(fineDn));
    EXPECT_FALSE(lumivel::testing::LdapExists(lostDn)) << "nothing is recreated without an archive";
    EXPECT_FALSE(lumivel::testing::LdapExists(strayDn));
    EXPECT_EQ(RowNamed(list, fine), -1);
    EXPECT_TRUE(Selected(list, RowNamed(list, stray))) << "what failed stays selected";
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 1);
}

}  // namespace
