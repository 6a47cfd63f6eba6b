#include "shared/listing_changes.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/directory_operations.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace {

using lumivel::shared::ApplyListingChanges;

const std::u16string kGuids[] = {u"0a1b2c3d-0000-4000-8000-000000000001", u"0a1b2c3d-0000-4000-8000-000000000002",
                                 u"0a1b2c3d-0000-4000-8000-000000000003", u"0a1b2c3d-0000-4000-8000-000000000004"};

PropertySet* tombstone(const std::u16string& name, const std::u16string& guid, const std::u16string& parent) {
    PropertySet* record = PropertySet::create();
    record->setText(u"name", name + u"\nDEL:" + guid);
    record->setText(u"lastKnownParent", parent);
    return record;
}

PropertySet* left(const std::u16string& guid) {
    PropertySet* record = PropertySet::create();
    record->setInt(kSyncLeftKey, 1);
    record->setText(u"guid", guid);
    return record;
}

std::vector<std::u16string> parents(const std::vector<PropertySet*>& listing) {
    std::vector<std::u16string> out;
    for (const PropertySet* record : listing) out.push_back(std::u16string(record->getText(u"lastKnownParent")));
    return out;
}

struct Listing {
    std::vector<PropertySet*> records;
    ~Listing() {
        for (PropertySet* record : records) record->release();
    }
};

// A change replaces the tombstone of its GUID where it stands, a new one joins at the end, and
// a left GUID (in any case) takes its tombstone out; a left GUID nobody lists changes nothing.
TEST(ListingChangesTest, ReplacesJoinsAndTakesOutByGuid) {
    Listing listing;
    listing.records = {tombstone(u"A", kGuids[0], u"OU=one"), tombstone(u"B", kGuids[1], u"OU=two"),
                       tombstone(u"C", kGuids[2], u"OU=three")};
    PropertySet* kept = listing.records[2];
    kept->addRef();
    std::u16string upper = kGuids[1];
    for (char16_t& c : upper) c = static_cast<char16_t>(std::toupper(c));
    ApplyListingChanges(&listing.records, {tombstone(u"A", kGuids[0], u"OU=moved"), left(upper),
                                           tombstone(u"D", kGuids[3], u"OU=four"), left(u"ffffffff-0000-4000-8000-000000000009")});
    EXPECT_EQ(parents(listing.records), (std::vector<std::u16string>{u"OU=moved", u"OU=three", u"OU=four"}));
    // The records that stay are the listing's own, untouched.
    EXPECT_EQ(listing.records[1], kept);
    kept->release();
}

// A tombstone that leaves and comes back within one set of changes (restored, then deleted
// again) ends listed once; the same change twice lists it once.
TEST(ListingChangesTest, ATombstoneIsListedOnceWhateverTheOrderOfItsChanges) {
    Listing listing;
    listing.records = {tombstone(u"A", kGuids[0], u"OU=one")};
    ApplyListingChanges(&listing.records, {left(kGuids[0]), tombstone(u"A", kGuids[0], u"OU=again"),
                                           tombstone(u"B", kGuids[1], u"OU=b"), tombstone(u"B", kGuids[1], u"OU=b2")});
    EXPECT_EQ(parents(listing.records), (std::vector<std::u16string>{u"OU=again", u"OU=b2"}));
    ApplyListingChanges(&listing.records, {});
    EXPECT_EQ(listing.records.size(), 2u);
}

// What a refresh reads again: the tombstones whose purge time has come, at the second; a purge
// time that is missing or not of the provider's form never counts as come.
TEST(ListingChangesTest, OverdueTombstonesAreThoseWhosePurgeTimeHasCome) {
    const std::time_t now = 1796817600;  // 2026-12-09T12:00:00Z
    const struct {
        const char16_t* expires;
        bool overdue;
    } cases[] = {
        {u"2026-12-09T11:59:59Z", true},  {u"2026-12-09T12:00:00Z", true},   {u"2026-12-09T12:00:01Z", false},
        {u"2027-01-01T00:00:00Z", false}, {u"1999-01-01T00:00:00Z", true},   {u"2026-12-09 11:00:00Z", false},
        {u"2026-12-09T11:00:00", false},  {u"2026-12-09T11:00:00+01", false}, {u"", false},
        {nullptr, false},
    };
    Listing listing;
    std::vector<std::u16string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::u16string guid = u"0a1b2c3d-0000-4000-8000-00000000010" + std::u16string(1, char16_t(u'0' + i));
        listing.records.push_back(tombstone(u"T", guid, u"OU=t"));
        if (cases[i].expires) listing.records.back()->setText(kExpiresUtcKey, cases[i].expires);
        if (cases[i].overdue) expected.push_back(guid);
    }
    listing.records.insert(listing.records.begin() + 1, nullptr);
    EXPECT_EQ(lumivel::shared::OverdueTombstoneGuids(listing.records, now), expected);
    std::erase(listing.records, nullptr);
}

// The changes laid over a large listing give what matching every listed tombstone by GUID
// gives (the first of a GUID listed twice is the one replaced), whatever the case of the GUIDs
// in names and changes, with names that are no tombstone's, repeated changes and left GUIDs.
TEST(ListingChangesTest, ChangesGiveWhatAWholeMatchByGuidGives) {
    auto reference = [](std::vector<PropertySet*>* listing, const std::vector<PropertySet*>& changes) {
        auto guidOf = [](const PropertySet* record) {
            return lumivel::FoldCase(record->getRaw(kSyncLeftKey) != 0
                                         ? std::u16string(record->getText(u"guid"))
                                         : lumivel::shared::TombstoneGuid(record->getText(u"name")));
        };
        std::unordered_map<std::u16string, size_t> at;
        for (size_t i = 0; i < listing->size(); ++i) at.emplace(guidOf((*listing)[i]), i);
        for (PropertySet* change : changes) {
            const std::u16string guid = guidOf(change);
            const bool left = change->getRaw(kSyncLeftKey) != 0;
            auto found = guid.empty() ? at.end() : at.find(guid);
            if (found != at.end() && (*listing)[found->second]) {
                (*listing)[found->second]->release();
                (*listing)[found->second] = left ? nullptr : change;
            } else if (!left) {
                if (!guid.empty()) at[guid] = listing->size();
                listing->push_back(change);
            }
            if (left) change->release();
        }
        std::erase(*listing, nullptr);
    };
    std::mt19937 random(34);
    auto guid = [&](int n, bool upper) {
        std::u16string text = u"0a1b2c3d-0000-4000-8000-0000000" + std::u16string(1, char16_t(u'a' + n / 100 % 6)) +
                              std::u16string(1, char16_t(u'0' + n / 10 % 10)) +
                              std::u16string(1, char16_t(u'0' + n % 10)) + u"00";
        if (upper)
            for (char16_t& c : text) c = c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
        return text;
    };
    for (int round = 0; round < 40; ++round) {
        auto make = [&](int n, int version) {
            const int kind = int(random() % 10);
            PropertySet* record =
                kind == 0 ? tombstone(u"Plain", u"", u"v") : tombstone(u"T", guid(n, kind < 4), u"v");
            if (kind == 0) record->setText(u"name", u"Not a tombstone " + guid(n, false));
            std::u16string parent = u"v";
            for (char digit : std::to_string(version)) parent += char16_t(digit);
            record->setText(u"lastKnownParent", parent);
            return record;
        };
        std::vector<PropertySet*> listed, expected;
        for (int i = 0; i < 300; ++i) listed.push_back(make(int(random() % 400), 0));
        std::vector<PropertySet*> changes, copies;
        for (int i = 0; i < 40; ++i) {
            const int n = int(random() % 450);
            PropertySet* change = random() % 3 == 0 ? left(guid(n, random() % 2 == 0)) : make(n, i + 1);
            changes.push_back(change);
            copies.push_back(change->clone());
        }
        for (PropertySet* record : listed) {
            record->addRef();
            expected.push_back(record);
        }
        ApplyListingChanges(&listed, changes);
        reference(&expected, copies);
        ASSERT_EQ(listed.size(), expected.size()) << "round " << round;
        for (size_t i = 0; i < listed.size(); ++i) {
            ASSERT_EQ(listed[i]->getText(u"name"), expected[i]->getText(u"name")) << "round " << round << " at " << i;
            ASSERT_EQ(listed[i]->getText(u"lastKnownParent"), expected[i]->getText(u"lastKnownParent"));
        }
        for (PropertySet* record : listed) record->release();
        for (PropertySet* record : expected) record->release();
    }
}

// The earliest purge time says whether any listed tombstone is overdue exactly as looking
// through the list does, at, before and after each time and with malformed ones among them.
TEST(ListingChangesTest, TheEarliestPurgeTimeAgreesWithTheOverdueTombstones) {
    constexpr std::time_t kNow = 1796817600;  // 2026-12-09T12:00:00Z
    const std::u16string times[] = {u"2026-12-09T11:59:59Z", u"2026-12-09T12:00:00Z", u"2026-12-09T12:00:01Z",
                                    u"2027-01-01T00:00:00Z", u"not a time", u"2026-12-09 11:00:00Z", u""};
    std::mt19937 random(9);
    for (int round = 0; round < 200; ++round) {
        Listing listing;
        const size_t count = random() % 4;
        for (size_t i = 0; i < count; ++i) {
            PropertySet* record = tombstone(u"T", kGuids[i], u"p");
            const std::u16string& expires = times[random() % std::size(times)];
            if (!expires.empty()) record->setText(kExpiresUtcKey, expires);
            listing.records.push_back(record);
        }
        const std::u16string earliest = lumivel::shared::EarliestPurgeTime(listing.records);
        EXPECT_EQ(lumivel::shared::MayHoldOverdue(earliest, kNow),
                  !lumivel::shared::OverdueTombstoneGuids(listing.records, kNow).empty())
            << "round " << round;
    }
    EXPECT_EQ(lumivel::shared::EarlierPurgeTime(u"", u"2027-01-01T00:00:00Z"), u"2027-01-01T00:00:00Z");
    EXPECT_EQ(lumivel::shared::EarlierPurgeTime(u"2026-01-01T00:00:00Z", u"2027-01-01T00:00:00Z"),
              u"2026-01-01T00:00:00Z");
}

}  // namespace
