#include "run_times.h"

#include <algorithm>

#include "../base/calendar.h"

namespace lumivel::scheduler {
namespace {

constexpr int64_t kSecondsPerDay = lumivel::kSecondsPerDay;
// A monthly trigger that names only 29 February fires once in eight years at worst (2096 to
// 2104); one that fires in no month of that span names no date that exists.
constexpr int kLongestMonthlyGap = 12 * 9;
constexpr DWORD kMonthMask = 0xFFF;
constexpr DWORD kDayOfMonthMask = 0x7FFFFFFF;
constexpr DWORD kWeekdayMask = 0x7F;

bool ValidDate(WORD year, WORD month, WORD day) {
    return year >= 1601 && year <= 30827 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

int64_t FloorDiv(int64_t value, int64_t divisor) {
    return value / divisor - ((value % divisor != 0) && ((value < 0) != (divisor < 0)));
}

// The flag of a day in rgfDaysOfTheWeek: TASK_SUNDAY is bit 0, as weekday 0 is Sunday.
bool HasWeekday(WORD mask, int64_t day) { return mask & (1u << WeekdayFromDays(day)); }

// The first day not before `from` on which the trigger's date rule fires; none when no such
// day comes within the span the rule can skip.
std::optional<int64_t> FirstFiringDay(const TASK_TRIGGER& t, int64_t begin, int64_t from) {
    from = std::max(from, begin);
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_ONCE:
            return begin >= from ? std::optional<int64_t>(begin) : std::nullopt;
        case TASK_TIME_TRIGGER_DAILY: {
            const int64_t n = t.Type.Daily.DaysInterval;
            return begin + (from - begin + n - 1) / n * n;
        }
        case TASK_TIME_TRIGGER_WEEKLY: {
            const int64_t n = t.Type.Weekly.WeeksInterval;
            const int64_t firstSunday = begin - WeekdayFromDays(begin);
            int64_t day = from;
            // At most one jump to a firing week and two weeks of days.
            for (int guard = 0; guard < 32; ++guard) {
                const int64_t week = (day - firstSunday) / 7;
                if (week % n != 0) {
                    day = firstSunday + (week + n - week % n) * 7;
                    continue;
                }
                const int64_t weekEnd = firstSunday + week * 7 + 7;
                for (; day < weekEnd; ++day)
                    if (HasWeekday(t.Type.Weekly.rgfDaysOfTheWeek, day)) return day;
            }
            return std::nullopt;
        }
        case TASK_TIME_TRIGGER_MONTHLYDATE:
        case TASK_TIME_TRIGGER_MONTHLYDOW: {
            const CivilDate start = CivilFromDays(from);
            int64_t year = start.year;
            unsigned month = start.month;
            for (int step = 0; step <= kLongestMonthlyGap; ++step) {
                const WORD months = t.TriggerType == TASK_TIME_TRIGGER_MONTHLYDATE ? t.Type.MonthlyDate.rgfMonths
                                                                                   : t.Type.MonthlyDOW.rgfMonths;
                if (months & (1u << (month - 1))) {
                    const unsigned length = DaysInMonth(year, month);
                    const int64_t first = DaysFromCivil(year, month, 1);
                    for (unsigned day = 1; day <= length; ++day) {
                        const int64_t candidate = first + day - 1;
                        if (candidate < from) continue;
                        bool fires;
                        if (t.TriggerType == TASK_TIME_TRIGGER_MONTHLYDATE) {
                            fires = t.Type.MonthlyDate.rgfDays & (1u << (day - 1));
                        } else {
                            const unsigned weekday = WeekdayFromDays(candidate);
                            fires = HasWeekday(t.Type.MonthlyDOW.rgfDaysOfTheWeek, candidate) &&
                                    day == NthWeekdayOfMonth(year, month, t.Type.MonthlyDOW.wWhichWeek, weekday);
                        }
                        if (fires) return candidate;
                    }
                }
                if (++month > 12) month = 1, ++year;
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

HRESULT CheckTrigger(const TASK_TRIGGER& t) {
    if (t.cbTriggerSize != sizeof(TASK_TRIGGER)) return E_INVALIDARG;
    if (!ValidDate(t.wBeginYear, t.wBeginMonth, t.wBeginDay)) return E_INVALIDARG;
    if ((t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE) && !ValidDate(t.wEndYear, t.wEndMonth, t.wEndDay))
        return E_INVALIDARG;
    if (t.wStartHour > 23 || t.wStartMinute > 59) return E_INVALIDARG;
    if (t.rgFlags & ~DWORD(TASK_TRIGGER_FLAG_HAS_END_DATE | TASK_TRIGGER_FLAG_KILL_AT_DURATION_END |
                           TASK_TRIGGER_FLAG_DISABLED))
        return E_INVALIDARG;
    if (t.MinutesDuration != 0 || t.MinutesInterval != 0 || t.wRandomMinutesInterval != 0) return E_NOTIMPL;
    auto inMask = [](DWORD value, DWORD mask) { return value != 0 && (value & ~mask) == 0; };
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_ONCE: return S_OK;
        case TASK_TIME_TRIGGER_DAILY: return t.Type.Daily.DaysInterval ? S_OK : E_INVALIDARG;
        case TASK_TIME_TRIGGER_WEEKLY:
            return t.Type.Weekly.WeeksInterval && inMask(t.Type.Weekly.rgfDaysOfTheWeek, kWeekdayMask) ? S_OK
                                                                                                        : E_INVALIDARG;
        case TASK_TIME_TRIGGER_MONTHLYDATE:
            return inMask(t.Type.MonthlyDate.rgfDays, kDayOfMonthMask) && inMask(t.Type.MonthlyDate.rgfMonths, kMonthMask)
                       ? S_OK
                       : E_INVALIDARG;
        case TASK_TIME_TRIGGER_MONTHLYDOW:
            return t.Type.MonthlyDOW.wWhichWeek >= TASK_FIRST_WEEK && t.Type.MonthlyDOW.wWhichWeek <= TASK_LAST_WEEK &&
                           inMask(t.Type.MonthlyDOW.rgfDaysOfTheWeek, kWeekdayMask) &&
                           inMask(t.Type.MonthlyDOW.rgfMonths, kMonthMask)
                       ? S_OK
                       : E_INVALIDARG;
        case TASK_EVENT_TRIGGER_ON_IDLE:
        case TASK_EVENT_TRIGGER_AT_SYSTEMSTART:
        case TASK_EVENT_TRIGGER_AT_LOGON: return E_NOTIMPL;
    }
    return E_INVALIDARG;
}

Instant InstantOfLocal(const Zone& zone, int64_t local) {
    // Offsets a day either side cover any change near this time.
    const int32_t before = zone.typeAt(local - kSecondsPerDay).offset;
    const int32_t after = zone.typeAt(local + kSecondsPerDay).offset;
    const bool beforeFits = zone.typeAt(local - before).offset == before;
    const bool afterFits = zone.typeAt(local - after).offset == after;
    if (beforeFits && afterFits) return std::min(local - before, local - after);
    if (afterFits) return local - after;
    // Shown once with the earlier offset, or skipped by the clock: the earlier offset then
    // lands past the jump by as much as the time lay inside it.
    return local - before;
}

int64_t LocalOfInstant(const Zone& zone, Instant instant) { return instant + zone.typeAt(instant).offset; }

SYSTEMTIME LocalSystemTime(const Zone& zone, Instant instant) {
    const int64_t local = LocalOfInstant(zone, instant);
    const int64_t day = FloorDiv(local, kSecondsPerDay);
    const int64_t seconds = local - day * kSecondsPerDay;
    const CivilDate date = CivilFromDays(day);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(date.year);
    t.wMonth = static_cast<WORD>(date.month);
    t.wDay = static_cast<WORD>(date.day);
    t.wDayOfWeek = static_cast<WORD>(WeekdayFromDays(day));
    t.wHour = static_cast<WORD>(seconds / 3600);
    t.wMinute = static_cast<WORD>(seconds / 60 % 60);
    t.wSecond = static_cast<WORD>(seconds % 60);
    return t;
}

Instant InstantOfLocalSystemTime(const Zone& zone, const SYSTEMTIME& t) {
    return InstantOfLocal(zone, DaysFromCivil(t.wYear, t.wMonth, t.wDay) * kSecondsPerDay + t.wHour * 3600 +
                                    t.wMinute * 60 + t.wSecond);
}

std::optional<Instant> NextRunOfTrigger(const TASK_TRIGGER& t, Instant after, const Zone& zone) {
    if (FAILED(CheckTrigger(t)) || (t.rgFlags & TASK_TRIGGER_FLAG_DISABLED)) return std::nullopt;
    const int64_t begin = DaysFromCivil(t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    const bool hasEnd = t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE;
    const int64_t end = hasEnd ? DaysFromCivil(t.wEndYear, t.wEndMonth, t.wEndDay) : 0;
    const int64_t timeOfDay = t.wStartHour * 3600 + t.wStartMinute * 60;
    // A day early, as a skipped or repeated hour may move a run across midnight.
    int64_t from = FloorDiv(LocalOfInstant(zone, after), kSecondsPerDay) - 1;
    // Runs move forward with their days, so the first one past `after` comes within a few days.
    for (int guard = 0; guard < 8; ++guard) {
        std::optional<int64_t> day = FirstFiringDay(t, begin, from);
        if (!day || (hasEnd && *day > end)) return std::nullopt;
        const Instant run = InstantOfLocal(zone, *day * kSecondsPerDay + timeOfDay);
        if (run > after) return run;
        from = *day + 1;
    }
    return std::nullopt;
}

}  // namespace lumivel::scheduler
