// The order of the top list: a stable O(n log n) sort that gives what inserting each record
// after its equals gives, scope records first, descending read from the end.
#include <gtest/gtest.h>

#include <random>

#include "lumivel/text.h"
#include "resultpane/record_order.h"
#include "resultpane/tests/panorel_fakes.h"

namespace panoreltest {
namespace {

using panorel::CompareRecords;
using panorel::SortRecords;
using panorel::TopRecords;

// The order records get when each is inserted after the last record that does not sort after it.
std::vector<PropertySet*> InsertOneByOne(const std::vector<PropertySet*>& records, const std::u16string& key) {
    std::vector<PropertySet*> byName = records;
    SortRecords(byName, u"name");
    const std::u16string timeKey = panorel::TimeKeyOf(byName, key);
    std::vector<PropertySet*> sorted;
    for (PropertySet* record : records) {
        auto at = std::upper_bound(sorted.begin(), sorted.end(), record, [&](PropertySet* a, PropertySet* b) {
            return CompareRecords(a, b, key, timeKey) < 0;
        });
        sorted.insert(at, record);
    }
    return sorted;
}

class RecordOrder : public ::testing::Test {
protected:
    ~RecordOrder() override {
        for (PropertySet* record : records) record->release();
    }
    PropertySet* add(std::u16string_view name, std::u16string_view className) {
        records.push_back(MakeRecord(name, className));
        return records.back();
    }
    std::vector<PropertySet*> records;
};

TEST_F(RecordOrder, GivesTheOrderOfInsertingOneByOneOnEveryKey) {
    std::mt19937 random(19);
    const std::vector<std::u16string> alphabet = {u"a", u"A", u"b", u"B", u"c", u"C", u"\u00e9", u"\u00c9",
                                                  u"z", u"Z", u" ", u"\uFF21", u"\U0001F600", u"\U00010428", u"\U00010400"};
    for (int i = 0; i < 3000; ++i) {
        std::u16string name, className;
        for (int k = 0; k < 1 + int(random() % 4); ++k) name += alphabet[random() % alphabet.size()];
        for (int k = 0; k < int(random() % 2); ++k) className += alphabet[random() % 6];
        PropertySet* record = add(name, className);
        // A time column: a value with one of a few times, or none and a time that is missing
        // or malformed.
        if (int kind = int(random() % 3); kind == 0) {
            record->setText(u"when", alphabet[random() % 6]);
            record->setText(u"whenUtc", u"2026-0" + std::u16string(1, char16_t(u'1' + random() % 3)) + u"-01T00:00:00Z");
        } else if (kind == 1) {
            record->setText(u"WHENUTC", u"2026-1-01T00:00:00Z");
        }
    }
    std::vector<PropertySet*> byName = records;
    SortRecords(byName, u"name");
    EXPECT_EQ(panorel::TimeKeyOf(byName, u"when"), u"whenUtc");
    EXPECT_EQ(panorel::TimeKeyOf(byName, u"class"), u"");
    for (const std::u16string key : {u"name", u"class", u"missing", u"when"}) {
        std::vector<PropertySet*> sorted = records;
        SortRecords(sorted, key);
        EXPECT_EQ(sorted, InsertOneByOne(records, key)) << "key " << lumivel::ToUtf8(key);
    }
}

TEST_F(RecordOrder, IgnoresCaseAndLetsNameDecideTies) {
    PropertySet* b = add(u"b", u"User");
    PropertySet* a = add(u"A", u"user");
    PropertySet* c = add(u"c", u"group");
    std::vector<PropertySet*> sorted = records;
    SortRecords(sorted, u"class");
    EXPECT_EQ(sorted, (std::vector<PropertySet*>{c, a, b}));
    EXPECT_EQ(CompareRecords(a, b, u"class"), -1);
    EXPECT_EQ(CompareRecords(a, add(u"a", u"USER"), u"name"), 0);
}

// The date column shows a local text whose order is not the time's; its UTC twin decides.
TEST_F(RecordOrder, DateDeletedOrdersByItsUtcTimeAndUntimedRecordsStayLast) {
    PropertySet* old = add(u"old", u"user");
    old->setText(u"dateDeleted", u"12/31/2004 - 09:00");
    old->setText(u"DateDeletedUtc", u"2004-12-31T09:00:00Z");
    PropertySet* recent = add(u"recent", u"user");
    recent->setText(u"dateDeleted", u"01/02/2026 - 09:00");
    recent->setText(u"DateDeletedUtc", u"2026-01-02T09:00:00Z");
    PropertySet* unknown = add(u"unknown", u"user");
    PropertySet* scope = add(u"scope", u"domainDNS");
    scope->IsNode = 1;
    TopRecords top;
    auto shown = [&top] {
        std::vector<PropertySet*> order;
        for (long i = 0; i < long(top.size()); ++i) order.push_back(top.at(i));
        return order;
    };
    top.assign(records, u"dateDeleted");
    EXPECT_EQ(shown(), (std::vector<PropertySet*>{scope, old, recent, unknown}));
    top.setAscending(false);
    EXPECT_EQ(shown(), (std::vector<PropertySet*>{scope, recent, old, unknown}));
    top.sortBy(u"class");
    EXPECT_EQ(shown(), (std::vector<PropertySet*>{scope, unknown, recent, old}))
        << "a column without times is read wholly from the end";
}

TEST_F(RecordOrder, ShowsScopeRecordsFirstAndReadsDescendingFromTheEnd) {
    PropertySet* objectB = add(u"b", u"");
    PropertySet* scopeZ = add(u"z", u"");
    scopeZ->IsNode = 1;
    PropertySet* objectA = add(u"a", u"");
    PropertySet* scopeY = add(u"y", u"");
    scopeY->IsNode = 1;
    TopRecords top;
    top.assign(records, u"name");
    EXPECT_EQ(top.at(0), scopeY);
    EXPECT_EQ(top.at(1), scopeZ);
    EXPECT_EQ(top.at(2), objectA);
    EXPECT_EQ(top.at(3), objectB);
    EXPECT_EQ(top.at(4), nullptr);
    EXPECT_EQ(top.at(-1), nullptr);
    top.setAscending(false);
    EXPECT_EQ(top.at(0), scopeZ);
    EXPECT_EQ(top.at(2), objectB);
    EXPECT_EQ(top.findPrefix(u"A", u"name", 0, false), 3);
    EXPECT_EQ(top.findPrefix(u"Y", u"name", 2, false), -1);
    EXPECT_EQ(top.findPrefix(u"Y", u"name", 2, true), 1) << "wraps round when asked";
    EXPECT_EQ(top.findPrefix(u"", u"", 0, true), -1);
}

}  // namespace
}  // namespace panoreltest
