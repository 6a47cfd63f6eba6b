// The settings of one scheduling attempt: the record the schedule form fills in and the work
// item's trigger made from it.
#pragma once

#include <string>

#include "shared/backup_job.h"
#include "shared/property_set.h"
#include "shared/provider_dialog_ids.h"
#include "shared/provider_interfaces.h"
#include "shared/schedule_check.h"
#include "win/mstask.h"

namespace revivo {

inline constexpr char16_t kScheduleNameKey[] = u"name";
inline constexpr char16_t kSchedulePathKey[] = u"path";
inline constexpr char16_t kScheduleParameterKey[] = u"parameter";
// The form's answers keep the names a caller gives them on command 310's record.
using ::kAccountKey;
using ::kCycleOfWeekKey;
using ::kDaysOrMonthsKey;
using ::kPasswordKey;
using ::kScheduleKey;
using ::kStartTimeKey;
using ::kTimeSliceKey;

// The form's list items are the settings' schedules.
enum ScheduleKind : LONG {
    kDaily = lumivel::shared::kScheduleDaily,
    kWeekly = lumivel::shared::kScheduleWeekly,
    kMonthly = lumivel::shared::kScheduleMonthly,
    kOnce = lumivel::shared::kScheduleOnce
};
static_assert(kDaily == SCHEDULE_ITEM_DAILY && kWeekly == SCHEDULE_ITEM_WEEKLY && kMonthly == SCHEDULE_ITEM_MONTHLY &&
              kOnce == SCHEDULE_ITEM_ONCE);

using lumivel::shared::kMostDays;
using lumivel::shared::kMostMonthDays;
using lumivel::shared::kMostWeeks;

using lumivel::shared::BackupTaskName;
// Whether a record's "guid" can name a file: 32 hexadecimal digits, as ADSI gives them.
bool IsObjectGuidText(std::u16string_view guid);

// The day flag of a day of the week counted from Monday (0) to Sunday (6).
WORD DayOfWeekFlag(LONG day);

// The trigger for the settings, all fields zero but those the schedule sets; E_INVALIDARG
// when the settings lack what their schedule needs or hold values out of range.
HRESULT TriggerFromSettings(const PropertySet& settings, TASK_TRIGGER* trigger);

// Overwrites the password held by the settings before the record is let go.
using lumivel::shared::ForgetPassword;

}  // namespace revivo
