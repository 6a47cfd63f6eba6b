// The directory-service operations as tables: tombstone names and DNs in, GUID, plain name and
// reanimated DN out; DNs and servers in, binding paths out; paths taken apart; the search
// preferences a show-deleted search sends.
#include "shared/directory_operations.h"

#include <gtest/gtest.h>

#include <vector>

#include "win/dsapi.h"

namespace {

using namespace lumivel::shared;

constexpr char16_t kParent[] = u"OU=Sales,DC=lumivel,DC=test";

struct TombstoneRow {
    const char* what;
    std::u16string name;        // the name attribute
    std::u16string dn;          // the DN the directory gives the same object
    std::u16string guid;        // from the name and from the DN
    std::u16string plain;       // the name a person knows
    std::u16string reanimated;  // the DN it gets back below kParent
};

const std::u16string kGuid = u"6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f";
const std::u16string kOther = u"8d52ae91-df86-461a-aac7-30ca3c0e1013";
const std::u16string kTail = u",CN=Deleted Objects,DC=lumivel,DC=test";

std::vector<TombstoneRow> tombstoneRows() {
    const std::u16string upper = u"6C1F4A5E-1B1C-4C57-9D2E-0A1B2C3D4E5F";
    const std::u16string longName(100000, u'x');
    const std::u16string manyBackslashes(100000, u'\\');
    return {
        {"a plain tombstone", u"Ann\nDEL:" + kGuid, u"CN=Ann\\0ADEL:" + kGuid + kTail, kGuid, u"Ann",
         u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {"an OU", u"Ops\nDEL:" + kGuid, u"OU=Ops\\0ADEL:" + kGuid + kTail, kGuid, u"Ops",
         u"OU=Ops,OU=Sales,DC=lumivel,DC=test"},
        {"DEL: inside the name", u"Ops DEL:Team\nDEL:" + kGuid, u"OU=Ops DEL:Team\\0ADEL:" + kGuid + kTail, kGuid,
         u"Ops DEL:Team", u"OU=Ops DEL:Team,OU=Sales,DC=lumivel,DC=test"},
        {"a name that is DEL: alone", u"DEL:\nDEL:" + kGuid, u"CN=DEL:\\0ADEL:" + kGuid + kTail, kGuid, u"DEL:",
         u"CN=DEL:,OU=Sales,DC=lumivel,DC=test"},
        {"another GUID inside the name", u"Copy DEL:" + kOther + u"\nDEL:" + kGuid,
         u"CN=Copy DEL:" + kOther + u"\\0ADEL:" + kGuid + kTail, kGuid, u"Copy DEL:" + kOther,
         u"CN=Copy DEL:" + kOther + u",OU=Sales,DC=lumivel,DC=test"},
        {"an escaped comma", u"Smith, John\nDEL:" + kGuid, u"CN=Smith\\, John\\0ADEL:" + kGuid + kTail, kGuid,
         u"Smith, John", u"CN=Smith\\, John,OU=Sales,DC=lumivel,DC=test"},
        {"an escaped comma after DEL:", u"Ops DEL:x, y\nDEL:" + kGuid, u"CN=Ops DEL:x\\, y\\0ADEL:" + kGuid + kTail,
         kGuid, u"Ops DEL:x, y", u"CN=Ops DEL:x\\, y,OU=Sales,DC=lumivel,DC=test"},
        {"a name that mimics the Deleted Objects container", u"x,CN=Deleted Objects\nDEL:" + kGuid,
         u"CN=x\\,CN=Deleted Objects\\0ADEL:" + kGuid + kTail, kGuid, u"x,CN=Deleted Objects",
         u"CN=x\\,CN=Deleted Objects,OU=Sales,DC=lumivel,DC=test"},
        {"a backslash", u"back\\slash\nDEL:" + kGuid, u"CN=back\\\\slash\\0ADEL:" + kGuid + kTail, kGuid,
         u"back\\slash", u"CN=back\\\\slash,OU=Sales,DC=lumivel,DC=test"},
        {"an escaped backslash before 0A", u"Back\\0A\nDEL:" + kGuid, u"CN=Back\\\\0A\\0ADEL:" + kGuid + kTail, kGuid,
         u"Back\\0A", u"CN=Back\\\\0A,OU=Sales,DC=lumivel,DC=test"},
        {"an escaped backslash and 0ADEL: is no mangling", u"Back\\0ADEL:" + kGuid,
         u"CN=Back\\\\0ADEL:" + kGuid + u",OU=Sales,DC=lumivel,DC=test", u"", u"Back\\0ADEL:" + kGuid, u""},
        {"hex escapes of UTF-8", u"Z\u00fcrich\nDEL:" + kGuid, u"CN=Z\\C3\\BCrich\\0ADEL:" + kGuid + kTail, kGuid,
         u"Z\u00fcrich", u"CN=Z\\C3\\BCrich,OU=Sales,DC=lumivel,DC=test"},
        {"a lower-case escape", u"lower\nDEL:" + kGuid, u"CN=lower\\0aDEL:" + kGuid + kTail, kGuid, u"lower",
         u"CN=lower,OU=Sales,DC=lumivel,DC=test"},
        {"upper-case hex", u"Up\nDEL:" + upper, u"CN=Up\\0ADEL:" + upper + kTail, upper, u"Up",
         u"CN=Up,OU=Sales,DC=lumivel,DC=test"},
        // The name comes back as it was before the deletion, conflict mangling and all.
        {"a conflict mangling before the deletion", u"Twin\nCNF:" + kOther + u"\nDEL:" + kGuid,
         u"CN=Twin\\0ACNF:" + kOther + u"\\0ADEL:" + kGuid + kTail, kGuid, u"Twin\nCNF:" + kOther,
         u"CN=Twin\\0ACNF:" + kOther + u",OU=Sales,DC=lumivel,DC=test"},
        {"a conflict mangling alone", u"Twin\nCNF:" + kOther, u"CN=Twin\\0ACNF:" + kOther + u",OU=Sales,DC=x", u"",
         u"Twin\nCNF:" + kOther, u""},
        {"a line feed of the name's own", u"Line\nFeed\nDEL:" + kGuid, u"CN=Line\\0AFeed\\0ADEL:" + kGuid + kTail,
         kGuid, u"Line\nFeed", u"CN=Line\\0AFeed,OU=Sales,DC=lumivel,DC=test"},
        {"a line feed and DEL: of the name's own", u"a\nDEL:b\nDEL:" + kGuid, u"CN=a\\0ADEL:b\\0ADEL:" + kGuid + kTail,
         kGuid, u"a\nDEL:b", u"CN=a\\0ADEL:b,OU=Sales,DC=lumivel,DC=test"},
        {"a live name with a line feed", u"Line\nFeed", u"CN=Line\\0AFeed,CN=Users,DC=x", u"", u"Line\nFeed", u""},
        {"a live object", u"Live", u"CN=Live,OU=Sales,DC=x", u"", u"Live", u""},
        {"a live object below a deleted OU", u"Kid", u"CN=Kid,OU=A\\0ADEL:" + kGuid + kTail, u"", u"Kid", u""},
        {"DEL: without the line feed", u"Ops DEL:" + kGuid, u"CN=Ops DEL:" + kGuid + u",OU=Sales,DC=x", u"",
         u"Ops DEL:" + kGuid, u""},
        {"a marker without a GUID", u"Ann\nDEL:", u"CN=Ann\\0ADEL:" + kTail, u"", u"Ann",
         u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {"a GUID too short", u"Ann\nDEL:1", u"CN=Ann\\0ADEL:1" + kTail, u"", u"Ann",
         u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {"text after the GUID", u"Ann\nDEL:" + kGuid + u"x", u"CN=Ann\\0ADEL:" + kGuid + u"x" + kTail, u"", u"Ann",
         u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {"a GUID with braces", u"Ann\nDEL:{" + kGuid + u"}", u"CN=Ann\\0ADEL:{" + kGuid + u"}" + kTail, u"", u"Ann",
         u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {"nothing", u"", u"", u"", u"", u""},
        {"no attribute type", u"garbage", u"garbage\\0ADEL:" + kGuid, u"", u"garbage", u""},
        {"a lone trailing backslash", u"a\\", u"CN=a\\", u"", u"a\\", u""},
        {"a malformed hex escape", u"Ann\nDEL:" + kGuid + u"\\zz", u"CN=Ann\\0ADEL:" + kGuid + u"\\zz" + kTail, u"",
         u"Ann", u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {"a very long name", longName + u"\nDEL:" + kGuid, u"CN=" + longName + u"\\0ADEL:" + kGuid + kTail, kGuid,
         longName, u"CN=" + longName + u",OU=Sales,DC=lumivel,DC=test"},
        {"a very long GUID", u"Ann\nDEL:" + longName, u"CN=Ann\\0ADEL:" + longName + kTail, u"", u"Ann",
         u"CN=Ann,OU=Sales,DC=lumivel,DC=test"},
        {"a long run of backslashes", manyBackslashes, u"CN=" + manyBackslashes + u"0A", u"", manyBackslashes, u""},
    };
}

TEST(DirectoryOperationsTest, TombstoneNameRules) {
    for (const TombstoneRow& row : tombstoneRows()) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(TombstoneGuid(row.name), row.guid);
        EXPECT_EQ(TombstoneGuidOfDn(row.dn), row.guid);
        EXPECT_EQ(PlainTombstoneName(row.name), row.plain);
        EXPECT_EQ(ReanimatedDn(row.dn, kParent), row.reanimated);
        // The rules agree with the directory service's own test of a DN mangled for deletion.
        EXPECT_EQ(DsIsMangledDnW(row.dn.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION) != FALSE, !row.guid.empty());
    }
}

TEST(DirectoryOperationsTest, FirstRelativeNameStepsOverEscapes) {
    struct Row {
        const char16_t* dn;
        const char16_t* first;
    } rows[] = {
        {u"CN=Ann,OU=Sales,DC=x", u"CN=Ann"},
        {u"CN=Smith\\, John,OU=Sales", u"CN=Smith\\, John"},
        {u"CN=back\\\\,OU=Sales", u"CN=back\\\\"},
        {u"CN=hex\\2C,OU=Sales", u"CN=hex\\2C"},
        {u"DC=test", u"DC=test"},
        {u"", u""},
        {u",DC=x", u""},
    };
    for (const Row& row : rows) EXPECT_EQ(FirstRelativeName(row.dn), row.first) << lumivel::shared::NarrowText(row.dn);
}

TEST(DirectoryOperationsTest, DistinguishedNamesTakenApart) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    struct Row {
        std::u16string dn;
        bool splits;
        std::u16string relativeName, parent, dnsName;
    } rows[] = {
        {u"CN=Smith\\, John,OU=Sales,DC=lumivel,DC=test", true, u"CN=Smith\\, John", u"OU=Sales,DC=lumivel,DC=test",
         u"lumivel.test"},
        {u"CN=Ann\\0ADEL:" + kGuid + kTail, true, u"CN=Ann\\0ADEL:" + kGuid, kTail.substr(1), u"lumivel.test"},
        {u"OU=a\\+b,DC=x", true, u"OU=a\\+b", u"DC=x", u"x"},
        {u"DC=test", false, u"", u"", u"test"},
        {u"CN=Users", false, u"", u"", u""},
        {u"not a DN", false, u"", u"", u""},
        {u"", false, u"", u"", u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(NarrowText(row.dn));
        std::u16string relativeName, parent;
        ASSERT_EQ(SplitDistinguishedName(row.dn, &relativeName, &parent), row.splits);
        if (row.splits) {
            EXPECT_EQ(relativeName, row.relativeName);
            EXPECT_EQ(parent, row.parent);
        }
        EXPECT_EQ(DnsNameOfDn(row.dn), row.dnsName);
    }
    CoUninitialize();
}

TEST(DirectoryOperationsTest, NamingContextOfATombstone) {
    EXPECT_EQ(NamingContextOfTombstone(u"CN=Ann\\0ADEL:" + kGuid + kTail), u"DC=lumivel,DC=test");
    EXPECT_EQ(NamingContextOfTombstone(u"CN=Ann\\0ADEL:" + kGuid + u",cn=deleted objects,DC=x"), u"DC=x");
    // A name that spells a Deleted Objects container does not end the name early.
    EXPECT_EQ(NamingContextOfTombstone(u"CN=x,CN=Deleted Objects,DC=evil\\0ADEL:" + kGuid + kTail),
              u"DC=lumivel,DC=test");
    EXPECT_EQ(NamingContextOfTombstone(u"CN=Live,OU=Sales,DC=x"), u"");
    EXPECT_EQ(NamingContextOfTombstone(u""), u"");
}

TEST(DirectoryOperationsTest, GuidTexts) {
    EXPECT_TRUE(IsGuidText(kGuid));
    EXPECT_TRUE(IsGuidText(u"AAAAAAAA-2222-3333-4444-555555555555"));
    EXPECT_FALSE(IsGuidText(u"{" + kGuid + u"}"));
    EXPECT_FALSE(IsGuidText(u"6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5g"));
    EXPECT_FALSE(IsGuidText(u"6c1f4a5e-1b1c-4c57-9d2e+0a1b2c3d4e5f"));
    EXPECT_FALSE(IsGuidText(u"6c1f4a5e1b1c4c579d2e0a1b2c3d4e5f"));
    EXPECT_FALSE(IsGuidText(u""));
}

TEST(DirectoryOperationsTest, BindingPaths) {
    struct Row {
        std::u16string path, expected;
    } rows[] = {
        {LdapPathOfDn(u"", u"DC=lumivel,DC=test"), u"LDAP://DC=lumivel,DC=test"},
        {LdapPathOfDn(u"dc1.lumivel.test", u"OU=Sales,DC=lumivel,DC=test"),
         u"LDAP://dc1.lumivel.test/OU=Sales,DC=lumivel,DC=test"},
        {LdapPathOfDn(u"", u"CN=Schema,CN=Configuration,DC=x"), u"LDAP://CN=Schema,CN=Configuration,DC=x"},
        // A slash would otherwise make the DN's head a server name.
        {LdapPathOfDn(u"", u"CN=Schema,DC=evil.example/DC=x"), u"LDAP://CN=Schema,DC=evil.example\\/DC=x"},
        {LdapPathOfDn(u"", u"CN=a\\,b\\\\/c"), u"LDAP://CN=a\\,b\\\\\\/c"},
        {LdapPathOfDn(u"dc1", u"CN=a\\,b\\\\/c"), u"LDAP://dc1/CN=a\\,b\\\\\\/c"},
        {LdapPathOfDn(u"dc1", u"CN=Ann\\0ADEL:" + kGuid + kTail), u"LDAP://dc1/CN=Ann\\0ADEL:" + kGuid + kTail},
        {LdapPathOfGuid(u"", kGuid), u"LDAP://<GUID=" + kGuid + u">"},
        {LdapPathOfGuid(u"dc1.lumivel.test", u"00112233445566778899aabbccddeeff"),
         u"LDAP://dc1.lumivel.test/<GUID=00112233445566778899aabbccddeeff>"},
        {LdapPathOfRootDse(u""), u"LDAP://rootDSE"},
        {LdapPathOfRootDse(u"dc1"), u"LDAP://dc1/rootDSE"},
        {DeletedObjectsPath(u"", u"DC=x"), u"LDAP://<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=x>"},
        {DeletedObjectsPath(u"dc1", u"DC=x"), u"LDAP://dc1/<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=x>"},
        {SchemaClassPath(u"user"), u"LDAP://user,schema"},
        {GlobalCatalogPathOfDn(u"CN=a/b,DC=x"), u"GC://CN=a\\/b,DC=x"},
        {LdapPathOfDomain(u"lumivel.test"), u"LDAP://lumivel.test"},
        {LdapPathOfDomain(u"DC=lumivel,DC=test"), u"LDAP://DC=lumivel,DC=test"},
        {LdapPathOfDomain(u"OU=a/b,DC=x"), u"LDAP://OU=a\\/b,DC=x"},
        {LdapPathOfDomain(u"LDAP://dc1/DC=x"), u"LDAP://dc1/DC=x"},
        // Only the exact upper-case prefix counts as one, as the binding reads it.
        {LdapPathOfDomain(u"ldap://lumivel.test"), u"LDAP://ldap://lumivel.test"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.path, row.expected);
}

TEST(DirectoryOperationsTest, LdapPathsTakenApart) {
    struct Row {
        const char16_t* path;
        bool isPath;
        const char16_t* server;
        const char16_t* object;
    } rows[] = {
        {u"LDAP://dc1.lumivel.test/DC=lumivel,DC=test", true, u"dc1.lumivel.test", u"DC=lumivel,DC=test"},
        {u"LDAP://dc1.lumivel.test:389/DC=x", true, u"dc1.lumivel.test:389", u"DC=x"},
        {u"LDAP://DC=lumivel,DC=test", true, u"", u"DC=lumivel,DC=test"},
        {u"LDAP://dc1.lumivel.test", true, u"dc1.lumivel.test", u""},
        {u"LDAP://dc1.lumivel.test/", true, u"dc1.lumivel.test", u""},
        {u"LDAP://<GUID=00112233445566778899aabbccddeeff>", true, u"", u"<GUID=00112233445566778899aabbccddeeff>"},
        {u"LDAP://dc1/<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=x>", true, u"dc1",
         u"<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,DC=x>"},
        // An escaped slash, or one after the first "=", belongs to the DN.
        {u"LDAP://OU=a\\/b,DC=x", true, u"", u"OU=a\\/b,DC=x"},
        {u"LDAP://OU=a/b,DC=x", true, u"", u"OU=a/b,DC=x"},
        {u"LDAP://rootDSE", true, u"", u"rootDSE"},
        {u"LDAP://dc1/rootDSE", true, u"dc1", u"rootDSE"},
        {u"LDAP://user,schema", true, u"", u"user,schema"},
        {u"LDAP://", true, u"", u""},
        {u"ldap://dc1/DC=x", false, nullptr, nullptr},
        {u"GC://dc1/DC=x", false, nullptr, nullptr},
        {u"DC=lumivel,DC=test", false, nullptr, nullptr},
        {u"", false, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        std::optional<LdapPath> parts = SplitLdapPath(row.path);
        ASSERT_EQ(parts.has_value(), row.isPath) << NarrowText(row.path);
        if (!parts) continue;
        EXPECT_EQ(parts->server, row.server) << NarrowText(row.path);
        EXPECT_EQ(parts->object, row.object) << NarrowText(row.path);
    }
}

TEST(DirectoryOperationsTest, BindsReportThePathsFailure) {
    void* object = nullptr;
    EXPECT_EQ(BindByDn(u"", u"", IID_IADs, &object), E_ADS_BAD_PATHNAME);
    EXPECT_EQ(BindPath(u"ldap://dc1/DC=x", IID_IADs, &object, BindSpeed::Fast), MK_E_SYNTAX);
    EXPECT_EQ(object, nullptr);
}

// Records what it is asked to prefer; nothing else is called.
class PreferenceRecorder final : public IDirectorySearch {
public:
    std::vector<ADS_SEARCHPREF_INFO> preferences;
    HRESULT answer = S_OK;

    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SetSearchPreference(PADS_SEARCHPREF_INFO given, DWORD count) override {
        preferences.assign(given, given + count);
        return answer;
    }
    STDMETHODIMP ExecuteSearch(LPWSTR, LPWSTR*, DWORD, PADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP AbandonSearch(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetFirstRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetNextRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetPreviousRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
    STDMETHODIMP GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetColumn(ADS_SEARCH_HANDLE, LPWSTR, PADS_SEARCH_COLUMN) override { return E_NOTIMPL; }
    STDMETHODIMP FreeColumn(PADS_SEARCH_COLUMN) override { return E_NOTIMPL; }
    STDMETHODIMP CloseSearchHandle(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
};

struct Sent {
    ADS_SEARCHPREF_ENUM preference;
    ADSTYPEENUM type;
    DWORD value;
};

std::vector<Sent> sent(const PreferenceRecorder& search) {
    std::vector<Sent> out;
    for (const ADS_SEARCHPREF_INFO& info : search.preferences)
        out.push_back({info.dwSearchPref, info.vValue.dwType,
                       info.vValue.dwType == ADSTYPE_BOOLEAN ? info.vValue.Boolean : info.vValue.Integer});
    return out;
}

bool operator==(const Sent& a, const Sent& b) {
    return a.preference == b.preference && a.type == b.type && a.value == b.value;
}

TEST(DirectoryOperationsTest, ShowDeletedSearchPreferences) {
    PreferenceRecorder search;
    ASSERT_EQ(SetShowDeletedSearch(&search, ADS_SCOPE_ONELEVEL, 1000), S_OK);
    EXPECT_EQ(sent(search), (std::vector<Sent>{{ADS_SEARCHPREF_SEARCH_SCOPE, ADSTYPE_INTEGER, ADS_SCOPE_ONELEVEL},
                                               {ADS_SEARCHPREF_TOMBSTONE, ADSTYPE_BOOLEAN, TRUE},
                                               {ADS_SEARCHPREF_PAGESIZE, ADSTYPE_INTEGER, 1000}}));
    // A base search of one object needs no pages.
    ASSERT_EQ(SetShowDeletedSearch(&search, ADS_SCOPE_BASE, 0), S_OK);
    EXPECT_EQ(sent(search), (std::vector<Sent>{{ADS_SEARCHPREF_SEARCH_SCOPE, ADSTYPE_INTEGER, ADS_SCOPE_BASE},
                                               {ADS_SEARCHPREF_TOMBSTONE, ADSTYPE_BOOLEAN, TRUE}}));

    ASSERT_EQ(SetSearchPreferences(&search, {{ADS_SEARCHPREF_SECURITY_MASK, 4},
                                             {ADS_SEARCHPREF_CACHE_RESULTS, 0},
                                             {ADS_SEARCHPREF_SIZE_LIMIT, 251}}),
              S_OK);
    EXPECT_EQ(sent(search), (std::vector<Sent>{{ADS_SEARCHPREF_SECURITY_MASK, ADSTYPE_INTEGER, 4},
                                               {ADS_SEARCHPREF_CACHE_RESULTS, ADSTYPE_BOOLEAN, FALSE},
                                               {ADS_SEARCHPREF_SIZE_LIMIT, ADSTYPE_INTEGER, 251}}));

    // The search's refusal is the caller's answer.
    search.answer = E_ADS_BAD_PARAMETER;
    EXPECT_EQ(SetShowDeletedSearch(&search, ADS_SCOPE_SUBTREE, 10), E_ADS_BAD_PARAMETER);
    EXPECT_EQ(SetShowDeletedSearch(nullptr, ADS_SCOPE_SUBTREE, 10), E_POINTER);
}

}  // namespace
