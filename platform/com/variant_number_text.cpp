// Numbers as text for VariantChangeType, independent of the C library's locale (Qt sets it
// from the environment, which would turn "1.5" into "1,5").
#include <charconv>
#include <cmath>

#include "variant_text.h"

namespace lumivel::com {

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Exponents beyond this make every value overflow or vanish; clamping avoids int overflow on
// hostile input such as "1e999999999999".
constexpr int64_t kExponentLimit = 100000;

}  // namespace

HRESULT ParseDecimalText(std::u16string_view text, DecimalText* number) {
    size_t pos = 0, end = text.size();
    while (pos < end && IsSpace(text[pos])) ++pos;
    while (end > pos && IsSpace(text[end - 1])) --end;
    DecimalText result;
    if (pos < end && (text[pos] == u'+' || text[pos] == u'-')) result.negative = text[pos++] == u'-';

    std::string digits;
    bool anyDigit = false;
    int64_t fractionDigits = 0;
    // Thousands separators are allowed between digits of the integer part only.
    while (pos < end && (IsDigit(text[pos]) || (text[pos] == u',' && anyDigit))) {
        if (text[pos] != u',') {
            digits.push_back(char(text[pos]));
            anyDigit = true;
        }
        ++pos;
    }
    if (pos < end && text[pos] == u'.') {
        ++pos;
        while (pos < end && IsDigit(text[pos])) {
            digits.push_back(char(text[pos++]));
            ++fractionDigits;
            anyDigit = true;
        }
    }
    if (!anyDigit) return DISP_E_TYPEMISMATCH;
    int64_t exponent = 0;
    if (pos < end && (text[pos] == u'e' || text[pos] == u'E')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < end && (text[pos] == u'+' || text[pos] == u'-')) negativeExponent = text[pos++] == u'-';
        if (pos >= end || !IsDigit(text[pos])) return DISP_E_TYPEMISMATCH;
        while (pos < end && IsDigit(text[pos])) {
            if (exponent < kExponentLimit) exponent = exponent * 10 + (text[pos] - u'0');
            ++pos;
        }
        if (negativeExponent) exponent = -exponent;
    }
    if (pos != end) return DISP_E_TYPEMISMATCH;

    size_t leading = digits.find_first_not_of('0');
    if (leading == std::string::npos) {
        digits.clear();
        exponent = 0;
        fractionDigits = 0;
    } else {
        digits.erase(0, leading);
    }
    // Trailing zeros only move the exponent.
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    result.digits = std::move(digits);
    result.exponent = exponent - fractionDigits;
    *number = std::move(result);
    return S_OK;
}

bool RoundDecimalText(const DecimalText& number, __int128* value) {
    const std::string& digits = number.digits;
    if (digits.empty()) {
        *value = 0;
        return true;
    }
    int64_t integerDigits = int64_t(digits.size()) + number.exponent;
    if (integerDigits > 31) return false;  // beyond 10^31 > 2^100
    __int128 integer = 0;
    for (int64_t i = 0; i < integerDigits; ++i)
        integer = integer * 10 + (i < int64_t(digits.size()) ? digits[size_t(i)] - '0' : 0);
    if (integerDigits < int64_t(digits.size())) {
        // The first dropped digit decides; an exact half goes to the even neighbour.
        int64_t first = integerDigits < 0 ? -1 : integerDigits;
        if (first >= 0) {
            char roundDigit = digits[size_t(first)];
            bool moreAfter = digits.find_first_not_of('0', size_t(first) + 1) != std::string::npos;
            if (roundDigit > '5' || (roundDigit == '5' && (moreAfter || (integer & 1)))) ++integer;
        }
        // A number below 0.1 (first < 0) rounds to zero.
    }
    *value = number.negative ? -integer : integer;
    return true;
}

double DecimalTextToDouble(const DecimalText& number) {
    if (number.digits.empty()) return number.negative ? -0.0 : 0.0;
    std::string text = number.digits + "e" + std::to_string(number.exponent);
    double value = 0;
    auto [ptr, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        // from_chars leaves the value alone on range errors; tell huge from tiny.
        value = int64_t(number.digits.size()) + number.exponent > 0 ? HUGE_VAL : 0.0;
    return number.negative ? -value : value;
}

std::u16string FormatReal(double value, int significantDigits) {
    if (std::isnan(value)) return u"NaN";
    if (std::isinf(value)) return value < 0 ? u"-1.#INF" : u"1.#INF";
    char buffer[64];
    auto [ptr, error] = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, significantDigits);
    std::u16string text;
    for (char* c = buffer; c != ptr; ++c) text.push_back(*c == 'e' ? u'E' : char16_t(*c));
    return text;
}

std::u16string FormatInteger(__int128 value) {
    bool negative = value < 0;
    unsigned __int128 magnitude = negative ? -(unsigned __int128)value : (unsigned __int128)value;
    std::u16string text;
    do {
        text.insert(text.begin(), char16_t(u'0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude);
    if (negative) text.insert(text.begin(), u'-');
    return text;
}

}  // namespace lumivel::com
