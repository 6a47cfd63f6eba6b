// System time, file times, variant dates, tick counts and sleeping.
#include <cerrno>
#include <cmath>
#include <ctime>

#include <unistd.h>

#include "calendar.h"
#include "time_zone.h"
#include "win/datetime.h"
#include "win/errors.h"
#include "win/oleauto.h"

using namespace lumivel;

namespace {

constexpr ULONGLONG kMaxFileTime = 0x7FFFFFFFFFFFFFFFULL;
// OLE dates run from 100-01-01 to 9999-12-31 23:59:59.
constexpr double kMinVariantDate = -657434.0;
constexpr double kMaxVariantDate = 2958466.0;

ULONGLONG Ticks(const FILETIME* ft) { return (ULONGLONG(ft->dwHighDateTime) << 32) | ft->dwLowDateTime; }

void SetTicks(FILETIME* ft, ULONGLONG ticks) {
    ft->dwLowDateTime = static_cast<DWORD>(ticks);
    ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

ULONGLONG NowTicks() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ULONGLONG(ts.tv_sec + kFileTimeEpochSeconds) * kTicksPerSecond + ULONGLONG(ts.tv_nsec) / 100;
}

bool ValidDate(const SYSTEMTIME* st) {
    return st->wMonth >= 1 && st->wMonth <= 12 && st->wDay >= 1 && st->wDay <= DaysInMonth(st->wYear, st->wMonth) &&
           st->wHour < 24 && st->wMinute < 60 && st->wSecond < 60;
}

int64_t LocalOffsetNow() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return CurrentZone()->typeAt(ts.tv_sec).offset;
}

}  // namespace

extern "C" {

void GetSystemTimeAsFileTime(LPFILETIME ft) {
    if (ft) SetTicks(ft, NowTicks());
}

void GetSystemTime(LPSYSTEMTIME st) {
    if (!st) return;
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    FileTimeToSystemTime(&ft, st);
}

void GetLocalTime(LPSYSTEMTIME st) {
    if (!st) return;
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, st)) *st = utc;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
    if (!st || !ft || st->wYear < 1601 || st->wYear > 30827 || !ValidDate(st) || st->wMilliseconds >= 1000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
    int64_t seconds = days * kSecondsPerDay + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
    ULONGLONG ticks = ULONGLONG(seconds + kFileTimeEpochSeconds) * kTicksPerSecond + ULONGLONG(st->wMilliseconds) * 10000;
    SetTicks(ft, ticks);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
    if (!ft || !st || Ticks(ft) > kMaxFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ULONGLONG ticks = Ticks(ft);
    int64_t seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kFileTimeEpochSeconds;
    FillSystemTime(seconds, static_cast<unsigned>(ticks % kTicksPerSecond / 10000), st);
    return TRUE;
}

// As on Windows, both use the offset in force now, not the one at the given time.
BOOL FileTimeToLocalFileTime(const FILETIME* ft, LPFILETIME local) {
    if (!ft || !local) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t ticks = static_cast<int64_t>(Ticks(ft)) + LocalOffsetNow() * kTicksPerSecond;
    if (ticks < 0 || Ticks(ft) > kMaxFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetTicks(local, static_cast<ULONGLONG>(ticks));
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME ft) {
    if (!ft || !local) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t ticks = static_cast<int64_t>(Ticks(local)) - LocalOffsetNow() * kTicksPerSecond;
    if (ticks < 0 || Ticks(local) > kMaxFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetTicks(ft, static_cast<ULONGLONG>(ticks));
    return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    if (!a || !b) return 0;
    ULONGLONG x = Ticks(a), y = Ticks(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

// The time of day rounds to the nearest second, as Windows does.
INT VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME st) {
    if (!st || !std::isfinite(vtime) || vtime <= kMinVariantDate - 1.0 || vtime >= kMaxVariantDate) return FALSE;
    SYSTEMTIME result;
    FillSystemTime(UnitsFromVariantDate(vtime, 1), 0, &result);
    if (result.wYear < 100 || result.wYear > 9999) return FALSE;
    *st = result;
    return TRUE;
}

// Milliseconds are ignored, as Windows does; an impossible date fails rather than rolling over.
INT SystemTimeToVariantTime(LPSYSTEMTIME st, DOUBLE* vtime) {
    if (!st || !vtime || st->wYear < 100 || st->wYear > 9999 || !ValidDate(st)) return FALSE;
    *vtime = VariantDateFromDays(DaysFromCivil(st->wYear, st->wMonth, st->wDay),
                                 st->wHour * 3600.0 + st->wMinute * 60.0 + st->wSecond);
    return TRUE;
}

ULONGLONG GetTickCount64() {
    struct timespec ts {};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return ULONGLONG(ts.tv_sec) * 1000 + ULONGLONG(ts.tv_nsec) / 1000000;
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;) pause();
    }
    struct timespec request {static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    struct timespec remaining {};
    while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    if (!counter) return FALSE;
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    counter->QuadPart = LONGLONG(ts.tv_sec) * kTicksPerSecond + ts.tv_nsec / 100;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = kTicksPerSecond;
    return TRUE;
}

}  // extern "C"
