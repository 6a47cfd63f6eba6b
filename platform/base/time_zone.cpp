// Time zones: the process's zone from the tz database and the Windows zone functions.
#include "time_zone.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>

#include "calendar.h"
#include "lumivel/text.h"
#include "win/datetime.h"
#include "win/errors.h"

namespace lumivel {
namespace {

constexpr size_t kMaxTzifSize = 1 << 20;

std::optional<Zone> LoadTzifFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string data;
    data.resize(kMaxTzifSize + 1);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<size_t>(in.gcount()));
    if (data.size() > kMaxTzifSize) return std::nullopt;
    return ParseTzif(data);
}

// Where a TZ value names a file: an absolute path, or a name below the zone directory. Names
// that climb out of it ("../") are not followed.
std::string ZoneFilePath(const std::string& value) {
    if (value.empty()) return {};
    if (value[0] == '/') return value;
    if (value.find("..") != std::string::npos) return {};
    const char* dir = std::getenv("TZDIR");
    return std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + value;
}

struct ZoneCache {
    std::mutex mutex;
    std::string key;
    struct stat fileState {};
    std::shared_ptr<const Zone> zone;
};

Zone Utc() { return ZoneFromRule(PosixRule{"UTC", 0, false, {}, 0, {}, {}}); }

}  // namespace

std::shared_ptr<const Zone> CurrentZone() {
    static ZoneCache cache;
    const char* tz = std::getenv("TZ");
    std::string value = tz ? std::string(tz) : std::string();
    if (!value.empty() && value[0] == ':') value.erase(0, 1);
    std::string path = !tz ? std::string("/etc/localtime") : ZoneFilePath(value);
    std::string key = (tz ? "TZ=" + std::string(tz) : std::string("-")) + "\n" + path;
    struct stat state {};
    bool fileExists = !path.empty() && ::stat(path.c_str(), &state) == 0 && S_ISREG(state.st_mode);

    std::lock_guard lock(cache.mutex);
    if (cache.zone && cache.key == key && (!fileExists || (state.st_mtim.tv_sec == cache.fileState.st_mtim.tv_sec &&
                                                           state.st_mtim.tv_nsec == cache.fileState.st_mtim.tv_nsec &&
                                                           state.st_ino == cache.fileState.st_ino &&
                                                           state.st_size == cache.fileState.st_size)))
        return cache.zone;

    std::optional<Zone> zone;
    if (fileExists) zone = LoadTzifFile(path);
    if (!zone && tz && !value.empty()) {
        if (auto rule = ParsePosixRule(value)) zone = ZoneFromRule(*rule);
    }
    if (!zone) zone = Utc();
    cache.key = key;
    cache.fileState = state;
    cache.zone = std::make_shared<const Zone>(std::move(*zone));
    return cache.zone;
}

}  // namespace lumivel

namespace {

using lumivel::kFileTimeEpochSeconds;
using lumivel::kSecondsPerDay;
using lumivel::kTicksPerSecond;

void CopyName(WCHAR (&target)[32], const std::string& name) {
    std::u16string wide = lumivel::FromUtf8(name);
    if (wide.size() > 31) wide.resize(31);
    std::char_traits<char16_t>::copy(target, wide.data(), wide.size());
    target[wide.size()] = 0;
}

// A POSIX transition in the Windows "n-th weekday of month" form (wYear 0), or an absolute
// date of the current year for the day-number forms, which Windows cannot express otherwise.
SYSTEMTIME WindowsTransition(const lumivel::PosixTransition& t, int64_t currentYear) {
    SYSTEMTIME st{};
    int32_t seconds = t.seconds;
    int dayShift = 0;
    while (seconds < 0) seconds += 86400, --dayShift;
    while (seconds >= 86400) seconds -= 86400, ++dayShift;
    st.wHour = static_cast<WORD>(seconds / 3600);
    st.wMinute = static_cast<WORD>(seconds / 60 % 60);
    st.wSecond = static_cast<WORD>(seconds % 60);
    if (t.kind == lumivel::PosixTransition::Kind::MonthWeekDay) {
        st.wMonth = static_cast<WORD>(t.month);
        st.wDay = static_cast<WORD>(t.week);
        // A time past midnight moves the weekday; the week index is kept (an approximation
        // only where the shifted day leaves the month's week grid).
        st.wDayOfWeek = static_cast<WORD>((t.weekday + dayShift % 7 + 7) % 7);
    } else {
        int64_t day = (t.kind == lumivel::PosixTransition::Kind::JulianNoLeap)
                          ? lumivel::DaysFromCivil(currentYear, 1, 1) + t.day - 1 +
                                (lumivel::IsLeapYear(currentYear) && t.day >= 60)
                          : lumivel::DaysFromCivil(currentYear, 1, 1) + t.day;
        day += dayShift;
        auto civil = lumivel::CivilFromDays(day);
        st.wYear = static_cast<WORD>(civil.year);
        st.wMonth = static_cast<WORD>(civil.month);
        st.wDay = static_cast<WORD>(civil.day);
        st.wDayOfWeek = static_cast<WORD>(lumivel::WeekdayFromDays(day));
    }
    return st;
}

int64_t NowSeconds() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

bool ToSeconds(const SYSTEMTIME* st, int64_t* seconds, WORD* milliseconds) {
    FILETIME ft;
    if (!SystemTimeToFileTime(st, &ft)) return false;
    int64_t ticks = static_cast<int64_t>((ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    *seconds = ticks / kTicksPerSecond - kFileTimeEpochSeconds;
    *milliseconds = st->wMilliseconds;
    return true;
}

bool FromSeconds(int64_t seconds, WORD milliseconds, SYSTEMTIME* st) {
    int64_t ticks = (seconds + kFileTimeEpochSeconds) * kTicksPerSecond + int64_t(milliseconds) * 10000;
    if (ticks < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32)};
    return FileTimeToSystemTime(&ft, st);
}

// The UTC instant of a Windows transition rule in a year; the rule's time is local, read with
// the given bias (minutes, UTC = local + bias).
int64_t RuleInstant(const SYSTEMTIME& rule, int64_t year, LONG bias) {
    unsigned day = rule.wYear ? rule.wDay
                              : lumivel::NthWeekdayOfMonth(year, rule.wMonth, std::clamp<WORD>(rule.wDay, 1, 5),
                                                           rule.wDayOfWeek % 7);
    unsigned month = rule.wMonth;
    if (rule.wYear && day > lumivel::DaysInMonth(year, month)) day = lumivel::DaysInMonth(year, month);
    int64_t local = lumivel::DaysFromCivil(year, month, day) * kSecondsPerDay + rule.wHour * 3600 +
                    rule.wMinute * 60 + rule.wSecond;
    return local + int64_t(bias) * 60;
}

bool ValidRule(const SYSTEMTIME& r) {
    return r.wMonth >= 1 && r.wMonth <= 12 && r.wHour < 24 && r.wMinute < 60 && r.wSecond < 60 &&
           (r.wYear ? (r.wDay >= 1 && r.wDay <= 31) : (r.wDay >= 1 && r.wDay <= 5 && r.wDayOfWeek <= 6));
}

// The bias in force at a UTC instant under an explicit zone, as Windows computes it: the
// daylight period of the local year, in either hemisphere.
std::optional<LONG> ExplicitBias(const TIME_ZONE_INFORMATION& tz, int64_t utc) {
    LONG standard = tz.Bias + tz.StandardBias;
    LONG daylight = tz.Bias + tz.DaylightBias;
    if (tz.StandardDate.wMonth == 0 || tz.DaylightDate.wMonth == 0) return standard;
    if (!ValidRule(tz.StandardDate) || !ValidRule(tz.DaylightDate)) return std::nullopt;
    int64_t localGuess = utc - int64_t(standard) * 60;
    int64_t year = lumivel::CivilFromDays(localGuess / kSecondsPerDay - (localGuess % kSecondsPerDay < 0)).year;
    int64_t start = RuleInstant(tz.DaylightDate, year, standard);
    int64_t end = RuleInstant(tz.StandardDate, year, daylight);
    bool inDaylight = start < end ? (utc >= start && utc < end) : (utc >= start || utc < end);
    return inDaylight ? daylight : standard;
}

}  // namespace

extern "C" {

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION tzi) {
    if (!tzi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    auto zone = lumivel::CurrentZone();
    int64_t now = NowSeconds();
    *tzi = TIME_ZONE_INFORMATION{};
    lumivel::LocalTimeType current = zone->typeAt(now);
    const lumivel::PosixRule* rule = zone->rule ? &*zone->rule : nullptr;
    // The zone's closing rule is the one in force from now on (the table before it was made
    // from the same rules).
    if (rule && rule->hasDaylight) {
        int64_t year = lumivel::CivilFromDays((now + rule->standardOffset) / kSecondsPerDay).year;
        tzi->Bias = -rule->standardOffset / 60;
        tzi->StandardBias = 0;
        tzi->DaylightBias = -(rule->daylightOffset - rule->standardOffset) / 60;
        CopyName(tzi->StandardName, rule->standardName);
        CopyName(tzi->DaylightName, rule->daylightName);
        tzi->StandardDate = WindowsTransition(rule->end, year);
        tzi->DaylightDate = WindowsTransition(rule->start, year);
        return current.daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
    }
    // No daylight rule in force: the zone's present offset all year.
    lumivel::LocalTimeType standard = rule ? lumivel::LocalTimeType{rule->standardOffset, false, rule->standardName}
                                           : current;
    tzi->Bias = -standard.offset / 60;
    CopyName(tzi->StandardName, standard.name);
    CopyName(tzi->DaylightName, standard.name);
    return TIME_ZONE_ID_UNKNOWN;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime) {
    if (!lpUniversalTime || !lpLocalTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t utc;
    WORD ms;
    if (!ToSeconds(lpUniversalTime, &utc, &ms)) return FALSE;
    int64_t offset;
    if (lpTimeZoneInformation) {
        auto bias = ExplicitBias(*lpTimeZoneInformation, utc);
        if (!bias) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        offset = -int64_t(*bias) * 60;
    } else {
        offset = lumivel::CurrentZone()->typeAt(utc).offset;
    }
    return FromSeconds(utc + offset, ms, lpLocalTime);
}

BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime) {
    if (!lpLocalTime || !lpUniversalTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t local;
    WORD ms;
    if (!ToSeconds(lpLocalTime, &local, &ms)) return FALSE;
    auto zone = lpTimeZoneInformation ? nullptr : lumivel::CurrentZone();
    auto offsetAt = [&](int64_t utc) -> std::optional<int64_t> {
        if (zone) return zone->typeAt(utc).offset;
        auto bias = ExplicitBias(*lpTimeZoneInformation, utc);
        if (!bias) return std::nullopt;
        return -int64_t(*bias) * 60;
    };
    // Two rounds find the offset that maps back onto the local time; in a skipped hour the
    // second guess stands.
    auto first = offsetAt(local);
    if (!first) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t utc = local - *first;
    auto second = offsetAt(utc);
    if (second && *second != *first) {
        int64_t candidate = local - *second;
        auto check = offsetAt(candidate);
        if (check && *check == *second) utc = candidate;
    }
    return FromSeconds(utc, ms, lpUniversalTime);
}

}  // extern "C"
