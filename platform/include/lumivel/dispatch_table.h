// IDispatch from a static table (internal platform interface for dual interfaces).
//
// A dual interface lists its members once: name, DISPID, kind (method, property get, property
// put), parameter names and types, and an invoker that calls the vtable method. Invoke
// coerces each argument to its declared type with VariantChangeType, so a script's "5" reaches
// a long parameter as 5. Names compare without regard to case.
//
//     constexpr lumivel::com::DispatchParam kBackupParams[] = {{u"bstrPath", VT_BSTR}};
//     constexpr lumivel::com::DispatchMember kRevivoMembers[] = {
//         {u"BackupObjects", 2, DISPATCH_METHOD, kBackupParams, 1, VT_EMPTY,
//          [](void* self, VARIANT* args, VARIANT*) {
//              return static_cast<IRevivo*>(self)->BackupObjects(args[0].bstrVal);
//          },
//          u"method BackupObjects"},
//     };
#pragma once

#include <cstddef>

#include "win/oleauto.h"

namespace lumivel::com {

struct DispatchParam {
    const WCHAR* name;
    // The type the argument is coerced to; VT_VARIANT passes it as given. VT_BYREF types take
    // only an argument of exactly that type (out-parameters).
    VARTYPE type;
    // A missing optional argument arrives as VT_ERROR / DISP_E_PARAMNOTFOUND, as on Windows.
    bool optional = false;
};

// Calls the member on the object. args holds the arguments in declaration order, already
// coerced (the invoker may take ownership of nothing: the table's caller clears them). For a
// property put, args[last] is the new value. result is VT_EMPTY on entry.
using DispatchInvoker = HRESULT (*)(void* object, VARIANT* args, VARIANT* result);

struct DispatchMember {
    const WCHAR* name;
    DISPID id;
    WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    const DispatchParam* params;
    size_t paramCount;
    VARTYPE resultType;  // VT_EMPTY: none
    DispatchInvoker invoke;
    const WCHAR* helpString;
};

struct DispatchInterface {
    const IID* iid;
    const WCHAR* name;        // "IRevivo"
    const WCHAR* helpString;  // "IRevivo Interface"
    const DispatchMember* members;
    size_t memberCount;
};

// IDispatch::GetIDsOfNames over the table: rgszNames[0] is a member, the rest its parameter
// names (their DISPIDs are their positions). DISP_E_UNKNOWNNAME with DISPID_UNKNOWN for each
// name not found.
LUMIVEL_EXPORT HRESULT DispatchGetIDsOfNames(const DispatchInterface& table, REFIID riid, LPOLESTR* rgszNames,
                                             UINT cNames, DISPID* rgDispId);

// IDispatch::Invoke over the table, calling the invoker with `object`. A failing member
// becomes DISP_E_EXCEPTION with the member's HRESULT in pExcepInfo->scode, as a type-library
// Invoke reports it.
LUMIVEL_EXPORT HRESULT DispatchInvoke(const DispatchInterface& table, void* object, DISPID dispIdMember, REFIID riid,
                                      WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                      EXCEPINFO* pExcepInfo, UINT* puArgErr);

// ITypeInfo of a dual interface built from its table: TKIND_DISPATCH with TYPEFLAG_FDUAL, one
// FUNCDESC per member (FUNC_DISPATCH, its DISPID, kind, parameter and result types), the
// member and parameter names, help strings from GetDocumentation, and GetIDsOfNames and
// Invoke (pvInstance is the interface pointer) through the table. It has no base type and no
// containing library. The table must be static.
LUMIVEL_EXPORT HRESULT CreateTypeInfoFromTable(const DispatchInterface& table, ITypeInfo** result);

// A coclass and the dual interfaces it implements, the first being its default.
struct CoclassDescription {
    const CLSID* clsid;
    const WCHAR* name;        // "Panorel"
    const WCHAR* helpString;  // "Panorel Class"
    const DispatchInterface* const* interfaces;
    size_t interfaceCount;
};

// ITypeInfo of a coclass (TKIND_COCLASS), as IProvideClassInfo::GetClassInfo hands it out:
// GetRefTypeOfImplType/GetRefTypeInfo reach each interface's type information, and
// CreateInstance creates the class. The description must be static.
LUMIVEL_EXPORT HRESULT CreateCoclassTypeInfo(const CoclassDescription& coclass, ITypeInfo** result);

// The IDispatch methods of a dual interface I (derived from IDispatch) over kTable. The
// coclass still implements IUnknown (com_object.h) and I's own methods. The one type
// information it serves is the table's.
template <typename I, const DispatchInterface& kTable>
class DispatchFromTable : public I {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_INVALIDARG;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (iTInfo != 0) return DISP_E_BADINDEX;
        return CreateTypeInfoFromTable(kTable, ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        return DispatchGetIDsOfNames(kTable, riid, rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return DispatchInvoke(kTable, static_cast<I*>(this), dispIdMember, riid, wFlags, pDispParams, pVarResult,
                              pExcepInfo, puArgErr);
    }
};

// The IDispatch methods of an interface I whose callers use its vtable only: no type
// information and no names, as the platform's own directory objects answer.
template <typename I>
class DispatchWithoutTypeInfo : public I {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) override {
        for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

// What the registry says about a type library and the dual interfaces it describes.
struct TypeLibraryInfo {
    const GUID* libid;
    WORD majorVersion;
    WORD minorVersion;
    const WCHAR* name;        // "REVIVOPROVIDERLib"
    const WCHAR* helpString;  // "RevivoProvider 1.0 Type Library"
    const DispatchInterface* const* interfaces;
    size_t interfaceCount;
};

// Writes (or removes) HKCR\TypeLib\{libid}\<major>.<minor> with the help string, the library
// file (0\linux64 = modulePath), FLAGS and HELPDIR, and HKCR\Interface\{iid} for each
// interface with its name, the automation proxy/stub class and its TypeLib. Removal deletes
// the version key (and the library key once no version is left) and the interface keys.
LUMIVEL_EXPORT HRESULT RegisterTypeLibraryEntries(const TypeLibraryInfo& library, LPCWSTR modulePath);
LUMIVEL_EXPORT HRESULT UnregisterTypeLibraryEntries(const TypeLibraryInfo& library);

}  // namespace lumivel::com
