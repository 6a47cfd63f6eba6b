// Listing and restore in a test domain of two DCs (testdc up --dcs 2): restores on the DC each
// record names, the DC chosen with command 312 while the other is stopped, a restore seen from
// the restoring DC while the other lags behind, and a DC stopped in the middle of a listing or
// of a restore. Each test starts again what it stopped and releases what it held.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/tests/tombstone_records.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;
using revivo::Revivo;
using lumivel::testing::Harness;
using lumivel::testing::TombstoneNamed;
using lumivel::testing::WaitUntil;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

// Replication between two DCs of one site takes seconds; a test gives it this long.
constexpr int kReplicationSeconds = 90;

void press(HWND dialog, int button) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

class TwoDcTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        if (lumivel::testing::SecondDc().empty()) GTEST_SKIP() << "the test domain has one DC (testdc up --dcs 2)";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_provider = static_cast<Revivo*>(m_revivo.get());
        m_first = lumivel::testing::TestDirectory().server;
        m_second = lumivel::testing::SecondDc();
        m_base = lumivel::testing::TestDirectory().baseDn;
        m_suffix = lumivel::testing::UniqueSuffix();
        m_root = "OU=TwoDc " + m_suffix + "," + m_base;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        // The first DC first: the harness takes its tickets and DNS from it.
        for (const std::string& dc : {m_first, m_second}) {
            if (std::find(m_stopped.begin(), m_stopped.end(), dc) != m_stopped.end()) {
                EXPECT_TRUE(Harness("start-dc " + shortName(dc))) << dc;
            }
        }
        if (m_held) {
            EXPECT_TRUE(Harness("release-replication " + shortName(m_first)));
        }
        if (!m_root.empty() && !m_first.empty()) lumivel::testing::LdapDeleteTree(m_root);
        for (PropertySet* record : m_owned) record->release();
        m_owned.clear();
        m_commands.reset();
        m_revivo.reset();
        CoUninitialize();
    }

    static std::string shortName(const std::string& server) { return server.substr(0, server.find('.')); }
    void stop(const std::string& server) {
        m_stopped.push_back(server);
        ASSERT_TRUE(Harness("stop-dc " + shortName(server))) << server;
    }
    void holdFirst() {
        m_held = true;
        ASSERT_TRUE(Harness("hold-replication " + shortName(m_first)));
    }
    bool tombstoneOn(const std::string& server, const std::string& name) {
        return !lumivel::testing::TombstoneDnsOn(server, m_base, "(cn=" + name + "*)").empty();
    }
    // Waits for the second DC to have what the first has; replication is forced when the DCs'
    // own notices are slow (after a DC was restarted they may take minutes).
    bool replicated(const std::function<bool()>& arrived) {
        return WaitUntil(arrived, 10) || (Harness("replicate") && WaitUntil(arrived, kReplicationSeconds));
    }
    // A user made and deleted on the first DC, once the second has its tombstone too.
    std::string deletedUser(const std::string& name, const std::string& parentDn) {
        std::string dn = "CN=" + name + "," + parentDn;
        EXPECT_TRUE(lumivel::testing::AddUser(dn, name)) << dn;
        EXPECT_TRUE(lumivel::testing::LdapDelete(dn)) << dn;
        EXPECT_TRUE(replicated([&] { return tombstoneOn(m_second, name); })) << name;
        return dn;
    }
    // A domain node focused on the DC given, as GetNodes and command 312 leave one.
    PropertySet* node(const std::string& focusedDc) {
        PropertySet* record = keep(PropertySet::create());
        record->IsNode = 1;
        record->enableLock();
        record->setText(u"name", WidenText(lumivel::testing::TestDirectory().domain));
        record->setText(u"NamingContext", WidenText(m_base));
        record->setText(u"FocusedDC", WidenText(focusedDc));
        record->setInt(u"FromRevivoProvider", 1);
        return record;
    }
    std::vector<PropertySet*> list(PropertySet* from, HRESULT* result) {
        VARIANT objects;
        VariantInit(&objects);
        *result = m_revivo->EnumDeletedObjects(reinterpret_cast<LONG_PTR>(from), nullptr, &objects);
        std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
        VariantClear(&objects);
        for (PropertySet* record : records) keep(record);
        return records;
    }
    // Command 311: its status, and the records its answer names after the header.
    HRESULT restore(PropertySet* record, std::vector<PropertySet*>* restored) {
        return lumivel::testing::RestoreRecord(m_commands.get(), record, restored);
    }
    // Message boxes are recorded and answered with OK; any dialog goes to the handler given.
    void watch(std::function<void(const Surface&)> dialogs = {}) {
        lumivel::ui::SetTestHook([this, dialogs](const Surface& surface) -> INT_PTR {
            if (surface.kind == SurfaceKind::MessageBox) {
                m_boxes.push_back(surface);
                return IDOK;
            }
            if (dialogs) {
                dialogs(surface);
            } else {
                press(surface.window, IDCANCEL);
            }
            return 0;
        });
    }
    PropertySet* keep(PropertySet* record) {
        if (record) m_owned.push_back(record);
        return record;
    }

    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    Revivo* m_provider = nullptr;
    std::string m_first, m_second, m_base, m_suffix, m_root;
    std::vector<std::string> m_stopped;
    bool m_held = false;
    std::vector<Surface> m_boxes;
    std::vector<PropertySet*> m_owned;
};

// Each record is restored on the DC it names: one on each DC, both restored, each at once on
// its own DC and in time on the other.
TEST_F(TwoDcTest, EachRecordIsRestoredOnItsFocusedDc) {
    std::string one = "Through One " + m_suffix, two = "Through Two " + m_suffix;
    std::string oneDn = deletedUser(one, m_root), twoDn = deletedUser(two, m_root);
    HRESULT listed = E_FAIL;
    std::vector<PropertySet*> records = list(node(m_first), &listed);
    ASSERT_EQ(listed, S_OK);
    PropertySet* first = TombstoneNamed(records, one);
    PropertySet* second = TombstoneNamed(records, two);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->getText(u"FocusedDC"), WidenText(m_first));
    second->setText(u"FocusedDC", WidenText(m_second));
    watch();
    std::vector<PropertySet*> restored;
    ASSERT_EQ(restore(first, &restored), S_OK);
    EXPECT_EQ(restored, std::vector<PropertySet*>{first});
    EXPECT_TRUE(lumivel::testing::LdapExistsOn(m_first, oneDn));
    ASSERT_EQ(restore(second, &restored), S_OK);
    EXPECT_TRUE(lumivel::testing::LdapExistsOn(m_second, twoDn));
    EXPECT_TRUE(replicated([&] {
        return lumivel::testing::LdapExistsOn(m_second, oneDn) && lumivel::testing::LdapExistsOn(m_first, twoDn);
    }));
}

// With the first DC stopped, the listing finds the second one; command 312 lists both DCs,
// keeps its dialog open when the stopped one is chosen, and focuses the node on the second;
// listed records then carry it, and the restore happens there.
TEST_F(TwoDcTest, WithTheFirstDcStoppedTheSecondIsChosenListedAndRestoredOn) {
    std::string name = "Second Only " + m_suffix;
    std::string dn = deletedUser(name, m_root);
    PropertySet* domain = node(m_first);
    stop(m_first);

    HRESULT listed = E_FAIL;
    std::vector<PropertySet*> records = list(domain, &listed);
    ASSERT_EQ(listed, S_OK) << "the listing finds the DC that answers";
    ASSERT_NE(TombstoneNamed(records, name), nullptr);

    std::vector<std::u16string> offered;
    watch([&](const Surface& surface) {
        ASSERT_EQ(surface.resourceId, IDD_CONNECT_DC);
        HWND list = GetDlgItem(surface.window, IDC_DC_LIST);
        int rows = lumivel::ui::ListViewItemCount(list);
        offered.clear();
        for (int row = 0; row < rows; ++row) offered.push_back(lumivel::ui::ListViewCellText(list, row, 0));
        // First the stopped DC, which does not bind; then the one that runs.
        const std::string& wanted = surface.round == 0 ? m_first : m_second;
        for (int row = 0; row < rows; ++row)
            if (lumivel::EqualsNoCase(offered[row], WidenText(wanted))) lumivel::ui::UserSetListSelection(list, {row}, row);
        press(surface.window, IDOK);
    });
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(domain, &selection);
    ASSERT_EQ(m_commands->ExecuteCommand(nullptr, 1, ID_CONNECT_DC, &selection, &result), S_OK);
    std::vector<PropertySet*> answer = lumivel::shared::ReadObjectList(&result);
    VariantClear(&result);
    ASSERT_EQ(answer.size(), 1u);
    keep(answer[0]);
    EXPECT_EQ(answer[0]->getText(u"RefreshReason"), u"ChangeFocusedDC");
    EXPECT_EQ(offered.size(), 2u) << "both DCs of the domain are offered";
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, u"Error binding to specified domain controller");
    EXPECT_TRUE(lumivel::EqualsNoCase(domain->copyText(u"FocusedDC"), WidenText(m_second)));

    records = list(domain, &listed);
    ASSERT_EQ(listed, S_OK);
    PropertySet* tombstone = TombstoneNamed(records, name);
    ASSERT_NE(tombstone, nullptr);
    EXPECT_TRUE(lumivel::EqualsNoCase(tombstone->getText(u"FocusedDC"), WidenText(m_second)));
    m_boxes.clear();
    watch();
    std::vector<PropertySet*> restored;
    ASSERT_EQ(restore(tombstone, &restored), S_OK);
    EXPECT_TRUE(lumivel::testing::LdapExistsOn(m_second, dn));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, u"The object was successfully restored.");
}

// The first DC takes no changes from the second for a while. A node focused on the second
// lists from the first (its listing binds without a server); the child's restore brings its
// deleted parent back on the second DC and reads the child again there, where the parent is
// live, while the first still has both as tombstones.
TEST_F(TwoDcTest, ChildIsReadAgainOnTheRestoringDcWhileTheOtherLagsBehind) {
    std::string parentName = "Lag Parent " + m_suffix, childName = "Lag Child " + m_suffix;
    std::string parentDn = "OU=" + parentName + "," + m_root;
    std::string childDn = "CN=" + childName + "," + parentDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(parentDn));
    ASSERT_TRUE(lumivel::testing::AddUser(childDn, childName));
    ASSERT_TRUE(lumivel::testing::LdapDelete(childDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(parentDn));
    ASSERT_TRUE(replicated([&] {
        return tombstoneOn(m_second, childName) &&
               !lumivel::testing::TombstoneDnsOn(m_second, m_base, "(ou=" + parentName + "*)").empty();
    }));
    holdFirst();

    HRESULT listed = E_FAIL;
    std::vector<PropertySet*> records = list(node(m_second), &listed);
    ASSERT_EQ(listed, S_OK);
    PropertySet* child = TombstoneNamed(records, childName);
    PropertySet* parent = TombstoneNamed(records, parentName);
    ASSERT_TRUE(child && parent);
    watch();
    std::vector<PropertySet*> restored;
    ASSERT_EQ(restore(child, &restored), S_OK);
    EXPECT_EQ(restored, (std::vector<PropertySet*>{parent, child}));
    EXPECT_TRUE(lumivel::testing::LdapExistsOn(m_second, parentDn));
    EXPECT_TRUE(lumivel::testing::LdapExistsOn(m_second, childDn));
    EXPECT_FALSE(lumivel::testing::LdapExistsOn(m_first, parentDn)) << "the first DC has not taken the change";
    EXPECT_FALSE(lumivel::testing::LdapExistsOn(m_first, childDn));
    EXPECT_TRUE(tombstoneOn(m_first, childName));
    // Both left the cache; the next restore finds nothing of them there.
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), records.size() - 2);

    // A naming context given as a path with a server is listed on that server, and cached
    // under the naming context alone.
    for (const std::string& server : {m_first, m_second}) {
        PropertySet* onServer = node(server);
        onServer->setText(u"NamingContext", WidenText("LDAP://" + server + "/" + m_base));
        records = list(onServer, &listed);
        ASSERT_EQ(listed, S_OK) << server;
        EXPECT_EQ(TombstoneNamed(records, childName) != nullptr, server == m_first) << server;
        EXPECT_EQ(m_provider->deletedObjectCacheSize(WidenText(m_base)), records.size()) << server;
    }

    m_held = false;
    ASSERT_TRUE(Harness("release-replication " + shortName(m_first)));
    EXPECT_TRUE(WaitUntil([&] { return lumivel::testing::LdapExistsOn(m_first, childDn); }, kReplicationSeconds));
}

// The second DC alone serves a large Deleted Objects container and is stopped while workers
// list it again and again: every listing either returns the whole container or fails with an
// error and nothing, and the cache keeps the last whole listing.
TEST_F(TwoDcTest, ListingWhoseDcStopsMidWayFailsWholeAndKeepsTheCache) {
    // More than two pages, so that a stop falls between pages as often as not.
    const size_t wanted = 2500;
    size_t there = lumivel::testing::TombstoneDnsOn(m_first, m_base, "(objectClass=*)").size();
    if (there < wanted) {
        ASSERT_TRUE(Harness("bulk " + std::to_string(wanted - there)));
    }
    // The previous tests' last deletions may still be on their way to the second DC.
    ASSERT_TRUE(Harness("replicate"));
    stop(m_first);
    // Tombstones without a cn or an ou (another test's localities) are not listed.
    const size_t held = lumivel::testing::TombstoneDnsOn(m_second, m_base, "(|(cn=*)(ou=*))").size();
    HRESULT listed = E_FAIL;
    const size_t whole = list(nullptr, &listed).size();
    ASSERT_EQ(listed, S_OK);
    ASSERT_EQ(whole, held);
    ASSERT_GT(whole, 2000u);
    ASSERT_EQ(m_provider->deletedObjectCacheSize(), whole);

    std::atomic<int> complete{0}, partial{0};
    std::atomic<HRESULT> failure{S_OK};
    std::atomic<bool> started{false};
    std::thread worker([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (int round = 0; round < 1000 && SUCCEEDED(failure.load()); ++round) {
            VARIANT objects;
            VariantInit(&objects);
            started = true;
            HRESULT result = m_revivo->EnumDeletedObjects(0, nullptr, &objects);
            std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
            if (FAILED(result)) {
                if (!records.empty()) ++partial;
                failure = result;
            } else if (records.size() == whole) {
                ++complete;
            } else {
                ++partial;
            }
            lumivel::shared::FreeObjectListRecords(&objects);
        }
        CoUninitialize();
    });
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop(m_second);
    worker.join();
    EXPECT_EQ(partial.load(), 0) << "no listing came back cut short";
    EXPECT_TRUE(FAILED(failure.load())) << "the listing after the stop failed";
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), whole);
    std::printf("listings before the stop: %d whole; then 0x%08X\n", complete.load(),
                static_cast<unsigned>(failure.load()));
}

// The focused DC stops after the restore bound to it (while the new-name question is open):
// the modify fails, the user reads the directory's error under "Restore Object", and nothing
// changed: the tombstone stays, the cache keeps it, no record is reported.
TEST_F(TwoDcTest, RestoreWhoseDcStopsMidWayShowsTheErrorAndChangesNothing) {
    std::string name = "Midway " + m_suffix;
    std::string dn = deletedUser(name, m_root);
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));  // the name is taken meanwhile
    // The restore looks for the name on the second DC: it must know the new user by then.
    ASSERT_TRUE(replicated([&] { return lumivel::testing::LdapExistsOn(m_second, dn); }));
    HRESULT listed = E_FAIL;
    std::vector<PropertySet*> records = list(node(m_second), &listed);
    ASSERT_EQ(listed, S_OK);
    PropertySet* tombstone = TombstoneNamed(records, name);
    ASSERT_NE(tombstone, nullptr);
    const size_t cached = m_provider->deletedObjectCacheSize();
    const std::string renamed = "Midway Renamed " + m_suffix;

    watch([&](const Surface& surface) {
        ASSERT_EQ(surface.resourceId, IDD_NEW_NAME);
        stop(m_second);
        SetDlgItemTextW(surface.window, IDC_NEW_NAME, WidenText(renamed).c_str());
        press(surface.window, IDOK);
    });
    std::vector<PropertySet*> restored;
    EXPECT_EQ(restore(tombstone, &restored), S_FALSE);
    EXPECT_TRUE(restored.empty());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, u"Restore Object") << NarrowText(m_boxes[0].text);
    EXPECT_FALSE(m_boxes[0].text.empty());
    EXPECT_EQ(m_boxes[0].style & 0xF0u, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), cached);
    EXPECT_TRUE(tombstoneOn(m_first, name));
    EXPECT_FALSE(lumivel::testing::LdapExistsOn(m_first, "CN=" + renamed + "," + m_root));
}

}  // namespace
