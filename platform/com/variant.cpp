// VARIANT life cycle: init, clear, deep copy.
#include "variant_types.h"

namespace lumivel::com {

bool IsValueType(VARTYPE base) {
    switch (base) {
        case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
        case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
        case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
        case VT_INT: case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool IsValidVariantType(VARTYPE vt) {
    if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
    VARTYPE base = vt & VT_TYPEMASK;
    if (base == VT_VARIANT) return (vt & (VT_ARRAY | VT_BYREF)) != 0;
    if (!IsValueType(base)) return false;
    // Arrays and references of "nothing" do not exist.
    if ((vt & (VT_ARRAY | VT_BYREF)) && (base == VT_EMPTY || base == VT_NULL)) return false;
    return true;
}

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
        case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
        case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
        case VT_DECIMAL: return sizeof(DECIMAL);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

}  // namespace lumivel::com

using lumivel::com::IsValidVariantType;

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    VARTYPE vt = pvarg->vt;
    if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    // A reference borrows its target: nothing to free.
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            if (pvarg->parray) {
                HRESULT hr = SafeArrayDestroy(pvarg->parray);
                if (FAILED(hr)) return hr;
            }
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            if (pvarg->punkVal) pvarg->punkVal->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    VARTYPE vt = pvargSrc->vt;
    if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) return hr;

    if (vt == VT_DECIMAL) {
        // DECIMAL overlays the whole VARIANT; its first word is the tag.
        std::memcpy(pvargDest, pvargSrc, sizeof(VARIANT));
        pvargDest->vt = VT_DECIMAL;
        return S_OK;
    }
    VARIANT copy = *pvargSrc;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            copy.parray = nullptr;
            if (pvargSrc->parray) {
                hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
                if (FAILED(hr)) return hr;
            }
        } else if (vt == VT_BSTR) {
            if (pvargSrc->bstrVal) {
                copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                                     SysStringByteLen(pvargSrc->bstrVal));
                if (!copy.bstrVal) return E_OUTOFMEMORY;
            }
        } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            if (copy.punkVal) copy.punkVal->AddRef();
        }
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    VARTYPE vt = pvargSrc->vt;
    if (!(vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if (!pvargSrc->byref) return E_INVALIDARG;

    // Build the by-value form in a temporary, so that a destination that is the source (or the
    // referenced VARIANT) is only overwritten once the copy exists.
    VARIANT value;
    VariantInit(&value);
    VARTYPE base = vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        const VARIANT* target = pvargSrc->pvarVal;
        // One level of indirection only, as on Windows.
        if (target->vt & VT_BYREF) return E_INVALIDARG;
        HRESULT hr = VariantCopy(&value, target);
        if (FAILED(hr)) return hr;
    } else {
        VARIANT shallow;
        VariantInit(&shallow);
        shallow.vt = base;
        if (base & VT_ARRAY) {
            shallow.parray = *pvargSrc->pparray;
        } else if (base == VT_DECIMAL) {
            std::memcpy(&shallow, pvargSrc->pdecVal, sizeof(DECIMAL));
            shallow.vt = VT_DECIMAL;
        } else {
            std::memcpy(&shallow.llVal, pvargSrc->byref, lumivel::com::ElementSize(base));
        }
        HRESULT hr = VariantCopy(&value, &shallow);
        if (FAILED(hr)) return hr;
    }
    if (pvarDest != pvargSrc) {
        HRESULT hr = VariantClear(pvarDest);
        if (FAILED(hr)) {
            VariantClear(&value);
            return hr;
        }
    }
    *pvarDest = value;
    return S_OK;
}

}  // extern "C"
