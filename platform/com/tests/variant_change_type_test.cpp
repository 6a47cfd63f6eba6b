#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "counted_object.h"
#include "tests/support/variant_builders.h"

namespace {

using lumivel::test::CountedDispatch;
using namespace lumivel::testing;

// Converts and returns the result as text: a BSTR's characters, a number in decimal, or
// "hr=0x..." on failure, so that every row of a table reads as one comparison.
std::string Convert(VARIANT source, VARTYPE vt, USHORT flags = 0, LCID lcid = 0) {
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = VariantChangeTypeEx(&out, &source, lcid, flags, vt);
    VariantClear(&source);
    char buffer[64];
    if (FAILED(hr)) {
        std::snprintf(buffer, sizeof(buffer), "hr=0x%08X", unsigned(hr));
        return buffer;
    }
    std::string result;
    switch (out.vt) {
        case VT_BSTR:
            for (UINT i = 0; i < SysStringLen(out.bstrVal); ++i) result.push_back(char(out.bstrVal[i]));
            break;
        case VT_I1: result = std::to_string(out.cVal); break;
        case VT_UI1: result = std::to_string(out.bVal); break;
        case VT_I2: result = std::to_string(out.iVal); break;
        case VT_UI2: result = std::to_string(out.uiVal); break;
        case VT_I4: result = std::to_string(out.lVal); break;
        case VT_UI4: result = std::to_string(out.ulVal); break;
        case VT_INT: result = std::to_string(out.intVal); break;
        case VT_UINT: result = std::to_string(out.uintVal); break;
        case VT_I8: result = std::to_string(out.llVal); break;
        case VT_UI8: result = std::to_string(out.ullVal); break;
        case VT_BOOL: result = out.boolVal == VARIANT_TRUE ? "TRUE" : out.boolVal == 0 ? "FALSE" : "BAD"; break;
        case VT_R8:
        case VT_DATE:
            std::snprintf(buffer, sizeof(buffer), "%.10g", out.dblVal);
            result = buffer;
            break;
        case VT_R4:
            std::snprintf(buffer, sizeof(buffer), "%.7g", out.fltVal);
            result = buffer;
            break;
        case VT_EMPTY: result = "EMPTY"; break;
        case VT_NULL: result = "NULL"; break;
        default: result = "vt=" + std::to_string(out.vt);
    }
    VariantClear(&out);
    return result;
}

std::string Narrow(const char16_t* text) { return std::string(text, text + std::char_traits<char16_t>::length(text)); }

constexpr const char* kOverflow = "hr=0x8002000A";
constexpr const char* kMismatch = "hr=0x80020005";

struct Row {
    const char* label;
    VARIANT (*make)();
    VARTYPE vt;
    USHORT flags;
    const char* expected;
};

// One second in VT_DATE units, for values just around midnight.
constexpr double kSecond = 1.0 / 86400;

TEST(VariantChangeType, DatesToText) {
    struct DateRow {
        double date;
        const char* expected;
    } rows[] = {
        {38053.586805555555, "03/07/2004 14:05:00"},
        {38053.0, "03/07/2004"},                       // midnight: date only
        {0.25, "06:00:00"},                            // day 0: time only
        {0.0, "00:00:00"},
        {38053.0 - kSecond, "03/06/2004 23:59:59"},
        {38053.0 - kSecond / 4, "03/07/2004"},         // rounds up into the next day
        {38053.0 + kSecond * 0.4, "03/07/2004"},       // rounds down to midnight
        {38046.5, "02/29/2004 12:00:00"},              // leap day
        {36585.0, "02/29/2000"},                       // divisible by 400: leap
        {1.0, "12/31/1899"},
        {-1.25, "12/29/1899 06:00:00"},                // negative dates carry the time as magnitude
        {-0.5, "12:00:00"},                            // still day 0
        {-2.0 + kSecond / 4, "00:00:00"},              // rounds forward out of 12/29/1899, to day 0
        {2958465.5, "12/31/9999 12:00:00"},
        {2958465.99999999, "hr=0x80070057"},           // rounds into the year 10000
        {-657434.0, "01/01/0100"},
        {2958466.0, "hr=0x80070057"},
        {-657435.0, "hr=0x80070057"},
        {NAN, "hr=0x80070057"},
    };
    for (const DateRow& row : rows) EXPECT_EQ(Convert(Date(row.date), VT_BSTR), row.expected) << row.date;
    // The neutral locale, the invariant one and the user default all print alike.
    for (LCID lcid : {LCID(0), LCID(LOCALE_INVARIANT), LCID(LOCALE_USER_DEFAULT), LCID(0x0409)})
        EXPECT_EQ(Convert(Date(38053.586805555555), VT_BSTR, VARIANT_NOUSEROVERRIDE, lcid), "03/07/2004 14:05:00");
}

// The direct text functions print as VariantChangeType does, booleans always as words.
TEST(VariantChangeType, VarBstrFromDateAndBool) {
    BSTR text = nullptr;
    ASSERT_EQ(VarBstrFromDate(38053.586805555555, LOCALE_NEUTRAL, LOCALE_NOUSEROVERRIDE, &text), S_OK);
    EXPECT_EQ(Narrow(text), "03/07/2004 14:05:00");
    SysFreeString(text);
    text = nullptr;
    EXPECT_EQ(VarBstrFromDate(2958466.0, LOCALE_NEUTRAL, 0, &text), E_INVALIDARG);
    EXPECT_EQ(text, nullptr);
    for (auto [value, expected] : {std::pair{VARIANT_TRUE, "True"}, {VARIANT_FALSE, "False"}, {VARIANT_BOOL(1), "True"}}) {
        ASSERT_EQ(VarBstrFromBool(value, LOCALE_NEUTRAL, 0, &text), S_OK);
        EXPECT_EQ(Narrow(text), expected);
        SysFreeString(text);
    }
    EXPECT_EQ(VarBstrFromBool(VARIANT_TRUE, 0, 0, nullptr), E_INVALIDARG);
}

TEST(VariantChangeType, TextToDates) {
    struct TextRow {
        const char16_t* text;
        const char* expected;
    } rows[] = {
        {u"03/07/2004 14:05:00", "38053.58681"},
        {u"03/07/2004", "38053"},
        {u"14:05:00", "0.5868055556"},
        {u"3/7/2004 2:05 PM", "38053.58681"},
        {u"12:00 AM", "0"},
        {u"2004-03-07T14:05:00", "38053.58681"},
        {u"  02/29/2004  ", "38046"},
        {u"12/29/1899 06:00:00", "-1.25"},
        {u"1/1/29", "47119"},                          // two-digit years up to 29 are 20xx
        {u"1/1/30", "10959"},
        {u"02/29/2001", kMismatch},                    // no leap day in 2001
        {u"02/29/1900", kMismatch},                    // centuries are not leap years
        {u"13/01/2004", kMismatch},
        {u"03/07/2004 24:00:00", kMismatch},
        {u"03/07/2004 x", kMismatch},
        {u"13:00 PM", kMismatch},
        {u"", kMismatch},
        {u"yesterday", kMismatch},
    };
    for (const TextRow& row : rows)
        EXPECT_EQ(Convert(Text(row.text), VT_DATE), row.expected) << Narrow(row.text);
}

TEST(VariantChangeType, EveryPrintedDateReadsBack) {
    for (double date : {38053.586805555555, 38053.0, 0.25, -1.25, 36585.0, 2958465.0, -657434.0, 1.5}) {
        VARIANT text, back;
        VariantInit(&text);
        VariantInit(&back);
        VARIANT source = Date(date);
        ASSERT_EQ(VariantChangeType(&text, &source, 0, VT_BSTR), S_OK);
        ASSERT_EQ(VariantChangeType(&back, &text, 0, VT_DATE), S_OK) << date;
        EXPECT_NEAR(back.date, date, kSecond / 2) << date;
        VariantClear(&text);
    }
}

TEST(VariantChangeType, ScalarTable) {
    const Row rows[] = {
        {"true alpha", [] { return Bool(true); }, VT_BSTR, VARIANT_ALPHABOOL, "True"},
        {"false alpha", [] { return Bool(false); }, VT_BSTR, VARIANT_ALPHABOOL, "False"},
        {"true local", [] { return Bool(true); }, VT_BSTR, VARIANT_LOCALBOOL, "True"},
        {"true plain", [] { return Bool(true); }, VT_BSTR, 0, "-1"},
        {"false plain", [] { return Bool(false); }, VT_BSTR, 0, "0"},
        {"True text", [] { return Text(u"True"); }, VT_BOOL, 0, "TRUE"},
        {"false text", [] { return Text(u" false "); }, VT_BOOL, 0, "FALSE"},
        {"numeric text", [] { return Text(u"-1"); }, VT_BOOL, 0, "TRUE"},
        {"zero text", [] { return Text(u"0"); }, VT_BOOL, 0, "FALSE"},
        {"yes", [] { return Text(u"yes"); }, VT_BOOL, 0, kMismatch},
        {"bool to i4", [] { return Bool(true); }, VT_I4, 0, "-1"},
        {"bool to ui1", [] { return Bool(true); }, VT_UI1, 0, "255"},
        {"i4 to bool", [] { return I4(5); }, VT_BOOL, 0, "TRUE"},

        {"i4 text", [] { return I4(-2147483647 - 1); }, VT_BSTR, 0, "-2147483648"},
        {"i8 text", [] { return I8(9223372036854775807LL); }, VT_BSTR, 0, "9223372036854775807"},
        {"text i4", [] { return Text(u" 1,234 "); }, VT_I4, 0, "1234"},
        {"text i8 exact", [] { return Text(u"-9223372036854775808"); }, VT_I8, 0, "-9223372036854775808"},
        {"text ui8 max", [] { return Text(u"18446744073709551615"); }, VT_UI8, 0, "18446744073709551615"},
        {"text ui8 over", [] { return Text(u"18446744073709551616"); }, VT_UI8, 0, kOverflow},
        {"half to even", [] { return Text(u"2.5"); }, VT_I4, 0, "2"},
        {"half to even odd", [] { return Text(u"3.5"); }, VT_I4, 0, "4"},
        {"above half", [] { return Text(u"2.5000001"); }, VT_I4, 0, "3"},
        {"exponent", [] { return Text(u"1.5e3"); }, VT_I2, 0, "1500"},
        {"hostile exponent", [] { return Text(u"1e999999999999"); }, VT_I4, 0, kOverflow},
        {"tiny exponent", [] { return Text(u"1e-999999999999"); }, VT_I4, 0, "0"},
        {"not a number", [] { return Text(u"12abc"); }, VT_I4, 0, kMismatch},
        {"lone sign", [] { return Text(u"-"); }, VT_I4, 0, kMismatch},
        {"empty text", [] { return Text(u""); }, VT_I4, 0, kMismatch},
        {"i4 to i1 over", [] { return I4(128); }, VT_I1, 0, kOverflow},
        {"i4 to i1 under", [] { return I4(-129); }, VT_I1, 0, kOverflow},
        {"i4 to i1 edge", [] { return I4(-128); }, VT_I1, 0, "-128"},
        {"negative to ui4", [] { return I4(-1); }, VT_UI4, 0, kOverflow},
        {"i8 to i4 over", [] { return I8(2147483648LL); }, VT_I4, 0, kOverflow},
        {"i8 to int", [] { return I8(-5); }, VT_INT, 0, "-5"},
        {"i8 to uint", [] { return I8(4294967295LL); }, VT_UINT, 0, "4294967295"},
        {"r8 half even", [] { return R8(-2.5); }, VT_I4, 0, "-2"},
        {"r8 over i8", [] { return R8(9223372036854775808.0); }, VT_I8, 0, kOverflow},
        {"r8 nan", [] { return R8(NAN); }, VT_I4, 0, kOverflow},
        {"r8 text", [] { return R8(0.1 + 0.2); }, VT_BSTR, 0, "0.3"},
        {"r8 big text", [] { return R8(1e20); }, VT_BSTR, 0, "1E+20"},
        {"r8 small text", [] { return R8(1e-5); }, VT_BSTR, 0, "1E-05"},
        {"text r8", [] { return Text(u"-12.75"); }, VT_R8, 0, "-12.75"},
        {"text r4 over", [] { return Text(u"1e39"); }, VT_R4, 0, kOverflow},
        {"date to i4", [] { return Date(38053.6); }, VT_I4, 0, "38054"},
        {"i4 to date", [] { return I4(38053); }, VT_DATE, 0, "38053"},
        {"r8 to date over", [] { return R8(3e6); }, VT_DATE, 0, kOverflow},

        {"empty text", [] { return Empty(); }, VT_BSTR, 0, ""},
        {"empty i4", [] { return Empty(); }, VT_I4, 0, "0"},
        {"empty bool", [] { return Empty(); }, VT_BOOL, 0, "FALSE"},
        {"empty date", [] { return Empty(); }, VT_DATE, 0, "0"},
        {"null text", [] { return Null(); }, VT_BSTR, 0, kMismatch},
        {"null i4", [] { return Null(); }, VT_I4, 0, kMismatch},
        {"null null", [] { return Null(); }, VT_NULL, 0, "NULL"},
        {"i4 empty", [] { return I4(3); }, VT_EMPTY, 0, "EMPTY"},
        {"i4 null", [] { return I4(3); }, VT_NULL, 0, kMismatch},
        {"bad target", [] { return I4(3); }, 0x7FF, 0, "hr=0x80020008"},
        {"byref target", [] { return I4(3); }, VT_I4 | VT_BYREF, 0, "hr=0x80020008"},
    };
    for (const Row& row : rows) EXPECT_EQ(Convert(row.make(), row.vt, row.flags), row.expected) << row.label;
}

TEST(VariantChangeType, InPlaceAndFailureLeavesDestination) {
    VARIANT v = Text(u"42");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 42);

    VARIANT out = Text(u"old");
    VARIANT bad = Text(u"x");
    EXPECT_EQ(VariantChangeType(&out, &bad, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(out.bstrVal), u"old");
    VariantClear(&out);
    VariantClear(&bad);

    // A reference is followed to its value.
    LONG number = 7;
    VARIANT ref;
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &number;
    EXPECT_EQ(Convert(ref, VT_BSTR), "7");
}

TEST(VariantChangeType, ObjectsConvertThroughTheirValue) {
    CountedDispatch object;
    object.value = I4(99);
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = &object;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"99");
    VariantClear(&out);
    EXPECT_EQ(VariantChangeType(&out, &v, VARIANT_NOVALUEPROP, VT_BSTR), DISP_E_TYPEMISMATCH);

    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&object));
    EXPECT_EQ(object.references, 2u);
    VariantClear(&out);
    EXPECT_EQ(object.references, 1u);

    // Arrays convert only to their own type.
    VARIANT array;
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    VariantClear(&array);
}

}  // namespace
