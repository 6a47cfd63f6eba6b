// The schedule form: a property sheet with the one page "Schedule" (1014), which shows the
// panel of the schedule chosen in its list (daily 1015, weekly 1019, monthly 1017, once 1018),
// the start time and the account the job runs as.
#pragma once

#include "shared/property_set.h"
#include "win/types.h"

namespace revivo {

// Shows the form modal to the owner. On OK the form checks its fields, says what is wrong
// and stays open until they pass, then stores "Schedule", "TimeSlice", "DaysOrMonths",
// "CycleOfWeek", "StartTime", "Account" and "Password" in the settings. True when confirmed.
bool ShowScheduleForm(HWND owner, PropertySet* settings);

}  // namespace revivo
