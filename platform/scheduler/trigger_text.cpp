#include "trigger_text.h"

#include <cstdio>

#include "lumivel/text.h"

namespace lumivel::scheduler {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kWeekNames[] = {"first", "second", "third", "fourth", "last"};

std::string Date(WORD year, WORD month, WORD day) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", year, month, day);
    return text;
}

// Monday first, as people read a week; Sunday last.
std::string Days(WORD mask) {
    std::string out;
    for (int i : {1, 2, 3, 4, 5, 6, 0})
        if (mask & (1u << i)) out += (out.empty() ? "" : ", ") + std::string(kDayNames[i]);
    return out;
}

std::string Months(WORD mask) {
    if ((mask & 0xFFF) == 0xFFF) return "every month";
    std::string out;
    for (int i = 0; i < 12; ++i)
        if (mask & (1u << i)) out += (out.empty() ? "" : ", ") + std::string(kMonthNames[i]);
    return out;
}

std::string DatesOfMonth(DWORD mask) {
    std::string out;
    for (int i = 0; i < 31; ++i)
        if (mask & (1u << i)) out += (out.empty() ? "" : ", ") + std::to_string(i + 1);
    return out;
}

std::string Every(unsigned count, const char* one, const char* many) {
    return count == 1 ? std::string("every ") + one : "every " + std::to_string(count) + " " + many;
}

}  // namespace

std::u16string DescribeTrigger(const TASK_TRIGGER& t) {
    char time[64];
    std::snprintf(time, sizeof time, "%02u:%02u", t.wStartHour, t.wStartMinute);
    std::string text = std::string("At ") + time + " ";
    const std::string begin = Date(t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_ONCE: text += "on " + begin; break;
        case TASK_TIME_TRIGGER_DAILY: text += Every(t.Type.Daily.DaysInterval, "day", "days"); break;
        case TASK_TIME_TRIGGER_WEEKLY:
            text += Every(t.Type.Weekly.WeeksInterval, "week", "weeks") + " on " + Days(t.Type.Weekly.rgfDaysOfTheWeek);
            break;
        case TASK_TIME_TRIGGER_MONTHLYDATE:
            text += "on day " + DatesOfMonth(t.Type.MonthlyDate.rgfDays) + " of " + Months(t.Type.MonthlyDate.rgfMonths);
            break;
        case TASK_TIME_TRIGGER_MONTHLYDOW: {
            const WORD week = t.Type.MonthlyDOW.wWhichWeek;
            text += "on the " + std::string(week >= 1 && week <= 5 ? kWeekNames[week - 1] : "?") + " " +
                    Days(t.Type.MonthlyDOW.rgfDaysOfTheWeek) + " of " + Months(t.Type.MonthlyDOW.rgfMonths);
            break;
        }
        default: text += "on an event"; break;
    }
    if (t.TriggerType != TASK_TIME_TRIGGER_ONCE) text += ", starting " + begin;
    if (t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE) text += ", until " + Date(t.wEndYear, t.wEndMonth, t.wEndDay);
    if (t.rgFlags & TASK_TRIGGER_FLAG_DISABLED) text += " (disabled)";
    return FromUtf8(text);
}

}  // namespace lumivel::scheduler
