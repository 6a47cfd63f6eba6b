// The schedule form's checks: what it refuses, in its own words. The form runs them on what its
// fields hold, command 310 on the answers a record carries, the command line on its arguments,
// so that every way of making a backup job says the same thing about the same mistake.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shared/property_set.h"
#include "win/types.h"

namespace lumivel::shared {

// The schedules, as the form's list offers them and the settings' "Schedule" stores them.
enum ScheduleKind : LONG { kScheduleDaily = 0, kScheduleWeekly = 1, kScheduleMonthly = 2, kScheduleOnce = 3 };

// The ranges the form holds a schedule to; outside them there is no trigger (a day would shift
// out of the day mask, a week count of 0 never advances).
inline constexpr LONG kMostDays = 365;
inline constexpr LONG kMostWeeks = 52;
inline constexpr LONG kMostMonthDays = 31;

// What the form's fields hold when it is confirmed.
struct ScheduleEntries {
    LONG schedule = kScheduleDaily;
    // Daily: every N days; weekly: every N weeks; monthly by day: the day. 0 when the field
    // holds no number.
    LONG count = 0;
    // Monthly: "The" (a week and a weekday) rather than "Day".
    bool byWeekday = false;
    // Weekly: the days ticked (bit 0 Monday); monthly: the months (bit 0 January).
    LONG mask = 0;
    std::u16string_view account;
    std::u16string_view password;
    std::u16string_view confirmation;
};

// A refusal as the form shows it: the message box's text, caption and icon (MB_ICON...).
struct ScheduleRefusal {
    const char16_t* text;
    const char16_t* caption;
    UINT icon;
};

// The first thing the form refuses, in the order of its fields (the schedule's own fields, the
// account, the password and its confirmation, compared exactly); nothing when it accepts them.
std::optional<ScheduleRefusal> CheckScheduleEntries(const ScheduleEntries& entries);

// A number as the form's number fields read it (GetDlgItemInt without a sign): decimal digits
// only, 0 for anything else or for a value beyond 0x7FFFFFFF.
LONG ScheduleNumber(std::u16string_view digits);

// The entries a record's schedule keys stand for (kScheduleKey ... kPasswordKey); its one
// password is its own confirmation. Nothing when a key holds a value of the wrong type.
std::optional<ScheduleEntries> ScheduleEntriesOf(const PropertySet& record);

// Overwrites the record's password before the entry lets go of it, and removes the entry.
void ForgetPassword(PropertySet& record);

}  // namespace lumivel::shared
