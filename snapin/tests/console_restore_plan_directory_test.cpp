// "Restore Plan..." and "Restore Subtree..." from a tombstone's context menu in the console, on
// the test domain: the plan shows the deleted parents first with the DNs they will get, Close
// changes nothing, Restore brings them all back; a deleted OU comes back with everything
// deleted below it, each object in the report, and all of them leave the list; a large one
// cancelled from its progress dialog leaves the list, the report and the directory agreeing;
// a taken name is asked for from the restore's worker over its progress dialog, and both of
// that question's answers leave the list and the directory agreeing.
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console_restore_fixture.h"
#include "lumivel/console_driver.h"
#include "lumivel/qt_ui.h"
#include "lumivel/text.h"
#include "lumivel/ui_test_hook.h"
#include "shared/provider_dialog_ids.h"
#include "snapin_test_support.h"
#include "tests/support/dialog_waits.h"
#include "tests/support/directory_fixture.h"
#include "win/threads.h"

namespace {

using lumivel::console::ConsoleDriver;
using lumivel::testing::EscapeRdnValue;
using namespace snapin_test;

class ConsolePlanAndSubtreeTest : public ConsoleRestoreFixture {
protected:
    ConsolePlanAndSubtreeTest() : ConsoleRestoreFixture("ConsolePlan") {}

    // Chooses the menu item; message boxes are answered with answer and their texts kept;
    // the dialog goes to onDialog.
    void answer(const std::u16string& item, INT_PTR boxAnswer, std::function<void(const lumivel::ui::Surface&)> onDialog) {
        m_boxes.clear();
        lumivel::ui::SetTestHook([=, this](const lumivel::ui::Surface& surface) -> INT_PTR {
            switch (surface.kind) {
            case lumivel::ui::SurfaceKind::PopupMenu: return INT_PTR(MenuItemId(surface.menu, item));
            case lumivel::ui::SurfaceKind::MessageBox: m_boxes.push_back(surface.text); return boxAnswer;
            default: onDialog(surface); return 0;
            }
        });
    }

    std::vector<std::u16string> m_boxes;
};

TEST_F(ConsolePlanAndSubtreeTest, PlanThenRestoreAndSubtreeWithItsReport) {
    std::string outer = "Outer " + m_suffix, inner = "Inner " + m_suffix, leaf = "Leaf, Ada " + m_suffix;
    std::string outerDn = "OU=" + outer + "," + m_root, innerDn = "OU=" + inner + "," + outerDn;
    std::string leafDn = "CN=" + EscapeRdnValue(leaf) + "," + innerDn;
    std::string tree = "Tree " + m_suffix, kid = "Kid " + m_suffix, sub = "Sub " + m_suffix, grandkid = "Grandkid " + m_suffix;
    std::string treeDn = "OU=" + tree + "," + m_root, kidDn = "CN=" + kid + "," + treeDn;
    std::string subDn = "OU=" + sub + "," + treeDn, grandkidDn = "CN=" + grandkid + "," + subDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(outerDn));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(innerDn));
    ASSERT_TRUE(lumivel::testing::AddUser(leafDn, leaf));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(treeDn));
    ASSERT_TRUE(lumivel::testing::AddUser(kidDn, kid));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(subDn));
    ASSERT_TRUE(lumivel::testing::AddUser(grandkidDn, grandkid));
    for (const std::string* dn : {&leafDn, &innerDn, &outerDn, &grandkidDn, &subDn, &kidDn, &treeDn})
        ASSERT_TRUE(lumivel::testing::LdapDelete(*dn)) << *dn;

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());
    ASSERT_GE(RowNamed(list, leaf), 0);

    // The plan: parents first, each with the DN it gets; "Close" changes nothing.
    std::vector<std::vector<std::string>> planRows;
    int plans = 0;
    answer(u"Restore &Plan...", IDOK, [&](const lumivel::ui::Surface& surface) {
        ASSERT_EQ(surface.resourceId, IDD_RESTORE_PLAN);
        ASSERT_TRUE(lumivel::testing::WaitUntilEnabled(surface.window, IDC_PLAN_RESTORE));
        ++plans;
        planRows = RowsOf(GetDlgItem(surface.window, IDC_PLAN_LIST), 4);
        ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(surface.window), "console_restore_plan");
        SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
    });
    rightClick(list, RowNamed(list, leaf));
    lumivel::ui::SetTestHook({});
    ASSERT_EQ(plans, 1);
    ASSERT_EQ(planRows.size(), 3u);
    EXPECT_EQ(planRows[0][0], outer);
    EXPECT_EQ(planRows[1][0], "    " + inner) << "one level below its parent";
    EXPECT_EQ(Trimmed(planRows[2][0]), leaf);
    EXPECT_EQ(planRows[0][2], outerDn);
    EXPECT_EQ(planRows[1][2], innerDn);
    EXPECT_EQ(planRows[2][2], leafDn);
    for (const auto& row : planRows) EXPECT_EQ(row[3], "No") << row[0];
    EXPECT_TRUE(m_boxes.empty());
    for (const std::string* dn : {&outerDn, &innerDn, &leafDn}) EXPECT_FALSE(lumivel::testing::LdapExists(*dn)) << *dn;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed);

    // "&Restore" in the plan does what "&Restore" does: all three back and off the list, with
    // the directory's work off the console's thread under the progress dialog.
    int progressDialogs = 0;
    answer(u"Restore &Plan...", IDOK, [&](const lumivel::ui::Surface& surface) {
        if (surface.resourceId == IDD_RESTORE_PROGRESS) {
            if (surface.round == 0) ++progressDialogs;
            return void(RunWhileShown(surface.window));
        }
        ASSERT_TRUE(lumivel::testing::WaitUntilEnabled(surface.window, IDC_PLAN_RESTORE));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(surface.window, IDC_PLAN_REAPPLY))) << "no backup holds the object";
        SendMessageW(surface.window, WM_COMMAND, IDC_PLAN_RESTORE, 0);
    });
    rightClick(list, RowNamed(list, leaf));
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(progressDialogs, 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes.back(), u"The object was successfully restored.");
    for (const std::string* dn : {&outerDn, &innerDn, &leafDn}) EXPECT_TRUE(lumivel::testing::LdapExists(*dn)) << *dn;
    for (const std::string* name : {&outer, &inner, &leaf}) EXPECT_EQ(RowNamed(list, *name), -1) << *name;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 3);

    // The subtree: asked with the count first, then reported object by object.
    std::vector<std::vector<std::string>> reportRows;
    answer(u"Restore &Subtree...", IDYES, [&](const lumivel::ui::Surface& surface) {
        if (surface.resourceId == IDD_RESTORE_PROGRESS) return void(RunWhileShown(surface.window));
        ASSERT_EQ(surface.resourceId, IDD_SUBTREE_REPORT);
        reportRows = RowsOf(GetDlgItem(surface.window, IDC_SUBTREE_LIST), 5);
        ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(surface.window), "console_subtree_report");
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
    });
    rightClick(list, RowNamed(list, tree));
    lumivel::ui::SetTestHook({});
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find(u"and the 3 deleted objects listed below it, 4 objects in all"), std::u16string::npos)
        << lumivel::ToUtf8(m_boxes[0]);
    ASSERT_EQ(reportRows.size(), 4u);
    EXPECT_EQ(reportRows[0][0], tree) << "the container first";
    EXPECT_EQ(reportRows[0][2], treeDn);
    for (const auto& row : reportRows) EXPECT_EQ(row[3], "Restored") << row[0] << ": " << row[4];
    for (const std::string* dn : {&treeDn, &kidDn, &subDn, &grandkidDn}) EXPECT_TRUE(lumivel::testing::LdapExists(*dn)) << *dn;
    for (const std::string* name : {&tree, &kid, &sub, &grandkid}) EXPECT_EQ(RowNamed(list, *name), -1) << *name;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 7);
    console.screenshot("console_after_subtree_restore");
}

// A deleted OU of 36 contacts and a deleted OU inside it with 12 more: Cancel pressed once the
// dialog says the 9th object is under way stops the restore after the object then under way.
TEST_F(ConsolePlanAndSubtreeTest, ACancelledSubtreeRestoreLeavesListReportAndDirectoryAgreeing) {
    const std::string branch = "Branch " + m_suffix, annex = "Annex " + m_suffix;
    const std::string branchDn = "OU=" + branch + "," + m_root, annexDn = "OU=" + annex + "," + branchDn;
    std::map<std::string, std::string> dnOf{{branch, branchDn}, {annex, annexDn}};
    std::string ldif;
    for (int i = 0; i < 48; ++i) {
        std::string name = "Desk " + std::to_string(100 + i) + " " + m_suffix;
        dnOf[name] = "CN=" + name + "," + (i < 36 ? branchDn : annexDn);
        ldif += "dn: " + dnOf[name] + "\nchangetype: add\nobjectClass: contact\ncn: " + name + "\n\n";
    }
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(branchDn));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(annexDn));
    ASSERT_TRUE(lumivel::testing::LdapModify(ldif));
    lumivel::testing::LdapDeleteTree(branchDn);
    ASSERT_FALSE(lumivel::testing::LdapExists(branchDn));

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());

    constexpr size_t kCancelAt = 9;
    std::vector<std::vector<std::string>> reportRows;
    std::string countWhenCancelled;
    int progressDialogs = 0;
    answer(u"Restore &Subtree...", IDYES, [&](const lumivel::ui::Surface& surface) {
        if (surface.resourceId == IDD_RESTORE_PROGRESS) {
            if (surface.round != 0) return void(RunWhileShown(surface.window));
            ++progressDialogs;
            auto count = [&] {
                WCHAR text[256] = {};
                GetDlgItemTextW(surface.window, IDC_PROGRESS_COUNT, text, 256);
                return lumivel::ToUtf8(text);
            };
            bool reached = RunWhileShown(surface.window, [&] {
                size_t under = 0;
                return std::sscanf(count().c_str(), "Restoring %zu of", &under) == 1 && under >= kCancelAt;
            });
            ASSERT_TRUE(reached) << "the dialog counts the objects: " << count();
            countWhenCancelled = count();
            ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(surface.window), "console_subtree_progress");
            SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
            RunWhileShown(surface.window);
            return;
        }
        ASSERT_EQ(surface.resourceId, IDD_SUBTREE_REPORT);
        reportRows = RowsOf(GetDlgItem(surface.window, IDC_SUBTREE_LIST), 5);
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
    });
    rightClick(list, RowNamed(list, branch));
    lumivel::ui::SetTestHook({});
    ASSERT_EQ(m_boxes.size(), 1u) << "only the question before it";
    EXPECT_EQ(progressDialogs, 1);
    EXPECT_NE(countWhenCancelled.find(" of 50 objects"), std::string::npos) << countWhenCancelled;

    // Parents first; what came back is where the report says and gone from the list, the rest
    // are tombstones still listed; nothing came back below anything that did not.
    ASSERT_EQ(reportRows.size(), 50u);
    EXPECT_EQ(reportRows[0][0], branch);
    size_t restored = 0;
    bool annexBack = false, stopped = false;
    for (const auto& row : reportRows) {
        const std::string name = Trimmed(row[0]);
        ASSERT_TRUE(dnOf.count(name)) << name;
        bool back = row[3] == "Restored";
        EXPECT_TRUE(back || row[3] == "Not attempted") << name << ": " << row[3] << " " << row[4];
        EXPECT_FALSE(back && stopped) << name << " came back after the stop";
        stopped = stopped || !back;
        restored += back;
        if (name == annex) annexBack = back;
        if (back && dnOf[name].find(annexDn) != std::string::npos && name != annex) {
            EXPECT_TRUE(annexBack) << name << " came back without its parent";
        }
        if (back) {
            EXPECT_EQ(row[2], dnOf[name]);
        }
        EXPECT_EQ(lumivel::testing::LdapExists(dnOf[name]), back) << dnOf[name];
        EXPECT_EQ(RowNamed(list, name) == -1, back) << name;
    }
    EXPECT_GE(restored, kCancelAt - 1) << "everything before the object under way came back";
    EXPECT_LT(restored, reportRows.size()) << "Cancel stopped the restore";
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - long(restored));
    console.screenshot("console_after_cancelled_subtree_restore");
}

// What the dialog's control says.
std::string TextOf(HWND dialog, int id) {
    WCHAR text[1024] = {};
    GetDlgItemTextW(dialog, id, text, 1024);
    return lumivel::ToUtf8(text);
}

// An OU deleted with an OU and a user below it, whose name a new live OU has taken: the plan's
// restore asks for another name from its worker, over the progress dialog, on the console's
// thread. Cancel there restores nothing and says nothing; a name given brings all three back,
// the children below the renamed OU; and Cancel pressed on the progress as the name is given
// stops after that OU, which alone leaves the list.
TEST_F(ConsolePlanAndSubtreeTest, ATakenNameIsAskedFromTheWorkerAndEachAnswerLeavesThingsConsistent) {
    struct Tree {
        std::string outer, inner, leaf, outerDn, innerDn, leafDn;
    };
    auto makeTree = [&](const std::string& tag) {
        Tree t{"Outer" + tag + " " + m_suffix, "Inner" + tag + " " + m_suffix, "Leaf" + tag + " " + m_suffix, {}, {}, {}};
        t.outerDn = "OU=" + t.outer + "," + m_root;
        t.innerDn = "OU=" + t.inner + "," + t.outerDn;
        t.leafDn = "CN=" + t.leaf + "," + t.innerDn;
        EXPECT_TRUE(lumivel::testing::AddOrganizationalUnit(t.outerDn));
        EXPECT_TRUE(lumivel::testing::AddOrganizationalUnit(t.innerDn));
        EXPECT_TRUE(lumivel::testing::AddUser(t.leafDn, t.leaf));
        for (const std::string* dn : {&t.leafDn, &t.innerDn, &t.outerDn}) EXPECT_TRUE(lumivel::testing::LdapDelete(*dn)) << *dn;
        // The name the OU would come back under is taken again.
        EXPECT_TRUE(lumivel::testing::AddOrganizationalUnit(t.outerDn));
        return t;
    };
    const Tree asked = makeTree("A"), stopped = makeTree("S");
    ASSERT_FALSE(HasFailure());

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());
    const DWORD consoleThread = GetCurrentThreadId();

    // The plan's restore, the name dialog answered by onName (on the console's thread, with
    // the progress dialog it is shown over and what that says meanwhile).
    struct Asked {
        int names = 0;
        std::string takenShown, count, current;
        bool onConsoleThread = false;
    };
    auto restoreFromPlan = [&](const Tree& t, Asked* seen, std::function<void(HWND name, HWND progress)> onName) {
        HWND progress = nullptr;
        answer(u"Restore &Plan...", IDOK, [&](const lumivel::ui::Surface& surface) {
            if (surface.resourceId == IDD_RESTORE_PROGRESS) {
                progress = surface.window;
                return void(RunWhileShown(surface.window));
            }
            if (surface.resourceId == IDD_NEW_NAME) {
                ++seen->names;
                seen->onConsoleThread = GetCurrentThreadId() == consoleThread;
                seen->takenShown = TextOf(surface.window, IDC_NEW_NAME);
                if (progress) {
                    seen->count = TextOf(progress, IDC_PROGRESS_COUNT);
                    seen->current = TextOf(progress, IDC_PROGRESS_CURRENT);
                }
                if (seen->names == 1) ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(surface.window), "console_plan_new_name");
                return onName(surface.window, progress);
            }
            ASSERT_EQ(surface.resourceId, IDD_RESTORE_PLAN);
            ASSERT_TRUE(lumivel::testing::WaitUntilEnabled(surface.window, IDC_PLAN_RESTORE));
            SendMessageW(surface.window, WM_COMMAND, IDC_PLAN_RESTORE, 0);
        });
        rightClick(list, RowNamed(list, t.leaf));
        lumivel::ui::SetTestHook({});
    };
    auto stillListed = [&](const Tree& t) {
        for (const std::string* name : {&t.outer, &t.inner, &t.leaf}) EXPECT_GE(RowNamed(list, *name), 0) << *name;
        for (const std::string* dn : {&t.innerDn, &t.leafDn}) EXPECT_FALSE(lumivel::testing::LdapExists(*dn)) << *dn;
    };

    // Cancel: nothing comes back, nothing is said, the list stays.
    Asked cancelled;
    restoreFromPlan(asked, &cancelled, [](HWND name, HWND) { SendMessageW(name, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(cancelled.names, 1);
    EXPECT_TRUE(cancelled.onConsoleThread) << "the worker's question is shown on the console's thread";
    EXPECT_EQ(cancelled.takenShown, asked.outer);
    EXPECT_EQ(cancelled.count, "Restoring 1 of 3 objects...");
    EXPECT_EQ(cancelled.current, asked.outer);
    EXPECT_TRUE(m_boxes.empty()) << lumivel::ToUtf8(m_boxes.front());
    stillListed(asked);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed);

    // Another name: the OU comes back under it, the two below it inside it.
    const std::string renamed = "Renamed " + m_suffix, renamedDn = "OU=" + renamed + "," + m_root;
    Asked given;
    restoreFromPlan(asked, &given, [&](HWND name, HWND) {
        SetDlgItemTextW(name, IDC_NEW_NAME, lumivel::FromUtf8(renamed).c_str());
        SendMessageW(name, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(given.names, 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], u"The object was successfully restored.");
    const std::string innerBack = "OU=" + asked.inner + "," + renamedDn, leafBack = "CN=" + asked.leaf + "," + innerBack;
    for (const std::string* dn : {&renamedDn, &innerBack, &leafBack}) EXPECT_TRUE(lumivel::testing::LdapExists(*dn)) << *dn;
    for (const std::string* name : {&asked.outer, &asked.inner, &asked.leaf}) EXPECT_EQ(RowNamed(list, *name), -1) << *name;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 3);

    // Cancel pressed on the progress as the name is given: the renamed OU comes back and leaves
    // the list, the two below it stay listed as tombstones, and the box says where it stopped.
    const std::string stoppedName = "Stopped " + m_suffix, stoppedDn = "OU=" + stoppedName + "," + m_root;
    Asked atStop;
    restoreFromPlan(stopped, &atStop, [&](HWND name, HWND progress) {
        if (progress) SendMessageW(progress, WM_COMMAND, IDCANCEL, 0);
        SetDlgItemTextW(name, IDC_NEW_NAME, lumivel::FromUtf8(stoppedName).c_str());
        SendMessageW(name, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(atStop.names, 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(lumivel::ToUtf8(m_boxes[0]),
              "The restore was stopped before " + stopped.inner + ": what came back before it stays restored.");
    EXPECT_TRUE(lumivel::testing::LdapExists(stoppedDn));
    EXPECT_EQ(RowNamed(list, stopped.outer), -1) << "what came back leaves the list";
    for (const std::string* name : {&stopped.inner, &stopped.leaf}) EXPECT_GE(RowNamed(list, *name), 0) << *name;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 4);
}

}  // namespace
