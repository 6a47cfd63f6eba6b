// Raw directory values into VARIANTs and search columns by attribute syntax, and back.
#include <gtest/gtest.h>

#include "../attribute_syntax.h"
#include "../large_integer.h"
#include "../ldap_time.h"

using namespace lumivel::directory;

namespace {

struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
};

TEST(AttributeSyntax, SchemaSyntaxesMapToAdsTypes) {
    struct Row {
        const char* oid;
        int om;
        ADSTYPE type;
    };
    const Row rows[] = {
        {"2.5.5.1", 127, ADSTYPE_DN_STRING},          {"2.5.5.2", 6, ADSTYPE_CASE_IGNORE_STRING},
        {"2.5.5.3", 27, ADSTYPE_CASE_EXACT_STRING},   {"2.5.5.4", 20, ADSTYPE_CASE_IGNORE_STRING},
        {"2.5.5.5", 19, ADSTYPE_PRINTABLE_STRING},    {"2.5.5.6", 18, ADSTYPE_NUMERIC_STRING},
        {"2.5.5.8", 1, ADSTYPE_BOOLEAN},              {"2.5.5.9", 2, ADSTYPE_INTEGER},
        {"2.5.5.10", 4, ADSTYPE_OCTET_STRING},        {"2.5.5.11", 24, ADSTYPE_UTC_TIME},
        {"2.5.5.11", 23, ADSTYPE_UTC_TIME},           {"2.5.5.12", 64, ADSTYPE_CASE_IGNORE_STRING},
        {"2.5.5.15", 66, ADSTYPE_NT_SECURITY_DESCRIPTOR}, {"2.5.5.16", 65, ADSTYPE_LARGE_INTEGER},
        {"2.5.5.17", 4, ADSTYPE_OCTET_STRING},        {"9.9.9", 0, ADSTYPE_CASE_IGNORE_STRING},
    };
    for (const auto& r : rows) EXPECT_EQ(AdsTypeOf(SyntaxFromSchema(r.oid, r.om)), r.type) << r.oid;
}

// The subschema names the same syntaxes by their LDAP OIDs; both ways must agree.
TEST(AttributeSyntax, LdapSyntaxesAgreeWithTheSchemaObjects) {
    struct Row {
        const char* attributeSyntax;
        int om;
        const char* ldapSyntax;
    };
    const Row rows[] = {
        {"2.5.5.1", 127, "1.3.6.1.4.1.1466.115.121.1.12"}, {"2.5.5.2", 6, "1.3.6.1.4.1.1466.115.121.1.38"},
        {"2.5.5.3", 27, "1.2.840.113556.1.4.1362"},        {"2.5.5.4", 20, "1.2.840.113556.1.4.905"},
        {"2.5.5.5", 19, "1.3.6.1.4.1.1466.115.121.1.44"},  {"2.5.5.5", 22, "1.3.6.1.4.1.1466.115.121.1.26"},
        {"2.5.5.6", 18, "1.3.6.1.4.1.1466.115.121.1.36"},  {"2.5.5.7", 127, "1.2.840.113556.1.4.903"},
        {"2.5.5.8", 1, "1.3.6.1.4.1.1466.115.121.1.7"},    {"2.5.5.9", 2, "1.3.6.1.4.1.1466.115.121.1.27"},
        {"2.5.5.9", 10, "1.3.6.1.4.1.1466.115.121.1.27"},  {"2.5.5.10", 4, "1.3.6.1.4.1.1466.115.121.1.40"},
        {"2.5.5.11", 23, "1.3.6.1.4.1.1466.115.121.1.53"}, {"2.5.5.11", 24, "1.3.6.1.4.1.1466.115.121.1.24"},
        {"2.5.5.12", 64, "1.3.6.1.4.1.1466.115.121.1.15"}, {"2.5.5.13", 127, "1.3.6.1.4.1.1466.115.121.1.43"},
        {"2.5.5.14", 127, "1.2.840.113556.1.4.904"},       {"2.5.5.15", 66, "1.2.840.113556.1.4.907"},
        {"2.5.5.16", 65, "1.2.840.113556.1.4.906"},        {"2.5.5.17", 4, "1.3.6.1.4.1.1466.115.121.1.40"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(SyntaxFromLdapSyntax(r.ldapSyntax), SyntaxFromSchema(r.attributeSyntax, r.om)) << r.ldapSyntax;
    EXPECT_EQ(SyntaxFromLdapSyntax("1.2.3.4"), Syntax::CaseIgnoreString);
}

TEST(AttributeSyntax, AttributeTypeDescriptions) {
    std::vector<std::string> names;
    std::string oid;
    ASSERT_TRUE(ParseAttributeTypeDescription(
        "( 1.2.840.113556.1.4.148 NAME 'schemaIDGUID' SYNTAX '1.3.6.1.4.1.1466.115.121.1.40' SINGLE-VALUE "
        "NO-USER-MODIFICATION )",
        &names, &oid));
    EXPECT_EQ(names, std::vector<std::string>{"schemaIDGUID"});
    EXPECT_EQ(oid, "1.3.6.1.4.1.1466.115.121.1.40");
    // RFC 4512 forms: several names, an unquoted OID with a length bound, a description that
    // holds the keywords as text.
    ASSERT_TRUE(ParseAttributeTypeDescription(
        "( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'NAME SYNTAX x' SUP name\tSYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} )",
        &names, &oid));
    EXPECT_EQ(names, (std::vector<std::string>{"cn", "commonName"}));
    EXPECT_EQ(oid, "1.3.6.1.4.1.1466.115.121.1.15");
    EXPECT_FALSE(ParseAttributeTypeDescription("( 2.5.4.3 NAME 'cn' )", &names, &oid));
    EXPECT_FALSE(ParseAttributeTypeDescription("( 2.5.4.3 SYNTAX 1.2 )", &names, &oid));
    EXPECT_FALSE(ParseAttributeTypeDescription("( 2.5.4.3 NAME 'cn SYNTAX 1.2 )", &names, &oid));
}

TEST(AttributeSyntax, TimesAreUtc) {
    SYSTEMTIME t{};
    ASSERT_TRUE(ParseLdapTime("20041231233000.0Z", &t));
    EXPECT_EQ(t.wYear, 2004);
    EXPECT_EQ(t.wMonth, 12);
    EXPECT_EQ(t.wDay, 31);
    EXPECT_EQ(t.wHour, 23);
    EXPECT_EQ(t.wMinute, 30);
    EXPECT_EQ(t.wDayOfWeek, 5);  // a Friday
    ASSERT_TRUE(ParseLdapTime("20040101003000+0100", &t));  // an offset moves it back a day
    EXPECT_EQ(t.wYear, 2003);
    EXPECT_EQ(t.wDay, 31);
    EXPECT_EQ(t.wHour, 23);
    ASSERT_TRUE(ParseLdapTime("490301120000Z", &t));  // UTCTime, two-digit year
    EXPECT_EQ(t.wYear, 2049);
    ASSERT_TRUE(ParseLdapTime("500301120000Z", &t));
    EXPECT_EQ(t.wYear, 1950);
    ASSERT_TRUE(ParseLdapTime("20240229120000.123Z", &t));
    EXPECT_EQ(t.wMilliseconds, 123);
    for (const char* bad : {"", "2004", "20041331233000.0Z", "20041231243000.0Z", "2004123123300x.0Z",
                            "20041231233000.Z", "20041231233000.0Zjunk"})
        EXPECT_FALSE(ParseLdapTime(bad, &t)) << bad;
}

TEST(AttributeSyntax, DatesRoundTrip) {
    SYSTEMTIME t{};
    ASSERT_TRUE(ParseLdapTime("20040307140500.0Z", &t));
    const DATE date = SystemTimeToDate(t);
    EXPECT_NEAR(date, 38053.586805555, 1e-6);
    SYSTEMTIME back{};
    ASSERT_TRUE(DateToSystemTime(date, &back));
    EXPECT_EQ(FormatGeneralizedTime(back), "20040307140500.0Z");
    EXPECT_DOUBLE_EQ(SystemTimeToDate(SYSTEMTIME{1899, 12, 6, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_FALSE(DateToSystemTime(1e12, &back));
    // Before 1899-12-30 the time of day still runs forward: rounding up to midnight ends the
    // day, as the variant-date functions of the platform have it.
    const double almostMidnight = -2.0 + 1.0 / (86400.0 * 1000.0 * 4.0);
    ASSERT_TRUE(DateToSystemTime(almostMidnight, &back));
    EXPECT_EQ(FormatGeneralizedTime(back), "18991230000000.0Z");
    SYSTEMTIME platform{};
    ASSERT_TRUE(VariantTimeToSystemTime(almostMidnight, &platform));
    EXPECT_EQ(FormatGeneralizedTime(platform), "18991230000000.0Z");
}

TEST(AttributeSyntax, ValuesBecomeVariants) {
    Variant text, number, flag, date, bytes, large, several;
    ASSERT_EQ(ValueToVariant(Syntax::CaseIgnoreString, "Zo\xc3\xab", &text.v), S_OK);
    ASSERT_EQ(text.v.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(text.v.bstrVal), u"Zoë");
    ASSERT_EQ(ValueToVariant(Syntax::Integer, "-2147483646", &number.v), S_OK);
    EXPECT_EQ(number.v.vt, VT_I4);
    EXPECT_EQ(number.v.lVal, -2147483646);
    ASSERT_EQ(ValueToVariant(Syntax::Integer, "4294967295", &number.v), S_OK);  // unsigned flags wrap as ADSI's
    EXPECT_EQ(number.v.lVal, -1);
    ASSERT_EQ(ValueToVariant(Syntax::Boolean, "TRUE", &flag.v), S_OK);
    EXPECT_EQ(flag.v.vt, VT_BOOL);
    EXPECT_EQ(flag.v.boolVal, VARIANT_TRUE);
    ASSERT_EQ(ValueToVariant(Syntax::UtcTime, "20040307140500.0Z", &date.v), S_OK);
    EXPECT_EQ(date.v.vt, VT_DATE);
    const std::string raw("\x00\x01\xff", 3);
    ASSERT_EQ(ValueToVariant(Syntax::OctetString, raw, &bytes.v), S_OK);
    ASSERT_EQ(bytes.v.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(bytes.v.parray->rgsabound[0].cElements, 3u);
    EXPECT_EQ(static_cast<BYTE*>(bytes.v.parray->pvData)[2], 0xff);
    ASSERT_EQ(ValueToVariant(Syntax::LargeInteger, "-9223372036854775807", &large.v), S_OK);
    ASSERT_EQ(large.v.vt, VT_DISPATCH);
    int64_t value = 0;
    ASSERT_TRUE(ReadLargeInteger(large.v.pdispVal, &value));
    EXPECT_EQ(value, -9223372036854775807LL);
    ASSERT_EQ(ValuesToVariant(Syntax::CaseIgnoreString, {"top", "person", "user"}, false, &several.v), S_OK);
    ASSERT_EQ(several.v.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(several.v.parray->rgsabound[0].cElements, 3u);
    EXPECT_EQ(std::u16string(static_cast<VARIANT*>(several.v.parray->pvData)[2].bstrVal), u"user");

    Variant bad;
    EXPECT_EQ(ValueToVariant(Syntax::Integer, "12x", &bad.v), E_ADS_CANT_CONVERT_DATATYPE);
    EXPECT_EQ(ValueToVariant(Syntax::Boolean, "yes", &bad.v), E_ADS_CANT_CONVERT_DATATYPE);
    EXPECT_EQ(ValueToVariant(Syntax::UtcTime, "yesterday", &bad.v), E_ADS_CANT_CONVERT_DATATYPE);
    EXPECT_EQ(ValuesToVariant(Syntax::CaseIgnoreString, {}, false, &bad.v), E_ADS_PROPERTY_NOT_FOUND);
}

TEST(AttributeSyntax, VariantsBecomeValues) {
    std::vector<std::string> values;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_FALSE;
    ASSERT_EQ(VariantToValues(v, &values), S_OK);
    EXPECT_EQ(values, std::vector<std::string>{"FALSE"});
    v.vt = VT_I4;
    v.lVal = -5;
    ASSERT_EQ(VariantToValues(v, &values), S_OK);
    EXPECT_EQ(values, std::vector<std::string>{"-5"});
    v.vt = VT_DISPATCH;
    v.pdispVal = CreateLargeInteger(1LL << 40);
    ASSERT_EQ(VariantToValues(v, &values), S_OK);
    EXPECT_EQ(values, std::vector<std::string>{"1099511627776"});
    VariantClear(&v);
    LPWSTR names[] = {const_cast<LPWSTR>(u"a"), const_cast<LPWSTR>(u"Ω")};
    ASSERT_EQ(ADsBuildVarArrayStr(names, 2, &v), S_OK);
    ASSERT_EQ(VariantToValues(v, &values), S_OK);
    EXPECT_EQ(values, (std::vector<std::string>{"a", "\xce\xa9"}));
    VariantClear(&v);
    v.vt = VT_R8;
    EXPECT_EQ(VariantToValues(v, &values), E_ADS_CANT_CONVERT_DATATYPE);
}

TEST(AttributeSyntax, SearchColumnsPointIntoTheirStorage) {
    ColumnStorage storage;
    FillColumn(Syntax::CaseIgnoreString, {"one", "a much longer second value that is not small", ""}, &storage);
    ASSERT_EQ(storage.values.size(), 3u);
    EXPECT_EQ(std::u16string(storage.values[0].CaseIgnoreString), u"one");
    EXPECT_EQ(std::u16string(storage.values[1].CaseIgnoreString), u"a much longer second value that is not small");
    EXPECT_EQ(std::u16string(storage.values[2].CaseIgnoreString), u"");
    ColumnStorage numbers;
    FillColumn(Syntax::LargeInteger, {"-1"}, &numbers);
    EXPECT_EQ(numbers.values[0].dwType, ADSTYPE_LARGE_INTEGER);
    EXPECT_EQ(numbers.values[0].LargeInteger.QuadPart, -1);
    ColumnStorage times;
    FillColumn(Syntax::UtcTime, {"20041231233000.0Z"}, &times);
    EXPECT_EQ(times.values[0].UTCTime.wYear, 2004);

    // DN-binary values (wellKnownObjects) come apart into their bytes and DN.
    ColumnStorage binary;
    FillColumn(Syntax::DnWithBinary,
               {"B:32:18E2EA80684F11D2B9AA00C04F79F805:CN=Deleted Objects,DC=x", "B:4:0aFF:CN=a\\, b,DC=x",
                "B:3:ABC:CN=odd,DC=x", "not a dn-binary"},
               &binary);
    ASSERT_EQ(binary.values.size(), 4u);
    EXPECT_EQ(AdsTypeOf(Syntax::DnWithBinary), ADSTYPE_DN_WITH_BINARY);
    ASSERT_EQ(binary.values[0].dwType, ADSTYPE_DN_WITH_BINARY);
    const ADS_DN_WITH_BINARY& wk = *binary.values[0].pDNWithBinary;
    ASSERT_EQ(wk.dwLength, 16u);
    EXPECT_EQ(wk.lpBinaryValue[0], 0x18);
    EXPECT_EQ(wk.lpBinaryValue[15], 0x05);
    EXPECT_EQ(std::u16string(wk.pszDNString), u"CN=Deleted Objects,DC=x");
    ASSERT_EQ(binary.values[1].dwType, ADSTYPE_DN_WITH_BINARY);
    EXPECT_EQ(binary.values[1].pDNWithBinary->dwLength, 2u);
    EXPECT_EQ(binary.values[1].pDNWithBinary->lpBinaryValue[1], 0xFF);
    EXPECT_EQ(std::u16string(binary.values[1].pDNWithBinary->pszDNString), u"CN=a\\, b,DC=x");
    // Malformed values are handed on as their text.
    EXPECT_EQ(binary.values[2].dwType, ADSTYPE_CASE_IGNORE_STRING);
    EXPECT_EQ(std::u16string(binary.values[3].CaseIgnoreString), u"not a dn-binary");
    // The first value still points at its own bytes after the others were added.
    EXPECT_EQ(binary.values[0].pDNWithBinary->lpBinaryValue[1], 0xE2);

    ColumnStorage text;
    FillColumn(Syntax::DnWithString, {"S:5:hello:CN=x,DC=y", "S:4:Zoë:CN=z", "S:9:short:CN=x"}, &text);
    ASSERT_EQ(text.values[0].dwType, ADSTYPE_DN_WITH_STRING);
    EXPECT_EQ(std::u16string(text.values[0].pDNWithString->pszStringValue), u"hello");
    EXPECT_EQ(std::u16string(text.values[0].pDNWithString->pszDNString), u"CN=x,DC=y");
    ASSERT_EQ(text.values[1].dwType, ADSTYPE_DN_WITH_STRING);  // counted in bytes
    EXPECT_EQ(std::u16string(text.values[1].pDNWithString->pszStringValue), u"Zoë");
    EXPECT_EQ(std::u16string(text.values[1].pDNWithString->pszDNString), u"CN=z");
    ColumnStorage characters;
    FillColumn(Syntax::DnWithString, {"S:3:Zoë:CN=z"}, &characters);  // counted in characters
    ASSERT_EQ(characters.values[0].dwType, ADSTYPE_DN_WITH_STRING);
    EXPECT_EQ(std::u16string(characters.values[0].pDNWithString->pszStringValue), u"Zoë");
    EXPECT_EQ(text.values[2].dwType, ADSTYPE_CASE_IGNORE_STRING);
}

// What a search column hands out goes back to the directory unchanged.
TEST(AttributeSyntax, ColumnValuesRoundTripToLdapValues) {
    struct Case {
        Syntax syntax;
        std::string raw;
    };
    const Case cases[] = {
        {Syntax::DnString, "CN=Smith\\, John,DC=x"},
        {Syntax::CaseIgnoreString, "Zo\xc3\xab \xf0\xa0\xae\xb7"},
        {Syntax::CaseExactString, ""},
        {Syntax::PrintableString, "+1 555 0100"},
        {Syntax::NumericString, "0123"},
        {Syntax::Boolean, "TRUE"},
        {Syntax::Boolean, "FALSE"},
        {Syntax::Integer, "-5"},
        {Syntax::Integer, "2147483647"},
        {Syntax::LargeInteger, "-9223372036854775807"},
        {Syntax::UtcTime, "20041231233000.0Z"},
        {Syntax::OctetString, std::string("\x00\xff\x10", 3)},
        {Syntax::SecurityDescriptor, std::string("\x01\x00\x04\x80", 4)},
        {Syntax::DnWithBinary, "B:4:0AFF:CN=a\\, b,DC=x"},
        {Syntax::DnWithString, "S:4:Zo\xc3\xab:CN=z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        ColumnStorage storage;
        FillColumn(c.syntax, {c.raw}, &storage);
        ASSERT_EQ(storage.values.size(), 1u);
        std::string back;
        ASSERT_EQ(AdsValueToRaw(storage.values[0], &back), S_OK);
        EXPECT_EQ(back, c.raw);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        // A search column and a Get of the same values give the same VARIANT, for one value
        // and for several.
        for (size_t count : {1u, 3u}) {
            std::vector<std::string> raw(count, c.raw);
            ColumnStorage storage;
            FillColumn(c.syntax, raw, &storage);
            Variant fromColumn, fromGet;
            ASSERT_EQ(AdsTypeToPropVariant(storage.values.data(), static_cast<DWORD>(count), &fromColumn.v), S_OK);
            ASSERT_EQ(ValuesToVariant(c.syntax, raw, false, &fromGet.v), S_OK);
            ASSERT_EQ(fromColumn.v.vt, fromGet.v.vt);
            std::vector<std::string> columnBack, getBack;
            ASSERT_EQ(VariantToValues(fromColumn.v, &columnBack), S_OK);
            ASSERT_EQ(VariantToValues(fromGet.v, &getBack), S_OK);
            EXPECT_EQ(columnBack, getBack);
        }
    }
    ADSVALUE mixed[2]{};
    mixed[0].dwType = ADSTYPE_BOOLEAN;
    mixed[1].dwType = ADSTYPE_INTEGER;
    Variant none;
    EXPECT_EQ(AdsTypeToPropVariant(mixed, 2, &none.v), E_ADS_CANT_CONVERT_DATATYPE);
    EXPECT_EQ(none.v.vt, VT_EMPTY);

    ADSVALUE unknown{};
    unknown.dwType = ADSTYPE_FAXNUMBER;
    EXPECT_EQ(AdsTypeToPropVariant(&unknown, 1, &none.v), E_ADS_CANT_CONVERT_DATATYPE);
    std::string raw;
    EXPECT_EQ(AdsValueToRaw(unknown, &raw), E_ADS_CANT_CONVERT_DATATYPE);
    ADSVALUE noText{};
    noText.dwType = ADSTYPE_CASE_IGNORE_STRING;
    EXPECT_EQ(AdsValueToRaw(noText, &raw), E_ADS_BAD_PARAMETER);
}

}  // namespace
