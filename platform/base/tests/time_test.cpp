#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "win/datetime.h"
#include "win/errors.h"
#include "win/oleauto.h"

namespace {

SYSTEMTIME Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    SYSTEMTIME st{};
    st.wYear = WORD(y), st.wMonth = WORD(mo), st.wDay = WORD(d), st.wHour = WORD(h), st.wMinute = WORD(mi);
    st.wSecond = WORD(s), st.wMilliseconds = WORD(ms);
    return st;
}

std::string Text(const SYSTEMTIME& st) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return buffer;
}

// The zone conversions need the tz database (the tzdata package).
bool HaveZoneDatabase() {
    FILE* f = std::fopen("/usr/share/zoneinfo/Europe/Berlin", "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old) m_old = old;
        setenv("TZ", zone, 1);
    }
    ~ZoneScope() {
        if (m_had) setenv("TZ", m_old.c_str(), 1);
        else unsetenv("TZ");
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(SystemTime, FileTimesRoundTripAndValidate) {
    SYSTEMTIME st = Make(2004, 3, 7, 14, 5, 9, 250);
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ((ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, 127231419092500000ULL);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(Text(back), "2004-03-07 14:05:09");
    EXPECT_EQ(back.wMilliseconds, 250);
    EXPECT_EQ(back.wDayOfWeek, 0);  // a Sunday
    for (SYSTEMTIME bad : {Make(2003, 2, 29), Make(1600, 12, 31), Make(2004, 13, 1), Make(2004, 1, 1, 24)}) {
        EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    FILETIME huge{0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_FALSE(FileTimeToSystemTime(&huge, &back));
    FILETIME a{1, 0}, b{0, 1};
    EXPECT_EQ(CompareFileTime(&a, &b), -1);
    EXPECT_EQ(CompareFileTime(&b, &a), 1);
    EXPECT_EQ(CompareFileTime(&a, &a), 0);
}

TEST(VariantTime, FollowsOleDateRules) {
    struct Case {
        double date;
        const char* text;
    } cases[] = {
        {0.0, "1899-12-30 00:00:00"},   {1.5, "1899-12-31 12:00:00"},     {-1.25, "1899-12-29 06:00:00"},
        {-1.75, "1899-12-29 18:00:00"}, {38053.5868055556, "2004-03-07 14:05:00"},
        {2.0 + 0.4999 / 86400, "1900-01-01 00:00:00"},  // under half a second rounds down
        {2.0 + 0.5001 / 86400, "1900-01-01 00:00:01"},  // over half a second rounds up
        {2.0 + 86399.6 / 86400, "1900-01-02 00:00:00"}, // and can carry into the next day
        {2958465.0, "9999-12-31 00:00:00"},             {-657434.0, "0100-01-01 00:00:00"},
    };
    for (const auto& c : cases) {
        SYSTEMTIME st;
        ASSERT_TRUE(VariantTimeToSystemTime(c.date, &st)) << c.date;
        EXPECT_EQ(Text(st), c.text) << c.date;
        EXPECT_EQ(st.wMilliseconds, 0);
    }
    SYSTEMTIME st;
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(NAN, &st));

    double date = 0;
    SYSTEMTIME noon = Make(1899, 12, 29, 6, 0, 0, 999);
    ASSERT_TRUE(SystemTimeToVariantTime(&noon, &date));
    EXPECT_DOUBLE_EQ(date, -1.25);
    SYSTEMTIME when = Make(2004, 3, 7, 14, 5);
    ASSERT_TRUE(SystemTimeToVariantTime(&when, &date));
    EXPECT_NEAR(date, 38053.5868055556, 1e-9);
    SYSTEMTIME impossible = Make(2003, 2, 30);
    EXPECT_FALSE(SystemTimeToVariantTime(&impossible, &date));
}

// UTC instants and the local time each zone shows for them, across daylight changes.
TEST(TimeZones, LocalTimeFromTheZoneDatabase) {
    if (!HaveZoneDatabase()) GTEST_SKIP() << "no tz database";
    struct Case {
        const char* zone;
        SYSTEMTIME utc;
        const char* local;
    } cases[] = {
        {"Europe/Berlin", Make(2004, 3, 28, 0, 59), "2004-03-28 01:59:00"},
        {"Europe/Berlin", Make(2004, 3, 28, 1, 0), "2004-03-28 03:00:00"},
        {"Europe/Berlin", Make(2004, 10, 31, 0, 59), "2004-10-31 02:59:00"},
        {"Europe/Berlin", Make(2004, 10, 31, 1, 0), "2004-10-31 02:00:00"},
        {"Asia/Tokyo", Make(2004, 12, 31, 23, 30), "2005-01-01 08:30:00"},
        {"Australia/Sydney", Make(2004, 12, 31, 23, 30), "2005-01-01 10:30:00"},
        {"Australia/Sydney", Make(2004, 7, 1, 0, 0), "2004-07-01 10:00:00"},
        {"Asia/Kolkata", Make(2023, 12, 31, 23, 30), "2024-01-01 05:00:00"},
        {"America/New_York", Make(2007, 3, 11, 6, 59), "2007-03-11 01:59:00"},
        {"America/New_York", Make(2007, 3, 11, 7, 0), "2007-03-11 03:00:00"},
        // Before 2007 the United States changed clocks in April: the older rule holds then.
        {"America/New_York", Make(2006, 3, 20, 12, 0), "2006-03-20 07:00:00"},
        {"America/New_York", Make(2004, 12, 31, 23, 30), "2004-12-31 18:30:00"},
        {"UTC", Make(2004, 12, 31, 23, 30), "2004-12-31 23:30:00"},
        {"EST5EDT,M3.2.0,M11.1.0", Make(2020, 7, 1, 12, 0), "2020-07-01 08:00:00"},
    };
    for (const auto& c : cases) {
        ZoneScope scope(c.zone);
        SYSTEMTIME local;
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &c.utc, &local)) << c.zone;
        EXPECT_EQ(Text(local), c.local) << c.zone << " " << Text(c.utc);
        SYSTEMTIME back;
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &back));
        // A local time of the repeated autumn hour may map back to either of its instants.
        SYSTEMTIME again;
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &back, &again));
        EXPECT_EQ(Text(again), c.local) << c.zone;
        if (std::string(c.local).rfind("2004-10-31 02:", 0) != 0) {
            EXPECT_EQ(Text(back), Text(c.utc)) << c.zone;
        }
    }
}

TEST(TimeZones, InformationCarriesTheRuleInWindowsForm) {
    if (!HaveZoneDatabase()) GTEST_SKIP() << "no tz database";
    {
        ZoneScope scope("Europe/Berlin");
        TIME_ZONE_INFORMATION tzi;
        DWORD id = GetTimeZoneInformation(&tzi);
        EXPECT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT);
        EXPECT_EQ(tzi.Bias, -60);
        EXPECT_EQ(tzi.StandardBias, 0);
        EXPECT_EQ(tzi.DaylightBias, -60);
        EXPECT_EQ(std::u16string(tzi.StandardName), u"CET");
        EXPECT_EQ(std::u16string(tzi.DaylightName), u"CEST");
        // Last Sunday of March at 02:00, last Sunday of October at 03:00.
        EXPECT_EQ(tzi.DaylightDate.wMonth, 3);
        EXPECT_EQ(tzi.DaylightDate.wDay, 5);
        EXPECT_EQ(tzi.DaylightDate.wDayOfWeek, 0);
        EXPECT_EQ(tzi.DaylightDate.wHour, 2);
        EXPECT_EQ(tzi.StandardDate.wMonth, 10);
        EXPECT_EQ(tzi.StandardDate.wHour, 3);
        EXPECT_EQ(tzi.StandardDate.wYear, 0);
    }
    {
        ZoneScope scope("Asia/Tokyo");
        TIME_ZONE_INFORMATION tzi;
        EXPECT_EQ(GetTimeZoneInformation(&tzi), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
        EXPECT_EQ(tzi.Bias, -540);
        EXPECT_EQ(tzi.StandardDate.wMonth, 0);
    }
    {
        ZoneScope scope("America/New_York");
        TIME_ZONE_INFORMATION tzi;
        GetTimeZoneInformation(&tzi);
        EXPECT_EQ(tzi.Bias, 300);
        EXPECT_EQ(tzi.DaylightDate.wMonth, 3);
        EXPECT_EQ(tzi.DaylightDate.wDay, 2);
        EXPECT_EQ(tzi.StandardDate.wMonth, 11);
        EXPECT_EQ(tzi.StandardDate.wDay, 1);
    }
}

// With an explicit zone the rule applies to every year, as on Windows: the same 2006 instant
// that the database shows in standard time (above) is in daylight time under today's rule.
TEST(TimeZones, ExplicitZoneAppliesItsRuleToEveryYear) {
    TIME_ZONE_INFORMATION newYork{};
    newYork.Bias = 300;
    newYork.DaylightBias = -60;
    newYork.DaylightDate = Make(0, 3, 2, 2);
    newYork.DaylightDate.wDayOfWeek = 0;
    newYork.StandardDate = Make(0, 11, 1, 2);
    newYork.StandardDate.wDayOfWeek = 0;
    TIME_ZONE_INFORMATION sydney{};
    sydney.Bias = -600;
    sydney.DaylightBias = -60;
    sydney.DaylightDate = Make(0, 10, 1, 2);
    sydney.StandardDate = Make(0, 4, 1, 3);
    TIME_ZONE_INFORMATION tokyo{};
    tokyo.Bias = -540;
    struct Case {
        const TIME_ZONE_INFORMATION* zone;
        SYSTEMTIME utc;
        const char* local;
    } cases[] = {
        {&newYork, Make(2006, 3, 20, 12, 0), "2006-03-20 08:00:00"},
        {&newYork, Make(2004, 12, 31, 23, 30), "2004-12-31 18:30:00"},
        {&newYork, Make(2020, 11, 1, 5, 59), "2020-11-01 01:59:00"},
        {&newYork, Make(2020, 11, 1, 6, 0), "2020-11-01 01:00:00"},
        {&sydney, Make(2004, 12, 31, 23, 30), "2005-01-01 10:30:00"},
        {&sydney, Make(2021, 7, 1, 0, 0), "2021-07-01 10:00:00"},
        {&tokyo, Make(2004, 12, 31, 23, 30), "2005-01-01 08:30:00"},
    };
    for (const auto& c : cases) {
        SYSTEMTIME local;
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(c.zone, &c.utc, &local));
        EXPECT_EQ(Text(local), c.local) << Text(c.utc);
    }
    TIME_ZONE_INFORMATION broken = newYork;
    broken.DaylightDate.wMonth = 13;
    SYSTEMTIME local, utc = Make(2020, 1, 1);
    EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(&broken, &utc, &local));
}

TEST(TimeZones, HostileZoneNamesFallBackToUtc) {
    for (const char* zone : {"../../../etc/passwd", "Not/A_Zone", "<+0330>-3:30x"}) {
        ZoneScope scope(zone);
        SYSTEMTIME utc = Make(2020, 6, 1, 12, 0), local;
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
        EXPECT_EQ(Text(local), "2020-06-01 12:00:00") << zone;
    }
    ZoneScope scope("<+0330>-3:30");
    SYSTEMTIME utc = Make(2020, 6, 1, 12, 0), local;
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    EXPECT_EQ(Text(local), "2020-06-01 15:30:00");
}

TEST(Clock, TicksAdvanceAndSleepWaits) {
    DWORD start = GetTickCount();
    Sleep(50);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 45u);
    SYSTEMTIME now;
    GetSystemTime(&now);
    EXPECT_GE(now.wYear, 2024);
}

}  // namespace
