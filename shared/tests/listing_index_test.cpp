#include "shared/listing_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "shared/listing_changes.h"
#include "shared/provider_interfaces.h"

namespace {

using lumivel::shared::ApplyListingChanges;
using lumivel::shared::ApplyListingChangesIndexed;
using lumivel::shared::ListingGuidIndex;

std::u16string Guid(unsigned n) {
    char text[40];
    std::snprintf(text, sizeof text, "%08x-0000-4000-8000-%012x", n, n * 7u);
    return std::u16string(text, text + 36);
}

PropertySet* Tombstone(unsigned n, unsigned version, bool upper = false) {
    PropertySet* record = PropertySet::create();
    std::u16string guid = Guid(n);
    if (upper)
        for (char16_t& c : guid) c = c >= u'a' && c <= u'f' ? char16_t(c - 32) : c;
    record->setText(u"name", u"Object " + std::u16string(1, char16_t(u'A' + n % 26)) + u"\nDEL:" + guid);
    record->setInt(u"version", LONG(version));
    return record;
}

PropertySet* Left(unsigned n) {
    PropertySet* record = PropertySet::create();
    record->setInt(kSyncLeftKey, 1);
    record->setText(u"guid", Guid(n));
    return record;
}

// Which object and version each place holds: the same for two listings made alike.
std::vector<std::pair<std::u16string, LONG>> Shape(const std::vector<PropertySet*>& listing) {
    std::vector<std::pair<std::u16string, LONG>> shape;
    for (const PropertySet* record : listing)
        shape.emplace_back(std::u16string(record->getText(u"name")), LONG(record->getRaw(u"version")));
    return shape;
}

void ReleaseAll(std::vector<PropertySet*>& records) {
    for (PropertySet* record : records) record->release();
    records.clear();
}

// Round after round of changes of every kind (replaced, left, new, left and back, named twice,
// a GUID in capitals, a GUID nobody lists, a change without one) laid over a kept listing
// with its index give what the scan gives over a copy, with the records that stayed the
// very same ones and the references right.
TEST(ListingGuidIndexTest, LaysRandomChangesAsTheScanDoes) {
    std::mt19937 random(7);
    std::vector<PropertySet*> indexed, scanned;
    for (unsigned n = 0; n < 200; ++n) {
        indexed.push_back(Tombstone(n, 0));
        scanned.push_back(indexed.back());
        scanned.back()->addRef();
    }
    ListingGuidIndex index;
    ASSERT_TRUE(index.build(indexed));
    unsigned version = 1;
    for (int round = 0; round < 200; ++round) {
        std::vector<PropertySet*> forIndexed, forScan;
        const int count = int(random() % 12);
        for (int i = 0; i < count; ++i) {
            const unsigned n = random() % 260;  // some never listed
            const unsigned kind = random() % 10;
            auto make = [&]() -> PropertySet* {
                if (kind < 4) return Left(n);
                if (kind == 9) {
                    PropertySet* nameless = PropertySet::create();
                    nameless->setText(u"name", u"no guid here");
                    return nameless;
                }
                return Tombstone(n, version, kind == 8);
            };
            forIndexed.push_back(make());
            forScan.push_back(make());
            ++version;
        }
        std::vector<PropertySet*> next;
        ASSERT_TRUE(ApplyListingChangesIndexed(indexed, forIndexed, index, &next)) << round;
        ReleaseAll(indexed);
        indexed = std::move(next);
        ApplyListingChanges(&scanned, forScan);
        ASSERT_EQ(Shape(indexed), Shape(scanned)) << "round " << round;
        // The index stays the listing's: made afresh, it finds what the kept one finds.
        ListingGuidIndex fresh;
        if (fresh.build(indexed)) {
            for (unsigned n = 0; n < 260; ++n) ASSERT_EQ(index.find(Guid(n)), fresh.find(Guid(n))) << round << " " << n;
        }
    }
    // Every record is held once by its listing: nothing leaked, nothing freed under it.
    // (the records listed from the start are shared with the scanned listing).
    for (const PropertySet* record : indexed)
        EXPECT_EQ(record->RefCount, 1 + std::count(scanned.begin(), scanned.end(), record));
    ReleaseAll(indexed);
    ReleaseAll(scanned);
}

// A listing that names a GUID twice is left to the scan, which keeps the first.
TEST(ListingGuidIndexTest, AGuidListedTwiceLeavesTheIndexUnusable) {
    std::vector<PropertySet*> listing = {Tombstone(1, 0), Tombstone(1, 1)};
    ListingGuidIndex index;
    EXPECT_FALSE(index.build(listing));
    std::vector<PropertySet*> next;
    EXPECT_FALSE(ApplyListingChangesIndexed(listing, {}, index, &next));
    EXPECT_TRUE(next.empty());
    ReleaseAll(listing);
}

// An index kept for another list (one the listing no longer holds a record of) is given up
// before anything is done: the changes stay the caller's for the scan.
TEST(ListingGuidIndexTest, AnIndexOfAnotherListDoesNothing) {
    std::vector<PropertySet*> listing = {Tombstone(1, 0), Tombstone(2, 0)};
    ListingGuidIndex index;
    ASSERT_TRUE(index.build(listing));
    std::vector<PropertySet*> other = {Tombstone(2, 5)};
    std::vector<PropertySet*> changes = {Tombstone(1, 1), Left(2)};
    std::vector<PropertySet*> next;
    EXPECT_FALSE(ApplyListingChangesIndexed(other, changes, index, &next));
    EXPECT_TRUE(next.empty());
    EXPECT_FALSE(index.usable());
    for (const PropertySet* change : changes) EXPECT_EQ(change->RefCount, 1);
    ReleaseAll(changes);
    ReleaseAll(other);
    ReleaseAll(listing);
}

// The console drops restored records from a node's list and frees them between refreshes: an
// index still naming them is given up by address alone, never by reading what it names.
TEST(ListingGuidIndexTest, AnIndexNamingFreedRecordsIsGivenUpUnread) {
    std::vector<PropertySet*> listing = {Tombstone(1, 0), Tombstone(2, 0), Tombstone(3, 0)};
    ListingGuidIndex index;
    ASSERT_TRUE(index.build(listing));
    listing[1]->release();  // freed: the sanitized build reports any read of it
    listing.erase(listing.begin() + 1);
    std::vector<PropertySet*> changes = {Left(2), Tombstone(2, 1), Tombstone(3, 1)};
    std::vector<PropertySet*> next;
    EXPECT_FALSE(ApplyListingChangesIndexed(listing, changes, index, &next));
    EXPECT_FALSE(index.usable());
    // Made again from the list as it is, the index lays the same changes over it.
    ASSERT_TRUE(index.build(listing));
    ASSERT_TRUE(ApplyListingChangesIndexed(listing, changes, index, &next));
    std::vector<std::pair<std::u16string, LONG>> expected = {{u"Object B\nDEL:" + Guid(1), 0},
                                                             {u"Object D\nDEL:" + Guid(3), 1},
                                                             {u"Object C\nDEL:" + Guid(2), 1}};
    EXPECT_EQ(Shape(next), expected);
    ReleaseAll(next);
    ReleaseAll(listing);
}

}  // namespace
