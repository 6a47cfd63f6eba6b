// Text forms of numbers and dates used by VariantChangeType.
//
// The platform has one locale for variant conversions, the invariant culture: decimal point
// ".", thousands separator ",", short date "MM/dd/yyyy", time "HH:mm:ss". Every LCID,
// including LOCALE_NEUTRAL (0), LOCALE_INVARIANT and the user default, converts the same way,
// so text written by one process (backup files) reads back identically in another.
#pragma once

#include <string>
#include <string_view>

#include "win/oleauto.h"

namespace lumivel::com {

// A decimal number exactly as written: value = (negative ? -1 : 1) * digits * 10^exponent,
// digits without leading zeros ("" for zero).
struct DecimalText {
    bool negative = false;
    std::string digits;
    int64_t exponent = 0;
};

// Parses "  -1,234.5e3 " style text; DISP_E_TYPEMISMATCH when it is not a number.
HRESULT ParseDecimalText(std::u16string_view text, DecimalText* number);

// Rounds to the nearest integer, halves to even (as Windows coerces to integers), into *value;
// false when the magnitude exceeds 2^100 (certainly an overflow for every integer type).
bool RoundDecimalText(const DecimalText& number, __int128* value);

double DecimalTextToDouble(const DecimalText& number);

// Shortest form with the given significant digits, exponent as "E+20"/"E-05" (15 for R8,
// 7 for R4), as Windows prints floating-point values.
std::u16string FormatReal(double value, int significantDigits);

std::u16string FormatInteger(__int128 value);

// Valid VT_DATE values: 1 January 100 to 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDateExclusive = 2958466.0;

// "MM/dd/yyyy HH:mm:ss", with only the date when the time is midnight and only the time on
// day 0 (30 December 1899); rounded to the second. E_INVALIDARG outside the valid range.
HRESULT FormatDate(DATE date, std::u16string* text);

// Reads every form FormatDate writes, plus M/d/yy, yyyy-MM-dd, a "T" between date and time,
// H:mm, fractions of seconds and AM/PM. DISP_E_TYPEMISMATCH when the text is no valid date.
HRESULT ParseDate(std::u16string_view text, DATE* date);

}  // namespace lumivel::com
