// The directory's time syntaxes on the platform's one calendar.
#include "ldap_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "../base/calendar.h"

namespace lumivel::directory {
namespace {

bool Digits(std::string_view s, size_t pos, size_t count, int* value) {
    if (pos + count > s.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    *value = v;
    return true;
}

}  // namespace

bool ParseLdapTime(std::string_view s, SYSTEMTIME* utc) {
    int year, month, day, hour, minute, second = 0;
    size_t pos;
    if (s.size() >= 14 && Digits(s, 0, 4, &year) && s.size() > 12 && s[12] >= '0' && s[12] <= '9' &&
        s[13] >= '0' && s[13] <= '9' && (s.size() == 14 || s[14] == '.' || s[14] == ',' || s[14] == 'Z' ||
                                         s[14] == '+' || s[14] == '-')) {
        // GeneralizedTime with seconds.
        if (!Digits(s, 4, 2, &month) || !Digits(s, 6, 2, &day) || !Digits(s, 8, 2, &hour) ||
            !Digits(s, 10, 2, &minute) || !Digits(s, 12, 2, &second))
            return false;
        pos = 14;
    } else if (s.size() >= 11 && Digits(s, 0, 2, &year)) {
        // UTCTime: two-digit years below 50 are in the 2000s.
        if (!Digits(s, 2, 2, &month) || !Digits(s, 4, 2, &day) || !Digits(s, 6, 2, &hour) || !Digits(s, 8, 2, &minute))
            return false;
        year += year < 50 ? 2000 : 1900;
        pos = 10;
        if (pos + 2 <= s.size() && s[pos] >= '0' && s[pos] <= '9') {
            if (!Digits(s, pos, 2, &second)) return false;
            pos += 2;
        }
    } else {
        return false;
    }
    int milliseconds = 0;
    if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
        ++pos;
        int scale = 100;
        size_t start = pos;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            milliseconds += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start) return false;
    }
    int offsetMinutes = 0;
    if (pos < s.size() && s[pos] == 'Z') {
        ++pos;
    } else if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        int oh, om = 0;
        if (!Digits(s, pos + 1, 2, &oh)) return false;
        if (pos + 5 <= s.size() && !Digits(s, pos + 3, 2, &om)) return false;
        offsetMinutes = (oh * 60 + om) * (s[pos] == '-' ? -1 : 1);
        pos += pos + 5 <= s.size() ? 5 : 3;
    }
    if (pos != s.size()) return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
    const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    // A leap second reads as the last second of its minute.
    const int64_t seconds =
        days * kSecondsPerDay + hour * 3600 + minute * 60 + std::min(second, 59) - offsetMinutes * 60;
    FillSystemTime(seconds, static_cast<unsigned>(milliseconds), utc);
    return true;
}

std::string FormatGeneralizedTime(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u.0Z", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

DATE SystemTimeToDate(const SYSTEMTIME& t) {
    return VariantDateFromDays(DaysFromCivil(t.wYear, t.wMonth, t.wDay),
                               t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0);
}

bool DateToSystemTime(DATE date, SYSTEMTIME* t) {
    if (!std::isfinite(date) || date < -657434.0 || date > 2958465.9999999) return false;
    const int64_t milliseconds = UnitsFromVariantDate(date, 1000);
    const int64_t seconds = milliseconds / 1000 - (milliseconds % 1000 < 0);
    FillSystemTime(seconds, static_cast<unsigned>(milliseconds - seconds * 1000), t);
    return true;
}

}  // namespace lumivel::directory
