// A domain node's refresh by changes: what it asks the provider, and how the answer becomes the
// node's list and sync point.
#include "snapin/listing_refresh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/listing_changes.h"
#include "shared/object_list.h"
#include "shared/text_list.h"

namespace {

using snapin::ApplyListingAnswer;
using snapin::ChangesRequest;
using snapin::ListingSyncPoint;

constexpr std::time_t kNow = 1796817600;  // 2026-12-09T12:00:00Z

std::u16string guidOf(int n) { return u"0a1b2c3d-0000-4000-8000-00000000000" + std::u16string(1, char16_t(u'0' + n)); }

PropertySet* tombstone(int n, const char16_t* expires = u"2027-06-01T00:00:00Z") {
    PropertySet* record = PropertySet::create();
    record->setText(u"name", u"T" + std::u16string(1, char16_t(u'0' + n)) + u"\nDEL:" + guidOf(n));
    record->setText(kExpiresUtcKey, expires);
    return record;
}

PropertySet* leftOf(int n) {
    PropertySet* record = PropertySet::create();
    record->setInt(kSyncLeftKey, 1);
    record->setText(u"guid", guidOf(n));
    return record;
}

PropertySet* header(const char16_t* cookie, bool whole) {
    PropertySet* record = PropertySet::create();
    record->setText(kSyncServerKey, u"dc1.lumivel.test");
    record->setText(kSyncInvocationKey, u"{inv}");
    record->setText(kSyncUsnKey, u"4711");
    if (cookie) record->setText(kSyncCookieKey, cookie);
    if (whole) record->setInt(kSyncWholeKey, 1);
    return record;
}

// An answer as the provider hands it out: each record's one reference goes with it.
VARIANT answerOf(std::vector<PropertySet*> records) {
    VARIANT list;
    VariantInit(&list);
    EXPECT_EQ(lumivel::shared::BuildObjectList(records, &list), S_OK);
    return list;
}

struct Records {
    std::vector<PropertySet*> all;
    ~Records() {
        for (PropertySet* record : all) record->release();
    }
};

ListingSyncPoint recentPoint() {
    ListingSyncPoint point;
    point.server = u"dc1.lumivel.test";
    point.invocationId = u"{inv}";
    point.usn = u"100";
    point.cookie = u"C0FFEE";
    point.wholeReadAt = kNow - 60;
    return point;
}

// The request is a copy of the node's record: the sync point and the overdue tombstones go to
// the provider, never into the stored domain's record. A point that cannot be gone on from
// (no cookie, a whole read older than 12 hours or in the future) asks for everything.
TEST(ListingRefresh, TheRequestCarriesAUsableSyncPointAndTheOverdueTombstones) {
    PropertySet* node = PropertySet::create();
    node->setText(u"NamingContext", u"LDAP://DC=lumivel,DC=test");
    Records listed;
    listed.all = {tombstone(1, u"2026-12-09T11:00:00Z"), tombstone(2), tombstone(3, u"2026-01-01T00:00:00Z")};
    ListingSyncPoint point = recentPoint();

    PropertySet* request = ChangesRequest(node, &point, listed.all, kNow);
    ASSERT_NE(request, nullptr);
    EXPECT_NE(request, node);
    EXPECT_EQ(request->getText(u"NamingContext"), u"LDAP://DC=lumivel,DC=test");
    EXPECT_EQ(request->getText(kSyncCookieKey), u"C0FFEE");
    EXPECT_EQ(request->getText(kSyncUsnKey), u"100");
    EXPECT_NE(request->getRaw(kNoDialogsKey), 0);
    EXPECT_EQ(lumivel::shared::TextListOf(request, kSyncRecheckKey), (std::vector<std::u16string>{guidOf(1), guidOf(3)}));
    EXPECT_FALSE(node->has(kSyncCookieKey));
    request->release();

    ListingSyncPoint aged = recentPoint(), noCookie = recentPoint(), ahead = recentPoint();
    aged.wholeReadAt = kNow - 13 * 60 * 60;
    noCookie.cookie.clear();
    ahead.wholeReadAt = kNow + 600;
    const ListingSyncPoint* unusables[] = {&aged, &noCookie, &ahead, nullptr};
    for (const ListingSyncPoint* unusable : unusables) {
        request = ChangesRequest(node, unusable, listed.all, kNow);
        ASSERT_NE(request, nullptr);
        EXPECT_FALSE(request->has(kSyncCookieKey));
        EXPECT_FALSE(request->has(kSyncRecheckKey));
        request->release();
    }
    node->release();
}

// Changes are laid over the list: the records that did not change are the very same ones, a
// changed one is replaced in place, a new one joins and a left one goes; the sync point moves
// on and keeps the time of the last whole read.
TEST(ListingRefresh, ChangesAreLaidOverTheListAndTheSyncPointMovesOn) {
    Records current;
    current.all = {tombstone(1), tombstone(2), tombstone(3)};
    ListingSyncPoint point = recentPoint();
    VARIANT answer = answerOf({header(u"BEEF", false), tombstone(2), tombstone(4), leftOf(3)});
    std::vector<PropertySet*> next;
    snapin::ListingUpdate update = ApplyListingAnswer(&answer, current.all, &next, &point, kNow);
    EXPECT_TRUE(update.changed);
    EXPECT_FALSE(update.whole);
    EXPECT_EQ(answer.vt, VT_EMPTY);
    ASSERT_EQ(next.size(), 3u);
    EXPECT_EQ(next[0], current.all[0]);
    EXPECT_NE(next[1], current.all[1]);
    EXPECT_EQ(next[1]->getText(u"name").substr(0, 2), u"T2");
    EXPECT_EQ(next[2]->getText(u"name").substr(0, 2), u"T4");
    EXPECT_EQ(point.cookie, u"BEEF");
    EXPECT_EQ(point.usn, u"4711");
    EXPECT_EQ(point.wholeReadAt, kNow - 60);
    for (PropertySet* record : next) record->release();

    // Nothing changed: the list stands, and no reference is taken.
    VARIANT unchanged = answerOf({header(u"CAFE", false)});
    update = ApplyListingAnswer(&unchanged, current.all, &next, &point, kNow);
    EXPECT_FALSE(update.changed);
    EXPECT_TRUE(next.empty());
    EXPECT_EQ(point.cookie, u"CAFE");
}

// A whole read (the cookie refused, another server) is the list, whatever was listed before;
// its time becomes the sync point's. A server that offers no cookie leaves no sync point, so
// the next refresh reads everything again.
TEST(ListingRefresh, AWholeAnswerReplacesTheListAndAnAnswerWithoutCookieEndsTheSyncPoint) {
    Records current;
    current.all = {tombstone(1), tombstone(2)};
    ListingSyncPoint point = recentPoint();
    point.wholeReadAt = kNow - 3600;
    VARIANT whole = answerOf({header(u"F00D", true), tombstone(2), tombstone(5), leftOf(1)});
    std::vector<PropertySet*> next;
    snapin::ListingUpdate update = ApplyListingAnswer(&whole, current.all, &next, &point, kNow);
    EXPECT_TRUE(update.whole);
    EXPECT_TRUE(update.changed);
    ASSERT_EQ(next.size(), 2u);
    EXPECT_NE(next[0], current.all[1]);
    EXPECT_EQ(point.wholeReadAt, kNow);
    EXPECT_EQ(point.cookie, u"F00D");
    for (PropertySet* record : next) record->release();

    VARIANT cookieless = answerOf({header(nullptr, true), tombstone(1)});
    update = ApplyListingAnswer(&cookieless, current.all, &next, &point, kNow);
    EXPECT_TRUE(update.whole);
    EXPECT_FALSE(snapin::SyncPointUsable(point, kNow));
    for (PropertySet* record : next) record->release();
}

// A node that keeps its tombstones by GUID gets from each answer the list a node without the
// index gets; the index is made from the list when it is not usable, follows each change, and
// goes with a whole answer.
TEST(ListingRefresh, AnswersLaidOverWithTheIndexGiveTheListsTheScanGives) {
    auto names = [](const std::vector<PropertySet*>& list) {
        std::vector<std::u16string> out;
        for (const PropertySet* record : list) out.push_back(std::u16string(record->getText(u"name")) + u"|" +
                                                           std::u16string(record->getText(kExpiresUtcKey)));
        return out;
    };
    std::vector<PropertySet*> indexed = {tombstone(1), tombstone(2), tombstone(3)};
    std::vector<PropertySet*> scanned = {tombstone(1), tombstone(2), tombstone(3)};
    lumivel::shared::ListingGuidIndex index;
    ListingSyncPoint point = recentPoint();
    auto both = [&](auto makeAnswer) {
        VARIANT forIndexed = answerOf(makeAnswer()), forScan = answerOf(makeAnswer());
        std::vector<PropertySet*> nextIndexed, nextScanned;
        snapin::ListingUpdate a = ApplyListingAnswer(&forIndexed, indexed, &nextIndexed, &point, kNow, &index);
        snapin::ListingUpdate b = ApplyListingAnswer(&forScan, scanned, &nextScanned, &point, kNow);
        EXPECT_EQ(a.changed, b.changed);
        if (!a.changed) return;
        for (PropertySet* record : indexed) record->release();
        for (PropertySet* record : scanned) record->release();
        indexed = nextIndexed;
        scanned = nextScanned;
        EXPECT_EQ(names(indexed), names(scanned));
    };
    both([] { return std::vector<PropertySet*>{header(u"B1", false), tombstone(2, u"2027-01-01T00:00:00Z"), leftOf(1)}; });
    EXPECT_TRUE(index.usable());
    EXPECT_EQ(index.find(guidOf(1)), nullptr);
    EXPECT_EQ(index.find(guidOf(2)), indexed[0]);
    both([] { return std::vector<PropertySet*>{header(u"B2", false), tombstone(4), leftOf(3), tombstone(1)}; });
    EXPECT_EQ(index.find(guidOf(4)), indexed[1]);
    both([] { return std::vector<PropertySet*>{header(u"B3", false)}; });
    both([] { return std::vector<PropertySet*>{header(u"B4", true), tombstone(5), tombstone(6)}; });
    EXPECT_FALSE(index.usable()) << "a whole answer is indexed by the fetch, not here";
    both([] { return std::vector<PropertySet*>{header(u"B5", false), leftOf(5), tombstone(7)}; });
    EXPECT_EQ(names(indexed).size(), 2u);
    for (PropertySet* record : indexed) record->release();
    for (PropertySet* record : scanned) record->release();
}

// The fetch's thread marks what the provider listed (not the records of those that left) and
// finds the earliest purge time; a request made knowing it looks through the list only once
// that time has come, and then finds the same overdue tombstones as without it.
TEST(ListingRefresh, TheEarliestPurgeTimeSparesLookingThroughTheListUntilItComes) {
    Records answer;
    answer.all = {tombstone(1, u"2027-06-01T00:00:00Z"), tombstone(2, u"2027-01-01T00:00:00Z"), leftOf(3),
                  tombstone(4, u"not a time")};
    EXPECT_EQ(snapin::MarkFromProvider(answer.all), u"2027-01-01T00:00:00Z");
    EXPECT_NE(answer.all[0]->getRaw(u"FromRevivoProvider"), 0);
    EXPECT_NE(answer.all[3]->getRaw(u"FromRevivoProvider"), 0);
    EXPECT_EQ(answer.all[2]->getRaw(u"FromRevivoProvider"), 0);
    EXPECT_EQ(snapin::MarkFromProvider({answer.all[2], answer.all[3]}), u"");

    PropertySet* node = PropertySet::create();
    Records listed;
    listed.all = {tombstone(1, u"2026-12-09T12:00:00Z"), tombstone(2)};
    const ListingSyncPoint point = recentPoint();
    auto rechecked = [&](const std::optional<std::u16string>& earliest) {
        PropertySet* request = ChangesRequest(node, &point, listed.all, kNow, earliest);
        std::vector<std::u16string> guids = lumivel::shared::TextListOf(request, kSyncRecheckKey);
        request->release();
        return guids;
    };
    const std::vector<std::u16string> first{guidOf(1)};
    EXPECT_EQ(rechecked(std::nullopt), first);
    // Due at this very second, as a listing without the bound finds it.
    EXPECT_EQ(rechecked(u"2026-12-09T12:00:00Z"), first);
    EXPECT_EQ(rechecked(u"2026-12-09T12:00:01Z"), std::vector<std::u16string>{});
    EXPECT_EQ(rechecked(u""), std::vector<std::u16string>{});
    node->release();
}

}  // namespace
