// A trigger in words, as GetTriggerString gives it (scheduler area only):
//     "At 09:00 every 2 weeks on Mon, Sun, starting 2026-03-10"
// Times are 24-hour and dates ISO, the same for every locale.
#pragma once

#include <string>

#include "win/mstask.h"

namespace lumivel::scheduler {

std::u16string DescribeTrigger(const TASK_TRIGGER& trigger);

}  // namespace lumivel::scheduler
