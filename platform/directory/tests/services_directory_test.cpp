// The directory services around ADSI against the test DC: paged show-deleted searches over
// more than a page of tombstones, reanimation through the Windows-named LDAP API, the DS API,
// display specifiers, the creatability check and the domain tree.
#include <chrono>
#include <optional>
#include <set>
#include <thread>

#include "../attribute_syntax.h"
#include "directory_test_support.h"
#include "tests/support/private_hives.h"
#include "win/com.h"
#include "lumivel/ldap_escape.h"
#include "win/dsadmin.h"
#include "win/processes.h"
#include "win/resources.h"
#include "win/user.h"
#include "win/dsapi.h"
#include "win/dirsync.h"
#include "win/dsclient.h"
#include "win/winldap.h"

using namespace lumivel::directory::testing;
using lumivel::FromUtf8;
using lumivel::ToUtf8;

namespace {

// The directory's classes are built in and never read the registry; the hives still point
// away from the user's own.
const auto* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::u16string Ldap(std::u16string_view dn) { return u"LDAP://" + std::u16string(dn); }

// As the product creates them: through COM, in-process.
template <class T>
HRESULT CreateClass(REFCLSID clsid, REFIID iid, T** object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object));
}

struct Row {
    std::u16string name, dn, parent, cls;
    ADSTYPE classType = ADSTYPE_INVALID, dnType = ADSTYPE_INVALID, timeType = ADSTYPE_INVALID;
    SYSTEMTIME changed{};
};

// The one-level show-deleted search of the Deleted Objects container with paging.
HRESULT SearchTombstones(const std::u16string& filter, DWORD pageSize, std::vector<Row>* rows) {
    Ptr<IDirectorySearch> search;
    const std::u16string path = u"LDAP://<WKGUID=18e2ea80684f11d2b9aa00c04f79f805," + BaseDn() + u">";
    HRESULT hr = ADsOpenObject(path.c_str(), nullptr, nullptr, ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND,
                               IID_IDirectorySearch, search.putVoid());
    if (FAILED(hr)) return hr;
    ADS_SEARCHPREF_INFO prefs[3] = {};
    prefs[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    prefs[0].vValue.dwType = ADSTYPE_INTEGER;
    prefs[0].vValue.Integer = ADS_SCOPE_ONELEVEL;
    prefs[1].dwSearchPref = ADS_SEARCHPREF_TOMBSTONE;
    prefs[1].vValue.dwType = ADSTYPE_BOOLEAN;
    prefs[1].vValue.Boolean = TRUE;
    prefs[2].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
    prefs[2].vValue.dwType = ADSTYPE_INTEGER;
    prefs[2].vValue.Integer = pageSize;
    hr = search->SetSearchPreference(prefs, 3);
    if (FAILED(hr)) return hr;
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"cn"), const_cast<LPWSTR>(u"distinguishedName"),
                           const_cast<LPWSTR>(u"lastKnownParent"), const_cast<LPWSTR>(u"objectClass"),
                           const_cast<LPWSTR>(u"whenChanged")};
    ADS_SEARCH_HANDLE handle = nullptr;
    hr = search->ExecuteSearch(const_cast<LPWSTR>(filter.c_str()), attributes, 5, &handle);
    if (FAILED(hr)) return hr;
    while ((hr = search->GetNextRow(handle)) == S_OK) {
        Row row;
        ADS_SEARCH_COLUMN column;
        if (search->GetColumn(handle, const_cast<LPWSTR>(u"cn"), &column) == S_OK) {
            row.name = column.pADsValues[0].CaseIgnoreString;
            search->FreeColumn(&column);
        }
        if (search->GetColumn(handle, const_cast<LPWSTR>(u"distinguishedName"), &column) == S_OK) {
            row.dn = column.pADsValues[0].DNString;
            row.dnType = column.dwADsType;
            search->FreeColumn(&column);
        }
        if (search->GetColumn(handle, const_cast<LPWSTR>(u"lastKnownParent"), &column) == S_OK) {
            row.parent = column.pADsValues[0].DNString;
            search->FreeColumn(&column);
        }
        if (search->GetColumn(handle, const_cast<LPWSTR>(u"objectClass"), &column) == S_OK) {
            row.cls = column.pADsValues[column.dwNumValues - 1].CaseIgnoreString;
            row.classType = column.dwADsType;
            search->FreeColumn(&column);
        }
        if (search->GetColumn(handle, const_cast<LPWSTR>(u"whenChanged"), &column) == S_OK) {
            row.changed = column.pADsValues[0].UTCTime;
            row.timeType = column.dwADsType;
            search->FreeColumn(&column);
        }
        rows->push_back(std::move(row));
    }
    search->CloseSearchHandle(handle);
    return hr == S_ADS_NOMORE_ROWS ? S_OK : hr;
}

class ServicesDirectory : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(BaseDn().empty()) << "run inside testdc exec";
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        s_tag = u"lumivel-d-" + RandomSuffix();
        ASSERT_EQ(CreateChild(Ldap(BaseDn()), u"organizationalUnit", u"OU=" + s_tag, &s_ouPath), S_OK);
    }
    static void TearDownTestSuite() {
        if (!s_ouPath.empty()) DeleteTree(s_ouPath);
        CoUninitialize();
    }
    static std::u16string s_tag;
    static std::u16string s_ouPath;
};
std::u16string ServicesDirectory::s_tag;
std::u16string ServicesDirectory::s_ouPath;

TEST_F(ServicesDirectory, PagedShowDeletedSearchReturnsEveryTombstone) {
    std::u16string bulk;
    ASSERT_EQ(CreateChild(s_ouPath, u"organizationalUnit", u"OU=bulk", &bulk), S_OK);
    constexpr int kCount = 1600;
    std::vector<std::u16string> members;
    for (int i = 0; i < kCount; ++i) {
        std::u16string child;
        ASSERT_EQ(CreateChild(bulk, u"container", u"CN=" + s_tag + u"-t" + FromUtf8(std::to_string(i)), &child), S_OK);
        members.push_back(child.substr(7));
    }

    // A value list longer than one range slice is read whole.
    std::u16string groupPath;
    ASSERT_EQ(CreateChild(s_ouPath, u"group", u"CN=big-" + s_tag, &groupPath), S_OK);
    {
        Ptr<IADs> group;
        ASSERT_EQ(ADsGetObject(groupPath.c_str(), IID_IADs, group.putVoid()), S_OK);
        std::vector<LPWSTR> pointers;
        for (auto& m : members) pointers.push_back(m.data());
        Variant list;
        ASSERT_EQ(ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), list.put()), S_OK);
        ASSERT_EQ(group->PutEx(ADS_PROPERTY_APPEND, Bstr(u"member").get(), *list.get()), S_OK);
        ASSERT_EQ(group->SetInfo(), S_OK);
        Ptr<IADs> fresh;
        ASSERT_EQ(ADsGetObject(groupPath.c_str(), IID_IADs, fresh.putVoid()), S_OK);
        Variant ranged;
        ranged->vt = VT_BSTR;
        ranged->bstrVal = SysAllocString(u"member;range=0-999");
        ASSERT_EQ(fresh->GetInfoEx(*ranged.get(), 0), S_OK);
        Variant all;
        ASSERT_EQ(fresh->GetEx(Bstr(u"member").get(), all.put()), S_OK);
        EXPECT_EQ(all->parray->rgsabound[0].cElements, static_cast<ULONG>(kCount));
        Ptr<IADs> implicit;
        ASSERT_EQ(ADsGetObject(groupPath.c_str(), IID_IADs, implicit.putVoid()), S_OK);
        Variant whole;
        ASSERT_EQ(implicit->GetEx(Bstr(u"member").get(), whole.put()), S_OK);
        EXPECT_EQ(whole->parray->rgsabound[0].cElements, static_cast<ULONG>(kCount));

        // A search row reads the whole list too, and starts again from its first row.
        Ptr<IDirectorySearch> search;
        ASSERT_EQ(ADsGetObject(groupPath.c_str(), IID_IDirectorySearch, search.putVoid()), S_OK);
        ADS_SEARCHPREF_INFO scope{};
        scope.dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
        scope.vValue.dwType = ADSTYPE_INTEGER;
        scope.vValue.Integer = ADS_SCOPE_BASE;
        ASSERT_EQ(search->SetSearchPreference(&scope, 1), S_OK);
        LPWSTR names[] = {const_cast<LPWSTR>(u"member")};
        ADS_SEARCH_HANDLE handle = nullptr;
        ASSERT_EQ(search->ExecuteSearch(nullptr, names, 1, &handle), S_OK);
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(pass == 0 ? search->GetNextRow(handle) : search->GetFirstRow(handle), S_OK) << pass;
            ADS_SEARCH_COLUMN column;
            ASSERT_EQ(search->GetColumn(handle, names[0], &column), S_OK);
            EXPECT_EQ(column.dwADsType, ADSTYPE_DN_STRING);
            EXPECT_EQ(column.dwNumValues, static_cast<DWORD>(kCount));
            search->FreeColumn(&column);
            EXPECT_EQ(search->GetNextRow(handle), S_ADS_NOMORE_ROWS);
        }
        EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
    }
    DeleteTree(groupPath);

    // Enumeration walks every child across the server's pages, in batches as the schema
    // reader asks for them.
    {
        Ptr<IADsContainer> container;
        ASSERT_EQ(ADsGetObject(bulk.c_str(), IID_IADsContainer, container.putVoid()), S_OK);
        IEnumVARIANT* e = nullptr;
        ASSERT_EQ(ADsBuildEnumerator(container.get(), &e), S_OK);
        std::set<std::u16string> names;
        for (;;) {
            VARIANT batch[100];
            ULONG got = 0;
            const HRESULT hr = ADsEnumerateNext(e, 100, batch, &got);
            ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
            for (ULONG i = 0; i < got; ++i) {
                ASSERT_EQ(batch[i].vt, VT_DISPATCH);
                Ptr<IADs> child;
                ASSERT_EQ(batch[i].pdispVal->QueryInterface(IID_IADs, child.putVoid()), S_OK);
                names.insert(Text(child.get(), &IADs::get_Name));
                VariantClear(&batch[i]);
            }
            if (got == 0) break;
        }
        ADsFreeEnumerator(e);
        EXPECT_EQ(names.size(), static_cast<size_t>(kCount));
    }
    DeleteTree(bulk);

    std::vector<Row> rows;
    ASSERT_EQ(SearchTombstones(u"cn=" + s_tag + u"-t*", 1000, &rows), S_OK);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kCount));
    const Row& row = rows.front();
    EXPECT_NE(row.name.find(u"\nDEL:"), std::u16string::npos);
    EXPECT_NE(row.dn.find(u"\\0ADEL:"), std::u16string::npos);
    EXPECT_TRUE(DsIsMangledDnW(row.dn.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION));
    // Their container went too, so the last known parent is its tombstone.
    EXPECT_TRUE(DsIsMangledDnW(row.parent.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION));
    EXPECT_FALSE(DsIsMangledDnW((u"OU=bulk," + s_ouPath.substr(7)).c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION));
    EXPECT_EQ(row.cls, u"container");
    EXPECT_EQ(row.classType, ADSTYPE_CASE_IGNORE_STRING);
    EXPECT_EQ(row.dnType, ADSTYPE_DN_STRING);
    EXPECT_EQ(row.timeType, ADSTYPE_UTC_TIME);
    EXPECT_GE(row.changed.wYear, 2020);
}

TEST_F(ServicesDirectory, SearchHandlesBelongToTheirSearchUntilClosed) {
    Ptr<IDirectorySearch> search, other;
    ASSERT_EQ(ADsGetObject(s_ouPath.c_str(), IID_IDirectorySearch, search.putVoid()), S_OK);
    ASSERT_EQ(ADsGetObject(Ldap(BaseDn()).c_str(), IID_IDirectorySearch, other.putVoid()), S_OK);
    LPWSTR names[] = {const_cast<LPWSTR>(u"distinguishedName")};
    ADS_SEARCH_HANDLE handle = nullptr;
    ASSERT_EQ(search->ExecuteSearch(nullptr, names, 1, &handle), S_OK);
    EXPECT_EQ(other->GetNextRow(handle), E_ADS_BAD_PARAMETER);
    EXPECT_EQ(other->CloseSearchHandle(handle), E_ADS_BAD_PARAMETER);
    ASSERT_EQ(search->GetNextRow(handle), S_OK);
    EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
    EXPECT_EQ(search->GetNextRow(handle), E_ADS_BAD_PARAMETER);
    EXPECT_EQ(search->CloseSearchHandle(handle), E_ADS_BAD_PARAMETER);
    ADS_SEARCH_COLUMN column;
    EXPECT_EQ(search->GetColumn(handle, names[0], &column), E_ADS_BAD_PARAMETER);

    // A search left open goes with its object; the connection stays usable for the next one.
    ASSERT_EQ(other->ExecuteSearch(nullptr, names, 1, &handle), S_OK);
    ASSERT_EQ(other->GetNextRow(handle), S_OK);
    other.put();
    ASSERT_EQ(search->ExecuteSearch(nullptr, names, 1, &handle), S_OK);
    EXPECT_EQ(search->GetNextRow(handle), S_OK);
    EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
}

// The next page is asked for while the rows of the last are still being handed out: every
// row comes once whatever the page size, a search closed with a page asked for ahead leaves
// its connection to the next search, and starting again gives the same rows.
TEST_F(ServicesDirectory, PagesAskedForAheadKeepEveryRow) {
    Ptr<IDirectorySearch> search;
    ASSERT_EQ(ADsGetObject(Ldap(BaseDn()).c_str(), IID_IDirectorySearch, search.putVoid()), S_OK);
    LPWSTR names[] = {const_cast<LPWSTR>(u"distinguishedName")};
    auto setPageSize = [&](int size) {
        ADS_SEARCHPREF_INFO prefs[2] = {};
        prefs[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
        prefs[0].vValue.dwType = ADSTYPE_INTEGER;
        prefs[0].vValue.Integer = ADS_SCOPE_SUBTREE;
        prefs[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
        prefs[1].vValue.dwType = ADSTYPE_INTEGER;
        prefs[1].vValue.Integer = size;
        ASSERT_EQ(search->SetSearchPreference(prefs, 2), S_OK);
    };
    const std::u16string filter = u"(objectClass=organizationalUnit)";
    auto rows = [&](ADS_SEARCH_HANDLE handle, size_t most, HRESULT* ended) {
        std::vector<std::u16string> dns;
        HRESULT hr = S_OK;
        while (dns.size() < most && (hr = dns.empty() ? search->GetFirstRow(handle) : search->GetNextRow(handle)) == S_OK) {
            ADS_SEARCH_COLUMN column;
            if (search->GetColumn(handle, names[0], &column) == S_OK) {
                dns.push_back(column.pADsValues[0].DNString);
                search->FreeColumn(&column);
            }
        }
        if (ended) *ended = hr;
        return dns;
    };
    auto all = [&](int pageSize) {
        setPageSize(pageSize);
        ADS_SEARCH_HANDLE handle = nullptr;
        EXPECT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(filter.c_str()), names, 1, &handle), S_OK);
        HRESULT ended = S_OK;
        std::vector<std::u16string> dns = rows(handle, SIZE_MAX, &ended);
        EXPECT_EQ(ended, S_ADS_NOMORE_ROWS);
        EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
        return dns;
    };
    std::vector<std::u16string> whole = all(1000);
    ASSERT_GE(whole.size(), 6u) << "the seeded domain has nested OUs";
    std::vector<std::u16string> paged = all(2);
    EXPECT_EQ(std::multiset<std::u16string>(paged.begin(), paged.end()),
              std::multiset<std::u16string>(whole.begin(), whole.end()));

    setPageSize(2);
    ADS_SEARCH_HANDLE handle = nullptr;
    ASSERT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(filter.c_str()), names, 1, &handle), S_OK);
    std::vector<std::u16string> first = rows(handle, 3, nullptr);
    ASSERT_EQ(first.size(), 3u);
    std::vector<std::u16string> again = rows(handle, SIZE_MAX, nullptr);
    EXPECT_EQ(again, paged);
    EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
    ASSERT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(filter.c_str()), names, 1, &handle), S_OK);
    ASSERT_EQ(rows(handle, 3, nullptr).size(), 3u);
    EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
    EXPECT_EQ(all(3).size(), whole.size());
}

// Rows the search has read ahead of its caller: an abandon drops them, and the
// synchronisation's cookie waits until they are handed out. The pause after the first row
// lets the rest of the answer arrive, so that the next row reads it ahead.
TEST_F(ServicesDirectory, RowsReadAheadFollowTheCaller) {
    Ptr<IDirectorySearch> search;
    ASSERT_EQ(ADsGetObject(Ldap(BaseDn()).c_str(), IID_IDirectorySearch, search.putVoid()), S_OK);
    LPWSTR names[] = {const_cast<LPWSTR>(u"distinguishedName")};
    {
        ADS_SEARCHPREF_INFO prefs[2] = {};
        prefs[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
        prefs[0].vValue.dwType = ADSTYPE_INTEGER;
        prefs[0].vValue.Integer = ADS_SCOPE_SUBTREE;
        prefs[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
        prefs[1].vValue.dwType = ADSTYPE_INTEGER;
        prefs[1].vValue.Integer = 50;
        ASSERT_EQ(search->SetSearchPreference(prefs, 2), S_OK);
        ADS_SEARCH_HANDLE handle = nullptr;
        ASSERT_EQ(search->ExecuteSearch(nullptr, names, 1, &handle), S_OK);
        ASSERT_EQ(search->GetNextRow(handle), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(search->GetNextRow(handle), S_OK);
        EXPECT_EQ(search->AbandonSearch(handle), S_OK);
        EXPECT_EQ(search->GetNextRow(handle), S_ADS_NOMORE_ROWS);
        EXPECT_EQ(search->GetNextRow(handle), S_ADS_NOMORE_ROWS);
        EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
    }
    auto synchronise = [&](bool abandonAfterTwo) {
        ADS_SEARCHPREF_INFO prefs[3] = {};
        prefs[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
        prefs[0].vValue.dwType = ADSTYPE_INTEGER;
        prefs[0].vValue.Integer = ADS_SCOPE_SUBTREE;
        prefs[1].dwSearchPref = ADS_SEARCHPREF_DIRSYNC;
        prefs[1].vValue.dwType = ADSTYPE_PROV_SPECIFIC;
        prefs[2].dwSearchPref = ADS_SEARCHPREF_DIRSYNC_FLAG;
        prefs[2].vValue.dwType = ADSTYPE_INTEGER;
        prefs[2].vValue.Integer = LDAP_DIRSYNC_OBJECT_SECURITY;
        ASSERT_EQ(search->SetSearchPreference(prefs, 3), S_OK);
        ADS_SEARCH_HANDLE handle = nullptr;
        ASSERT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(u"(objectClass=*)"), names, 1, &handle),
                  S_OK);
        auto cookieGiven = [&] {
            ADS_SEARCH_COLUMN column{};
            if (search->GetColumn(handle, const_cast<LPWSTR>(ADS_DIRSYNC_COOKIE), &column) != S_OK) return false;
            search->FreeColumn(&column);
            return true;
        };
        size_t rows = 0;
        std::optional<size_t> firstGivenAt;
        HRESULT hr = S_OK;
        while ((hr = search->GetNextRow(handle)) == S_OK) {
            if (cookieGiven() && !firstGivenAt) firstGivenAt = rows;
            ++rows;
            if (rows == 1) std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (abandonAfterTwo && rows == 2) {
                EXPECT_EQ(search->AbandonSearch(handle), S_OK);
                EXPECT_FALSE(cookieGiven()) << "the rows read ahead were dropped";
            }
        }
        EXPECT_EQ(hr, S_ADS_NOMORE_ROWS);
        if (abandonAfterTwo) {
            EXPECT_EQ(rows, 2u);
            EXPECT_FALSE(cookieGiven());
        } else {
            ASSERT_GE(rows, 3u);
            // Given with the last row in hand at the soonest, and once the rows are through.
            if (firstGivenAt) {
                EXPECT_GE(*firstGivenAt, rows - 1);
            }
            EXPECT_TRUE(cookieGiven());
        }
        EXPECT_EQ(search->CloseSearchHandle(handle), S_OK);
    };
    synchronise(false);
    synchronise(true);
}

TEST_F(ServicesDirectory, WellKnownObjectsComeAsDnWithBinary) {
    Ptr<IDirectorySearch> search;
    ASSERT_EQ(ADsGetObject(Ldap(BaseDn()).c_str(), IID_IDirectorySearch, search.putVoid()), S_OK);
    ADS_SEARCHPREF_INFO scope{};
    scope.dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    scope.vValue.dwType = ADSTYPE_INTEGER;
    scope.vValue.Integer = ADS_SCOPE_BASE;
    ASSERT_EQ(search->SetSearchPreference(&scope, 1), S_OK);
    LPWSTR names[] = {const_cast<LPWSTR>(u"wellKnownObjects")};
    ADS_SEARCH_HANDLE handle = nullptr;
    ASSERT_EQ(search->ExecuteSearch(nullptr, names, 1, &handle), S_OK);
    ASSERT_EQ(search->GetNextRow(handle), S_OK);
    ADS_SEARCH_COLUMN column;
    ASSERT_EQ(search->GetColumn(handle, names[0], &column), S_OK);
    EXPECT_EQ(column.dwADsType, ADSTYPE_DN_WITH_BINARY);
    bool deletedObjects = false;
    for (DWORD i = 0; i < column.dwNumValues; ++i) {
        ASSERT_EQ(column.pADsValues[i].dwType, ADSTYPE_DN_WITH_BINARY);
        const ADS_DN_WITH_BINARY& value = *column.pADsValues[i].pDNWithBinary;
        ASSERT_EQ(value.dwLength, 16u);
        // The Deleted Objects container's well-known GUID, 18e2ea80..., in its bytes.
        if (value.lpBinaryValue[0] == 0x18 && value.lpBinaryValue[1] == 0xE2)
            deletedObjects = std::u16string(value.pszDNString).find(u"CN=Deleted Objects") != std::u16string::npos;
    }
    EXPECT_TRUE(deletedObjects);
    search->FreeColumn(&column);
    search->CloseSearchHandle(handle);
}

TEST_F(ServicesDirectory, ReanimationThroughTheLdapApi) {
    std::u16string path;
    const std::u16string rdn = u"CN=Reanimate, Me (" + s_tag + u")";
    const std::u16string escapedRdn = u"CN=" + lumivel::ldap::EscapeDnValue(rdn.substr(3));
    ASSERT_EQ(CreateChild(s_ouPath, u"contact", escapedRdn, &path), S_OK);
    const std::u16string parentDn = s_ouPath.substr(7);
    DeleteTree(path);

    std::vector<Row> rows;
    ASSERT_EQ(SearchTombstones(u"cn=" + lumivel::ldap::EscapeFilterValue(rdn.substr(3)) + u"*", 1000, &rows), S_OK);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].parent, parentDn);

    LDAP* session = ldap_init(nullptr, LDAP_PORT);
    ASSERT_NE(session, nullptr);
    int version = LDAP_VERSION3;
    ASSERT_EQ(ldap_set_option(session, LDAP_OPT_PROTOCOL_VERSION, &version), LDAP_SUCCESS);
    ASSERT_EQ(ldap_connect(session, nullptr), LDAP_SUCCESS);
    ASSERT_EQ(ldap_bind_s(session, nullptr, nullptr, LDAP_AUTH_NEGOTIATE), LDAP_SUCCESS);
    const std::u16string tombstone = rows[0].dn;
    const std::u16string newDn = tombstone.substr(0, tombstone.find(u"\\0A")) + u"," + parentDn;
    WCHAR isDeleted[] = u"isDeleted";
    WCHAR distinguishedName[] = u"distinguishedName";
    std::u16string newDnCopy = newDn;
    PWSTR values[] = {newDnCopy.data(), nullptr};
    LDAPModW deleteMod{LDAP_MOD_DELETE, isDeleted, {nullptr}};
    LDAPModW replaceMod{LDAP_MOD_REPLACE, distinguishedName, {values}};
    LDAPModW* mods[] = {&deleteMod, &replaceMod, nullptr};
    LDAPControlW control{const_cast<PWSTR>(LDAP_SERVER_SHOW_DELETED_OID_W), {0, nullptr}, TRUE};
    PLDAPControlW controls[] = {&control, nullptr};
    EXPECT_EQ(std::u16string(ldap_err2string(LDAP_NO_SUCH_OBJECT)), u"No Such Object");
    ASSERT_EQ(ldap_modify_ext_s(session, tombstone.c_str(), mods, controls, nullptr), LDAP_SUCCESS);
    // The tombstone is gone now: the same modify finds nothing to restore.
    EXPECT_NE(ldap_modify_ext_s(session, tombstone.c_str(), mods, controls, nullptr), LDAP_SUCCESS);
    EXPECT_EQ(ldap_unbind(session), LDAP_SUCCESS);

    IADs* restored = nullptr;
    EXPECT_EQ(ADsGetObject(Ldap(newDn).c_str(), IID_IADs, reinterpret_cast<void**>(&restored)), S_OK);
    if (restored) restored->Release();
    // The global catalog knows the restored name, so a second restore would have to rename.
    EXPECT_EQ(ADsGetObject((u"GC://" + newDn).c_str(), IID_IADs, reinterpret_cast<void**>(&restored)), S_OK);
    if (restored) restored->Release();
}

TEST_F(ServicesDirectory, UnreachableServerInTheLdapApi) {
    LDAP* session = ldap_init(u"127.0.0.9", LDAP_PORT);
    ASSERT_NE(session, nullptr);
    l_timeval timeout{3, 0};
    EXPECT_EQ(ldap_connect(session, &timeout), LDAP_SERVER_DOWN);
    EXPECT_EQ(ldap_unbind(session), LDAP_SUCCESS);
    EXPECT_EQ(ldap_init(u"bad host\"name", LDAP_PORT), nullptr);

    // A domain name finds its controllers, but the port stays the caller's: nothing listens on
    // port 9 of the DC.
    session = ldap_init(DomainName().c_str(), 9);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(ldap_connect(session, &timeout), LDAP_SERVER_DOWN);
    EXPECT_EQ(ldap_unbind(session), LDAP_SUCCESS);
    session = ldap_init(DomainName().c_str(), LDAP_PORT);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(ldap_connect(session, &timeout), LDAP_SUCCESS);
    EXPECT_EQ(ldap_unbind(session), LDAP_SUCCESS);
}

TEST_F(ServicesDirectory, DomainControllersWithTheirSite) {
    HANDLE ds = nullptr;
    ASSERT_EQ(DsBindW(nullptr, DomainName().c_str(), &ds), NO_ERROR);
    DWORD count = 0;
    void* info = nullptr;
    ASSERT_EQ(DsGetDomainControllerInfoW(ds, DomainName().c_str(), 1, &count, &info), NO_ERROR);
    ASSERT_GE(count, 1u);
    auto* dcs = static_cast<DS_DOMAIN_CONTROLLER_INFO_1W*>(info);
    std::u16string host(dcs[0].DnsHostName);
    for (auto& c : host) c = static_cast<char16_t>(std::tolower(c));
    EXPECT_EQ(host, DcName());
    EXPECT_EQ(std::u16string(dcs[0].SiteName), u"Default-First-Site-Name");
    EXPECT_TRUE(dcs[0].fIsPdc);
    EXPECT_TRUE(dcs[0].fDsEnabled);
    EXPECT_NE(std::u16string(dcs[0].ServerObjectName).find(u"CN=Servers,"), std::u16string::npos);
    DsFreeDomainControllerInfoW(1, count, info);
    EXPECT_EQ(DsGetDomainControllerInfoW(ds, u"no-such-domain.test", 1, &count, &info),
              static_cast<DWORD>(ERROR_NO_SUCH_DOMAIN));
    EXPECT_EQ(DsGetDomainControllerInfoW(ds, DomainName().c_str(), 2, &count, &info),
              static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(DsUnBindW(&ds), NO_ERROR);
    EXPECT_EQ(ds, nullptr);
    EXPECT_EQ(DsBindW(nullptr, u"no-such-domain.test", &ds), static_cast<DWORD>(ERROR_NO_SUCH_DOMAIN));

    Ptr<IDsBrowseDomainTree> browser;
    ASSERT_EQ(CreateClass(CLSID_DsDomainTreeBrowser, IID_IDsBrowseDomainTree, browser.put()), S_OK);
    PDOMAIN_TREE tree = nullptr;
    ASSERT_EQ(browser->GetDomains(&tree, DBDTF_RETURNFQDN), S_OK);
    ASSERT_EQ(tree->dwCount, 1u);
    EXPECT_EQ(std::u16string(tree->aDomains[0].pszName), DomainName());
    EXPECT_EQ(std::u16string(tree->aDomains[0].pszNCName), BaseDn());
    EXPECT_EQ(browser->FreeDomains(&tree), S_OK);
}

TEST_F(ServicesDirectory, DisplaySpecifiers) {
    Ptr<IDsDisplaySpecifier> specifier;
    ASSERT_EQ(CreateClass(CLSID_DsDisplaySpecifier, IID_IDsDisplaySpecifier, specifier.put()), S_OK);
    WCHAR buffer[260];
    ASSERT_EQ(specifier->GetFriendlyClassName(u"organizationalUnit", buffer, 260), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"Organizational Unit");
    ASSERT_EQ(specifier->GetFriendlyAttributeName(u"user", u"sn", buffer, 260), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"Last Name");
    EXPECT_TRUE(FAILED(specifier->GetFriendlyClassName(u"noSuchClass", buffer, 260)));
    EXPECT_EQ(std::u16string(buffer), u"noSuchClass");

    INT id = 0;
    ASSERT_EQ(specifier->GetIconLocation(u"user", DSGIF_ISNORMAL, buffer, 260, &id), S_OK);
    EXPECT_NE(id, 0);
    EXPECT_NE(std::u16string(buffer), u"");
    ASSERT_EQ(specifier->GetIconLocation(u"user", DSGIF_ISDISABLED, buffer, 260, &id), S_OK);
    EXPECT_EQ(id, -4129);
    // The module named holds the icon, as the image-list cache loads it.
    HMODULE module = LoadLibraryExW(buffer, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr) << ToUtf8(buffer);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(4129), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(4135), RT_GROUP_ICON), nullptr);
    FreeLibrary(module);
    ASSERT_EQ(specifier->GetIconLocation(u"noSuchClass", 0, buffer, 260, &id), S_OK);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(std::u16string(buffer), u"");
    ASSERT_EQ(specifier->GetIconLocation(u"noSuchClass", DSGIF_GETDEFAULTICON | DSGIF_DEFAULTISCONTAINER, buffer,
                                         260, &id),
              S_OK);
    EXPECT_EQ(id, -4097);
    EXPECT_EQ(specifier->GetAttributeADsType(u"whenChanged"), ADSTYPE_UTC_TIME);

    // The icon itself, owned by the caller, from wherever its location points.
    HICON icon = specifier->GetIcon(u"user", DSGIF_ISDISABLED, 16, 16);
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(specifier->GetIcon(u"noSuchClass", DSGIF_ISNORMAL, 32, 32), nullptr);
    icon = specifier->GetIcon(u"noSuchClass", DSGIF_GETDEFAULTICON, 32, 32);
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(DestroyIcon(icon));
}

// The syntaxes ADSI takes from the subschema's attribute types are those the attributeSchema
// objects give, for every attribute of the schema.
TEST_F(ServicesDirectory, AttributeTypesAgreeWithTheSchemaObjects) {
    Ptr<IADs> rootDse;
    ASSERT_EQ(ADsGetObject(u"LDAP://RootDSE", IID_IADs, rootDse.putVoid()), S_OK);
    Variant schemaDn;
    ASSERT_EQ(rootDse->Get(Bstr(u"schemaNamingContext").get(), schemaDn.put()), S_OK);
    Ptr<IDirectorySearch> search;
    ASSERT_EQ(ADsGetObject(Ldap(schemaDn->bstrVal).c_str(), IID_IDirectorySearch, search.putVoid()), S_OK);
    ADS_SEARCHPREF_INFO prefs[2] = {};
    prefs[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
    prefs[0].vValue.dwType = ADSTYPE_INTEGER;
    prefs[0].vValue.Integer = ADS_SCOPE_ONELEVEL;
    prefs[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
    prefs[1].vValue.dwType = ADSTYPE_INTEGER;
    prefs[1].vValue.Integer = 1000;
    ASSERT_EQ(search->SetSearchPreference(prefs, 2), S_OK);
    LPWSTR attributes[] = {const_cast<LPWSTR>(u"lDAPDisplayName"), const_cast<LPWSTR>(u"attributeSyntax"),
                           const_cast<LPWSTR>(u"oMSyntax")};
    ADS_SEARCH_HANDLE handle = nullptr;
    ASSERT_EQ(search->ExecuteSearch(const_cast<LPWSTR>(u"(objectClass=attributeSchema)"), attributes, 3, &handle), S_OK);
    Ptr<IDsDisplaySpecifier> specifier;
    ASSERT_EQ(CreateClass(CLSID_DsDisplaySpecifier, IID_IDsDisplaySpecifier, specifier.put()), S_OK);
    size_t checked = 0;
    while (search->GetNextRow(handle) == S_OK) {
        std::u16string name, syntax;
        int om = 0;
        ADS_SEARCH_COLUMN column;
        if (search->GetColumn(handle, attributes[0], &column) == S_OK) {
            name = column.pADsValues[0].CaseIgnoreString;
            search->FreeColumn(&column);
        }
        if (search->GetColumn(handle, attributes[1], &column) == S_OK) {
            syntax = column.pADsValues[0].CaseIgnoreString;
            search->FreeColumn(&column);
        }
        if (search->GetColumn(handle, attributes[2], &column) == S_OK) {
            om = static_cast<int>(column.pADsValues[0].Integer);
            search->FreeColumn(&column);
        }
        // The directory publishes userParameters as an octet string, and ADSI goes by the
        // published syntax.
        if (name == u"userParameters") {
            EXPECT_EQ(specifier->GetAttributeADsType(name.c_str()), ADSTYPE_OCTET_STRING);
            continue;
        }
        const ADSTYPE expected = lumivel::directory::AdsTypeOf(lumivel::directory::SyntaxFromSchema(ToUtf8(syntax), om));
        EXPECT_EQ(specifier->GetAttributeADsType(name.c_str()), expected) << ToUtf8(name) << " " << ToUtf8(syntax);
        ++checked;
    }
    search->CloseSearchHandle(handle);
    EXPECT_GT(checked, 1000u);
}

TEST_F(ServicesDirectory, CreatabilityInAContainer) {
    Ptr<IDsAdminCreateObj> create;
    ASSERT_EQ(CreateClass(CLSID_DsAdminCreateObj, IID_IDsAdminCreateObj, create.put()), S_OK);
    Ptr<IADsContainer> ou;
    ASSERT_EQ(ADsGetObject(s_ouPath.c_str(), IID_IADsContainer, ou.putVoid()), S_OK);
    EXPECT_EQ(create->Initialize(ou.get(), nullptr, u"user"), S_OK);
    EXPECT_EQ(create->Initialize(ou.get(), nullptr, u"organizationalUnit"), S_OK);
    EXPECT_TRUE(FAILED(create->Initialize(ou.get(), nullptr, u"domainDNS")));
    EXPECT_EQ(create->Initialize(nullptr, nullptr, u"user"), E_INVALIDARG);
    // The answer belongs to the container asked about: a contact holds no users.
    std::u16string contactPath;
    ASSERT_EQ(CreateChild(s_ouPath, u"contact", u"CN=holds-nothing", &contactPath), S_OK);
    Ptr<IADsContainer> contact;
    ASSERT_EQ(ADsGetObject(contactPath.c_str(), IID_IADsContainer, contact.putVoid()), S_OK);
    EXPECT_TRUE(FAILED(create->Initialize(contact.get(), nullptr, u"user")));
    EXPECT_EQ(create->Initialize(ou.get(), nullptr, u"user"), S_OK);
}

}  // namespace
