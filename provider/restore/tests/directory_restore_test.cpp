// Reanimation against the test directory: each test makes its own objects, deletes them,
// restores them through command 311 and removes what it made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "lumivel/com_ptr.h"
#include "lumivel/ui_test_hook.h"
#include "lumivel/unique_bstr.h"
#include "provider/restore/reanimation.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/tests/list_view_texts.h"
#include "provider/tests/tombstone_records.h"
#include "tests/support/dialog_waits.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using revivo::Revivo;
using lumivel::testing::EscapeRdnValue;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

class RestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_suffix = lumivel::testing::UniqueSuffix();
        m_base = lumivel::testing::TestDirectory().baseDn;
        m_root = "OU=RevivoTest " + m_suffix + "," + m_base;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
        m_listing.clear();
        for (PropertySet* record : m_owned) record->release();
        m_owned.clear();
        m_commands.reset();
        m_revivo.reset();
        CoUninitialize();
    }

    void listAll() {
        m_listing = lumivel::testing::ListAllTombstones(m_revivo.get());
        m_owned.insert(m_owned.end(), m_listing.begin(), m_listing.end());
    }
    PropertySet* tombstoneOf(const std::string& name) { return lumivel::testing::TombstoneNamed(m_listing, name); }
    HRESULT restore(PropertySet* record, std::vector<PropertySet*>* restored) {
        return lumivel::testing::RestoreRecord(m_commands.get(), record, restored);
    }

    // Message boxes are recorded and answered with OK; dialogs are cancelled.
    struct Box {
        std::u16string caption, text;
        UINT buttons, icon;
    };
    void watchBoxes() {
        m_boxes.clear();
        lumivel::ui::SetTestHook([this](const lumivel::ui::Surface& surface) -> INT_PTR {
            if (surface.kind != lumivel::ui::SurfaceKind::MessageBox) {
                ++m_dialogs;
                SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
                return 0;
            }
            m_boxes.push_back({surface.caption, surface.text, surface.style & 0xFu, surface.style & 0xF0u});
            return IDOK;
        });
    }

    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    std::vector<Box> m_boxes;
    int m_dialogs = 0;
    std::string m_suffix, m_base, m_root;
    std::vector<PropertySet*> m_listing, m_owned;
};

TEST_F(RestoreTest, LeafReturnsToItsLiveParentUnderItsOldName) {
    std::string name = "Leaf " + m_suffix;
    std::string dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    listAll();
    PropertySet* tombstone = tombstoneOf(name);
    ASSERT_NE(tombstone, nullptr);
    EXPECT_TRUE(lumivel::EqualsNoCase(tombstone->getText(u"lastKnownParent"), WidenText(m_root)));
    size_t cached = static_cast<Revivo*>(m_revivo.get())->deletedObjectCacheSize();

    watchBoxes();
    std::vector<PropertySet*> restored;
    ASSERT_EQ(restore(tombstone, &restored), S_OK);
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(restored, std::vector<PropertySet*>{tombstone});
    EXPECT_TRUE(lumivel::testing::LdapExists(dn));
    EXPECT_EQ(static_cast<Revivo*>(m_revivo.get())->deletedObjectCacheSize(), cached - 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, u"Success");
    EXPECT_EQ(m_boxes[0].text, u"The object was successfully restored.");
    EXPECT_EQ(m_boxes[0].icon, static_cast<UINT>(MB_ICONINFORMATION));
}

// The provider keeps its own copies: a receiver freeing its list never leaves it dangling.
TEST_F(RestoreTest, DeletedParentsComeBackFirstEvenWhenTheListWasFreed) {
    std::string outer = "Outer DEL:" + m_suffix, inner = "Inner (x) *" + m_suffix + "*", leaf = "Pat (Ops) *lead* " + m_suffix;
    std::string outerDn = "OU=" + EscapeRdnValue(outer) + "," + m_root;
    std::string innerDn = "OU=" + EscapeRdnValue(inner) + "," + outerDn;
    std::string leafDn = "CN=" + EscapeRdnValue(leaf) + "," + innerDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(outerDn));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(innerDn));
    ASSERT_TRUE(lumivel::testing::AddUser(leafDn, leaf));
    ASSERT_TRUE(lumivel::testing::LdapDelete(leafDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(innerDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(outerDn));
    listAll();
    PropertySet* outerTombstone = tombstoneOf(outer);
    PropertySet* innerTombstone = tombstoneOf(inner);
    PropertySet* leafTombstone = tombstoneOf(leaf);
    ASSERT_TRUE(outerTombstone && innerTombstone && leafTombstone);
    // Keep only the leaf; the console may free the rest at any time.
    PropertySet* selected = leafTombstone->clone();
    m_owned.push_back(selected);
    for (PropertySet*& record : m_owned) {
        if (record != selected && record != outerTombstone && record != innerTombstone) {
            record->release();
            record = PropertySet::create();
        }
    }

    std::vector<PropertySet*> restored;
    ASSERT_EQ(restore(selected, &restored), S_OK);
    EXPECT_EQ(restored, (std::vector<PropertySet*>{outerTombstone, innerTombstone, selected}));
    EXPECT_TRUE(lumivel::testing::LdapExists(outerDn));
    EXPECT_TRUE(lumivel::testing::LdapExists(innerDn));
    EXPECT_TRUE(lumivel::testing::LdapExists(leafDn));
    // The three left the cache; the rest stay there for the next restore's parents.
    EXPECT_EQ(static_cast<Revivo*>(m_revivo.get())->deletedObjectCacheSize(), m_listing.size() - 3);
}

// A worker lists again while the restore waits for the user (here: a new name for the deleted
// parent) and the console frees the list it replaces: the parent is reported at the address
// the new listing gave it, never at one the console has freed.
TEST_F(RestoreTest, ParentIsReportedAsTheLatestListingHandedItOut) {
    std::string parentName = "Relisted " + m_suffix, childName = "Relisted Child " + m_suffix;
    std::string parentDn = "OU=" + parentName + "," + m_root;
    std::string childDn = "CN=" + childName + "," + parentDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(parentDn));
    ASSERT_TRUE(lumivel::testing::AddUser(childDn, childName));
    ASSERT_TRUE(lumivel::testing::LdapDelete(childDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(parentDn));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(parentDn));  // the parent's name is taken meanwhile
    listAll();
    PropertySet* child = tombstoneOf(childName);
    ASSERT_NE(child, nullptr);
    PropertySet* selected = child->clone();
    m_owned.push_back(selected);
    const std::string renamed = "Relisted Again " + m_suffix;

    std::vector<PropertySet*> relisted;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) return IDOK;
        // What a worker and the console do meanwhile: a new listing replaces the old one,
        // whose records the console frees.
        VARIANT objects;
        VariantInit(&objects);
        EXPECT_EQ(m_revivo->EnumDeletedObjects(0, nullptr, &objects), S_OK);
        relisted = lumivel::shared::ReadObjectList(&objects);
        VariantClear(&objects);
        for (PropertySet*& record : m_owned) {
            if (record != selected) {
                record->release();
                record = PropertySet::create();
            }
        }
        m_owned.insert(m_owned.end(), relisted.begin(), relisted.end());
        SetDlgItemTextW(surface.window, IDC_NEW_NAME, WidenText(renamed).c_str());
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        return 0;
    });
    std::vector<PropertySet*> restored;
    ASSERT_EQ(restore(selected, &restored), S_OK);
    lumivel::ui::SetTestHook({});
    PropertySet* relistedParent = nullptr;
    std::u16string parentPrefix = WidenText(parentName) + u"\nDEL:";
    for (PropertySet* record : relisted)
        if (record->getText(u"name").substr(0, parentPrefix.size()) == parentPrefix) relistedParent = record;
    ASSERT_NE(relistedParent, nullptr);
    EXPECT_EQ(restored, (std::vector<PropertySet*>{relistedParent, selected}));
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + childName + ",OU=" + renamed + "," + m_root));
}

TEST_F(RestoreTest, HostileAndNonAsciiNamesRoundTrip) {
    const std::string names[] = {
        "Smith, John " + m_suffix,
        "a+b=\"q\" <x>; y\\z " + m_suffix,
        "#hash " + m_suffix,
        "slash/and\\back " + m_suffix,
        " lead " + m_suffix,
        "Z\xc3\xbcrich \xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x98\x80 " + m_suffix,
    };
    for (const std::string& name : names) {
        std::string dn = "CN=" + EscapeRdnValue(name) + "," + m_root;
        ASSERT_TRUE(lumivel::testing::AddUser(dn, name)) << name;
        ASSERT_TRUE(lumivel::testing::LdapDelete(dn)) << name;
    }
    listAll();
    for (const std::string& name : names) {
        PropertySet* tombstone = tombstoneOf(name);
        ASSERT_NE(tombstone, nullptr) << name;
        std::vector<PropertySet*> restored;
        EXPECT_EQ(restore(tombstone, &restored), S_OK) << name;
        EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + EscapeRdnValue(name) + "," + m_root)) << name;
    }
}

TEST_F(RestoreTest, UnreachableDomainControllerChangesNothing) {
    std::string name = "Unreached " + m_suffix;
    std::string dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    listAll();
    PropertySet* tombstone = tombstoneOf(name);
    ASSERT_NE(tombstone, nullptr);
    // Nothing listens there: the session cannot connect, as with a stopped DC.
    tombstone->setString(u"FocusedDC", u"127.0.0.9");
    watchBoxes();
    std::vector<PropertySet*> restored;
    EXPECT_EQ(restore(tombstone, &restored), S_FALSE);
    lumivel::ui::SetTestHook({});
    EXPECT_TRUE(restored.empty());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, u"Restore Object");
    EXPECT_FALSE(m_boxes[0].text.empty());
    EXPECT_EQ(m_boxes[0].buttons, static_cast<UINT>(MB_OK));
    EXPECT_EQ(m_boxes[0].icon, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_FALSE(lumivel::testing::LdapExists(dn));
    listAll();
    EXPECT_NE(tombstoneOf(name), nullptr);
}

TEST_F(RestoreTest, NonAdministratorIsRefusedAndSeesTheDirectorysText) {
    const char* user = std::getenv("TESTDC_USER_NAME");
    const char* password = std::getenv("TESTDC_USER_PASSWORD");
    const char* realm = std::getenv("TESTDC_REALM");
    if (!user || !password || !realm) GTEST_SKIP() << "no non-administrator in this test directory";
    std::string name = "Guarded " + m_suffix;
    std::string dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    listAll();
    PropertySet* tombstone = tombstoneOf(name);
    ASSERT_NE(tombstone, nullptr);

    // The restore's own session binds with whatever ticket the process holds from now on.
    std::string adminCache = std::getenv("KRB5CCNAME") ? std::getenv("KRB5CCNAME") : "";
    std::string userCache = "FILE:/tmp/revivo-reader-" + m_suffix;
    std::string kinit = "printf '%s\\n' '" + std::string(password) + "' | KRB5CCNAME=" + userCache + " kinit " + user +
                        "@" + realm + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(kinit.c_str()), 0);
    setenv("KRB5CCNAME", userCache.c_str(), 1);
    std::vector<std::pair<std::u16string, std::u16string>> boxes;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) boxes.emplace_back(surface.caption, surface.text);
        return IDOK;
    });
    std::vector<PropertySet*> restored;
    HRESULT result = restore(tombstone, &restored);
    lumivel::ui::SetTestHook({});
    setenv("KRB5CCNAME", adminCache.c_str(), 1);
    std::remove(userCache.substr(5).c_str());

    EXPECT_EQ(result, S_FALSE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, u"Restore Object");
    EXPECT_FALSE(boxes[0].second.empty());
    EXPECT_FALSE(lumivel::testing::LdapExists(dn));
}

TEST_F(RestoreTest, RecordsThatAreNoTombstonesAreRefused) {
    PropertySet* live = PropertySet::create();
    m_owned.push_back(live);
    live->setText(u"FocusedDC", u"");
    std::vector<PropertySet*> restored;
    EXPECT_EQ(restore(live, &restored), S_FALSE);  // no DN, no parent
}

// A deleted parent that the last full listing does not hold, and no backup can recreate, is
// reported, and the child is then refused with the directory's text for a missing parent.
TEST_F(RestoreTest, DeletedParentOutsideTheListingCannotBeRecreated) {
    std::string outer = "Gone " + m_suffix, leaf = "Orphan " + m_suffix;
    std::string outerDn = "OU=" + outer + "," + m_root, leafDn = "CN=" + leaf + "," + outerDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(outerDn));
    ASSERT_TRUE(lumivel::testing::AddUser(leafDn, leaf));
    ASSERT_TRUE(lumivel::testing::LdapDelete(leafDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(outerDn));
    listAll();
    PropertySet* tombstone = tombstoneOf(leaf);
    ASSERT_NE(tombstone, nullptr);
    // A filtered listing empties the cache of deleted parents.
    VARIANT none;
    VariantInit(&none);
    lumivel::UniqueBstr filter(u"CN=no-such-object-zz9");
    ASSERT_EQ(m_revivo->EnumDeletedObjects(0, filter.get(), &none), S_OK);
    ASSERT_EQ(static_cast<Revivo*>(m_revivo.get())->deletedObjectCacheSize(), 0u);

    watchBoxes();
    std::vector<PropertySet*> restored;
    EXPECT_EQ(restore(tombstone, &restored), S_FALSE);
    lumivel::ui::SetTestHook({});
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].caption, u"Error");
    EXPECT_EQ(m_boxes[0].text, u"Could not create the container for this object.");
    EXPECT_EQ(m_boxes[0].buttons, static_cast<UINT>(MB_OK));
    EXPECT_EQ(m_boxes[0].icon, 0u);
    EXPECT_EQ(m_boxes[1].caption, u"Restore Object");
    EXPECT_FALSE(m_boxes[1].text.empty());
    EXPECT_EQ(m_boxes[1].icon, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_FALSE(lumivel::testing::LdapExists(outerDn));
    EXPECT_FALSE(lumivel::testing::LdapExists(leafDn));
    EXPECT_EQ(lumivel::testing::TombstoneDns(m_base, "(cn=" + leaf + "*)").size(), 1u)
        << "still a tombstone, not a live object inside its deleted parent";
}

TEST_F(RestoreTest, CancelledNewNameAbandonsTheRestoreSilently) {
    std::string name = "Occupied " + m_suffix;
    std::string dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));  // the name is taken again
    listAll();
    PropertySet* tombstone = tombstoneOf(name);
    ASSERT_NE(tombstone, nullptr);
    watchBoxes();
    std::vector<PropertySet*> restored;
    EXPECT_EQ(restore(tombstone, &restored), S_FALSE);
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(m_dialogs, 1) << "the new-name question, cancelled";
    EXPECT_TRUE(m_boxes.empty()) << "a cancelled restore says nothing";
    EXPECT_EQ(lumivel::testing::TombstoneDns(m_base, "(cn=" + name + "*)").size(), 1u);
}

// Missing levels are made from the top down, each by the class its naming attribute implies;
// a container that exists already cannot be made again.
TEST_F(RestoreTest, ContainerPathIsCreatedFromTheTopDown) {
    const std::string server = lumivel::testing::TestDirectory().server;
    std::string upper = "OU=Upper " + m_suffix + "," + m_root;
    std::string lower = "CN=Lower\\, Box " + m_suffix + "," + upper;
    EXPECT_EQ(revivo::CreateContainerPath(WidenText(server), WidenText(lower)), 1);
    std::vector<std::string> upperClasses = lumivel::testing::ObjectClasses(upper);
    std::vector<std::string> lowerClasses = lumivel::testing::ObjectClasses(lower);
    ASSERT_FALSE(upperClasses.empty());
    ASSERT_FALSE(lowerClasses.empty());
    EXPECT_EQ(upperClasses.back(), "organizationalUnit");
    EXPECT_EQ(lowerClasses.back(), "container");
    EXPECT_EQ(revivo::CreateContainerPath(WidenText(server), WidenText(lower)), 0);
    // Serverless works the same.
    std::string serverless = "OU=Serverless " + m_suffix + "," + upper;
    EXPECT_EQ(revivo::CreateContainerPath(u"", WidenText(serverless)), 1);
    EXPECT_TRUE(lumivel::testing::LdapExists(serverless));
    EXPECT_EQ(revivo::CreateContainerPath(u"", u"DC=test"), 0) << "no parent to create it in";
}

// "Restore Subtree..." where one child cannot come back (its name is taken by a sibling that
// returned first): the report says so, the rest stops, and the console is handed exactly what
// did come back, so the failed tombstone stays on its list.
TEST_F(RestoreTest, SubtreeReportHandsBackWhatCameBackWhenAChildFails) {
    std::string box = "Box " + m_suffix, boxDn = "OU=" + box + "," + m_root;
    std::string kid = "Kid " + m_suffix, kidDn = "CN=" + kid + "," + boxDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(boxDn));
    for (int twice = 0; twice < 2; ++twice) {
        ASSERT_TRUE(lumivel::testing::AddUser(kidDn, kid));
        ASSERT_TRUE(lumivel::testing::LdapDelete(kidDn));
    }
    ASSERT_TRUE(lumivel::testing::LdapDelete(boxDn));
    listAll();
    PropertySet* container = tombstoneOf(box);
    ASSERT_NE(container, nullptr);

    std::vector<std::u16string> questions;
    std::vector<std::vector<std::u16string>> rows;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) {
            questions.push_back(surface.text);
            return IDYES;
        }
        if (surface.resourceId == IDD_RESTORE_PROGRESS) {
            EXPECT_TRUE(lumivel::testing::WaitWhileShown(surface.window));
            return 0;
        }
        EXPECT_EQ(surface.resourceId, IDD_SUBTREE_REPORT);
        rows = revivo_test::ListViewTexts(GetDlgItem(surface.window, IDC_SUBTREE_LIST), 4);
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        return 0;
    });
    std::vector<PropertySet*> answer;
    EXPECT_EQ(lumivel::testing::RestoreRecord(m_commands.get(), container, &answer, ID_RESTORE_SUBTREE_REPORT), S_OK);
    lumivel::ui::SetTestHook({});

    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find(u"and the 2 deleted objects listed below it"), std::u16string::npos);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(NarrowText(rows[0][0]), box);
    EXPECT_EQ(rows[0][3], u"Restored");
    EXPECT_EQ(rows[1][3], u"Restored");
    EXPECT_EQ(rows[2][3], u"Failed") << "the second Kid finds the first one in its place";
    EXPECT_TRUE(lumivel::testing::LdapExists(boxDn));
    EXPECT_TRUE(lumivel::testing::LdapExists(kidDn));

    ASSERT_EQ(answer.size(), 2u) << "the container and the kid that came back";
    EXPECT_EQ(answer[0], container) << "the caller's own record";
    size_t kids = 0;
    for (PropertySet* record : m_listing)
        if (record && NarrowText(record->getText(u"name")).rfind(kid + "\n", 0) == 0) ++kids;
    ASSERT_EQ(kids, 2u);
    EXPECT_EQ(NarrowText(answer[1]->getText(u"name")).rfind(kid + "\n", 0), 0u);
    EXPECT_NE(std::find(m_listing.begin(), m_listing.end(), answer[1]), m_listing.end()) << "a listed record, not a copy";
}

}  // namespace
