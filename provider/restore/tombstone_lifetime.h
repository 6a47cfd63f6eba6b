// How long a deleted object stays restorable before the directory purges it.
#pragma once

#include <optional>
#include <string>

#include "win/types.h"

namespace revivo {

// What a directory assumes when its Directory Service object names no lifetime.
inline constexpr LONG kDefaultTombstoneLifetimeDays = 180;

// The days a deleted object is kept, from the forest's two settings: the deleted-object
// lifetime where it is set, else the tombstone lifetime, else the default. A value of zero
// or less counts as unset, as the directory itself treats it.
LONG EffectiveLifetimeDays(std::optional<LONG> tombstoneLifetime, std::optional<LONG> deletedObjectLifetime);

// The lifetime of the forest the server (empty: the default domain's) belongs to, read from
// its Directory Service object; the default when the object or both values cannot be read.
LONG TombstoneLifetimeDays(std::u16string_view server);

// A UTC time moved on by whole days; false when the result does not fit a SYSTEMTIME.
bool AddDays(const SYSTEMTIME& utc, LONG days, SYSTEMTIME* later);

}  // namespace revivo
