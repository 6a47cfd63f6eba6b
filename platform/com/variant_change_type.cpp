// VariantChangeType(Ex): coercion between the scalar types, text, dates and interfaces.
//
// Conversions follow Windows: integers round halves to even and fail with DISP_E_OVERFLOW
// outside the target's range; VT_BOOL is -1/0 as a number and prints "True"/"False" only with
// VARIANT_ALPHABOOL or VARIANT_LOCALBOOL (otherwise "-1"/"0"); VT_EMPTY is 0, "" or FALSE;
// VT_NULL converts to nothing but itself; an IDispatch converts through its DISPID_VALUE
// property. Currency and DECIMAL values are not carried: no caller on this platform uses them.
#include <cmath>
#include <limits>

#include "variant_text.h"
#include "variant_types.h"

using namespace lumivel::com;

namespace {

// The source reduced to one of a few kinds of value.
struct Scalar {
    enum class Kind { Empty, Null, Integer, Real, Date, Bool, Text, Object, Error, Unsupported };
    Kind kind = Kind::Unsupported;
    __int128 integer = 0;
    double real = 0;
    bool boolean = false;
    std::u16string_view text;
    IUnknown* object = nullptr;
    SCODE error = 0;
};

Scalar ReadScalar(const VARIANT& v) {
    Scalar s;
    using K = Scalar::Kind;
    auto integer = [&](__int128 value) {
        s.kind = K::Integer;
        s.integer = value;
    };
    switch (v.vt) {
        case VT_EMPTY: s.kind = K::Empty; break;
        case VT_NULL: s.kind = K::Null; break;
        case VT_I1: integer(v.cVal); break;
        case VT_UI1: integer(v.bVal); break;
        case VT_I2: integer(v.iVal); break;
        case VT_UI2: integer(v.uiVal); break;
        case VT_I4: integer(v.lVal); break;
        case VT_UI4: integer(v.ulVal); break;
        case VT_INT: integer(v.intVal); break;
        case VT_UINT: integer(v.uintVal); break;
        case VT_I8: integer(v.llVal); break;
        case VT_UI8: integer(v.ullVal); break;
        case VT_R4: s.kind = K::Real, s.real = v.fltVal; break;
        case VT_R8: s.kind = K::Real, s.real = v.dblVal; break;
        case VT_DATE: s.kind = K::Date, s.real = v.date; break;
        case VT_BOOL: s.kind = K::Bool, s.boolean = v.boolVal != VARIANT_FALSE; break;
        case VT_BSTR:
            s.kind = K::Text;
            if (v.bstrVal) s.text = std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal));
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN: s.kind = K::Object, s.object = v.punkVal; break;
        case VT_ERROR: s.kind = K::Error, s.error = v.scode; break;
        default: break;
    }
    return s;
}

struct IntegerRange {
    VARTYPE vt;
    __int128 min;
    __int128 max;
};

constexpr IntegerRange kIntegerRanges[] = {
    {VT_I1, -128, 127},
    {VT_UI1, 0, 255},
    {VT_I2, -32768, 32767},
    {VT_UI2, 0, 65535},
    {VT_I4, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
    {VT_INT, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
    {VT_UI4, 0, std::numeric_limits<uint32_t>::max()},
    {VT_UINT, 0, std::numeric_limits<uint32_t>::max()},
    {VT_I8, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()},
    {VT_UI8, 0, std::numeric_limits<uint64_t>::max()},
};

const IntegerRange* FindIntegerRange(VARTYPE vt) {
    for (const IntegerRange& range : kIntegerRanges)
        if (range.vt == vt) return &range;
    return nullptr;
}

void StoreInteger(VARIANT* out, VARTYPE vt, __int128 value) {
    out->vt = vt;
    switch (vt) {
        case VT_I1: out->cVal = CHAR(value); break;
        case VT_UI1: out->bVal = BYTE(value); break;
        case VT_I2: out->iVal = SHORT(value); break;
        case VT_UI2: out->uiVal = USHORT(value); break;
        case VT_I4: out->lVal = LONG(value); break;
        case VT_INT: out->intVal = INT(value); break;
        case VT_UI4: out->ulVal = ULONG(value); break;
        case VT_UINT: out->uintVal = UINT(value); break;
        case VT_I8: out->llVal = LONGLONG(value); break;
        case VT_UI8: out->ullVal = ULONGLONG(value); break;
    }
}

// Real to integer with round-half-even; false for NaN or a magnitude no integer type holds.
bool RoundReal(double value, __int128* result) {
    if (!(std::fabs(value) < 0x1p100)) return false;
    *result = static_cast<__int128>(std::nearbyint(value));
    return true;
}

HRESULT ToInteger(const Scalar& s, const IntegerRange& range, VARIANT* out) {
    using K = Scalar::Kind;
    __int128 value = 0;
    switch (s.kind) {
        case K::Empty: break;
        case K::Integer: value = s.integer; break;
        case K::Real:
        case K::Date:
            if (!RoundReal(s.real, &value)) return DISP_E_OVERFLOW;
            break;
        case K::Bool:
            // VARIANT_TRUE is -1; unsigned targets take its bit pattern (255 for VT_UI1).
            value = s.boolean ? (range.min < 0 ? -1 : range.max) : 0;
            break;
        case K::Text: {
            DecimalText number;
            HRESULT hr = ParseDecimalText(s.text, &number);
            if (FAILED(hr)) return hr;
            if (!RoundDecimalText(number, &value)) return DISP_E_OVERFLOW;
            break;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
    if (value < range.min || value > range.max) return DISP_E_OVERFLOW;
    StoreInteger(out, range.vt, value);
    return S_OK;
}

HRESULT ToReal(const Scalar& s, double* value) {
    using K = Scalar::Kind;
    switch (s.kind) {
        case K::Empty: *value = 0; return S_OK;
        case K::Integer: *value = double(s.integer); return S_OK;
        case K::Real:
        case K::Date: *value = s.real; return S_OK;
        case K::Bool: *value = s.boolean ? -1.0 : 0.0; return S_OK;
        case K::Text: {
            DecimalText number;
            HRESULT hr = ParseDecimalText(s.text, &number);
            if (FAILED(hr)) return hr;
            *value = DecimalTextToDouble(number);
            return std::isinf(*value) ? DISP_E_OVERFLOW : S_OK;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToDate(const Scalar& s, DATE* value) {
    if (s.kind == Scalar::Kind::Text) return ParseDate(s.text, value);
    HRESULT hr = ToReal(s, value);
    if (FAILED(hr)) return hr;
    return *value >= kMinDate && *value < kMaxDateExclusive ? S_OK : DISP_E_OVERFLOW;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view word) {
    if (text.size() != word.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
        char16_t w = word[i];
        if (w >= u'a' && w <= u'z') w = char16_t(w - 32);
        if (c != w) return false;
    }
    return true;
}

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
    return text;
}

HRESULT ToBool(const Scalar& s, bool* value) {
    using K = Scalar::Kind;
    switch (s.kind) {
        case K::Empty: *value = false; return S_OK;
        case K::Integer: *value = s.integer != 0; return S_OK;
        case K::Real:
        case K::Date: *value = s.real != 0; return S_OK;
        case K::Bool: *value = s.boolean; return S_OK;
        case K::Text: {
            std::u16string_view word = Trimmed(s.text);
            if (EqualsIgnoringCase(word, u"True")) return *value = true, S_OK;
            if (EqualsIgnoringCase(word, u"False")) return *value = false, S_OK;
            DecimalText number;
            HRESULT hr = ParseDecimalText(s.text, &number);
            if (FAILED(hr)) return hr;
            *value = !number.digits.empty();
            return S_OK;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToText(const Scalar& s, VARTYPE sourceType, USHORT flags, std::u16string* text) {
    using K = Scalar::Kind;
    switch (s.kind) {
        case K::Empty: text->clear(); return S_OK;
        case K::Integer: *text = FormatInteger(s.integer); return S_OK;
        case K::Real: *text = FormatReal(s.real, sourceType == VT_R4 ? 7 : 15); return S_OK;
        case K::Date: return FormatDate(s.real, text);
        case K::Bool:
            if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
                *text = s.boolean ? u"True" : u"False";
            else
                *text = s.boolean ? u"-1" : u"0";
            return S_OK;
        case K::Text: text->assign(s.text); return S_OK;
        default: return DISP_E_TYPEMISMATCH;
    }
}

// Coerces a by-value, non-array source that is not already of type vt.
HRESULT Coerce(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT* out) {
    Scalar s = ReadScalar(source);
    using K = Scalar::Kind;
    if (s.kind == K::Unsupported) return DISP_E_TYPEMISMATCH;

    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (s.kind == K::Empty) {
            out->vt = vt;
            out->punkVal = nullptr;
            return S_OK;
        }
        if (s.kind != K::Object) return DISP_E_TYPEMISMATCH;
        out->vt = vt;
        out->punkVal = nullptr;
        if (!s.object) return S_OK;
        return s.object->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                        reinterpret_cast<void**>(&out->punkVal));
    }
    if (s.kind == K::Object) {
        // An object stands for its default value, unless the caller asked not to use it.
        if (!s.object || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
        IDispatch* dispatch = nullptr;
        if (FAILED(s.object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            return DISP_E_TYPEMISMATCH;
        VARIANT value;
        VariantInit(&value);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, LOCALE_INVARIANT, DISPATCH_PROPERTYGET, &none, &value,
                                      nullptr, nullptr);
        dispatch->Release();
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        // A default value that is itself an object would recurse without end.
        if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
            VariantClear(&value);
            return DISP_E_TYPEMISMATCH;
        }
        hr = VariantChangeTypeEx(out, &value, LOCALE_INVARIANT, flags, vt);
        VariantClear(&value);
        return hr;
    }
    if (s.kind == K::Null) {
        if (vt != VT_NULL) return DISP_E_TYPEMISMATCH;
        out->vt = VT_NULL;
        return S_OK;
    }
    if (vt == VT_EMPTY) {
        out->vt = VT_EMPTY;
        return S_OK;
    }
    if (vt == VT_NULL) {
        if (s.kind != K::Empty) return DISP_E_TYPEMISMATCH;
        out->vt = VT_NULL;
        return S_OK;
    }
    if (s.kind == K::Error || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;

    if (const IntegerRange* range = FindIntegerRange(vt)) return ToInteger(s, *range, out);
    switch (vt) {
        case VT_R8: {
            double value = 0;
            HRESULT hr = ToReal(s, &value);
            if (FAILED(hr)) return hr;
            out->vt = VT_R8;
            out->dblVal = value;
            return S_OK;
        }
        case VT_R4: {
            double value = 0;
            HRESULT hr = ToReal(s, &value);
            if (FAILED(hr)) return hr;
            if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            out->vt = VT_R4;
            out->fltVal = float(value);
            return S_OK;
        }
        case VT_DATE: {
            DATE value = 0;
            HRESULT hr = ToDate(s, &value);
            if (FAILED(hr)) return hr;
            out->vt = VT_DATE;
            out->date = value;
            return S_OK;
        }
        case VT_BOOL: {
            bool value = false;
            HRESULT hr = ToBool(s, &value);
            if (FAILED(hr)) return hr;
            out->vt = VT_BOOL;
            out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        case VT_BSTR: {
            std::u16string text;
            HRESULT hr = ToText(s, source.vt, flags, &text);
            if (FAILED(hr)) return hr;
            BSTR value = SysAllocStringLen(text.data(), UINT(text.size()));
            if (!value) return E_OUTOFMEMORY;
            out->vt = VT_BSTR;
            out->bstrVal = value;
            return S_OK;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

extern "C" {

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags, VARTYPE vt) {
    // Every locale converts as the invariant culture (see variant_text.h).
    (void)lcid;
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!IsValidVariantType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
    if ((vt & VT_BYREF) || (vt != VT_EMPTY && vt != VT_NULL && !IsValidVariantType(vt)))
        return DISP_E_BADVARTYPE;

    // Work on a by-value copy so that the destination may be the source.
    VARIANT source;
    VariantInit(&source);
    HRESULT hr = VariantCopyInd(&source, pvarSrc);
    if (FAILED(hr)) return hr;

    VARIANT result;
    VariantInit(&result);
    if (source.vt == vt) {
        result = source;
        VariantInit(&source);
    } else if ((source.vt | vt) & VT_ARRAY) {
        hr = DISP_E_TYPEMISMATCH;
    } else {
        hr = Coerce(source, wFlags, vt, &result);
    }
    VariantClear(&source);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

HRESULT VarBstrFromDate(DATE dateIn, LCID, ULONG, BSTR* pbstrOut) {
    if (!pbstrOut) return E_INVALIDARG;
    *pbstrOut = nullptr;
    std::u16string text;
    HRESULT hr = lumivel::com::FormatDate(dateIn, &text);
    if (FAILED(hr)) return hr;
    *pbstrOut = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *pbstrOut ? S_OK : E_OUTOFMEMORY;
}

HRESULT VarBstrFromBool(VARIANT_BOOL boolIn, LCID, ULONG, BSTR* pbstrOut) {
    if (!pbstrOut) return E_INVALIDARG;
    *pbstrOut = SysAllocString(boolIn != VARIANT_FALSE ? u"True" : u"False");
    return *pbstrOut ? S_OK : E_OUTOFMEMORY;
}

}  // extern "C"
