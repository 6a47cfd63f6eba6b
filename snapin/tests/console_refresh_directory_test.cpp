// F5 on a domain node of the test domain reads only what changed since the last listing: a
// tombstone restored elsewhere leaves, new ones join, the rows that stay keep their records and
// their selection, one past its purge time is read again and leaves when it is gone; a sync
// point the server refuses means a whole read, whose rows are the ones the changes gave.
#include <QApplication>

#include <algorithm>
#include <string>
#include <vector>

#include "console_restore_fixture.h"
#include "lumivel/console_driver.h"
#include "lumivel/text.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "snapin/domain_node.h"
#include "snapin_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/directory_fixture.h"
#include "win/commctrl.h"

namespace {

using lumivel::console::ConsoleDriver;
using namespace snapin_test;

class ConsoleRefreshTest : public ConsoleRestoreFixture {
protected:
    ConsoleRefreshTest() : ConsoleRestoreFixture("ConsoleRefresh") {}

    // A user made below the test's OU and deleted; its tombstone's GUID, empty on failure.
    std::string deletedUser(const std::string& name) {
        const std::string dn = "CN=" + name + "," + m_root;
        if (!lumivel::testing::AddUser(dn, name) || !lumivel::testing::LdapDelete(dn)) return {};
        auto tombstones = lumivel::testing::TombstoneTimes(name);
        if (tombstones.size() != 1) return {};
        size_t del = tombstones[0].first.find("DEL:");
        return del == std::string::npos ? std::string() : tombstones[0].first.substr(del + 4, 36);
    }

    // Presses F5 and lets the console run until the node's fetch is over and the list shows
    // what the status counts.
    bool refresh(ConsoleDriver& console, snapin::DomainNode* node) {
        console.pressRefresh();
        return console.runUntil(
            [&] {
                HWND list = GetDlgItem(console.session().resultViewWindow(), kTopList);
                return !node->fetching() && list && CountIn(console.statusText()) >= 0 &&
                       SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == CountIn(console.statusText());
            },
            180000);
    }

    static std::vector<std::vector<std::string>> sortedRows(HWND list) {
        std::vector<std::vector<std::string>> rows = RowsOf(list, 3);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    static PropertySet* recordNamed(snapin::DomainNode* node, const std::string& guid) {
        for (PropertySet* record : lumivel::shared::ReadObjectList(&node->m_objects))
            if (lumivel::ToUtf8(std::u16string(record->getText(u"name"))).find(guid) != std::string::npos) return record;
        return nullptr;
    }

    static bool selected(HWND list, int row) {
        return row >= 0 && (SendMessageW(list, LVM_GETITEMSTATE, WPARAM(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
    }
};

TEST_F(ConsoleRefreshTest, F5ReadsOnlyTheChangesAndEndsWhereAWholeListingDoes) {
    const std::string restored = "Ref Restored " + m_suffix, purged = "Ref Purged " + m_suffix;
    const std::string kept = "Ref Kept " + m_suffix, first = "Ref First " + m_suffix, second = "Ref Second " + m_suffix;
    const std::string restoredGuid = deletedUser(restored), purgedGuid = deletedUser(purged), keptGuid = deletedUser(kept);
    ASSERT_FALSE(restoredGuid.empty());
    ASSERT_FALSE(purgedGuid.empty());
    ASSERT_FALSE(keptGuid.empty());

    ConsoleDriver console;
    long listed = 0;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr);
    // The node the snap-in keeps for the domain, to see what it holds between refreshes.
    auto* node = static_cast<snapin::DomainNode*>(
        reinterpret_cast<snapin::ScopeNode*>(console.parameter(console.session().selectedItem())));
    ASSERT_NE(node, nullptr);

    // The first F5 reads everything and keeps where the directory stood.
    ASSERT_TRUE(refresh(console, node)) << lumivel::ToUtf8(console.statusText());
    ASSERT_FALSE(node->m_syncPoint.cookie.empty());
    const std::time_t wholeReadAt = node->m_syncPoint.wholeReadAt;
    list = GetDlgItem(console.session().resultViewWindow(), kTopList);
    const int keptRow = RowNamed(list, kept);
    ASSERT_GE(keptRow, 0);
    LVITEMW select{};
    select.stateMask = select.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(keptRow), LPARAM(&select));
    PropertySet* keptRecord = recordNamed(node, keptGuid);
    ASSERT_NE(keptRecord, nullptr);
    // Held, so that no later record can take its address.
    keptRecord->addRef();

    // Elsewhere: one restored by the command line, two deleted, one purged before its time.
    auto restore = lumivel::testing::RunChild(
        lumivel::FromUtf8("\"" + BinDir() + "/lumivel\" restore " + lumivel::testing::TestDirectory().domain + " " +
                          restoredGuid + " --yes"),
        120000);
    ASSERT_EQ(restore.exitCode, 0u) << restore.output;
    const std::string firstGuid = deletedUser(first), secondGuid = deletedUser(second);
    ASSERT_FALSE(firstGuid.empty());
    ASSERT_FALSE(secondGuid.empty());
    std::vector<std::string> purgedDns =
        lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(cn=" + purged + "*)");
    ASSERT_EQ(purgedDns.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(purgedDns[0]));

    ASSERT_TRUE(refresh(console, node)) << lumivel::ToUtf8(console.statusText());
    list = GetDlgItem(console.session().resultViewWindow(), kTopList);
    EXPECT_EQ(node->m_syncPoint.wholeReadAt, wholeReadAt) << "the refresh read everything again";
    EXPECT_EQ(RowNamed(list, restored), -1);
    EXPECT_GE(RowNamed(list, first), 0);
    EXPECT_GE(RowNamed(list, second), 0);
    EXPECT_EQ(CountIn(console.statusText()), listed + 1);
    // The rows that stay are the records they were, still selected where they now stand.
    EXPECT_EQ(recordNamed(node, keptGuid), keptRecord);
    EXPECT_TRUE(selected(list, RowNamed(list, kept)));
    // A tombstone removed before its time is reported by no change: it stays for now.
    PropertySet* purgedRecord = recordNamed(node, purgedGuid);
    ASSERT_NE(purgedRecord, nullptr);

    // Once past its purge time it is read again, and leaves for being gone.
    // Written in place, as no listing does: the earliest purge time the fetch kept for the list
    // goes with it, as it would once that time had come.
    purgedRecord->setText(kExpiresUtcKey, u"2001-01-01T00:00:00Z");
    node->m_earliestPurge.reset();
    ASSERT_TRUE(refresh(console, node)) << lumivel::ToUtf8(console.statusText());
    list = GetDlgItem(console.session().resultViewWindow(), kTopList);
    EXPECT_EQ(RowNamed(list, purged), -1);
    EXPECT_EQ(CountIn(console.statusText()), listed);
    EXPECT_EQ(node->m_syncPoint.wholeReadAt, wholeReadAt);
    const std::vector<std::vector<std::string>> incremental = sortedRows(list);

    // Nothing changed: the list stays, record for record.
    const std::vector<PropertySet*> before = lumivel::shared::ReadObjectList(&node->m_objects);
    ASSERT_TRUE(refresh(console, node)) << lumivel::ToUtf8(console.statusText());
    EXPECT_EQ(lumivel::shared::ReadObjectList(&node->m_objects), before);

    // A cookie the server refuses, with more writes since than are found by number (every test
    // domain has some thousand): everything is read again, and that whole listing is the one
    // the changes made; the selection is found again by name among the new records.
    node->m_syncPoint.cookie = u"00FF00FF";
    node->m_syncPoint.usn = u"0";
    ASSERT_TRUE(refresh(console, node)) << lumivel::ToUtf8(console.statusText());
    list = GetDlgItem(console.session().resultViewWindow(), kTopList);
    EXPECT_NE(recordNamed(node, keptGuid), keptRecord);
    EXPECT_GE(node->m_syncPoint.wholeReadAt, wholeReadAt);
    EXPECT_NE(node->m_syncPoint.cookie, u"00FF00FF");
    EXPECT_EQ(sortedRows(list), incremental);
    EXPECT_TRUE(selected(list, RowNamed(list, kept)));
    keptRecord->release();
    console.screenshot("console_refresh_test_domain");
}

}  // namespace
