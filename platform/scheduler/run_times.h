// When a time trigger fires (scheduler area only).
//
// Triggers name local wall-clock times, so every computation is done on the local calendar and
// turned into an instant through the zone at the end: "every 2 days at 09:00" stays at 09:00
// across a change to or from daylight-saving time. A start time that the clock skips on the
// day of a change fires at the moment the clock jumps past it (02:30 on the night 02:00 becomes
// 03:00 fires at 03:30); one the clock shows twice fires the first time.
//
// Weekly triggers count weeks from the week of the begin date, weeks starting on Sunday
// (TASK_SUNDAY is the first day flag, as SYSTEMTIME's day 0): "every 2 weeks" fires in the
// begin date's week, the second week after it, and so on, on the flagged days that are not
// before the begin date.
#pragma once

#include <cstdint>
#include <optional>

#include "../base/tz_database.h"
#include "win/mstask.h"

namespace lumivel::scheduler {

// SetTrigger's checks: the record's size, a real begin date (and end date when flagged), a
// time of day, a known type with its fields in range. E_NOTIMPL for what this scheduler does
// not do (repetition, random delays, event triggers), E_INVALIDARG for the rest.
HRESULT CheckTrigger(const TASK_TRIGGER& trigger);

// Seconds since 1970-01-01 UTC.
using Instant = int64_t;

// The first time the trigger fires strictly after `after`; none for a disabled trigger, after
// its end date, or when no date the trigger names exists (day 31 of April only).
std::optional<Instant> NextRunOfTrigger(const TASK_TRIGGER& trigger, Instant after, const Zone& zone);

// The instant of a local wall-clock time (seconds since 1970-01-01 as if local were UTC),
// with the rules above for skipped and repeated times.
Instant InstantOfLocal(const Zone& zone, int64_t localSeconds);
// The local wall-clock time of an instant.
int64_t LocalOfInstant(const Zone& zone, Instant instant);
// The same as local SYSTEMTIMEs (milliseconds dropped).
SYSTEMTIME LocalSystemTime(const Zone& zone, Instant instant);
Instant InstantOfLocalSystemTime(const Zone& zone, const SYSTEMTIME& local);

}  // namespace lumivel::scheduler
