// System time, file times, time zones, tick counts and sleeping (kernel32 subset).
//
// FILETIME counts 100-ns intervals since 1601-01-01 UTC. Time zones come from the tz
// database: the TZ variable (a zone name, ":name", a TZif path or a POSIX rule string), else
// /etc/localtime, else UTC. GetTimeZoneInformation gives the rule in force today in the
// Windows form; the names are the zone's abbreviations ("CET", "CEST").
// SystemTimeToTzSpecificLocalTime with a null zone applies the tz database's rule in force
// on the given date (historical rules included); with an explicit TIME_ZONE_INFORMATION it
// applies that rule to every year, as Windows does.
#pragma once

#include "win/types.h"

typedef struct _TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
} TIME_ZONE_INFORMATION, *PTIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2

extern "C" {
WINBASEAPI void GetSystemTime(LPSYSTEMTIME lpSystemTime);
WINBASEAPI void GetLocalTime(LPSYSTEMTIME lpSystemTime);
WINBASEAPI void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
WINBASEAPI BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
WINBASEAPI BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
WINBASEAPI BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
WINBASEAPI BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
// -1, 0 or 1.
WINBASEAPI LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);

WINBASEAPI DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);
WINBASEAPI BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                                const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime);
WINBASEAPI BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                                const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime);

// Milliseconds since boot (monotonic); wraps after 49.7 days as on Windows.
WINBASEAPI DWORD GetTickCount();
WINBASEAPI ULONGLONG GetTickCount64();
WINBASEAPI void Sleep(DWORD dwMilliseconds);
WINBASEAPI BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
WINBASEAPI BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);
}
