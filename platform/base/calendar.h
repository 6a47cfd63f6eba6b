// Proleptic Gregorian calendar arithmetic and variant dates, shared by the platform's time
// functions (the base area, file times, hives and the directory's time syntaxes).
#pragma once

#include <cmath>
#include <cstdint>

#include "win/types.h"

namespace lumivel {

// Days since 1970-01-01 of a civil date (month 1-12); valid for any year.
constexpr int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

constexpr CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yoe) + era * 400 + (month <= 2), month, day};
}

// 0 = Sunday, as SYSTEMTIME's wDayOfWeek.
constexpr unsigned WeekdayFromDays(int64_t days) {
    return static_cast<unsigned>(((days % 7) + 11) % 7);
}

constexpr bool IsLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

constexpr unsigned DaysInMonth(int64_t year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The day of month of the n-th (1-4, 5 = last) given weekday (0 = Sunday) of a month.
constexpr unsigned NthWeekdayOfMonth(int64_t year, unsigned month, unsigned n, unsigned weekday) {
    unsigned first = WeekdayFromDays(DaysFromCivil(year, month, 1));
    unsigned day = 1 + (weekday + 7 - first) % 7 + (n - 1) * 7;
    while (day > DaysInMonth(year, month)) day -= 7;
    return day;
}

constexpr int64_t kSecondsPerDay = 86400;
// Seconds between 1601-01-01 (the FILETIME epoch) and 1970-01-01.
constexpr int64_t kFileTimeEpochSeconds = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

// Day 0 of a variant date, 1899-12-30, in days from 1970-01-01.
constexpr int64_t kVariantDateEpochDays = -25569;

// The SYSTEMTIME of a time in seconds from 1970-01-01 (negative before it).
inline void FillSystemTime(int64_t seconds, unsigned milliseconds, SYSTEMTIME* st) {
    int64_t days = seconds / kSecondsPerDay - (seconds % kSecondsPerDay < 0);
    int64_t rest = seconds - days * kSecondsPerDay;
    CivilDate date = CivilFromDays(days);
    st->wYear = static_cast<WORD>(date.year);
    st->wMonth = static_cast<WORD>(date.month);
    st->wDay = static_cast<WORD>(date.day);
    st->wDayOfWeek = static_cast<WORD>(WeekdayFromDays(days));
    st->wHour = static_cast<WORD>(rest / 3600);
    st->wMinute = static_cast<WORD>(rest / 60 % 60);
    st->wSecond = static_cast<WORD>(rest % 60);
    st->wMilliseconds = static_cast<WORD>(milliseconds);
}

// A variant date: the whole part counts days from 1899-12-30 (negative before it), the
// fraction is the time of day, always counted forward, so -1.25 is 1899-12-29 06:00.
constexpr double VariantDateFromDays(int64_t daysSince1970, double secondsOfDay) {
    const int64_t days = daysSince1970 - kVariantDateEpochDays;
    const double fraction = secondsOfDay / kSecondsPerDay;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// The time of a (finite, in range) variant date since 1970-01-01 in units of 1/unitsPerSecond
// seconds, the time of day rounded to the nearest unit.
inline int64_t UnitsFromVariantDate(double date, int64_t unitsPerSecond) {
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    const int64_t units = static_cast<int64_t>(std::floor(fraction * kSecondsPerDay * unitsPerSecond + 0.5));
    return (static_cast<int64_t>(whole) + kVariantDateEpochDays) * kSecondsPerDay * unitsPerSecond + units;
}

}  // namespace lumivel
