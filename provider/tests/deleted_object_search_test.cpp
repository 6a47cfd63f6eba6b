// The tombstone search against a scripted search interface: the options, filter and attributes
// it asks for, and how rows of each shape become deleted-object records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/unique_bstr.h"
#include "provider/deleted_objects.h"
#include "provider/restore/tombstone_lifetime.h"
#include "shared/provider_interfaces.h"
#include "provider/tests/scripted_search.h"
#include "shared/text_helpers.h"

namespace {

using namespace revivo_test;
using revivo::SearchDeletedObjects;

class TombstoneSearchTest : public ::testing::Test {
protected:
    ~TombstoneSearchTest() override {
        for (PropertySet* record : m_records) record->release();
    }
    HRESULT search(const char16_t* filter, ISchemaCache* schemaCache = nullptr) {
        lumivel::UniqueBstr text(filter);
        return SearchDeletedObjects(&m_search, text.get(), u"dc1.lumivel.test", schemaCache, &m_records);
    }
    ScriptedSearch m_search;
    std::vector<PropertySet*> m_records;
};

TEST_F(TombstoneSearchTest, AsksForOneLevelWithDeletedObjectsInPagesOfAThousand) {
    ASSERT_EQ(search(nullptr), S_OK);
    EXPECT_EQ(m_search.preferenceCalls, 1);
    ASSERT_EQ(m_search.preferences.size(), 3u);
    EXPECT_EQ(m_search.preferences[0].dwSearchPref, ADS_SEARCHPREF_SEARCH_SCOPE);
    EXPECT_EQ(m_search.preferences[0].vValue.Integer, static_cast<DWORD>(ADS_SCOPE_ONELEVEL));
    EXPECT_EQ(m_search.preferences[1].dwSearchPref, ADS_SEARCHPREF_TOMBSTONE);
    EXPECT_EQ(m_search.preferences[1].vValue.dwType, ADSTYPE_BOOLEAN);
    EXPECT_EQ(m_search.preferences[1].vValue.Boolean, static_cast<DWORD>(TRUE));
    EXPECT_EQ(m_search.preferences[2].dwSearchPref, ADS_SEARCHPREF_PAGESIZE);
    EXPECT_EQ(m_search.preferences[2].vValue.Integer, 1000u);
    EXPECT_EQ(m_search.attributes, (std::vector<std::u16string>{u"cn", u"ou", u"distinguishedName",
                                                                u"lastKnownParent", u"objectClass", u"whenChanged"}));
    EXPECT_FALSE(m_search.filter.has_value()) << "no filter: the directory's default";
    EXPECT_TRUE(m_search.closed);
    EXPECT_TRUE(m_records.empty());
}

TEST_F(TombstoneSearchTest, FilterPrefixIsCompletedWithAnAsterisk) {
    struct Row {
        const char16_t* given;
        std::optional<std::u16string> sent;
    } rows[] = {
        {u"", std::nullopt},
        {u"CN=Ann", u"(CN=Ann*)"},
        {u"OU=Pat \\28Ops\\29 \\2alead\\2a\nDEL:1", u"(OU=Pat \\28Ops\\29 \\2alead\\2a\nDEL:1*)"},
    };
    for (const Row& row : rows) {
        m_search = ScriptedSearch();
        ASSERT_EQ(search(row.given), S_OK);
        EXPECT_EQ(m_search.filter, row.sent) << lumivel::shared::NarrowText(row.given);
    }
}

// Refused options, a search that cannot start and one that breaks off part-way all fail with
// their HRESULT and list nothing: never a partial list that passes for the whole.
TEST_F(TombstoneSearchTest, SearchesThatFailAnywhereFailWhole) {
    m_search.preferenceResult = E_ADS_BAD_PARAMETER;
    m_search.rows.push_back({{u"cn", {ignoreCase(u"Ann\nDEL:1")}}});
    EXPECT_EQ(search(nullptr), E_ADS_BAD_PARAMETER);
    EXPECT_FALSE(m_search.executed);
    EXPECT_TRUE(m_records.empty());

    m_search.preferenceResult = S_OK;
    m_search.executeResult = HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN);
    EXPECT_EQ(search(nullptr), HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN));
    EXPECT_TRUE(m_records.empty());

    // Records the caller had before the call stay; those of the broken search are released.
    PropertySet* earlier = PropertySet::create();
    m_records.push_back(earlier);
    // The server's limits cutting the answer short at a page's end fail the search as well.
    for (const HRESULT broken : {HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN), HRESULT_FROM_WIN32(ERROR_DS_TIMELIMIT_EXCEEDED),
                                 HRESULT_FROM_WIN32(ERROR_DS_SIZELIMIT_EXCEEDED),
                                 HRESULT_FROM_WIN32(ERROR_DS_ADMIN_LIMIT_EXCEEDED)}) {
        m_search = ScriptedSearch();
        for (int i = 0; i < 5; ++i) m_search.rows.push_back({{u"cn", {ignoreCase(u"Row\nDEL:" + std::u16string(1, u'a' + i))}}});
        m_search.breakAfter = 3;
        m_search.rowResult = broken;
        EXPECT_EQ(search(nullptr), broken);
        EXPECT_EQ(m_records, std::vector<PropertySet*>{earlier});
        EXPECT_TRUE(m_search.closed);
        EXPECT_EQ(m_search.openColumns, 0);
    }
}

// Sets TZ for the scope; the platform reads it on every time-zone lookup.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        setenv("TZ", zone, 1);
    }
    ~ZoneScope() {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
    }

private:
    std::optional<std::string> m_old;
};

TEST_F(TombstoneSearchTest, RowsBecomeRecordsByTheirAttributesSyntax) {
    const std::vector<Value> userClasses = {ignoreCase(u"top"), ignoreCase(u"person"),
                                            ignoreCase(u"organizationalPerson"), ignoreCase(u"user")};
    m_search.rows = {
        // A plain user: every key from its attributes.
        {{u"cn", {ignoreCase(u"Ann\nDEL:1")}},
         {u"distinguishedName", {dn(u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x")}},
         {u"lastKnownParent", {dn(u"OU=Sales,DC=x")}},
         {u"objectClass", userClasses},
         {u"whenChanged", {utc(2004, 3, 7, 14, 5)}}},
        // cn and ou: the ou, read later, names it; no lastKnownParent leaves its keys unset.
        {{u"cn", {ignoreCase(u"common")}}, {u"ou", {ignoreCase(u"Unit\nDEL:2")}},
         {u"objectClass", {ignoreCase(u"top"), ignoreCase(u"organizationalUnit")}}},
        // Neither cn nor ou: not listed.
        {{u"distinguishedName", {dn(u"L=Town\\0ADEL:3,CN=Deleted Objects,DC=x")}},
         {u"objectClass", {ignoreCase(u"locality")}}},
        // A case-exact name is of no listed syntax, so the row has no name.
        {{u"cn", {text(ADSTYPE_CASE_EXACT_STRING, u"Exact\nDEL:4")}}},
        // Printable and numeric strings count as text; the last of several values wins.
        {{u"cn", {text(ADSTYPE_PRINTABLE_STRING, u"first"), text(ADSTYPE_NUMERIC_STRING, u"4711\nDEL:5")}},
         {u"whenChanged", {utc(2026, 12, 31, 23, 30)}}},
    };
    ZoneScope utcZone("UTC");
    ASSERT_EQ(search(nullptr), S_OK);
    EXPECT_EQ(m_search.openColumns, 0) << "every column read is freed";
    ASSERT_EQ(m_records.size(), 3u);

    PropertySet* ann = m_records[0];
    EXPECT_EQ(ann->getText(u"name"), u"Ann\nDEL:1");
    EXPECT_EQ(ann->getText(u"distinguishedName"), u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x");
    EXPECT_EQ(ann->getText(u"path"), ann->getText(u"distinguishedName"));
    EXPECT_EQ(ann->getText(u"lastKnownParent"), u"OU=Sales,DC=x");
    EXPECT_EQ(ann->getText(u"Parent"), u"OU=Sales,DC=x");
    EXPECT_EQ(ann->getText(u"class"), u"user");
    EXPECT_EQ(ann->getText(u"dateDeleted"), u"03/07/2004 - 14:05");
    EXPECT_FALSE(ann->has(u"FriendlyClassName")) << "no schema cache, no friendly name";

    PropertySet* unit = m_records[1];
    EXPECT_EQ(unit->getText(u"name"), u"Unit\nDEL:2");
    EXPECT_EQ(unit->getText(u"class"), u"organizationalUnit");
    EXPECT_FALSE(unit->has(u"lastKnownParent"));
    EXPECT_FALSE(unit->has(u"Parent"));
    EXPECT_FALSE(unit->has(u"dateDeleted"));

    EXPECT_EQ(m_records[2]->getText(u"name"), u"4711\nDEL:5");
    EXPECT_EQ(m_records[2]->getText(u"dateDeleted"), u"12/31/2026 - 23:30");

    for (PropertySet* record : m_records) {
        EXPECT_EQ(record->IsNode, 0);
        EXPECT_EQ(record->getRaw(u"NoDelete"), 1);
        EXPECT_EQ(record->getRaw(u"NoProperties"), 1);
        EXPECT_EQ(record->getText(u"FocusedDC"), u"dc1.lumivel.test");
        EXPECT_FALSE(record->has(u"NamingContext"));
        EXPECT_FALSE(record->has(u"RegEntry"));
    }
}

TEST_F(TombstoneSearchTest, LocalDateMayFallOnTheNextDayAndYear) {
    m_search.rows = {{{u"cn", {ignoreCase(u"Late\nDEL:1")}}, {u"whenChanged", {utc(2026, 12, 31, 23, 30)}}},
                     {{u"cn", {ignoreCase(u"Early\nDEL:2")}}, {u"whenChanged", {utc(2004, 3, 7, 14, 5)}}}};
    ZoneScope lineIslands("Pacific/Kiritimati");  // UTC+14 all year
    ASSERT_EQ(search(nullptr), S_OK);
    ASSERT_EQ(m_records.size(), 2u);
    EXPECT_EQ(m_records[0]->getText(u"dateDeleted"), u"01/01/2027 - 13:30");
    EXPECT_EQ(m_records[1]->getText(u"dateDeleted"), u"03/08/2004 - 04:05");
}

// Friendly names for the listed classes; every other method is of no concern here.
class FriendlyNames final : public ISchemaCache {
public:
    FriendlyNames() : m_user(SysAllocString(u"User")) {}
    ~FriendlyNames() { SysFreeString(m_user); }
    std::vector<std::u16string> asked;

    STDMETHODIMP LookupFriendlyClassName(BSTR className, BSTR* friendly) override {
        asked.emplace_back(lumivel::shared::ViewOf(className));
        // The string stays the cache's own.
        *friendly = lumivel::EqualsNoCase(lumivel::shared::ViewOf(className), u"user") ? m_user : nullptr;
        return *friendly ? S_OK : S_FALSE;
    }

    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP LookupObjectGuid(BSTR, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP LookupGuidObject(BSTR, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetLargeImageList(LONG_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSmallImageList(LONG_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetIconIndex(BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP AddIconToImageList(BSTR, LONG_PTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP IsClassContainer(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP InitializeActiveDirectoryIcons(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetSchemaContainers(LONG, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetImageListForNodeType(BSTR, LONG, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP IsClass(BSTR, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP LookupFriendlyNames(BSTR, BSTR, BSTR*, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetPossibleChildren(BSTR, BSTR, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP IsInitialized() override { return S_OK; }

private:
    BSTR m_user;
};

TEST_F(TombstoneSearchTest, FriendlyClassNameFallsBackToTheClass) {
    m_search.rows = {{{u"cn", {ignoreCase(u"Ann\nDEL:1")}}, {u"objectClass", {ignoreCase(u"top"), ignoreCase(u"user")}}},
                     {{u"cn", {ignoreCase(u"Box\nDEL:2")}}, {u"objectClass", {ignoreCase(u"container")}}}};
    FriendlyNames names;
    ASSERT_EQ(search(nullptr, &names), S_OK);
    ASSERT_EQ(m_records.size(), 2u);
    EXPECT_EQ(names.asked, (std::vector<std::u16string>{u"user", u"container"}));
    EXPECT_EQ(m_records[0]->getText(u"FriendlyClassName"), u"User");
    EXPECT_EQ(m_records[1]->getText(u"FriendlyClassName"), u"container");
}

}  // namespace
namespace {

TEST_F(TombstoneSearchTest, PurgeTimeIsTheDeletionPlusTheLifetimeAcrossMonthYearAndLeapDay) {
    m_search.rows = {{{u"cn", {ignoreCase(u"Leap\nDEL:1")}}, {u"whenChanged", {utc(2024, 2, 28, 23, 30)}}},
                     {{u"cn", {ignoreCase(u"Year\nDEL:2")}}, {u"whenChanged", {utc(2026, 12, 31, 8, 0)}}},
                     {{u"cn", {ignoreCase(u"NoTime\nDEL:3")}}}};
    lumivel::UniqueBstr none(nullptr);
    ASSERT_EQ(SearchDeletedObjects(&m_search, none.get(), u"dc1", nullptr, &m_records, 2), S_OK);
    ASSERT_EQ(m_records.size(), 3u);
    EXPECT_EQ(m_records[0]->getText(kExpiresUtcKey), u"2024-03-01T23:30:00Z");
    EXPECT_EQ(m_records[1]->getText(kExpiresUtcKey), u"2027-01-02T08:00:00Z");
    EXPECT_FALSE(m_records[1]->getText(kExpiresKey).empty());
    // Without a deletion time there is nothing to add the lifetime to.
    EXPECT_FALSE(m_records[2]->has(kExpiresUtcKey));
    EXPECT_FALSE(m_records[2]->has(kExpiresKey));
}

TEST_F(TombstoneSearchTest, WithoutALifetimeNoPurgeTimeIsClaimed) {
    m_search.rows = {{{u"cn", {ignoreCase(u"A\nDEL:1")}}, {u"whenChanged", {utc(2024, 2, 28, 23, 30)}}}};
    ASSERT_EQ(search(nullptr), S_OK);
    ASSERT_EQ(m_records.size(), 1u);
    EXPECT_FALSE(m_records[0]->has(kExpiresUtcKey));
}

TEST(TombstoneLifetimeTest, DeletedObjectLifetimeWinsThenTombstoneLifetimeThenTheDefault) {
    using revivo::EffectiveLifetimeDays;
    EXPECT_EQ(EffectiveLifetimeDays(std::nullopt, std::nullopt), revivo::kDefaultTombstoneLifetimeDays);
    EXPECT_EQ(EffectiveLifetimeDays(60, std::nullopt), 60);
    EXPECT_EQ(EffectiveLifetimeDays(60, 30), 30);
    EXPECT_EQ(EffectiveLifetimeDays(std::nullopt, 30), 30);
    // Zero or a negative number is no setting at all.
    EXPECT_EQ(EffectiveLifetimeDays(0, 0), revivo::kDefaultTombstoneLifetimeDays);
    EXPECT_EQ(EffectiveLifetimeDays(90, -1), 90);
    SYSTEMTIME later{};
    SYSTEMTIME start{};
    start.wYear = 2026;
    start.wMonth = 12;
    start.wDay = 8;
    EXPECT_FALSE(revivo::AddDays(start, -1, &later));
    ASSERT_TRUE(revivo::AddDays(start, 180, &later));
    EXPECT_EQ(later.wYear, 2027);
    EXPECT_EQ(later.wMonth, 6);
    EXPECT_EQ(later.wDay, 6);
}

}  // namespace

TEST(TombstoneLifetimeTest, EachServerIsAskedOnceAndAFailedReadAgain) {
    std::map<std::u16string, int> asked;
    bool reachable = false;
    revivo::TombstoneLifetimes lifetimes([&](std::u16string_view server) -> std::optional<LONG> {
        ++asked[std::u16string(server)];
        if (server == u"dc2.example.test" && !reachable) return std::nullopt;
        return server == u"dc1.example.test" ? 60 : 30;
    });
    for (int listing = 0; listing < 3; ++listing) {
        EXPECT_EQ(lifetimes.days(u"dc1.example.test"), 60);
        EXPECT_EQ(lifetimes.days(u"DC1.Example.Test"), 60);
    }
    EXPECT_EQ(asked[u"dc1.example.test"], 1);
    // Unreachable: the default now, and the server's own value once it answers.
    EXPECT_EQ(lifetimes.days(u"dc2.example.test"), revivo::kDefaultTombstoneLifetimeDays);
    reachable = true;
    EXPECT_EQ(lifetimes.days(u"dc2.example.test"), 30);
    EXPECT_EQ(lifetimes.days(u"dc2.example.test"), 30);
    EXPECT_EQ(asked[u"dc2.example.test"], 2);
}
