// The ADSI entry points: binding by path and the enumerator helpers.
#include <cstdlib>
#include <cstring>

#include "ads_object.h"
#include "attribute_syntax.h"
#include "error_table.h"
#include "lumivel/text.h"

using namespace lumivel::directory;
using lumivel::ComPtr;

extern "C" {

WINBASEAPI HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwReserved,
                                 REFIID riid, void** ppObject) {
    if (!ppObject) return E_POINTER;
    *ppObject = nullptr;
    // A path refused before any bind is reported too: FormatMessageW must know its text.
    RegisterDirectoryMessages();
    if (!lpszPathName) return E_ADS_BAD_PATHNAME;
    // Only the logged-on user's credentials exist on this platform.
    if ((lpszUserName && *lpszUserName) || (lpszPassword && *lpszPassword)) return E_INVALIDARG;
    AdsPath path;
    HRESULT hr = ParseAdsPath(lpszPathName, &path);
    if (FAILED(hr)) return hr;
    AdsObject* object = nullptr;
    hr = AdsObject::Bind(path, dwReserved, &object);
    if (FAILED(hr)) return hr;
    hr = object->QueryInterface(riid, ppObject);
    object->Release();
    return hr;
}

WINBASEAPI HRESULT ADsGetObject(LPCWSTR lpszPathName, REFIID riid, VOID** ppObject) {
    return ADsOpenObject(lpszPathName, nullptr, nullptr, ADS_SECURE_AUTHENTICATION, riid, ppObject);
}

WINBASEAPI HRESULT ADsBuildEnumerator(IADsContainer* pADsContainer, IEnumVARIANT** ppEnumVariant) {
    if (!pADsContainer || !ppEnumVariant) return E_POINTER;
    *ppEnumVariant = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = pADsContainer->get__NewEnum(unknown.put());
    if (FAILED(hr)) return hr;
    if (!unknown) return E_FAIL;
    return unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(ppEnumVariant));
}

WINBASEAPI HRESULT ADsFreeEnumerator(IEnumVARIANT* pEnumVariant) {
    if (!pEnumVariant) return E_FAIL;
    pEnumVariant->Release();
    return S_OK;
}

WINBASEAPI HRESULT ADsEnumerateNext(IEnumVARIANT* pEnumVariant, ULONG cElements, VARIANT* pvar,
                                    ULONG* pcElementsFetched) {
    if (!pEnumVariant) return E_POINTER;
    return pEnumVariant->Next(cElements, pvar, pcElementsFetched);
}

WINBASEAPI HRESULT AdsTypeToPropVariant(PADSVALUE pAdsValues, DWORD dwNumValues, VARIANT* pVariant) {
    if (!pVariant || (dwNumValues && !pAdsValues)) return E_POINTER;
    VariantInit(pVariant);
    if (dwNumValues == 0) return E_ADS_BAD_PARAMETER;
    // Through the raw LDAP form, so that a value comes out exactly as a Get of it would.
    std::optional<Syntax> syntax;
    std::vector<std::string> raw(dwNumValues);
    for (DWORD i = 0; i < dwNumValues; ++i) {
        std::optional<Syntax> of = SyntaxOfAdsType(pAdsValues[i].dwType);
        if (!of || (syntax && *syntax != *of)) return E_ADS_CANT_CONVERT_DATATYPE;
        syntax = of;
        HRESULT hr = AdsValueToRaw(pAdsValues[i], &raw[i]);
        if (FAILED(hr)) return hr;
    }
    return ValuesToVariant(*syntax, raw, false, pVariant);
}

WINBASEAPI LPVOID AllocADsMem(DWORD cb) { return std::calloc(1, cb ? cb : 1); }

WINBASEAPI BOOL FreeADsMem(LPVOID pMem) {
    std::free(pMem);
    return TRUE;
}

WINBASEAPI LPWSTR AllocADsStr(LPCWSTR pStr) {
    if (!pStr) return nullptr;
    size_t length = 0;
    while (pStr[length]) ++length;
    auto* copy = static_cast<LPWSTR>(AllocADsMem(static_cast<DWORD>((length + 1) * sizeof(WCHAR))));
    if (copy) std::memcpy(copy, pStr, (length + 1) * sizeof(WCHAR));
    return copy;
}

WINBASEAPI BOOL FreeADsStr(LPWSTR pStr) { return FreeADsMem(pStr); }

}
