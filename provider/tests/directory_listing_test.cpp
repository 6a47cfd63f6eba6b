// Listing tombstones and opening the Deleted Objects container, against the test directory.
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <set>
#include <thread>

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "provider/deleted_objects.h"
#include "provider/revivo.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "win/adsi.h"
#include "win/dsapi.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using revivo::Revivo;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

class ListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        m_provider = static_cast<Revivo*>(m_revivo.get());
    }
    void TearDown() override {
        m_revivo.reset();
        CoUninitialize();
    }
    std::vector<PropertySet*> list(LONG_PTR node, const char16_t* filter, HRESULT* result = nullptr) {
        VARIANT objects;
        VariantInit(&objects);
        lumivel::UniqueBstr text(filter);
        HRESULT status = m_revivo->EnumDeletedObjects(node, text.get(), &objects);
        if (result) *result = status;
        EXPECT_TRUE(SUCCEEDED(status) || objects.vt == VT_EMPTY);
        if (objects.vt != VT_EMPTY) {
            EXPECT_EQ(objects.vt, VT_ARRAY | VT_VARIANT);
        }
        std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
        VariantClear(&objects);
        m_owned.insert(m_owned.end(), records.begin(), records.end());
        return records;
    }
    ~ListingTest() override {
        for (PropertySet* record : m_owned) record->release();
    }
    ComPtr<IRevivo> m_revivo;
    Revivo* m_provider = nullptr;
    std::vector<PropertySet*> m_owned;
};

std::string readableName(std::u16string_view name) {
    size_t lineFeed = name.find(u'\n');
    return NarrowText(lineFeed == std::u16string_view::npos ? name : name.substr(0, lineFeed));
}

// Every deleted object of the seed is listed with its name, parent and class.
TEST_F(ListingTest, EverySeededTombstoneIsListedWithItsKeys) {
    REQUIRE_TEST_DIRECTORY();
    std::vector<PropertySet*> records = list(0, nullptr);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), records.size());
    std::multimap<std::string, PropertySet*> byName;
    for (PropertySet* record : records) {
        ASSERT_NE(record, nullptr);
        std::u16string_view name = record->getText(u"name");
        ASSERT_FALSE(name.empty());
        EXPECT_NE(name.find(u"\nDEL:"), std::u16string_view::npos) << NarrowText(name);
        EXPECT_EQ(record->getRaw(u"NoDelete"), 1);
        EXPECT_EQ(record->getRaw(u"NoProperties"), 1);
        EXPECT_EQ(record->IsNode, 0);
        EXPECT_EQ(record->getText(u"path"), record->getText(u"distinguishedName"));
        EXPECT_EQ(record->getText(u"Parent"), record->getText(u"lastKnownParent"));
        EXPECT_NE(record->getText(u"distinguishedName").find(u"\\0ADEL:"), std::u16string_view::npos);
        EXPECT_TRUE(record->has(u"FocusedDC"));
        EXPECT_FALSE(record->has(u"NamingContext"));
        EXPECT_FALSE(record->has(u"RegEntry"));
        // Without the schema cache the friendly name is not set at all.
        if (!m_provider->schemaCache()) {
            EXPECT_FALSE(record->has(u"FriendlyClassName"));
        }
        byName.emplace(readableName(name), record);
    }
    const std::string baseDn = lumivel::testing::TestDirectory().baseDn;
    size_t checked = 0;
    for (const lumivel::testing::Fact& fact : lumivel::testing::SeedFacts()) {
        if (fact.get("deleted") != "1" && fact.get("deleted") != "yes") continue;
        std::string name = fact.get("name");
        auto range = byName.equal_range(name);
        ASSERT_NE(range.first, range.second) << "tombstone of " << name << " not listed";
        bool matched = false;
        for (auto it = range.first; it != range.second; ++it) {
            PropertySet* record = it->second;
            if (NarrowText(record->getText(u"class")) != fact.get("class")) continue;
            matched = true;
            if (fact.get("parent_deleted") == "0" || fact.get("parent_deleted") == "no") {
                std::string parent = fact.get("parent");
                std::string expected = parent.empty() || parent == "-" ? baseDn : parent + "," + baseDn;
                EXPECT_TRUE(lumivel::EqualsNoCase(record->getText(u"lastKnownParent"), WidenText(expected)))
                    << name << ": " << NarrowText(record->getText(u"lastKnownParent"));
            } else {
                EXPECT_TRUE(DsIsMangledDnW(std::u16string(record->getText(u"lastKnownParent")).c_str(),
                                           DS_MANGLE_OBJECT_NAME_FOR_DELETION))
                    << name;
            }
        }
        EXPECT_TRUE(matched) << name << " is listed, but not as " << fact.get("class");
        ++checked;
    }
    EXPECT_GT(checked, 0u) << "the seed facts name no deleted objects";
}

// The deletion time shows in local time of the time zone the process runs in.
TEST_F(ListingTest, DateDeletedIsTheLocalTimeOfWhenChanged) {
    REQUIRE_TEST_DIRECTORY();
    std::vector<PropertySet*> records = list(0, nullptr);
    auto times = lumivel::testing::TombstoneTimes("");
    ASSERT_FALSE(times.empty());
    std::map<std::string, std::string> byDn(times.begin(), times.end());
    tzset();
    size_t compared = 0;
    for (PropertySet* record : records) {
        auto found = byDn.find(NarrowText(record->getText(u"distinguishedName")));
        if (found == byDn.end()) continue;
        const std::string& utc = found->second;
        std::tm parts{};
        parts.tm_year = std::stoi(utc.substr(0, 4)) - 1900;
        parts.tm_mon = std::stoi(utc.substr(4, 2)) - 1;
        parts.tm_mday = std::stoi(utc.substr(6, 2));
        parts.tm_hour = std::stoi(utc.substr(8, 2));
        parts.tm_min = std::stoi(utc.substr(10, 2));
        parts.tm_sec = std::stoi(utc.substr(12, 2));
        std::time_t when = timegm(&parts);
        std::tm local{};
        localtime_r(&when, &local);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%02d/%02d/%04d - %02d:%02d", local.tm_mon + 1, local.tm_mday,
                      local.tm_year + 1900, local.tm_hour, local.tm_min);
        EXPECT_EQ(NarrowText(record->getText(u"dateDeleted")), expected) << found->first;
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

TEST(DeletionDateTest, MidnightAtYearEndPrintsTheLocalDateWithAFourDigitYear) {
    SYSTEMTIME utc{};
    utc.wYear = 2026;
    utc.wMonth = 12;
    utc.wDay = 31;
    utc.wHour = 23;
    utc.wMinute = 30;
    std::tm parts{};
    parts.tm_year = 126;
    parts.tm_mon = 11;
    parts.tm_mday = 31;
    parts.tm_hour = 23;
    parts.tm_min = 30;
    std::time_t when = timegm(&parts);
    std::tm local{};
    tzset();
    localtime_r(&when, &local);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02d/%02d/%04d - %02d:%02d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year + 1900, local.tm_hour, local.tm_min);
    EXPECT_EQ(NarrowText(revivo::FormatDeletionDate(utc)), expected);
}

TEST_F(ListingTest, FilterPrefixSelectsByCommonNameAndEmptiesTheCache) {
    REQUIRE_TEST_DIRECTORY();
    std::vector<PropertySet*> all = list(0, nullptr);
    ASSERT_FALSE(all.empty());
    ASSERT_GT(m_provider->deletedObjectCacheSize(), 0u);
    // The first three characters of a listed cn, as a filter prefix (units are named by ou).
    const PropertySet* named = nullptr;
    for (const PropertySet* record : all)
        if (!named && !lumivel::EqualsNoCase(record->getText(u"class"), u"organizationalUnit")) named = record;
    ASSERT_NE(named, nullptr);
    std::u16string_view firstName = named->getText(u"name");
    std::u16string prefix(firstName.substr(0, std::min<size_t>(3, firstName.find(u'\n'))));
    std::u16string filter = u"CN=" + prefix;
    std::vector<PropertySet*> some = list(0, filter.c_str());
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), 0u);
    ASSERT_FALSE(some.empty());
    for (PropertySet* record : some) EXPECT_TRUE(lumivel::shared::StartsWithNoCase(record->getText(u"name"), prefix));
    size_t expected = 0;
    for (PropertySet* record : all)
        if (lumivel::shared::StartsWithNoCase(record->getText(u"name"), prefix) && record->getText(u"name") != u"") ++expected;
    // Objects named by ou only do not match a CN= prefix.
    EXPECT_LE(some.size(), expected);

    HRESULT result = E_FAIL;
    EXPECT_TRUE(list(0, u"CN=no-such-object-zz9", &result).empty());
    EXPECT_EQ(result, S_OK);
}

TEST_F(ListingTest, DeletedObjectsContainerOpensForTheNamingContextWithOrWithoutPrefix) {
    REQUIRE_TEST_DIRECTORY();
    std::u16string baseDn = WidenText(lumivel::testing::TestDirectory().baseDn);
    // Others delete and restore on the same directory meanwhile: compare the seed's
    // tombstones, which stay, rather than whole counts.
    std::set<std::string> seeded;
    for (const lumivel::testing::Fact& fact : lumivel::testing::SeedFacts())
        if (fact.get("deleted") == "1" || fact.get("deleted") == "yes") seeded.insert(fact.get("name"));
    auto seededTombstones = [&](const std::vector<PropertySet*>& records) {
        std::set<std::string> names;
        for (const PropertySet* record : records) {
            std::string name = readableName(record->getText(u"name"));
            if (seeded.count(name)) names.insert(NarrowText(record->getText(u"distinguishedName")));
        }
        return names;
    };
    std::set<std::string> byDefault = seededTombstones(list(0, nullptr));
    ASSERT_FALSE(byDefault.empty());
    for (const std::u16string& context : {baseDn, u"LDAP://" + baseDn}) {
        ComPtr<IADsContainer> container;
        EXPECT_EQ(m_provider->OpenDeletedObjectsContainer(context.c_str(), container.put()), S_OK) << NarrowText(context);
        EXPECT_TRUE(container);
        PropertySet* node = PropertySet::create();
        m_owned.push_back(node);
        node->setText(u"NamingContext", context);
        EXPECT_EQ(seededTombstones(list(reinterpret_cast<LONG_PTR>(node), nullptr)), byDefault) << NarrowText(context);
    }

    // A naming context without such a container lists nothing and fails: with the bind's
    // failure, or, where a fast bind cannot tell, with the search's.
    std::u16string nowhere = u"OU=no-such-ou-zz9," + baseDn;
    ComPtr<IADsContainer> none;
    HRESULT opened = m_provider->OpenDeletedObjectsContainer(nowhere.c_str(), none.put());
    PropertySet* node = PropertySet::create();
    m_owned.push_back(node);
    node->setText(u"NamingContext", nowhere);
    HRESULT listed = S_OK;
    EXPECT_TRUE(list(reinterpret_cast<LONG_PTR>(node), nullptr, &listed).empty());
    EXPECT_TRUE(FAILED(listed)) << std::hex << listed;
    if (FAILED(opened)) {
        EXPECT_EQ(listed, opened);
    }
}

TEST_F(ListingTest, EmptyContainerListsNothingAndSucceeds) {
    REQUIRE_TEST_DIRECTORY();
    // The configuration's Deleted Objects container stays empty unless someone deletes there.
    std::string configuration = "CN=Configuration," + lumivel::testing::TestDirectory().baseDn;
    if (!lumivel::testing::TombstoneDns(configuration, "(objectClass=*)").empty())
        GTEST_SKIP() << "the configuration holds tombstones";
    PropertySet* node = PropertySet::create();
    m_owned.push_back(node);
    node->setText(u"NamingContext", WidenText(configuration));
    VARIANT objects;
    VariantInit(&objects);
    EXPECT_EQ(m_revivo->EnumDeletedObjects(reinterpret_cast<LONG_PTR>(node), nullptr, &objects), S_OK);
    EXPECT_EQ(objects.vt, VT_EMPTY);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), 0u);
}

// The node's domain controller travels with every listed record; the listing itself binds
// without a server, so any name will do here.
TEST_F(ListingTest, RecordsTakeTheNodesFocusedController) {
    REQUIRE_TEST_DIRECTORY();
    PropertySet* node = PropertySet::create();
    m_owned.push_back(node);
    node->IsNode = 1;
    node->setText(u"NamingContext", WidenText(lumivel::testing::TestDirectory().baseDn));
    node->setText(u"FocusedDC", u"elsewhere.lumivel.test");
    std::vector<PropertySet*> records = list(reinterpret_cast<LONG_PTR>(node), nullptr);
    ASSERT_FALSE(records.empty());
    for (PropertySet* record : records) ASSERT_EQ(record->getText(u"FocusedDC"), u"elsewhere.lumivel.test");
    for (PropertySet* record : list(0, nullptr)) ASSERT_EQ(record->getText(u"FocusedDC"), u"");
}

// An object named by neither cn nor ou (a locality, named by l) leaves a tombstone that the
// listing drops.
TEST_F(ListingTest, TombstoneWithoutCnOrOuIsNotListed) {
    REQUIRE_TEST_DIRECTORY();
    const lumivel::testing::Directory& directory = lumivel::testing::TestDirectory();
    std::string name = "Town " + lumivel::testing::UniqueSuffix();
    std::string dn = "L=" + name + "," + directory.baseDn;
    ASSERT_TRUE(lumivel::testing::LdapAdd(dn, {"objectClass: locality\n"}));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_EQ(lumivel::testing::TombstoneDns(directory.baseDn, "(l=" + name + "*)").size(), 1u);
    for (PropertySet* record : list(0, nullptr)) {
        ASSERT_EQ(record->getText(u"distinguishedName").find(WidenText("L=" + name)), std::u16string_view::npos);
        ASSERT_FALSE(record->getText(u"name").empty());
    }
}

// The snap-in lists each domain node on its own worker, straight on the provider object: two
// listings at once must each get whole records and leave one whole listing in the cache.
class ConcurrentListingTest : public ListingTest {};

TEST_F(ConcurrentListingTest, TwoWorkersListingAtOnceLeaveOneWholeListing) {
    REQUIRE_TEST_DIRECTORY();
    size_t counts[2] = {};
    HRESULT results[2] = {E_FAIL, E_FAIL};
    bool whole[2] = {true, true};
    auto worker = [&](int index) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (int round = 0; round < 2; ++round) {
            VARIANT objects;
            VariantInit(&objects);
            results[index] = m_revivo->EnumDeletedObjects(0, nullptr, &objects);
            std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
            counts[index] = records.size();
            for (PropertySet* record : records)
                if (!record || record->getText(u"name").empty() || record->getText(u"distinguishedName").empty())
                    whole[index] = false;
            lumivel::shared::FreeObjectListRecords(&objects);
        }
        CoUninitialize();
    };
    std::thread first(worker, 0), second(worker, 1);
    first.join();
    second.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(results[i], S_OK);
        EXPECT_GT(counts[i], 0u);
        EXPECT_TRUE(whole[i]);
    }
    size_t cached = m_provider->deletedObjectCacheSize();
    EXPECT_TRUE(cached == counts[0] || cached == counts[1]) << cached;
}

}  // namespace
