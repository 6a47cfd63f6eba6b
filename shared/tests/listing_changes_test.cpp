#include "shared/listing_changes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/provider_interfaces.h"

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

}  // namespace
