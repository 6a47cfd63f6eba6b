#include "provider/backup/value_line.h"

#include <cstdio>

#include "provider/backup/text_hex.h"
#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "win/adsi.h"

using lumivel::ComPtr;
using lumivel::UniqueBstr;

namespace revivo {

namespace {

constexpr char16_t kOctetsUnreadable[] = u"array of unsigned characters";

std::u16string_view bstrView(BSTR text) { return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view(); }

std::u16string ascii(const char* text) {
    std::u16string out;
    while (*text) out.push_back(static_cast<char16_t>(*text++));
    return out;
}

std::u16string line(std::u16string_view key, VARTYPE type, std::u16string_view text) {
    std::u16string out(key);
    out += u"=";
    out += ascii(std::to_string(type).c_str());
    out += u"\t\"";
    out += text;
    out += u"\"\r\n";
    return out;
}

bool dateText(DATE date, std::u16string* text) {
    UniqueBstr value;
    if (FAILED(VarBstrFromDate(date, LOCALE_NEUTRAL, LOCALE_NOUSEROVERRIDE, value.put()))) return false;
    *text = value.view();
    return true;
}

std::u16string boolText(VARIANT_BOOL value) {
    UniqueBstr text;
    if (FAILED(VarBstrFromBool(value, LOCALE_NEUTRAL, 0, text.put()))) return value ? u"True" : u"False";
    return std::u16string(text.view());
}

// The signed 64-bit value of an IADsLargeInteger; false for any other object.
bool largeInteger(IDispatch* object, long long* value) {
    ComPtr<IADsLargeInteger> large;
    if (!object || FAILED(object->QueryInterface(IID_IADsLargeInteger, large.putVoid())) || !large) return false;
    LONG high = 0, low = 0;
    if (FAILED(large->get_HighPart(&high)) || FAILED(large->get_LowPart(&low))) return false;
    *value = static_cast<long long>((static_cast<unsigned long long>(static_cast<ULONG>(high)) << 32) |
                                    static_cast<ULONG>(low));
    return true;
}

std::u16string decimal(long long value) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%lld", value);
    return ascii(digits);
}

// The bytes of a VT_ARRAY|VT_UI1 as byte hex; false when they cannot be read.
bool octetText(SAFEARRAY* array, std::u16string* text) {
    LONG low = 0, high = -1;
    void* data = nullptr;
    if (!array || FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high)) ||
        FAILED(SafeArrayAccessData(array, &data)))
        return false;
    const size_t count = high >= low ? static_cast<size_t>(high - low + 1) : 0;
    *text = EncodeByteHex(static_cast<const unsigned char*>(data), count);
    SafeArrayUnaccessData(array);
    return true;
}

// An integer-like value as its 32-bit signed number; false for types that are not numbers.
bool integer32(const VARIANT& value, LONG* number) {
    switch (value.vt) {
        case VT_I1: *number = value.cVal; return true;
        case VT_UI1: *number = value.bVal; return true;
        case VT_I2: *number = value.iVal; return true;
        case VT_UI2: *number = value.uiVal; return true;
        case VT_I4: *number = value.lVal; return true;
        case VT_UI4: *number = static_cast<LONG>(value.ulVal); return true;
        case VT_INT: *number = value.intVal; return true;
        case VT_UINT: *number = static_cast<LONG>(value.uintVal); return true;
        case VT_I8: *number = static_cast<LONG>(value.llVal); return true;
        case VT_UI8: *number = static_cast<LONG>(value.ullVal); return true;
        case VT_ERROR: *number = value.scode; return true;
        default: {
            VARIANT converted;
            VariantInit(&converted);
            if (FAILED(VariantChangeType(&converted, &value, 0, VT_I4))) return false;
            *number = converted.lVal;
            return true;
        }
    }
}

// The text of one element of a multi-valued attribute; false when it cannot be converted.
bool elementText(const VARIANT& element, std::u16string* text) {
    switch (element.vt) {
        case VT_DATE:
            return dateText(element.date, text);
        case VT_BSTR:
            *text = EncodeTextHex(bstrView(element.bstrVal));
            return true;
        case VT_BOOL:
            *text = EncodeTextHex(boolText(element.boolVal));
            return true;
        case VT_ARRAY | VT_UI1:
            return octetText(element.parray, text);
        case VT_DISPATCH: {
            // A 64-bit value keeps all its digits, as a single one does.
            long long number = 0;
            if (!largeInteger(element.pdispVal, &number)) return false;
            *text = EncodeTextHex(decimal(number));
            return true;
        }
        default: {
            LONG number = 0;
            if (!integer32(element, &number)) return false;
            *text = EncodeTextHex(decimal(number));
            return true;
        }
    }
}

std::u16string arrayLines(std::u16string_view name, const VARIANT& value) {
    SAFEARRAY* array = value.parray;
    LONG low = 0, high = -1;
    if (!array || FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high))) return {};
    const VARTYPE elementType = value.vt & VT_TYPEMASK;
    std::u16string out;
    LONG number = 0;
    for (LONG i = low; i <= high; ++i) {
        VARIANT element;
        VariantInit(&element);
        if (elementType == VT_VARIANT) {
            if (FAILED(SafeArrayGetElement(array, &i, &element))) continue;
        } else {
            BSTR text = nullptr;
            if (FAILED(SafeArrayGetElement(array, &i, &text))) continue;
            element.vt = VT_BSTR;
            element.bstrVal = text;
        }
        std::u16string text;
        bool converted = elementText(element, &text);
        VariantClear(&element);
        if (!converted) continue;
        out += line(std::u16string(name) + u"_" + decimal(++number), value.vt, text);
    }
    return out;
}

}  // namespace

std::u16string FormatValueLine(std::u16string_view name, const VARIANT& value) {
    switch (value.vt) {
        case VT_DATE: {
            std::u16string text;
            return dateText(value.date, &text) ? line(name, VT_DATE, text) : std::u16string();
        }
        case VT_BSTR:
            return line(name, VT_BSTR, EncodeTextHex(bstrView(value.bstrVal)));
        case VT_DISPATCH: {
            long long number = 0;
            if (!largeInteger(value.pdispVal, &number)) return {};
            return line(name, VT_BSTR, EncodeTextHex(decimal(number)));
        }
        case VT_BOOL:
            return line(name, VT_BOOL, EncodeTextHex(boolText(value.boolVal)));
        case VT_ARRAY | VT_UI1: {
            std::u16string text;
            return line(name, value.vt, octetText(value.parray, &text) ? text : kOctetsUnreadable);
        }
        case VT_ARRAY | VT_BSTR:
        case VT_ARRAY | VT_VARIANT:
            return arrayLines(name, value);
        case VT_EMPTY:
        case VT_NULL:
            return {};
        default: {
            if (value.vt & (VT_ARRAY | VT_BYREF)) return {};
            LONG number = 0;
            if (!integer32(value, &number)) return {};
            return line(name, value.vt, EncodeTextHex(decimal(number)));
        }
    }
}

}  // namespace revivo
