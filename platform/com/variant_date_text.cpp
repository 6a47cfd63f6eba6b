// VT_DATE <-> text in the invariant culture.
//
// On Windows, LOCALE_INVARIANT prints "MM/dd/yyyy HH:mm:ss" (for example "03/07/2004 14:05:00"),
// while LCID 0 resolves to the user's default locale and so varies from machine to machine.
// This platform has no per-user locale: both print the invariant form, which keeps backup files
// identical wherever they are written. As on Windows a midnight time is left out, and a time on
// day 0 prints without a date.
#include <cmath>
#include <cstdio>

#include "variant_text.h"

namespace lumivel::com {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = unsigned(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = unsigned(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = int64_t(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *day = int(doy - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = int(y + (*month <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == 0xA0; }
char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

// A small cursor over the text being parsed.
class Reader {
public:
    explicit Reader(std::u16string_view text) : m_text(text) {}
    bool atEnd() const { return m_pos >= m_text.size(); }
    char16_t peek() const { return atEnd() ? 0 : m_text[m_pos]; }
    void skipSpaces() {
        while (!atEnd() && IsSpace(m_text[m_pos])) ++m_pos;
    }
    bool accept(char16_t c) {
        if (peek() != c) return false;
        ++m_pos;
        return true;
    }
    // Reads up to maxDigits digits; false when there is none.
    bool number(int maxDigits, int* value, int* count = nullptr) {
        int digits = 0, result = 0;
        while (!atEnd() && IsDigit(m_text[m_pos]) && digits < maxDigits) {
            result = result * 10 + (m_text[m_pos++] - u'0');
            ++digits;
        }
        if (count) *count = digits;
        if (!digits) return false;
        *value = result;
        return true;
    }
    // Case-insensitive "AM"/"PM"/"A"/"P"; 0 when absent.
    char16_t meridiem() {
        char16_t c = Upper(peek());
        if (c != u'A' && c != u'P') return 0;
        ++m_pos;
        if (Upper(peek()) == u'M') ++m_pos;
        return c;
    }
    void skipDigits() {
        while (!atEnd() && IsDigit(m_text[m_pos])) ++m_pos;
    }

private:
    std::u16string_view m_text;
    size_t m_pos = 0;
};

struct Parts {
    bool hasDate = false;
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

bool ReadDate(Reader& in, Parts* parts) {
    int a = 0, b = 0, c = 0, aDigits = 0, cDigits = 0;
    if (!in.number(4, &a, &aDigits)) return false;
    char16_t separator = in.peek();
    if (separator != u'/' && separator != u'-' && separator != u'.') return false;
    in.accept(separator);
    if (!in.number(2, &b) || !in.accept(separator) || !in.number(4, &c, &cDigits)) return false;
    if (aDigits == 4) {
        parts->year = a, parts->month = b, parts->day = c;  // yyyy-MM-dd
        if (cDigits > 2) return false;
    } else {
        if (aDigits > 2) return false;
        parts->month = a, parts->day = b, parts->year = c;  // MM/dd/yyyy
        // Two-digit years use the Windows window: 00-29 are 2000-2029, 30-99 are 1930-1999.
        if (cDigits <= 2) parts->year = c < 30 ? 2000 + c : 1900 + c;
    }
    parts->hasDate = true;
    return true;
}

bool ReadTime(Reader& in, Parts* parts) {
    if (!in.number(2, &parts->hour) || !in.accept(u':') || !in.number(2, &parts->minute)) return false;
    if (in.accept(u':')) {
        if (!in.number(2, &parts->second)) return false;
        // Fractions of a second are accepted and dropped, as VT_DATE text carries none.
        if (in.accept(u'.')) in.skipDigits();
    }
    in.skipSpaces();
    char16_t meridiem = in.meridiem();
    if (meridiem) {
        if (parts->hour < 1 || parts->hour > 12) return false;
        parts->hour = parts->hour % 12 + (meridiem == u'P' ? 12 : 0);
    }
    return true;
}

}  // namespace

HRESULT FormatDate(DATE date, std::u16string* text) {
    if (!(date >= kMinDate && date < kMaxDateExclusive)) return E_INVALIDARG;
    // OLE dates count whole days toward zero and carry the time of day as the magnitude of the
    // fraction, so -1.25 is 29 December 1899 06:00.
    double whole = std::trunc(date);
    int64_t days = int64_t(whole);
    int64_t seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        days += date < 0 ? -1 : 1;
    }
    int year, month, day;
    CivilFromDays(kEpochDays + days, &year, &month, &day);
    if (year > 9999) return E_INVALIDARG;

    char buffer[32];
    int length = 0;
    if (days != 0) length = std::snprintf(buffer, sizeof(buffer), "%02d/%02d/%04d", month, day, year);
    if (seconds != 0 || days == 0)
        length += std::snprintf(buffer + length, sizeof(buffer) - length, "%s%02d:%02d:%02d", length ? " " : "",
                                int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    text->assign(buffer, buffer + length);
    return S_OK;
}

HRESULT ParseDate(std::u16string_view text, DATE* date) {
    Parts parts;
    Reader in(text);
    in.skipSpaces();
    // A time starts with digits and a colon; anything else must start with a date.
    Reader probe = in;
    int ignored;
    bool timeFirst = probe.number(2, &ignored) && probe.peek() == u':';
    bool wantTime = true;
    if (!timeFirst) {
        if (!ReadDate(in, &parts)) return DISP_E_TYPEMISMATCH;
        char16_t separator = in.peek();
        in.skipSpaces();
        if (in.atEnd()) {
            wantTime = false;
        } else if (in.accept(u'T') || IsSpace(separator)) {
            in.skipSpaces();
        } else {
            return DISP_E_TYPEMISMATCH;
        }
    }
    if (wantTime) {
        if (!ReadTime(in, &parts)) return DISP_E_TYPEMISMATCH;
        in.skipSpaces();
        if (!in.atEnd()) return DISP_E_TYPEMISMATCH;
    }

    if (parts.year < 100 || parts.year > 9999 || parts.month < 1 || parts.month > 12 || parts.day < 1 ||
        parts.day > DaysInMonth(parts.year, parts.month) || parts.hour > 23 || parts.minute > 59 || parts.second > 59)
        return DISP_E_TYPEMISMATCH;
    int64_t days = DaysFromCivil(parts.year, unsigned(parts.month), unsigned(parts.day)) - kEpochDays;
    double time = double(parts.hour * 3600 + parts.minute * 60 + parts.second) / kSecondsPerDay;
    *date = days >= 0 ? double(days) + time : double(days) - time;
    return S_OK;
}

}  // namespace lumivel::com
