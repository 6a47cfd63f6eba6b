// The filter bar's choice of records: text against name, last known parent and class, case and
// accents ignored, deletion days in the local zone, and keystrokes that narrow or widen.
#include <gtest/gtest.h>

#include <cstdlib>

#include "lumivel/text.h"
#include "resultpane/record_filter.h"
#include "resultpane/record_order.h"
#include "resultpane/tests/panorel_fakes.h"

namespace panoreltest {
namespace {

using panorel::FilterCriteria;
using panorel::RecordFilter;

struct Records {
    Records() {
        add(u"\u00C5ngstr\u00F6m Lab\nDEL:0f1e2d3c-0000-4000-8000-000000000001", u"organizationalUnit",
            u"Organizational Unit", u"OU=Research,DC=lumivel,DC=test", u"2026-03-01T08:00:00Z");
        add(u"Bob Baker\nDEL:0f1e2d3c-0000-4000-8000-000000000002", u"user", u"User",
            u"OU=Payroll\\0ADEL:9a8b7c6d-0000-4000-8000-00000000000a,CN=Deleted Objects,DC=lumivel,DC=test",
            u"2026-03-02T23:30:00Z");
        add(u"Payroll Admins\nDEL:0f1e2d3c-0000-4000-8000-000000000003", u"group", u"Group",
            u"OU=Groups,DC=lumivel,DC=test", u"2026-03-05T12:00:00Z");
        add(u"Printer 7", u"printQueue", u"Printer", u"CN=Print,DC=lumivel,DC=test", nullptr);
    }
    ~Records() {
        for (PropertySet* record : all) record->release();
    }
    void add(const char16_t* name, const char16_t* className, const char16_t* friendly, const char16_t* parent,
             const char16_t* deleted) {
        PropertySet* record = MakeRecord(name, className, {{u"FriendlyClassName", friendly}, {u"parent", parent}});
        if (deleted) record->setText(u"DateDeletedUtc", deleted);
        all.push_back(record);
    }
    std::vector<std::string> passing(const RecordFilter& filter) const {
        std::vector<std::string> names;
        for (PropertySet* record : all)
            if (filter.passes(record)) names.push_back(lumivel::ToUtf8(record->getText(u"name").substr(0, 6)));
        return names;
    }
    std::vector<PropertySet*> all;
};

TEST(RecordFilter, MatchesNameParentAndClassIgnoringCaseAndAccents) {
    Records records;
    RecordFilter filter;
    filter.setRecords(records.all);
    struct Case {
        const char16_t* text;
        std::vector<std::string> passing;
        const char* why;
    } cases[] = {
        {u"", {"\xC3\x85ngstr", "Bob Ba", "Payrol", "Printe"}, "no text: everything"},
        {u"angstrom", {"\xC3\x85ngstr"}, "accents the typed text lacks"},
        {u"\u00E5NGSTR\u00D6M", {"\xC3\x85ngstr"}, "accents typed, other case"},
        {u"payroll", {"Bob Ba", "Payrol"}, "a deleted parent's mangled DN, and a name"},
        {u"ou=research", {"\xC3\x85ngstr"}, "the parent's DN as it is written"},
        {u"GROUP", {"Payrol"}, "the friendly class"},
        {u"printqueue", {"Printe"}, "the directory class"},
        {u"del:", {"Bob Ba"}, "only the mangled parent: a name's deletion suffix is not searched"},
        {u"baker,ou", {}, "no match across two fields"},
        {u"zzz", {}, "nothing"},
    };
    for (const Case& c : cases) {
        FilterCriteria criteria;
        criteria.text = c.text;
        filter.setCriteria(criteria);
        EXPECT_EQ(records.passing(filter), c.passing) << c.why;
        EXPECT_EQ(filter.passingCount(), c.passing.size()) << c.why;
    }
}

TEST(RecordFilter, NarrowsAndWidensAsTheTextIsTypedAndErased) {
    Records records;
    RecordFilter filter;
    filter.setRecords(records.all);
    std::vector<std::pair<const char16_t*, size_t>> keystrokes = {
        {u"p", 3}, {u"pa", 2}, {u"pay", 2}, {u"payr", 2}, {u"pay", 2}, {u"p", 3}, {u"pr", 1}, {u"", 4}};
    for (auto [text, count] : keystrokes) {
        FilterCriteria criteria;
        criteria.text = text;
        filter.setCriteria(criteria);
        EXPECT_EQ(filter.passingCount(), count) << lumivel::ToUtf8(text);
    }
    // New records are judged by the criteria in force, not by what passed before.
    FilterCriteria criteria;
    criteria.text = u"payroll";
    filter.setCriteria(criteria);
    PropertySet* fresh = MakeRecord(u"Payroll Clerk", u"user", {{u"parent", u"OU=Staff,DC=lumivel,DC=test"}});
    std::vector<PropertySet*> next = {records.all[0], fresh};
    filter.setRecords(next);
    EXPECT_FALSE(filter.passes(records.all[0]));
    EXPECT_TRUE(filter.passes(fresh));
    EXPECT_FALSE(filter.passes(records.all[2])) << "a record no longer held passes nothing";
    fresh->release();
}

TEST(RecordFilter, DeletionDaysAreLocalDaysBothIncluded) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    SYSTEMTIME march2{2026, 3, 0, 2, 0, 0, 0, 0}, march3{2026, 3, 0, 3, 0, 0, 0, 0};
    EXPECT_EQ(panorel::LocalDayStartUtc(march2), u"2026-03-01T23:00:00Z");
    EXPECT_EQ(panorel::LocalDayEndUtc(march2), u"2026-03-02T23:00:00Z");
    SYSTEMTIME summer{2026, 7, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(panorel::LocalDayStartUtc(summer), u"2026-06-30T22:00:00Z");

    Records records;
    RecordFilter filter;
    filter.setRecords(records.all);
    FilterCriteria criteria;
    // Bob Baker went at 00:30 local on 3 March: not on the 2nd, although his UTC date says so.
    criteria.deletedFromUtc = panorel::LocalDayStartUtc(march2);
    criteria.deletedBeforeUtc = panorel::LocalDayEndUtc(march2);
    filter.setCriteria(criteria);
    EXPECT_EQ(records.passing(filter), std::vector<std::string>{});
    criteria.deletedBeforeUtc = panorel::LocalDayEndUtc(march3);
    filter.setCriteria(criteria);
    EXPECT_EQ(records.passing(filter), std::vector<std::string>{"Bob Ba"});
    criteria.deletedBeforeUtc.clear();
    filter.setCriteria(criteria);
    EXPECT_EQ(records.passing(filter), (std::vector<std::string>{"Bob Ba", "Payrol"}))
        << "from a day on; a record without a deletion time never passes a date";
    criteria.text = u"group";
    filter.setCriteria(criteria);
    EXPECT_EQ(records.passing(filter), std::vector<std::string>{"Payrol"});
    if (saved) setenv("TZ", previous.c_str(), 1);
    else unsetenv("TZ");
}

TEST(RecordFilter, TheTopListShowsWhatPassesInItsOwnOrderEitherWay) {
    Records records;
    RecordFilter filter;
    panorel::TopRecords top;
    top.setFilter(&filter);
    filter.setRecords(records.all);
    top.assign(records.all, u"name");
    FilterCriteria criteria;
    criteria.text = u"a";
    filter.setCriteria(criteria);
    top.refilter();
    auto shown = [&] {
        std::vector<std::string> names;
        for (long i = 0; i < long(top.size()); ++i) names.push_back(lumivel::ToUtf8(top.at(i)->getText(u"name").substr(0, 3)));
        return names;
    };
    EXPECT_EQ(top.total(), 4u);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Bob", "Pay", "\xC3\x85ng"})) << "by code point, as unfiltered";
    top.setAscending(false);
    EXPECT_EQ(shown(), (std::vector<std::string>{"\xC3\x85ng", "Pay", "Bob"}));
    top.setAscending(true);
    top.sortBy(u"class");
    EXPECT_EQ(shown(), (std::vector<std::string>{"Pay", "\xC3\x85ng", "Bob"})) << "group, organizationalUnit, user";
    EXPECT_EQ(top.at(3), nullptr);
    EXPECT_EQ(top.findPrefix(u"bob", u"name", 0, true), 2);
}

}  // namespace
}  // namespace panoreltest
