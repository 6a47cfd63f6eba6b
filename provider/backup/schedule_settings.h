// The settings of one scheduling attempt: the record the schedule form fills in and the work
// item's trigger made from it.
#pragma once

#include <string>

#include "provider/platform_headers.h"
#include "shared/backup_job.h"
#include "shared/property_set.h"
#include "shared/provider_dialog_ids.h"
#include "win/mstask.h"

namespace revivo {

inline constexpr char16_t kScheduleNameKey[] = u"name";
inline constexpr char16_t kSchedulePathKey[] = u"path";
inline constexpr char16_t kScheduleParameterKey[] = u"parameter";
inline constexpr char16_t kScheduleKey[] = u"Schedule";
inline constexpr char16_t kTimeSliceKey[] = u"TimeSlice";
inline constexpr char16_t kDaysOrMonthsKey[] = u"DaysOrMonths";
inline constexpr char16_t kCycleOfWeekKey[] = u"CycleOfWeek";
inline constexpr char16_t kStartTimeKey[] = u"StartTime";
inline constexpr char16_t kAccountKey[] = u"Account";
inline constexpr char16_t kPasswordKey[] = u"Password";

enum ScheduleKind : LONG {
    kDaily = SCHEDULE_ITEM_DAILY,
    kWeekly = SCHEDULE_ITEM_WEEKLY,
    kMonthly = SCHEDULE_ITEM_MONTHLY,
    kOnce = SCHEDULE_ITEM_ONCE
};

// Ranges the form holds the schedule to; a month day or week count outside them has no
// trigger (the day would shift out of the day mask, a week count of 0 never advances).
inline constexpr LONG kMostDays = 365;
inline constexpr LONG kMostWeeks = 52;
inline constexpr LONG kMostMonthDays = 31;

using lumivel::shared::BackupTaskName;
// Whether a record's "guid" can name a file: 32 hexadecimal digits, as ADSI gives them.
bool IsObjectGuidText(std::u16string_view guid);

// The day flag of a day of the week counted from Monday (0) to Sunday (6).
WORD DayOfWeekFlag(LONG day);

// The trigger for the settings, all fields zero but those the schedule sets; E_INVALIDARG
// when the settings lack what their schedule needs or hold values out of range.
HRESULT TriggerFromSettings(const PropertySet& settings, TASK_TRIGGER* trigger);

// Overwrites the password held by the settings before the record is let go.
void ForgetPassword(PropertySet& settings);

}  // namespace revivo
