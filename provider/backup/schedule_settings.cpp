#include "provider/backup/schedule_settings.h"

#include <algorithm>

namespace revivo {

namespace {

// The settings hold plain numbers as VT_I4; anything else is no number of the form's.
bool intValue(const PropertySet& settings, LPCWSTR key, LONG* value) {
    VARIANT v;
    if (!settings.getValue(key, &v) || v.vt != VT_I4) return false;
    *value = v.lVal;
    return true;
}

bool dateValue(const PropertySet& settings, LPCWSTR key, SYSTEMTIME* value) {
    VARIANT v;
    if (!settings.getValue(key, &v) || v.vt != VT_DATE) return false;
    return VariantTimeToSystemTime(v.date, value) != 0;
}

}  // namespace

bool IsObjectGuidText(std::u16string_view guid) {
    return guid.size() == 32 && std::all_of(guid.begin(), guid.end(), [](char16_t c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
           });
}

WORD DayOfWeekFlag(LONG day) {
    // Monday to Saturday are TASK_MONDAY (0x2) to TASK_SATURDAY (0x40); Sunday is 0x1.
    if (day == 6) return TASK_SUNDAY;
    return day >= 0 && day < 6 ? static_cast<WORD>(TASK_MONDAY << day) : 0;
}

HRESULT TriggerFromSettings(const PropertySet& settings, TASK_TRIGGER* trigger) {
    *trigger = TASK_TRIGGER{};
    trigger->cbTriggerSize = sizeof(TASK_TRIGGER);
    LONG schedule = 0, slice = 0;
    SYSTEMTIME start{};
    if (!intValue(settings, kScheduleKey, &schedule) || !dateValue(settings, kStartTimeKey, &start)) return E_INVALIDARG;
    trigger->wBeginYear = start.wYear;
    trigger->wBeginMonth = start.wMonth;
    trigger->wBeginDay = start.wDay;
    trigger->wStartHour = start.wHour;
    trigger->wStartMinute = start.wMinute;
    const bool hasSlice = intValue(settings, kTimeSliceKey, &slice);
    LONG mask = 0;
    switch (schedule) {
        case kDaily:
            if (!hasSlice || slice < 1 || slice > kMostDays) return E_INVALIDARG;
            trigger->TriggerType = TASK_TIME_TRIGGER_DAILY;
            trigger->Type.Daily.DaysInterval = static_cast<WORD>(slice);
            return S_OK;
        case kWeekly: {
            if (!hasSlice || slice < 1 || slice > kMostWeeks || !intValue(settings, kDaysOrMonthsKey, &mask)) return E_INVALIDARG;
            WORD days = 0;
            for (LONG day = 0; day < 7; ++day)
                if (mask & (1 << day)) days |= DayOfWeekFlag(day);
            if (!days) return E_INVALIDARG;
            trigger->TriggerType = TASK_TIME_TRIGGER_WEEKLY;
            trigger->Type.Weekly.WeeksInterval = static_cast<WORD>(slice);
            trigger->Type.Weekly.rgfDaysOfTheWeek = days;
            return S_OK;
        }
        case kMonthly: {
            if (!hasSlice || !intValue(settings, kDaysOrMonthsKey, &mask) || (mask & 0xFFF) == 0) return E_INVALIDARG;
            const WORD months = static_cast<WORD>(mask & 0xFFF);
            LONG cycle = 0;
            if (intValue(settings, kCycleOfWeekKey, &cycle)) {
                if (slice < 0 || slice > 4 || !DayOfWeekFlag(cycle)) return E_INVALIDARG;
                trigger->TriggerType = TASK_TIME_TRIGGER_MONTHLYDOW;
                trigger->Type.MonthlyDOW.wWhichWeek = static_cast<WORD>(slice + 1);
                trigger->Type.MonthlyDOW.rgfDaysOfTheWeek = DayOfWeekFlag(cycle);
                trigger->Type.MonthlyDOW.rgfMonths = months;
            } else {
                if (slice < 1 || slice > kMostMonthDays) return E_INVALIDARG;
                trigger->TriggerType = TASK_TIME_TRIGGER_MONTHLYDATE;
                trigger->Type.MonthlyDate.rgfDays = DWORD(1) << (slice - 1);
                trigger->Type.MonthlyDate.rgfMonths = months;
            }
            return S_OK;
        }
        case kOnce: {
            SYSTEMTIME day{};
            if (!dateValue(settings, kDaysOrMonthsKey, &day)) return E_INVALIDARG;
            trigger->TriggerType = TASK_TIME_TRIGGER_ONCE;
            trigger->wBeginYear = day.wYear;
            trigger->wBeginMonth = day.wMonth;
            trigger->wBeginDay = day.wDay;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

}  // namespace revivo
