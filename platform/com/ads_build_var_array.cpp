// ADsBuildVarArrayStr/Int/Int64: lists of strings or numbers as arrays of VARIANTs.
#include "win/adshlp_build.h"

namespace {

// E_ADS_BAD_PARAMETER, the answer of these helpers to a null destination or list.
constexpr HRESULT kBadParameter = static_cast<HRESULT>(0x80005008L);

template <typename Fill>
HRESULT BuildArray(const void* values, DWORD count, VARIANT* pVar, Fill fill) {
    if (!pVar || (count && !values)) return kBadParameter;
    VariantInit(pVar);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
    if (!array) return E_OUTOFMEMORY;
    VARIANT* items = static_cast<VARIANT*>(array->pvData);
    for (DWORD i = 0; i < count; ++i) {
        if (!fill(i, &items[i])) {
            SafeArrayDestroy(array);
            return E_OUTOFMEMORY;
        }
    }
    pVar->vt = VT_ARRAY | VT_VARIANT;
    pVar->parray = array;
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar) {
    return BuildArray(lppPathNames, dwPathNames, pVar, [&](DWORD i, VARIANT* item) {
        item->vt = VT_BSTR;
        item->bstrVal = SysAllocString(lppPathNames[i]);
        return item->bstrVal || !lppPathNames[i];
    });
}

HRESULT ADsBuildVarArrayInt(LPDWORD lpdwObjectTypes, DWORD dwObjectTypes, VARIANT* pVar) {
    return BuildArray(lpdwObjectTypes, dwObjectTypes, pVar, [&](DWORD i, VARIANT* item) {
        item->vt = VT_I4;
        item->lVal = static_cast<LONG>(lpdwObjectTypes[i]);
        return true;
    });
}

HRESULT ADsBuildVarArrayInt64(LONG64* lpObjectTypes, DWORD dwObjectTypes, VARIANT* pVar) {
    return BuildArray(lpObjectTypes, dwObjectTypes, pVar, [&](DWORD i, VARIANT* item) {
        item->vt = VT_I8;
        item->llVal = lpObjectTypes[i];
        return true;
    });
}

}  // extern "C"
