// How long a deleted object stays restorable before the directory purges it.
#pragma once

#include <functional>
#include <map>
#include <mutex>
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

// As TombstoneLifetimeDays, but nothing when the server or its Directory Service object
// could not be asked (an object without either value answers the default).
std::optional<LONG> ReadTombstoneLifetimeDays(std::u16string_view server);

// The lifetimes of the servers asked this run, each read once: every listing needs one, and a
// forest's setting is not worth two searches per refresh. A server that could not be asked
// gets the default and is asked again next time. Safe to share between threads.
class TombstoneLifetimes {
public:
    using Reader = std::function<std::optional<LONG>(std::u16string_view server)>;
    explicit TombstoneLifetimes(Reader reader = ReadTombstoneLifetimeDays) : m_read(std::move(reader)) {}

    LONG days(std::u16string_view server);

private:
    std::mutex m_lock;
    std::map<std::u16string, LONG> m_known;  // by the server's name in lower case
    Reader m_read;
};

// A UTC time moved on by whole days; false when the result does not fit a SYSTEMTIME.
bool AddDays(const SYSTEMTIME& utc, LONG days, SYSTEMTIME* later);

}  // namespace revivo
