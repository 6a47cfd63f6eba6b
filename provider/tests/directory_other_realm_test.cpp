// A user whose credential cache names another realm than the test domain's: the cache
// collection's primary cache belongs to OTHER.TEST (a domain without DCs), and the test
// domain's tickets lie in a second cache of the collection, which Kerberos picks for the test
// domain's servers. Binds without a server must reach the domain their DN names: its stored
// node comes back, lists its tombstones, and a restore checks names in that domain's catalog;
// the default domain, which has no DC, is a failure rather than an empty listing.
// Runs in a process of its own: the credential cache is the process's.
#include <gtest/gtest.h>

#include <krb5.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "lumivel/ui_test_hook.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/tests/tombstone_records.h"
#include "tests/support/child_process.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "shared/object_list.h"
#include "lumivel/registry_key.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using lumivel::shared::WidenText;
using revivo::Revivo;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::string commandOutput(const std::string& command) {
    std::string out = lumivel::testing::ShellOutput(command);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// Builds the collection in folder: the test domain's tickets copied from the cache given, and
// a primary cache for someone@OTHER.TEST with a ticket-granting ticket that is never used.
bool makeCollection(const std::string& folder, const std::string& testDomainCache, std::string* problem) {
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) return (*problem = "no Kerberos context", false);
    bool made = false;
    krb5_ccache source = nullptr, copy = nullptr, other = nullptr;
    krb5_principal owner = nullptr, someone = nullptr;
    krb5_creds fake;
    std::memset(&fake, 0, sizeof fake);
    char key[32] = {};
    char ticket[] = "never sent";
    if (krb5_cc_resolve(context, testDomainCache.c_str(), &source) != 0 ||
        krb5_cc_get_principal(context, source, &owner) != 0) {
        *problem = "cannot read " + testDomainCache;
    } else if (krb5_cc_resolve(context, ("DIR::" + folder + "/tkttest").c_str(), &copy) != 0 ||
               krb5_cc_initialize(context, copy, owner) != 0 || krb5_cc_copy_creds(context, source, copy) != 0) {
        *problem = "cannot copy the test domain's tickets";
    } else if (krb5_cc_resolve(context, ("DIR::" + folder + "/tktother").c_str(), &other) != 0 ||
               krb5_parse_name(context, "someone@OTHER.TEST", &someone) != 0 ||
               krb5_cc_initialize(context, other, someone) != 0) {
        *problem = "cannot make the other realm's cache";
    } else {
        fake.client = someone;
        krb5_parse_name(context, "krbtgt/OTHER.TEST@OTHER.TEST", &fake.server);
        fake.times.authtime = fake.times.starttime = static_cast<krb5_timestamp>(std::time(nullptr));
        fake.times.endtime = fake.times.authtime + 3600;
        fake.keyblock.enctype = ENCTYPE_AES256_CTS_HMAC_SHA1_96;
        fake.keyblock.length = sizeof key;
        fake.keyblock.contents = reinterpret_cast<krb5_octet*>(key);
        fake.ticket.length = sizeof ticket - 1;
        fake.ticket.data = ticket;
        made = krb5_cc_store_cred(context, other, &fake) == 0 && krb5_cc_switch(context, other) == 0;
        if (!made) *problem = "cannot make the other realm's cache the primary one";
        krb5_free_principal(context, fake.server);
    }
    if (someone) krb5_free_principal(context, someone);
    if (owner) krb5_free_principal(context, owner);
    for (krb5_ccache cache : {source, copy, other})
        if (cache) krb5_cc_close(context, cache);
    krb5_free_context(context);
    return made;
}

class OtherRealmTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* cache = std::getenv("KRB5CCNAME");
        if (lumivel::testing::TestDirectory().server.empty() || !cache) return;
        const lumivel::testing::Directory& directory = lumivel::testing::TestDirectory();
        // The domain's GUID as a stored node names it, read with the test domain's own cache.
        s_domainGuid = commandOutput("ldapsearch -Q -Y GSSAPI -N -LLL -o ldif-wrap=no -H ldap://" + directory.server +
                                     " -b '" + directory.baseDn + "' -s base objectGUID 2>/dev/null |"
                                     " sed -n 's/^objectGUID:: //p' | base64 -d | od -An -tx1 | tr -d ' \\n'");
        char pattern[] = "/tmp/revivo-realms-XXXXXX";
        if (!mkdtemp(pattern)) return;
        s_folder = pattern;
        std::string problem;
        if (!makeCollection(s_folder, cache, &problem)) {
            s_problem = problem;
            return;
        }
        setenv("KRB5CCNAME", ("DIR:" + s_folder).c_str(), 1);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        if (!s_folder.empty()) std::filesystem::remove_all(s_folder, ignored);
    }
    void SetUp() override {
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        ASSERT_TRUE(s_problem.empty()) << s_problem;
        ASSERT_EQ(s_domainGuid.size(), 32u) << "the test domain's GUID: " << s_domainGuid;
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        for (PropertySet* record : m_owned) record->release();
        m_owned.clear();
        m_commands.reset();
        m_revivo.reset();
        CoUninitialize();
    }
    // The test domain stored as a node, the way "Connect to" stores it, and read back.
    PropertySet* storedNode() {
        lumivel::RegistryKey store;
        EXPECT_EQ(store.create(HKEY_CURRENT_USER, u"Software\\Tarvo Software\\Tarvo Lumivel", KEY_ALL_ACCESS),
                  ERROR_SUCCESS);
        const std::string domain = lumivel::testing::TestDirectory().domain;
        std::u16string entry = WidenText(domain + "/" + s_domainGuid);
        EXPECT_EQ(store.writeString(entry.c_str(), WidenText(domain), lumivel::RegistryKey::StoreNull::No), ERROR_SUCCESS);
        VARIANT nodes;
        VariantInit(&nodes);
        EXPECT_EQ(m_commands->GetNodes(0, 0, 0, &nodes), S_OK);
        std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&nodes);
        VariantClear(&nodes);
        m_owned.insert(m_owned.end(), records.begin(), records.end());
        store.deleteValue(entry.c_str());
        return records.size() == 1 ? records[0] : nullptr;
    }
    std::vector<PropertySet*> list(PropertySet* node, HRESULT* result) {
        VARIANT objects;
        VariantInit(&objects);
        *result = m_revivo->EnumDeletedObjects(reinterpret_cast<LONG_PTR>(node), nullptr, &objects);
        std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
        VariantClear(&objects);
        m_owned.insert(m_owned.end(), records.begin(), records.end());
        return records;
    }

    static inline std::string s_folder, s_problem, s_domainGuid;
    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    std::vector<PropertySet*> m_owned;
};

TEST_F(OtherRealmTest, TheTestDomainsNodeComesBackAndListsItsTombstones) {
    PropertySet* node = storedNode();
    ASSERT_NE(node, nullptr) << "the stored node of the test domain vanished";
    EXPECT_TRUE(lumivel::EqualsNoCase(node->getText(u"NamingContext"), WidenText(lumivel::testing::TestDirectory().baseDn)));
    HRESULT listed = E_FAIL;
    std::vector<PropertySet*> records = list(node, &listed);
    ASSERT_EQ(listed, S_OK);
    std::string seeded;
    for (const lumivel::testing::Fact& fact : lumivel::testing::SeedFacts())
        if (fact.get("deleted") == "1" && fact.get("flags") == "-") seeded = fact.get("name");
    EXPECT_NE(lumivel::testing::TombstoneNamed(records, seeded), nullptr)
        << seeded << " among " << records.size() << " tombstones";
}

// The default domain is the primary cache's realm, which has no DCs: its listing fails.
TEST_F(OtherRealmTest, TheDefaultDomainWithoutDcsIsAFailureNotAnEmptyListing) {
    HRESULT listed = S_OK;
    EXPECT_TRUE(list(nullptr, &listed).empty());
    EXPECT_TRUE(FAILED(listed)) << std::hex << listed;
}

// The name check of a restore asks the catalog of the forest the DN lies in: a taken name is
// seen, and the user is asked for another one.
TEST_F(OtherRealmTest, RestoreChecksTheNameInTheDomainsOwnCatalog) {
    const std::string suffix = lumivel::testing::UniqueSuffix();
    const std::string root = "OU=OtherRealm " + suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(root));
    const std::string name = "Realm Taken " + suffix;
    const std::string dn = "CN=" + name + "," + root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));

    PropertySet* node = storedNode();
    ASSERT_NE(node, nullptr);
    HRESULT listed = E_FAIL;
    std::vector<PropertySet*> records = list(node, &listed);
    ASSERT_EQ(listed, S_OK);
    PropertySet* tombstone = lumivel::testing::TombstoneNamed(records, name);
    ASSERT_NE(tombstone, nullptr);

    std::vector<int> dialogs;
    int boxes = 0;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) {
            ++boxes;
            return IDOK;
        }
        dialogs.push_back(surface.resourceId);
        SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    });
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(tombstone, &selection);
    EXPECT_EQ(m_commands->ExecuteCommand(nullptr, 1, ID_RESTORE, &selection, &result), S_FALSE);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(dialogs, std::vector<int>{IDD_NEW_NAME}) << "the taken name was seen";
    EXPECT_EQ(boxes, 0);
    lumivel::testing::LdapDeleteTree(root);
}

}  // namespace
