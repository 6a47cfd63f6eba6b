// Tombstones whose own names hold "DEL:", restored through the plan (command 315) and the
// subtree restore (command 316) against the test directory: the provider must find a deleted
// parent by the GUID its mangling appended, never by the first "DEL:" of its name.
#include <gtest/gtest.h>

#include "lumivel/com_ptr.h"
#include "lumivel/ui_test_hook.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/revivo.h"
#include "provider/tests/tombstone_records.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using lumivel::testing::EscapeRdnValue;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

// The GUID of a tombstone DN as the directory lists it, read without the provider's rules:
// the 36 characters before ",CN=Deleted Objects,".
std::string listedGuid(const std::string& tombstoneDn) {
    size_t at = tombstoneDn.find(",CN=Deleted Objects,");
    return at == std::string::npos || at < 36 ? std::string() : tombstoneDn.substr(at - 36, 36);
}

class MangledNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TEST_DIRECTORY();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_suffix = lumivel::testing::UniqueSuffix();
        m_base = lumivel::testing::TestDirectory().baseDn;
        m_root = "OU=RevivoNames " + m_suffix + "," + m_base;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
        // Every box and dialog would be a failure to say: none is expected.
        lumivel::ui::SetTestHook([this](const lumivel::ui::Surface& surface) -> INT_PTR {
            m_surfaces.push_back(NarrowText(surface.caption) + ": " + NarrowText(surface.text));
            if (surface.kind != lumivel::ui::SurfaceKind::MessageBox)
                SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
            return IDOK;
        });
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
        for (PropertySet* record : m_owned) record->release();
        m_commands.reset();
        m_revivo.reset();
        CoUninitialize();
    }

    void listAll() {
        m_listing = lumivel::testing::ListAllTombstones(m_revivo.get());
        m_owned.insert(m_owned.end(), m_listing.begin(), m_listing.end());
    }

    // The records of the command's answer, all of them owned by the test.
    HRESULT run(LONG command, PropertySet* record, std::vector<PropertySet*>* answer) {
        VARIANT selection, result;
        VariantInit(&selection);
        VariantInit(&result);
        lumivel::shared::RecordToVariant(record, &selection);
        HRESULT status = m_commands->ExecuteCommand(nullptr, 1, command, &selection, &result);
        *answer = lumivel::shared::ReadObjectList(&result);
        VariantClear(&result);
        m_owned.insert(m_owned.end(), answer->begin(), answer->end());
        return status;
    }

    // The DN of the live object that has the GUID, bound by the GUID alone.
    std::string liveDnOfGuid(const std::string& guid) {
        std::u16string path =
            u"LDAP://" + WidenText(lumivel::testing::TestDirectory().server) + u"/<GUID=" + WidenText(guid) + u">";
        ComPtr<IADs> object;
        if (FAILED(ADsGetObject(path.c_str(), IID_IADs, object.putVoid()))) return {};
        lumivel::VariantHolder value;
        lumivel::UniqueBstr name(u"distinguishedName");
        if (FAILED(object->Get(name.get(), value.get())) || value->vt != VT_BSTR) return {};
        return NarrowText(lumivel::shared::ViewOf(value->bstrVal));
    }

    // The one tombstone DN the directory lists for a name, and its GUID.
    std::string tombstoneDnOf(const std::string& attribute, const std::string& name) {
        std::vector<std::string> dns = lumivel::testing::TombstoneDns(m_base, "(" + attribute + "=" + name + "*)");
        EXPECT_EQ(dns.size(), 1u) << name;
        return dns.empty() ? std::string() : dns.front();
    }

    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    std::string m_suffix, m_base, m_root;
    std::vector<PropertySet*> m_listing, m_owned;
    std::vector<std::string> m_surfaces;
};

// A deleted OU named with "DEL:" (and an escaped comma) and a user below it named with "DEL:"
// too: the plan of the user brings the OU back first, and the subtree restore of the OU finds
// the user below it. A lone tombstone named "DEL:..." plans and restores as any other.
TEST_F(MangledNamesTest, PlanAndSubtreeRestoreFollowTheGuidsTheManglingAppended) {
    const std::string outer = "Ops, DEL:Team " + m_suffix, kid = "Kid DEL:x " + m_suffix, leaf = "DEL:Leaf " + m_suffix;
    const std::string outerDn = "OU=" + EscapeRdnValue(outer) + "," + m_root;
    const std::string kidDn = "CN=" + EscapeRdnValue(kid) + "," + outerDn;
    const std::string leafDn = "CN=" + EscapeRdnValue(leaf) + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(outerDn));
    ASSERT_TRUE(lumivel::testing::AddUser(kidDn, kid));
    ASSERT_TRUE(lumivel::testing::AddUser(leafDn, leaf));
    ASSERT_TRUE(lumivel::testing::LdapDelete(kidDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(outerDn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(leafDn));
    const std::string outerTombstone = tombstoneDnOf("ou", "Ops, DEL:Team " + m_suffix);
    const std::string kidTombstone = tombstoneDnOf("cn", "Kid DEL:x " + m_suffix);
    const std::string leafTombstone = tombstoneDnOf("cn", "DEL:Leaf " + m_suffix);
    ASSERT_EQ(listedGuid(outerTombstone).size(), 36u) << outerTombstone;
    ASSERT_EQ(listedGuid(kidTombstone).size(), 36u) << kidTombstone;
    listAll();
    PropertySet* outerRecord = lumivel::testing::TombstoneNamed(m_listing, outer);
    PropertySet* kidRecord = lumivel::testing::TombstoneNamed(m_listing, kid);
    PropertySet* leafRecord = lumivel::testing::TombstoneNamed(m_listing, leaf);
    ASSERT_TRUE(outerRecord && kidRecord && leafRecord);

    // The plan of the user (a header, then each object): its deleted OU first, then the user
    // below the OU's old name.
    std::vector<PropertySet*> plan;
    ASSERT_EQ(run(kCommandPlanRestore, kidRecord, &plan), S_OK);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_FALSE(plan[0]->has(kPlanMissingParentKey)) << NarrowText(plan[0]->getText(kPlanMissingParentKey));
    plan.erase(plan.begin());
    EXPECT_TRUE(lumivel::EqualsNoCase(plan[0]->getText(u"distinguishedName"), WidenText(outerTombstone)));
    EXPECT_TRUE(lumivel::EqualsNoCase(plan[0]->getText(kPlanTargetKey), WidenText(outerDn)))
        << NarrowText(plan[0]->getText(kPlanTargetKey));
    EXPECT_TRUE(lumivel::EqualsNoCase(plan[1]->getText(u"distinguishedName"), WidenText(kidTombstone)));
    EXPECT_TRUE(lumivel::EqualsNoCase(plan[1]->getText(kPlanTargetKey), WidenText(kidDn)))
        << NarrowText(plan[1]->getText(kPlanTargetKey));
    EXPECT_EQ(plan[1]->getRaw(kPlanNameTakenKey), 0);

    // The lone tombstone plans straight back into its live parent.
    ASSERT_EQ(run(kCommandPlanRestore, leafRecord, &plan), S_OK);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_TRUE(lumivel::EqualsNoCase(plan[1]->getText(kPlanTargetKey), WidenText(leafDn)));

    // The subtree of the OU: the OU and the user below it, each reported under the DN it got
    // and live again under the GUID its tombstone carried.
    std::vector<PropertySet*> report;
    ASSERT_EQ(run(kCommandRestoreSubtree, outerRecord, &report), S_OK);
    ASSERT_EQ(report.size(), 2u) << "the user below the OU belongs to its subtree";
    const std::pair<std::string, std::string> expected[] = {{outerTombstone, outerDn}, {kidTombstone, kidDn}};
    for (size_t i = 0; i < report.size(); ++i) {
        SCOPED_TRACE(expected[i].second);
        EXPECT_EQ(report[i]->getText(kSubtreeOutcomeKey), u"Restored")
            << NarrowText(report[i]->getText(kSubtreeErrorKey));
        EXPECT_TRUE(lumivel::EqualsNoCase(report[i]->getText(u"distinguishedName"), WidenText(expected[i].first)));
        EXPECT_TRUE(lumivel::EqualsNoCase(report[i]->getText(kPlanTargetKey), WidenText(expected[i].second)))
            << NarrowText(report[i]->getText(kPlanTargetKey));
        EXPECT_TRUE(lumivel::EqualsNoCase(WidenText(liveDnOfGuid(listedGuid(expected[i].first))),
                                          WidenText(expected[i].second)));
    }

    // A subtree of one: the lone tombstone comes back by itself.
    ASSERT_EQ(run(kCommandRestoreSubtree, leafRecord, &report), S_OK);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]->getText(kSubtreeOutcomeKey), u"Restored");
    EXPECT_TRUE(lumivel::EqualsNoCase(WidenText(liveDnOfGuid(listedGuid(leafTombstone))), WidenText(leafDn)));
    EXPECT_TRUE(lumivel::testing::LdapExists(outerDn));
    EXPECT_TRUE(lumivel::testing::LdapExists(kidDn));
    EXPECT_TRUE(lumivel::testing::LdapExists(leafDn));
    EXPECT_TRUE(m_surfaces.empty()) << m_surfaces.front();
}

// Some directories let a name hold a line feed of its own: the object comes back under its
// whole name, not under the part before its first line feed.
TEST_F(MangledNamesTest, NameWithALineFeedOfItsOwnComesBackWhole) {
    const std::string name = "Line\nFeed " + m_suffix;
    const std::string dn = "CN=Line\\0AFeed " + m_suffix + "," + m_root;
    if (!lumivel::testing::AddUser(dn, name)) GTEST_SKIP() << "this directory refuses line feeds in names";
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    const std::string tombstone = tombstoneDnOf("cn", "Line*Feed " + m_suffix);
    listAll();
    PropertySet* record = lumivel::testing::TombstoneNamed(m_listing, name);
    ASSERT_NE(record, nullptr);

    std::vector<PropertySet*> plan;
    ASSERT_EQ(run(kCommandPlanRestore, record, &plan), S_OK);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_TRUE(lumivel::EqualsNoCase(plan[1]->getText(kPlanTargetKey), WidenText(dn)))
        << NarrowText(plan[1]->getText(kPlanTargetKey));

    std::vector<PropertySet*> report;
    ASSERT_EQ(run(kCommandRestoreSubtree, record, &report), S_OK);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_TRUE(lumivel::EqualsNoCase(report[0]->getText(kPlanTargetKey), WidenText(dn)));
    EXPECT_TRUE(lumivel::EqualsNoCase(WidenText(liveDnOfGuid(listedGuid(tombstone))), WidenText(dn)));
    EXPECT_TRUE(lumivel::testing::LdapExists(dn));
    EXPECT_TRUE(m_surfaces.empty()) << m_surfaces.front();
}

}  // namespace
