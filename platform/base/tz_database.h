// Zone rules from the tz database: TZif files and POSIX TZ strings (base area only).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivel {

// One transition rule of a POSIX TZ string: "Mm.w.d", "Jn" or "n", with its local time.
struct PosixTransition {
    enum class Kind { MonthWeekDay, JulianNoLeap, ZeroBasedDay } kind = Kind::MonthWeekDay;
    int month = 0, week = 0, weekday = 0;  // MonthWeekDay
    int day = 0;                           // JulianNoLeap 1-365, ZeroBasedDay 0-365
    int32_t seconds = 7200;                // local time of day; may be negative or past 24 h
};

struct PosixRule {
    std::string standardName;
    int32_t standardOffset = 0;  // seconds east of UTC
    bool hasDaylight = false;
    std::string daylightName;
    int32_t daylightOffset = 0;
    PosixTransition start, end;  // start in standard time, end in daylight time
};

std::optional<PosixRule> ParsePosixRule(std::string_view text);

// Daylight start and end of a year as UTC seconds since 1970.
struct YearTransitions {
    int64_t start;
    int64_t end;
};
YearTransitions TransitionsOfYear(const PosixRule& rule, int64_t year);

struct LocalTimeType {
    int32_t offset = 0;  // seconds east of UTC
    bool daylight = false;
    std::string name;
};

struct Zone {
    std::vector<int64_t> transitions;   // UTC seconds, ascending
    std::vector<uint8_t> transitionTypes;
    std::vector<LocalTimeType> types;
    std::optional<PosixRule> rule;      // for instants after the last transition

    // The local time type in force at a UTC instant.
    LocalTimeType typeAt(int64_t utcSeconds) const;
};

// Parses a TZif file's contents (versions 1 to 4); nullopt when malformed.
std::optional<Zone> ParseTzif(std::string_view data);
// A zone made of a POSIX rule only (TZ="EST5EDT,M3.2.0,M11.1.0").
Zone ZoneFromRule(const PosixRule& rule);

}  // namespace lumivel
