// VT_DATE <-> text in the invariant culture.
//
// On Windows, LOCALE_INVARIANT prints "MM/dd/yyyy HH:mm:ss" (for example "03/07/2004 14:05:00"),
// while LCID 0 resolves to the user's default locale and so varies from machine to machine.
// This platform has no per-user locale: both print the invariant form, which keeps backup files
// identical wherever they are written. As on Windows a midnight time is left out, and a time on
// day 0 prints without a date.
#include <cmath>
#include <cstdio>

#include "../base/calendar.h"
#include "variant_text.h"

namespace lumivel::com {

namespace {

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
    // Seconds from 1899-12-30, the time of day rounded to the nearest second.
    const int64_t sinceEpoch = UnitsFromVariantDate(date, 1) - kVariantDateEpochDays * kSecondsPerDay;
    const int64_t days = sinceEpoch / kSecondsPerDay - (sinceEpoch % kSecondsPerDay < 0);
    const int64_t seconds = sinceEpoch - days * kSecondsPerDay;
    const CivilDate civil = CivilFromDays(days + kVariantDateEpochDays);
    const int year = int(civil.year), month = int(civil.month), day = int(civil.day);
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
        unsigned(parts.day) > DaysInMonth(parts.year, unsigned(parts.month)) || parts.hour > 23 || parts.minute > 59 ||
        parts.second > 59)
        return DISP_E_TYPEMISMATCH;
    *date = VariantDateFromDays(DaysFromCivil(parts.year, unsigned(parts.month), unsigned(parts.day)),
                                double(parts.hour * 3600 + parts.minute * 60 + parts.second));
    return S_OK;
}

}  // namespace lumivel::com
