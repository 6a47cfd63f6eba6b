// When triggers fire: a table of triggers, a "now" and the run that follows it, in zones with
// and without daylight-saving time; and the records SetTrigger refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../base/calendar.h"
#include "../run_times.h"

namespace lumivel::scheduler {
namespace {

constexpr char kBerlin[] = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr char kNewYork[] = "EST5EDT,M3.2.0,M11.1.0";
constexpr char kUtc[] = "UTC0";

Zone ZoneOf(const char* rule) { return ZoneFromRule(*ParsePosixRule(rule)); }

TASK_TRIGGER Base(int y, int m, int d, int hour, int minute) {
    TASK_TRIGGER t{};
    t.cbTriggerSize = sizeof t;
    t.wBeginYear = WORD(y), t.wBeginMonth = WORD(m), t.wBeginDay = WORD(d);
    t.wStartHour = WORD(hour), t.wStartMinute = WORD(minute);
    return t;
}

TASK_TRIGGER Once(int y, int m, int d, int hour, int minute) {
    TASK_TRIGGER t = Base(y, m, d, hour, minute);
    t.TriggerType = TASK_TIME_TRIGGER_ONCE;
    return t;
}

TASK_TRIGGER Daily(int y, int m, int d, int hour, int minute, WORD every) {
    TASK_TRIGGER t = Base(y, m, d, hour, minute);
    t.TriggerType = TASK_TIME_TRIGGER_DAILY;
    t.Type.Daily.DaysInterval = every;
    return t;
}

TASK_TRIGGER Weekly(int y, int m, int d, int hour, int minute, WORD every, WORD days) {
    TASK_TRIGGER t = Base(y, m, d, hour, minute);
    t.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
    t.Type.Weekly = {every, days};
    return t;
}

TASK_TRIGGER MonthlyDate(int y, int m, int d, int hour, int minute, DWORD dates, WORD months) {
    TASK_TRIGGER t = Base(y, m, d, hour, minute);
    t.TriggerType = TASK_TIME_TRIGGER_MONTHLYDATE;
    t.Type.MonthlyDate.rgfDays = dates;
    t.Type.MonthlyDate.rgfMonths = months;
    return t;
}

TASK_TRIGGER MonthlyDow(int y, int m, int d, int hour, int minute, WORD week, WORD days, WORD months) {
    TASK_TRIGGER t = Base(y, m, d, hour, minute);
    t.TriggerType = TASK_TIME_TRIGGER_MONTHLYDOW;
    t.Type.MonthlyDOW = {week, days, months};
    return t;
}

TASK_TRIGGER Ending(TASK_TRIGGER t, int y, int m, int d) {
    t.rgFlags |= TASK_TRIGGER_FLAG_HAS_END_DATE;
    t.wEndYear = WORD(y), t.wEndMonth = WORD(m), t.wEndDay = WORD(d);
    return t;
}

TASK_TRIGGER Disabled(TASK_TRIGGER t) {
    t.rgFlags |= TASK_TRIGGER_FLAG_DISABLED;
    return t;
}

// "YYYY-MM-DD hh:mm:ss" local time -> seconds as if local were UTC.
int64_t Local(const std::string& text) {
    int y, mo, d, h, mi, s;
    EXPECT_EQ(std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s), 6) << text;
    return DaysFromCivil(y, unsigned(mo), unsigned(d)) * 86400 + h * 3600 + mi * 60 + s;
}

int64_t Utc(const std::string& text) { return Local(text); }

std::string LocalText(const Zone& zone, Instant instant) {
    SYSTEMTIME t = LocalSystemTime(zone, instant);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

struct Row {
    const char* what;
    const char* zone;
    TASK_TRIGGER trigger;
    const char* now;       // local
    const char* expected;  // local, or "" for no further run
    const char* utc;       // the expected instant in UTC, where the zone's offset is the point
};

// 2026: 1 March and 29 March are Sundays; Europe moves its clocks on 29 March and 25 October,
// New York on 8 March and 1 November.
const Row kRows[] = {
    {"once, before it", kBerlin, Once(2026, 3, 10, 9, 0), "2026-03-10 08:59:30", "2026-03-10 09:00:00", nullptr},
    {"once, at its minute", kBerlin, Once(2026, 3, 10, 9, 0), "2026-03-10 09:00:00", "", nullptr},
    {"once, days later", kBerlin, Once(2026, 3, 10, 9, 0), "2026-03-11 00:00:00", "", nullptr},
    {"daily, before the begin date", kBerlin, Daily(2026, 3, 10, 9, 0, 1), "2026-03-01 12:00:00", "2026-03-10 09:00:00", nullptr},
    {"daily, just after a run", kBerlin, Daily(2026, 3, 10, 9, 0, 1), "2026-03-10 09:00:01", "2026-03-11 09:00:00", nullptr},
    {"daily, runs missed long ago are not made up", kBerlin, Daily(2020, 1, 1, 9, 0, 1), "2026-03-10 12:00:00",
     "2026-03-11 09:00:00", nullptr},
    {"every 3 days counts from the begin date", kBerlin, Daily(2026, 3, 10, 9, 0, 3), "2026-03-11 10:00:00",
     "2026-03-13 09:00:00", nullptr},
    {"every 365 days", kUtc, Daily(2026, 1, 1, 0, 0, 365), "2026-01-01 00:00:00", "2027-01-01 00:00:00", nullptr},
    {"daily keeps its wall time into summer time", kBerlin, Daily(2026, 3, 1, 9, 0, 1), "2026-03-28 10:00:00",
     "2026-03-29 09:00:00", "2026-03-29 07:00:00"},
    {"a time the clock skips runs when it has jumped past", kBerlin, Daily(2026, 3, 1, 2, 30, 1), "2026-03-28 03:00:00",
     "2026-03-29 03:30:00", "2026-03-29 01:30:00"},
    {"a time the clock shows twice runs the first time", kBerlin, Daily(2026, 10, 1, 2, 30, 1), "2026-10-24 12:00:00",
     "2026-10-25 02:30:00", "2026-10-25 00:30:00"},
    {"and not again an hour later", kBerlin, Daily(2026, 10, 1, 2, 30, 1), "2026-10-25 02:45:00", "2026-10-26 02:30:00",
     "2026-10-26 01:30:00"},
    {"New York skips 02:15 on its own day", kNewYork, Daily(2026, 3, 1, 2, 15, 1), "2026-03-07 12:00:00",
     "2026-03-08 03:15:00", "2026-03-08 07:15:00"},
    {"weekly, Monday and Sunday from a Tuesday", kBerlin, Weekly(2026, 3, 10, 9, 0, 1, TASK_MONDAY | TASK_SUNDAY),
     "2026-03-10 10:00:00", "2026-03-15 09:00:00", nullptr},
    {"weekly, the Monday after that Sunday", kBerlin, Weekly(2026, 3, 10, 9, 0, 1, TASK_MONDAY | TASK_SUNDAY),
     "2026-03-15 09:00:00", "2026-03-16 09:00:00", nullptr},
    {"every 2 weeks skips the begin week's passed Monday", kBerlin, Weekly(2026, 3, 10, 9, 0, 2, TASK_MONDAY),
     "2026-03-10 08:00:00", "2026-03-23 09:00:00", nullptr},
    {"every 2 weeks, then two weeks on", kBerlin, Weekly(2026, 3, 10, 9, 0, 2, TASK_MONDAY), "2026-03-23 09:00:00",
     "2026-04-06 09:00:00", nullptr},
    {"every 2 weeks, a later day of the begin week", kBerlin, Weekly(2026, 3, 10, 9, 0, 2, TASK_FRIDAY),
     "2026-03-10 08:00:00", "2026-03-13 09:00:00", nullptr},
    {"day 15 of every month", kBerlin, MonthlyDate(2026, 1, 1, 9, 0, 1u << 14, 0xFFF), "2026-01-15 09:00:00",
     "2026-02-15 09:00:00", nullptr},
    {"day 31 skips February", kBerlin, MonthlyDate(2026, 1, 1, 9, 0, 1u << 30, TASK_JANUARY | TASK_FEBRUARY | TASK_MARCH),
     "2026-02-01 00:00:00", "2026-03-31 09:00:00", nullptr},
    {"day 31 of April only never comes", kBerlin, MonthlyDate(2026, 1, 1, 9, 0, 1u << 30, TASK_APRIL),
     "2026-02-01 00:00:00", "", nullptr},
    {"29 February waits for a leap year", kBerlin, MonthlyDate(2026, 1, 1, 9, 0, 1u << 28, TASK_FEBRUARY),
     "2026-01-01 00:00:00", "2028-02-29 09:00:00", nullptr},
    {"days 1 and 20 of March", kBerlin, MonthlyDate(2026, 1, 1, 9, 0, 1u | 1u << 19, TASK_MARCH), "2026-03-01 09:00:00",
     "2026-03-20 09:00:00", nullptr},
    {"the first Monday of March", kBerlin, MonthlyDow(2026, 1, 1, 9, 0, TASK_FIRST_WEEK, TASK_MONDAY, TASK_MARCH),
     "2026-01-10 00:00:00", "2026-03-02 09:00:00", nullptr},
    {"the first Monday of March, a year on", kBerlin, MonthlyDow(2026, 1, 1, 9, 0, TASK_FIRST_WEEK, TASK_MONDAY, TASK_MARCH),
     "2026-03-02 09:00:00", "2027-03-01 09:00:00", nullptr},
    {"the last Friday of every month", kBerlin, MonthlyDow(2026, 1, 1, 9, 0, TASK_LAST_WEEK, TASK_FRIDAY, 0xFFF),
     "2026-01-31 00:00:00", "2026-02-27 09:00:00", nullptr},
    {"the last Sunday of a month with five", kBerlin, MonthlyDow(2026, 1, 1, 9, 0, TASK_LAST_WEEK, TASK_SUNDAY, TASK_MARCH),
     "2026-01-01 00:00:00", "2026-03-29 09:00:00", nullptr},
    {"the fourth Thursday of November", kNewYork,
     MonthlyDow(2026, 1, 1, 12, 0, TASK_FOURTH_WEEK, TASK_THURSDAY, TASK_NOVEMBER), "2026-01-01 00:00:00",
     "2026-11-26 12:00:00", nullptr},
    {"the begin date holds back a monthly trigger", kBerlin, MonthlyDate(2026, 6, 16, 9, 0, 1u << 14, 0xFFF),
     "2026-01-01 00:00:00", "2026-07-15 09:00:00", nullptr},
    {"the end date ends a daily trigger", kBerlin, Ending(Daily(2026, 3, 10, 9, 0, 1), 2026, 3, 12), "2026-03-12 10:00:00",
     "", nullptr},
    {"the end date's own day still runs", kBerlin, Ending(Daily(2026, 3, 10, 9, 0, 1), 2026, 3, 12), "2026-03-11 10:00:00",
     "2026-03-12 09:00:00", nullptr},
    {"a disabled trigger never runs", kBerlin, Disabled(Daily(2026, 3, 10, 9, 0, 1)), "2026-03-01 00:00:00", "", nullptr},
};

TEST(RunTimes, ConformanceTable) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        Zone zone = ZoneOf(row.zone);
        const Instant now = InstantOfLocal(zone, Local(row.now));
        auto next = NextRunOfTrigger(row.trigger, now, zone);
        if (*row.expected == '\0') {
            EXPECT_FALSE(next.has_value()) << LocalText(zone, next.value_or(0));
            continue;
        }
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(LocalText(zone, *next), row.expected);
        if (row.utc) {
            EXPECT_EQ(*next, Utc(row.utc));
        }
    }
}

TEST(RunTimes, LocalTimesAroundClockChanges) {
    Zone berlin = ZoneOf(kBerlin);
    // Winter, summer, the skipped hour, the repeated hour (first and second showing).
    EXPECT_EQ(InstantOfLocal(berlin, Local("2026-01-10 12:00:00")), Utc("2026-01-10 11:00:00"));
    EXPECT_EQ(InstantOfLocal(berlin, Local("2026-07-10 12:00:00")), Utc("2026-07-10 10:00:00"));
    EXPECT_EQ(InstantOfLocal(berlin, Local("2026-03-29 02:00:00")), Utc("2026-03-29 01:00:00"));
    EXPECT_EQ(InstantOfLocal(berlin, Local("2026-10-25 02:59:00")), Utc("2026-10-25 00:59:00"));
    EXPECT_EQ(LocalText(berlin, Utc("2026-10-25 01:30:00")), "2026-10-25 02:30:00");
    EXPECT_EQ(InstantOfLocal(berlin, Local("2026-10-25 03:00:00")), Utc("2026-10-25 02:00:00"));
}

TEST(RunTimes, SetTriggerRefusesWhatCannotRun) {
    struct Case {
        const char* what;
        TASK_TRIGGER trigger;
        HRESULT expected;
    };
    TASK_TRIGGER wrongSize = Daily(2026, 3, 10, 9, 0, 1);
    wrongSize.cbTriggerSize = 40;
    TASK_TRIGGER february30 = Daily(2026, 2, 30, 9, 0, 1);
    TASK_TRIGGER hour24 = Daily(2026, 3, 10, 24, 0, 1);
    TASK_TRIGGER repeating = Daily(2026, 3, 10, 9, 0, 1);
    repeating.MinutesInterval = 10;
    repeating.MinutesDuration = 60;
    TASK_TRIGGER random = Daily(2026, 3, 10, 9, 0, 1);
    random.wRandomMinutesInterval = 5;
    TASK_TRIGGER atLogon = Base(2026, 3, 10, 9, 0);
    atLogon.TriggerType = TASK_EVENT_TRIGGER_AT_LOGON;
    TASK_TRIGGER badEnd = Ending(Daily(2026, 3, 10, 9, 0, 1), 2026, 13, 1);
    const Case cases[] = {
        {"a record of another size", wrongSize, E_INVALIDARG},
        {"30 February", february30, E_INVALIDARG},
        {"hour 24", hour24, E_INVALIDARG},
        {"every 0 days", Daily(2026, 3, 10, 9, 0, 0), E_INVALIDARG},
        {"every 0 weeks", Weekly(2026, 3, 10, 9, 0, 0, TASK_MONDAY), E_INVALIDARG},
        {"a week without days", Weekly(2026, 3, 10, 9, 0, 1, 0), E_INVALIDARG},
        {"day 32 of a month", MonthlyDate(2026, 3, 10, 9, 0, 1u << 31, 0xFFF), E_INVALIDARG},
        {"no month", MonthlyDate(2026, 3, 10, 9, 0, 1, 0), E_INVALIDARG},
        {"a thirteenth month", MonthlyDate(2026, 3, 10, 9, 0, 1, 0x1000), E_INVALIDARG},
        {"a sixth week", MonthlyDow(2026, 3, 10, 9, 0, 6, TASK_MONDAY, 0xFFF), E_INVALIDARG},
        {"an end date that is no date", badEnd, E_INVALIDARG},
        {"repetition within a day", repeating, E_NOTIMPL},
        {"a random delay", random, E_NOTIMPL},
        {"an event trigger", atLogon, E_NOTIMPL},
        {"the once trigger the form makes", Once(2026, 3, 10, 9, 0), S_OK},
        {"day 31 of every month", MonthlyDate(2026, 3, 10, 9, 0, 1u << 30, 0xFFF), S_OK},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckTrigger(c.trigger), c.expected) << c.what;
}

}  // namespace
}  // namespace lumivel::scheduler
