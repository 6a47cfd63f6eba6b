// Attribute syntaxes and the conversion of raw LDAP values into what ADSI callers get:
// VARIANTs for IADs::Get and ADSVALUEs for IDirectorySearch::GetColumn.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/adsi.h"

namespace lumivel::directory {

enum class Syntax {
    DnString,
    CaseExactString,
    CaseIgnoreString,
    PrintableString,
    NumericString,
    Boolean,
    Integer,
    OctetString,
    UtcTime,
    LargeInteger,
    SecurityDescriptor,
    DnWithBinary,
    DnWithString,
};

// From the attributeSchema object's attributeSyntax OID and oMSyntax; unknown syntaxes are
// case-ignore strings, as ADSI treats them.
Syntax SyntaxFromSchema(std::string_view attributeSyntax, int omSyntax);
// From the LDAP syntax OID of an attribute type in the subschema subentry, as the directory
// maps its own syntaxes onto them; unknown OIDs are case-ignore strings.
Syntax SyntaxFromLdapSyntax(std::string_view oid);
// The names and the syntax OID of an attributeTypes description (RFC 4512: "( oid NAME 'x'
// SYNTAX 'oid' ... )" or "NAME ( 'x' 'y' )", the OID quoted or not, with or without a length
// bound). False when the description names no attribute or no syntax.
bool ParseAttributeTypeDescription(std::string_view description, std::vector<std::string>* names,
                                   std::string* syntaxOid);
ADSTYPE AdsTypeOf(Syntax syntax);
// The syntax whose values a search hands out with that type; none for types the directory
// never hands out.
std::optional<Syntax> SyntaxOfAdsType(ADSTYPE type);

// One value as a VARIANT: BSTR, VT_I4, VT_BOOL, VT_DATE, VT_ARRAY|VT_UI1 or an
// IADsLargeInteger in VT_DISPATCH. E_ADS_CANT_CONVERT_DATATYPE for a malformed value.
HRESULT ValueToVariant(Syntax syntax, std::string_view raw, VARIANT* out);
// All values: one as itself, several (or `alwaysArray`) as VT_ARRAY|VT_VARIANT.
HRESULT ValuesToVariant(Syntax syntax, const std::vector<std::string>& raw, bool alwaysArray, VARIANT* out);

// The LDAP values for a VARIANT given to IADs::Put: a scalar, an array of VARIANTs or BSTRs,
// a byte array, or an IADsLargeInteger.
HRESULT VariantToValues(const VARIANT& value, std::vector<std::string>* raw);

// The LDAP value of an ADSVALUE (IDirectoryObject::SetObjectAttributes and CreateDSObject):
// the inverse of FillColumn. E_ADS_CANT_CONVERT_DATATYPE for a type without an LDAP form.
HRESULT AdsValueToRaw(const ADSVALUE& value, std::string* raw);

// Storage for the values of one search column; owned through ADS_SEARCH_COLUMN::hReserved.
struct ColumnStorage {
    std::u16string name;
    std::vector<ADSVALUE> values;
    std::vector<std::u16string> strings;
    std::vector<std::string> bytes;
    std::vector<ADS_DN_WITH_BINARY> dnWithBinary;
    std::vector<ADS_DN_WITH_STRING> dnWithString;
};
// Fills storage->values (and the strings and bytes they point into) for raw values. DN-binary
// and DN-string values ("B:n:hex:DN", "S:n:text:DN") are taken apart; one that is malformed is
// handed on as its text (ADSTYPE_CASE_IGNORE_STRING).
void FillColumn(Syntax syntax, const std::vector<std::string>& raw, ColumnStorage* storage);

}  // namespace lumivel::directory
