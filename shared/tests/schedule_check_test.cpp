// The schedule form's refusals as one table: every maker of a backup job (the form, a record
// of command 310, the command line) gets the same answer for the same entries.
#include "shared/schedule_check.h"

#include <gtest/gtest.h>

#include "shared/provider_interfaces.h"

namespace {

using lumivel::shared::CheckScheduleEntries;
using lumivel::shared::ScheduleEntries;

ScheduleEntries entries(LONG schedule, LONG count, LONG mask, bool byWeekday = false) {
    ScheduleEntries e;
    e.schedule = schedule;
    e.count = count;
    e.mask = mask;
    e.byWeekday = byWeekday;
    e.account = u"backup@LUMIVEL.TEST";
    e.password = u"Secret1";
    e.confirmation = u"Secret1";
    return e;
}

TEST(ScheduleCheckTest, RefusesWhatTheFormRefusesInItsWords) {
    using namespace lumivel::shared;
    const char16_t* none = nullptr;
    struct Row {
        const char* what;
        ScheduleEntries entries;
        const char16_t* text;
        const char16_t* caption;
    } rows[] = {
        {"daily 1", entries(kScheduleDaily, 1, 0), none, none},
        {"daily 365", entries(kScheduleDaily, 365, 0), none, none},
        {"daily 0", entries(kScheduleDaily, 0, 0), u"The maximum allowed value is 365 days.", u"Value"},
        {"daily 366", entries(kScheduleDaily, 366, 0), u"The maximum allowed value is 365 days.", u"Value"},
        {"weekly 53", entries(kScheduleWeekly, 53, 1), u"The maximum allowed value is 52 weeks.", u"Value"},
        {"weekly without a day", entries(kScheduleWeekly, 1, 0),
         u"You must select at least one day for the collection to run before you can continue", u"Invalid Data"},
        // Only the seven day bits count: a mask of other bits ticks no day.
        {"weekly with no day bit", entries(kScheduleWeekly, 1, 0x80),
         u"You must select at least one day for the collection to run before you can continue", u"Invalid Data"},
        {"monthly without a month", entries(kScheduleMonthly, 15, 0),
         u"You must select at least one month for the collection to run before you can continue", u"Invalid Data"},
        {"monthly day 32", entries(kScheduleMonthly, 32, 0xFFF), u"The maximum allowed value is 31 days.", u"Value"},
        // By weekday the count is the week (0 first): no day range applies.
        {"monthly first Monday", entries(kScheduleMonthly, 0, 0x4, true), none, none},
        {"once", entries(kScheduleOnce, 0, 0), none, none},
    };
    for (const Row& row : rows) {
        auto refused = CheckScheduleEntries(row.entries);
        ASSERT_EQ(refused.has_value(), row.text != nullptr) << row.what;
        if (!refused) continue;
        EXPECT_EQ(std::u16string(refused->text), row.text) << row.what;
        EXPECT_EQ(std::u16string(refused->caption), row.caption) << row.what;
    }

    // The account and the password come after the schedule's own fields, as on the page.
    ScheduleEntries both = entries(kScheduleDaily, 0, 0);
    both.account = u"";
    EXPECT_EQ(std::u16string(CheckScheduleEntries(both)->caption), u"Value");
    both.count = 1;
    EXPECT_EQ(std::u16string(CheckScheduleEntries(both)->text), u"Please enter a valid account.");
    ScheduleEntries password = entries(kScheduleDaily, 1, 0);
    password.password = password.confirmation = u"";
    EXPECT_EQ(std::u16string(CheckScheduleEntries(password)->text), u"You cannot specify an empty password.");
    password.password = u"Secret";
    password.confirmation = u"secret";
    EXPECT_EQ(std::u16string(CheckScheduleEntries(password)->text), u"The passwords do not match.");
}

TEST(ScheduleCheckTest, NumbersReadAsTheFormsFieldsReadThem) {
    using lumivel::shared::ScheduleNumber;
    EXPECT_EQ(ScheduleNumber(u"365"), 365);
    EXPECT_EQ(ScheduleNumber(u"007"), 7);
    EXPECT_EQ(ScheduleNumber(u""), 0);
    EXPECT_EQ(ScheduleNumber(u"-1"), 0);
    EXPECT_EQ(ScheduleNumber(u"1 "), 0);
    EXPECT_EQ(ScheduleNumber(u"2147483647"), 0x7FFFFFFF);
    EXPECT_EQ(ScheduleNumber(u"2147483648"), 0) << "beyond a LONG reads as no number, not as a wrapped one";
    EXPECT_EQ(ScheduleNumber(u"99999999999999999999999"), 0);
}

TEST(ScheduleCheckTest, ARecordsKeysAreItsEntries) {
    PropertySet* record = PropertySet::create();
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(lumivel::shared::ScheduleEntriesOf(*record)) << "no schedule at all";
    record->setInt(kScheduleKey, lumivel::shared::kScheduleMonthly);
    record->setInt(kTimeSliceKey, 2);
    record->setInt(kDaysOrMonthsKey, 0x4);
    record->setInt(kCycleOfWeekKey, 0);
    record->setText(kAccountKey, u"backup");
    record->setText(kPasswordKey, u"Secret1");
    auto read = lumivel::shared::ScheduleEntriesOf(*record);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->byWeekday);
    EXPECT_EQ(read->count, 2);
    EXPECT_EQ(read->mask, 0x4);
    EXPECT_FALSE(CheckScheduleEntries(*read)) << "one password is its own confirmation";

    record->setText(kTimeSliceKey, u"2");
    EXPECT_FALSE(lumivel::shared::ScheduleEntriesOf(*record)) << "a number given as text is no answer of the form's";
    record->setInt(kTimeSliceKey, 2);

    lumivel::shared::ForgetPassword(*record);
    EXPECT_FALSE(record->has(kPasswordKey));
    EXPECT_EQ(lumivel::shared::ScheduleEntriesOf(*record)->password, u"");
    record->release();
}

}  // namespace
