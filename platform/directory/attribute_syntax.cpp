// Attribute syntaxes and value conversion.
#include "attribute_syntax.h"

#include <charconv>

#include "large_integer.h"
#include "ldap_time.h"
#include "lumivel/text.h"

namespace lumivel::directory {
namespace {

struct SyntaxRow {
    const char* oid;
    int omSyntax;  // 0: any
    Syntax syntax;
};

// attributeSyntax / oMSyntax pairs of the AD schema.
constexpr SyntaxRow kSyntaxes[] = {
    {"2.5.5.1", 0, Syntax::DnString},
    {"2.5.5.2", 0, Syntax::CaseIgnoreString},  // object identifiers (objectClass)
    {"2.5.5.3", 0, Syntax::CaseExactString},
    {"2.5.5.4", 0, Syntax::CaseIgnoreString},
    {"2.5.5.5", 0, Syntax::PrintableString},
    {"2.5.5.6", 0, Syntax::NumericString},
    {"2.5.5.7", 0, Syntax::DnWithBinary},
    {"2.5.5.8", 0, Syntax::Boolean},
    {"2.5.5.9", 0, Syntax::Integer},
    {"2.5.5.10", 0, Syntax::OctetString},
    {"2.5.5.11", 0, Syntax::UtcTime},
    {"2.5.5.12", 0, Syntax::CaseIgnoreString},
    {"2.5.5.13", 0, Syntax::CaseIgnoreString},
    {"2.5.5.14", 0, Syntax::DnWithString},
    {"2.5.5.15", 0, Syntax::SecurityDescriptor},
    {"2.5.5.16", 0, Syntax::LargeInteger},
    {"2.5.5.17", 0, Syntax::OctetString},
};

struct LdapSyntaxRow {
    const char* oid;
    Syntax syntax;
};

// The LDAP syntaxes the directory publishes for its attribute syntaxes (2.5.5.x).
constexpr LdapSyntaxRow kLdapSyntaxes[] = {
    {"1.3.6.1.4.1.1466.115.121.1.12", Syntax::DnString},           // 2.5.5.1
    {"1.3.6.1.4.1.1466.115.121.1.38", Syntax::CaseIgnoreString},   // 2.5.5.2 object identifier
    {"1.2.840.113556.1.4.1362", Syntax::CaseExactString},          // 2.5.5.3
    {"1.2.840.113556.1.4.905", Syntax::CaseIgnoreString},          // 2.5.5.4 teletex
    {"1.3.6.1.4.1.1466.115.121.1.44", Syntax::PrintableString},    // 2.5.5.5 printable
    {"1.3.6.1.4.1.1466.115.121.1.26", Syntax::PrintableString},    // 2.5.5.5 IA5
    {"1.3.6.1.4.1.1466.115.121.1.36", Syntax::NumericString},      // 2.5.5.6
    {"1.2.840.113556.1.4.903", Syntax::DnWithBinary},              // 2.5.5.7
    {"1.2.840.113556.1.4.1221", Syntax::DnWithBinary},             // 2.5.5.7 OR-name
    {"1.3.6.1.4.1.1466.115.121.1.7", Syntax::Boolean},             // 2.5.5.8
    {"1.3.6.1.4.1.1466.115.121.1.27", Syntax::Integer},            // 2.5.5.9
    {"1.3.6.1.4.1.1466.115.121.1.40", Syntax::OctetString},        // 2.5.5.10, 2.5.5.17
    {"1.3.6.1.4.1.1466.115.121.1.53", Syntax::UtcTime},            // 2.5.5.11 UTC time
    {"1.3.6.1.4.1.1466.115.121.1.24", Syntax::UtcTime},            // 2.5.5.11 generalized time
    {"1.3.6.1.4.1.1466.115.121.1.15", Syntax::CaseIgnoreString},   // 2.5.5.12
    {"1.3.6.1.4.1.1466.115.121.1.43", Syntax::CaseIgnoreString},   // 2.5.5.13
    {"1.2.840.113556.1.4.904", Syntax::DnWithString},              // 2.5.5.14
    {"1.3.6.1.4.1.1466.115.121.1.2", Syntax::DnWithString},        // 2.5.5.14 access point
    {"1.2.840.113556.1.4.907", Syntax::SecurityDescriptor},        // 2.5.5.15
    {"1.2.840.113556.1.4.906", Syntax::LargeInteger},              // 2.5.5.16
};

BSTR AllocBstr(std::string_view utf8) {
    const std::u16string text = FromUtf8(utf8);
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

bool ParseInt64(std::string_view text, int64_t* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

Syntax SyntaxFromSchema(std::string_view attributeSyntax, int omSyntax) {
    for (const auto& row : kSyntaxes)
        if (attributeSyntax == row.oid && (row.omSyntax == 0 || row.omSyntax == omSyntax)) return row.syntax;
    return Syntax::CaseIgnoreString;
}

Syntax SyntaxFromLdapSyntax(std::string_view oid) {
    for (const auto& row : kLdapSyntaxes)
        if (oid == row.oid) return row.syntax;
    return Syntax::CaseIgnoreString;
}

bool ParseAttributeTypeDescription(std::string_view description, std::vector<std::string>* names,
                                   std::string* syntaxOid) {
    names->clear();
    syntaxOid->clear();
    // Words are split at blanks and parentheses; a quoted string is one word without its quotes.
    auto separates = [](char c) { return c == ' ' || c == '(' || c == ')' || c == '\'' || c == '\t' || c == '\n' || c == '\r'; };
    std::vector<std::string> words;
    for (size_t i = 0; i < description.size();) {
        const char c = description[i];
        if (c != '\'' && separates(c)) {
            if (c == '(' || c == ')') words.emplace_back(1, c);
            ++i;
            continue;
        }
        if (c == '\'') {
            const size_t end = description.find('\'', i + 1);
            if (end == std::string_view::npos) return false;
            words.emplace_back("'" + std::string(description.substr(i + 1, end - i - 1)));
            i = end + 1;
            continue;
        }
        size_t end = i;
        while (end < description.size() && !separates(description[end])) ++end;
        words.emplace_back(description.substr(i, end - i));
        i = end;
    }
    auto unquoted = [](const std::string& word) { return word[0] == '\'' ? word.substr(1) : word; };
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "NAME") {
            if (words[i + 1] == "(") {
                for (size_t j = i + 2; j < words.size() && words[j] != ")"; ++j) names->push_back(unquoted(words[j]));
            } else {
                names->push_back(unquoted(words[i + 1]));
            }
        } else if (words[i] == "SYNTAX") {
            std::string oid = unquoted(words[i + 1]);
            *syntaxOid = oid.substr(0, oid.find('{'));
        }
    }
    return !names->empty() && !syntaxOid->empty();
}

ADSTYPE AdsTypeOf(Syntax syntax) {
    switch (syntax) {
        case Syntax::DnString: return ADSTYPE_DN_STRING;
        case Syntax::CaseExactString: return ADSTYPE_CASE_EXACT_STRING;
        case Syntax::CaseIgnoreString: return ADSTYPE_CASE_IGNORE_STRING;
        case Syntax::PrintableString: return ADSTYPE_PRINTABLE_STRING;
        case Syntax::NumericString: return ADSTYPE_NUMERIC_STRING;
        case Syntax::Boolean: return ADSTYPE_BOOLEAN;
        case Syntax::Integer: return ADSTYPE_INTEGER;
        case Syntax::OctetString: return ADSTYPE_OCTET_STRING;
        case Syntax::UtcTime: return ADSTYPE_UTC_TIME;
        case Syntax::LargeInteger: return ADSTYPE_LARGE_INTEGER;
        case Syntax::SecurityDescriptor: return ADSTYPE_NT_SECURITY_DESCRIPTOR;
        case Syntax::DnWithBinary: return ADSTYPE_DN_WITH_BINARY;
        case Syntax::DnWithString: return ADSTYPE_DN_WITH_STRING;
    }
    return ADSTYPE_UNKNOWN;
}

std::optional<Syntax> SyntaxOfAdsType(ADSTYPE type) {
    // Object classes are case-ignore strings to Get as well.
    if (type == ADSTYPE_OBJECT_CLASS) return Syntax::CaseIgnoreString;
    for (Syntax syntax : {Syntax::DnString, Syntax::CaseExactString, Syntax::CaseIgnoreString, Syntax::PrintableString,
                          Syntax::NumericString, Syntax::Boolean, Syntax::Integer, Syntax::OctetString, Syntax::UtcTime,
                          Syntax::LargeInteger, Syntax::SecurityDescriptor, Syntax::DnWithBinary, Syntax::DnWithString})
        if (AdsTypeOf(syntax) == type) return syntax;
    return std::nullopt;
}

HRESULT ValueToVariant(Syntax syntax, std::string_view raw, VARIANT* out) {
    VariantInit(out);
    switch (syntax) {
        case Syntax::Boolean:
            if (raw != "TRUE" && raw != "FALSE") return E_ADS_CANT_CONVERT_DATATYPE;
            out->vt = VT_BOOL;
            out->boolVal = raw == "TRUE" ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        case Syntax::Integer: {
            int64_t value;
            if (!ParseInt64(raw, &value)) return E_ADS_CANT_CONVERT_DATATYPE;
            out->vt = VT_I4;
            out->lVal = static_cast<LONG>(value);  // AD stores enumerations as unsigned 32-bit too
            return S_OK;
        }
        case Syntax::LargeInteger: {
            int64_t value;
            if (!ParseInt64(raw, &value)) return E_ADS_CANT_CONVERT_DATATYPE;
            IDispatch* object = CreateLargeInteger(value);
            if (!object) return E_OUTOFMEMORY;
            out->vt = VT_DISPATCH;
            out->pdispVal = object;
            return S_OK;
        }
        case Syntax::UtcTime: {
            SYSTEMTIME t;
            if (!ParseLdapTime(raw, &t)) return E_ADS_CANT_CONVERT_DATATYPE;
            out->vt = VT_DATE;
            out->date = SystemTimeToDate(t);
            return S_OK;
        }
        case Syntax::OctetString:
        case Syntax::SecurityDescriptor: {
            SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(raw.size()));
            if (!array) return E_OUTOFMEMORY;
            void* data = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
                if (!raw.empty()) std::memcpy(data, raw.data(), raw.size());
                SafeArrayUnaccessData(array);
            }
            out->vt = VT_ARRAY | VT_UI1;
            out->parray = array;
            return S_OK;
        }
        default: {
            BSTR text = AllocBstr(raw);
            if (!text) return E_OUTOFMEMORY;
            out->vt = VT_BSTR;
            out->bstrVal = text;
            return S_OK;
        }
    }
}

HRESULT ValuesToVariant(Syntax syntax, const std::vector<std::string>& raw, bool alwaysArray, VARIANT* out) {
    VariantInit(out);
    if (raw.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    if (raw.size() == 1 && !alwaysArray) return ValueToVariant(syntax, raw.front(), out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(raw.size()));
    if (!array) return E_OUTOFMEMORY;
    VARIANT* elements = nullptr;
    if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&elements)))) {
        SafeArrayDestroy(array);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = S_OK;
    for (size_t i = 0; i < raw.size() && SUCCEEDED(hr); ++i) hr = ValueToVariant(syntax, raw[i], &elements[i]);
    SafeArrayUnaccessData(array);
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

namespace {

HRESULT ScalarToValue(const VARIANT& v, std::string* raw) {
    const VARIANT* value = &v;
    if ((v.vt & VT_BYREF) && (v.vt & ~VT_BYREF) == VT_VARIANT) value = v.pvarVal;
    switch (value->vt) {
        case VT_BSTR:
            *raw = value->bstrVal ? ToUtf8(std::u16string_view(value->bstrVal, SysStringLen(value->bstrVal))) : "";
            return S_OK;
        case VT_I2: *raw = std::to_string(value->iVal); return S_OK;
        case VT_I4: *raw = std::to_string(value->lVal); return S_OK;
        case VT_UI4: *raw = std::to_string(value->ulVal); return S_OK;
        case VT_I8: *raw = std::to_string(value->llVal); return S_OK;
        case VT_INT: *raw = std::to_string(value->intVal); return S_OK;
        case VT_BOOL: *raw = value->boolVal ? "TRUE" : "FALSE"; return S_OK;
        case VT_DATE: {
            SYSTEMTIME t;
            if (!DateToSystemTime(value->date, &t)) return E_ADS_CANT_CONVERT_DATATYPE;
            *raw = FormatGeneralizedTime(t);
            return S_OK;
        }
        case VT_DISPATCH: {
            int64_t number;
            if (!value->pdispVal || !ReadLargeInteger(value->pdispVal, &number)) return E_ADS_CANT_CONVERT_DATATYPE;
            *raw = std::to_string(number);
            return S_OK;
        }
        case VT_ARRAY | VT_UI1: {
            SAFEARRAY* array = value->parray;
            LONG low = 0, high = -1;
            if (!array || FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high)))
                return E_ADS_CANT_CONVERT_DATATYPE;
            void* data = nullptr;
            if (FAILED(SafeArrayAccessData(array, &data))) return E_ADS_CANT_CONVERT_DATATYPE;
            raw->assign(static_cast<const char*>(data), static_cast<size_t>(high - low + 1));
            SafeArrayUnaccessData(array);
            return S_OK;
        }
        default:
            return E_ADS_CANT_CONVERT_DATATYPE;
    }
}

}  // namespace

HRESULT VariantToValues(const VARIANT& value, std::vector<std::string>* raw) {
    raw->clear();
    const VARTYPE vt = value.vt & ~VT_BYREF;
    if ((vt & VT_ARRAY) && vt != (VT_ARRAY | VT_UI1)) {
        SAFEARRAY* array = (value.vt & VT_BYREF) ? (value.pparray ? *value.pparray : nullptr) : value.parray;
        LONG low = 0, high = -1;
        if (!array || FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high)))
            return E_ADS_BAD_PARAMETER;
        for (LONG i = low; i <= high; ++i) {
            VARIANT element;
            VariantInit(&element);
            if ((vt & VT_TYPEMASK) == VT_VARIANT) {
                if (FAILED(SafeArrayGetElement(array, &i, &element))) return E_ADS_BAD_PARAMETER;
            } else if ((vt & VT_TYPEMASK) == VT_BSTR) {
                BSTR text = nullptr;
                if (FAILED(SafeArrayGetElement(array, &i, &text))) return E_ADS_BAD_PARAMETER;
                element.vt = VT_BSTR;
                element.bstrVal = text;
            } else {
                return E_ADS_CANT_CONVERT_DATATYPE;
            }
            std::string one;
            const HRESULT hr = ScalarToValue(element, &one);
            VariantClear(&element);
            if (FAILED(hr)) return hr;
            raw->push_back(std::move(one));
        }
        return S_OK;
    }
    std::string one;
    const HRESULT hr = ScalarToValue(value, &one);
    if (SUCCEEDED(hr)) raw->push_back(std::move(one));
    return hr;
}

namespace {

// "B:8:0A1B2C3D:CN=x,DC=y" or "S:5:hello:CN=x,DC=y": the count, the middle part and the DN.
bool SplitDnWithData(std::string_view value, char tag, std::string_view* data, std::string_view* dn) {
    if (value.size() < 4 || value[0] != tag || value[1] != ':') return false;
    const size_t colon = value.find(':', 2);
    if (colon == std::string_view::npos || colon == 2) return false;
    size_t count = 0;
    const auto [end, ec] = std::from_chars(value.data() + 2, value.data() + colon, count);
    if (ec != std::errc() || end != value.data() + colon || count > value.size()) return false;
    const size_t start = colon + 1;
    size_t stop = start + count;
    // The count of a DN-string is in characters; with non-ASCII text step over code points.
    if (tag == 'S' && (stop >= value.size() || value[stop] != ':')) {
        stop = start;
        for (size_t chars = 0; chars < count && stop < value.size(); ++chars) {
            ++stop;
            while (stop < value.size() && (static_cast<unsigned char>(value[stop]) & 0xC0) == 0x80) ++stop;
        }
    }
    if (stop >= value.size() || value[stop] != ':') return false;
    *data = value.substr(start, stop - start);
    *dn = value.substr(stop + 1);
    return true;
}

bool HexBytes(std::string_view hex, std::string* bytes) {
    if (hex.size() % 2) return false;
    bytes->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (ec != std::errc() || end != hex.data() + i + 2) return false;
        bytes->push_back(static_cast<char>(value));
    }
    return true;
}

}  // namespace

void FillColumn(Syntax syntax, const std::vector<std::string>& raw, ColumnStorage* storage) {
    // Reserved up front: the ADSVALUEs point into these vectors' elements.
    storage->values.clear();
    storage->values.reserve(raw.size());
    storage->strings.reserve(raw.size() * 2);
    storage->bytes.reserve(raw.size());
    storage->dnWithBinary.reserve(raw.size());
    storage->dnWithString.reserve(raw.size());
    const ADSTYPE type = AdsTypeOf(syntax);
    for (const auto& value : raw) {
        ADSVALUE v{};
        v.dwType = type;
        switch (syntax) {
            case Syntax::Boolean:
                v.Boolean = value == "TRUE" ? 1 : 0;
                break;
            case Syntax::Integer: {
                int64_t number = 0;
                ParseInt64(value, &number);
                v.Integer = static_cast<DWORD>(number);
                break;
            }
            case Syntax::LargeInteger: {
                int64_t number = 0;
                ParseInt64(value, &number);
                v.LargeInteger.QuadPart = number;
                break;
            }
            case Syntax::UtcTime:
                if (!ParseLdapTime(value, &v.UTCTime)) v.UTCTime = SYSTEMTIME{};
                break;
            case Syntax::OctetString:
            case Syntax::SecurityDescriptor:
                storage->bytes.push_back(value);
                v.OctetString.dwLength = static_cast<DWORD>(value.size());
                v.OctetString.lpValue = reinterpret_cast<LPBYTE>(storage->bytes.back().data());
                break;
            case Syntax::DnWithBinary: {
                std::string_view hex, dn;
                std::string bytes;
                if (SplitDnWithData(value, 'B', &hex, &dn) && HexBytes(hex, &bytes)) {
                    storage->bytes.push_back(std::move(bytes));
                    storage->strings.push_back(FromUtf8(dn));
                    storage->dnWithBinary.push_back(ADS_DN_WITH_BINARY{
                        static_cast<DWORD>(storage->bytes.back().size()),
                        reinterpret_cast<LPBYTE>(storage->bytes.back().data()), storage->strings.back().data()});
                    v.pDNWithBinary = &storage->dnWithBinary.back();
                    break;
                }
                v.dwType = ADSTYPE_CASE_IGNORE_STRING;
                storage->strings.push_back(FromUtf8(value));
                v.CaseIgnoreString = storage->strings.back().data();
                break;
            }
            case Syntax::DnWithString: {
                std::string_view text, dn;
                if (SplitDnWithData(value, 'S', &text, &dn)) {
                    storage->strings.push_back(FromUtf8(text));
                    LPWSTR textPointer = storage->strings.back().data();
                    storage->strings.push_back(FromUtf8(dn));
                    storage->dnWithString.push_back(ADS_DN_WITH_STRING{textPointer, storage->strings.back().data()});
                    v.pDNWithString = &storage->dnWithString.back();
                    break;
                }
                v.dwType = ADSTYPE_CASE_IGNORE_STRING;
                storage->strings.push_back(FromUtf8(value));
                v.CaseIgnoreString = storage->strings.back().data();
                break;
            }
            default:
                storage->strings.push_back(FromUtf8(value));
                v.CaseIgnoreString = storage->strings.back().data();
                break;
        }
        storage->values.push_back(v);
    }
}

namespace {

std::string Utf8OrEmpty(LPCWSTR text) { return text ? ToUtf8(std::u16string_view(text)) : std::string(); }

std::string UpperHex(const BYTE* bytes, DWORD length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(length * 2);
    for (DWORD i = 0; i < length; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

}  // namespace

HRESULT AdsValueToRaw(const ADSVALUE& v, std::string* raw) {
    switch (v.dwType) {
        case ADSTYPE_DN_STRING:
        case ADSTYPE_CASE_EXACT_STRING:
        case ADSTYPE_CASE_IGNORE_STRING:
        case ADSTYPE_PRINTABLE_STRING:
        case ADSTYPE_NUMERIC_STRING:
        case ADSTYPE_OBJECT_CLASS:
            if (!v.CaseIgnoreString) return E_ADS_BAD_PARAMETER;
            *raw = Utf8OrEmpty(v.CaseIgnoreString);
            return S_OK;
        case ADSTYPE_BOOLEAN:
            *raw = v.Boolean ? "TRUE" : "FALSE";
            return S_OK;
        case ADSTYPE_INTEGER:
            // The directory's integers are signed 32-bit.
            *raw = std::to_string(static_cast<int32_t>(v.Integer));
            return S_OK;
        case ADSTYPE_LARGE_INTEGER:
            *raw = std::to_string(v.LargeInteger.QuadPart);
            return S_OK;
        case ADSTYPE_UTC_TIME:
            if (v.UTCTime.wMonth < 1 || v.UTCTime.wMonth > 12 || v.UTCTime.wDay < 1 || v.UTCTime.wDay > 31)
                return E_ADS_CANT_CONVERT_DATATYPE;
            *raw = FormatGeneralizedTime(v.UTCTime);
            return S_OK;
        case ADSTYPE_OCTET_STRING:
        case ADSTYPE_NT_SECURITY_DESCRIPTOR:
        case ADSTYPE_PROV_SPECIFIC:
            if (v.OctetString.dwLength && !v.OctetString.lpValue) return E_ADS_BAD_PARAMETER;
            raw->assign(reinterpret_cast<const char*>(v.OctetString.lpValue), v.OctetString.dwLength);
            return S_OK;
        case ADSTYPE_DN_WITH_BINARY: {
            const ADS_DN_WITH_BINARY* d = v.pDNWithBinary;
            if (!d || !d->pszDNString || (d->dwLength && !d->lpBinaryValue)) return E_ADS_BAD_PARAMETER;
            *raw = "B:" + std::to_string(d->dwLength * 2) + ":" + UpperHex(d->lpBinaryValue, d->dwLength) + ":" +
                   Utf8OrEmpty(d->pszDNString);
            return S_OK;
        }
        case ADSTYPE_DN_WITH_STRING: {
            const ADS_DN_WITH_STRING* d = v.pDNWithString;
            if (!d || !d->pszDNString || !d->pszStringValue) return E_ADS_BAD_PARAMETER;
            const std::string text = Utf8OrEmpty(d->pszStringValue);
            *raw = "S:" + std::to_string(text.size()) + ":" + text + ":" + Utf8OrEmpty(d->pszDNString);
            return S_OK;
        }
        default:
            return E_ADS_CANT_CONVERT_DATATYPE;
    }
}

}  // namespace lumivel::directory
