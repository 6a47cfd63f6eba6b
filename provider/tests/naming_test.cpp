// The provider's text rules: binding paths, registry entry names, reanimated and renamed DNs.
#include <gtest/gtest.h>

#include "provider/common/system_error_text.h"
#include "provider/domain_nodes.h"
#include "provider/restore/reanimation.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"

namespace {

using namespace revivo;

TEST(NamingTest, EnteredDomainBecomesAnLdapPath) {
    struct Row {
        const char16_t* entered;
        const char16_t* path;
    } rows[] = {
        {u"lumivel.test", u"LDAP://lumivel.test"},
        {u"DC=lumivel,DC=test", u"LDAP://DC=lumivel,DC=test"},
        {u"LDAP://dc1.lumivel.test/DC=lumivel,DC=test", u"LDAP://dc1.lumivel.test/DC=lumivel,DC=test"},
        // Only the exact upper-case prefix counts as one.
        {u"ldap://lumivel.test", u"LDAP://ldap://lumivel.test"},
        {u"GC://lumivel.test", u"LDAP://GC://lumivel.test"},
    };
    for (const Row& row : rows) EXPECT_EQ(lumivel::shared::LdapPathOfDomain(row.entered), row.path);
}

// A bind failure is shown in a message box: it always says something, and a path refused
// before any bind has its text too.
TEST(NamingTest, SystemTextOfAFailureIsNeverEmpty) {
    IADs* object = nullptr;
    HRESULT refused = ADsGetObject(u"LDAP:///", IID_IADs, reinterpret_cast<void**>(&object));
    EXPECT_EQ(refused, E_ADS_BAD_PATHNAME);
    EXPECT_EQ(SystemErrorText(static_cast<DWORD>(refused)), u"An invalid directory pathname was passed.");
    EXPECT_EQ(SystemErrorText(0x8FFF1234), u"Error 0x8FFF1234");
}

TEST(NamingTest, StoredValueNamesSplitAtTheirFirstSlash) {
    struct Row {
        const char16_t* valueName;
        const char16_t* path;
    } rows[] = {
        {u"lumivel.test/0123456789abcdef0123456789abcdef",
         u"LDAP://lumivel.test/<GUID=0123456789abcdef0123456789abcdef>"},
        {u"0123456789abcdef0123456789abcdef", u"LDAP://<GUID=0123456789abcdef0123456789abcdef>"},
        {u"a/b/c", u"LDAP://a/<GUID=b/c>"},
        {u"/guid", u"LDAP://<GUID=guid>"},
    };
    for (const Row& row : rows) EXPECT_EQ(PathOfStoredNode(row.valueName), row.path);
}

TEST(NamingTest, RegistryEntryIsDomainSlashGuidOrTheGuidAlone) {
    PropertySet* node = PropertySet::create();
    node->setGuid(u"00112233445566778899aabbccddeeff");
    EXPECT_EQ(RegistryEntryName(node), u"00112233445566778899aabbccddeeff");
    node->setString(u"DomainName", u"lumivel.test");
    EXPECT_EQ(RegistryEntryName(node), u"lumivel.test/00112233445566778899aabbccddeeff");
    node->release();
}

TEST(NamingTest, ReanimatedNameIsTheRelativeNameBeforeTheLineFeedUnderTheParent) {
    struct Row {
        const char16_t* tombstone;
        const char16_t* parent;
        bool mangled;
        const char16_t* expected;
    } rows[] = {
        {u"CN=Ann\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f,CN=Deleted Objects,DC=lumivel,DC=test",
         u"OU=Sales,DC=lumivel,DC=test", true, u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {u"OU=Ops\\0ADEL:guid,CN=Deleted Objects,DC=x", u"DC=x", true, u"OU=Ops,DC=x"},
        // Escapes before the line feed stay as they are.
        {u"CN=Smith\\, John\\0ADEL:guid,CN=Deleted Objects,DC=x", u"OU=A\\+B,DC=x", true,
         u"CN=Smith\\, John,OU=A\\+B,DC=x"},
        {u"CN=lower\\0aDEL:guid,CN=Deleted Objects,DC=x", u"DC=x", true, u"CN=lower,DC=x"},
        {u"CN=Live,OU=Sales,DC=x", u"DC=x", false, nullptr},
        {u"CN=Back\\5c0A,DC=x", u"DC=x", false, nullptr},
        {u"CN=Back\\\\0A,DC=x", u"DC=x", false, nullptr},
        // An escaped backslash before "0A" is no line feed; the one that follows is.
        {u"CN=Back\\\\0A\\0ADEL:x,CN=Deleted Objects", u"OU=P", true, u"CN=Back\\\\0A,OU=P"},
    };
    for (const Row& row : rows) {
        std::u16string result = lumivel::shared::ReanimatedDn(row.tombstone, row.parent);
        EXPECT_EQ(!result.empty(), row.mangled);
        if (row.mangled && row.expected) {
            EXPECT_EQ(result, row.expected);
        }
    }
}

// A typed name lands in the DN as one RDN value, whatever it holds.
TEST(NamingTest, TypedNamesAreEscapedAsRdnValues) {
    struct Row {
        const char16_t* typed;
        const char16_t* expected;
    } rows[] = {
        {u"Smith, John", u"CN=Smith\\, John,OU=Sales,DC=x"},
        {u"a+b", u"CN=a\\+b,OU=Sales,DC=x"},
        {u"say \"hi\"", u"CN=say \\\"hi\\\",OU=Sales,DC=x"},
        {u"back\\slash", u"CN=back\\\\slash,OU=Sales,DC=x"},
        {u"<tag>;", u"CN=\\<tag\\>\\;,OU=Sales,DC=x"},
        {u"#first", u"CN=\\#first,OU=Sales,DC=x"},
        {u" padded ", u"CN=\\ padded\\ ,OU=Sales,DC=x"},
        {u"Z\u00fcrich \u041c\u043e\u0441\u043a\u0432\u0430 \U0001F600", u"CN=Z\u00fcrich \u041c\u043e\u0441\u043a\u0432\u0430 \U0001F600,OU=Sales,DC=x"},
    };
    for (const Row& row : rows) EXPECT_EQ(RenamedDistinguishedName(u"CN=", row.typed, u"OU=Sales,DC=x"), row.expected);
}

// A deleted parent is found by the GUID its tombstone name ends with, whatever the old name held.
TEST(NamingTest, MangledGuidIsTheTextAfterTheLastDelMarker) {
    struct Row {
        const char16_t* name;
        const char16_t* guid;
    } rows[] = {
        {u"Archive\nDEL:42952b40-6aa3-4dd0-805a-02d1d16228af", u"42952b40-6aa3-4dd0-805a-02d1d16228af"},
        {u"Ops DEL:Team\nDEL:8d52ae91-df86-461a-aac7-30ca3c0e1013", u"8d52ae91-df86-461a-aac7-30ca3c0e1013"},
        {u"DEL:", u""},
        {u"Live name", u""},
        {u"", u""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(lumivel::shared::TombstoneGuid(row.name), row.guid) << lumivel::shared::NarrowText(row.name);
}

}  // namespace
