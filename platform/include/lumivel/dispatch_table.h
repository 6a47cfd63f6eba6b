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

// The IDispatch methods of a dual interface I (derived from IDispatch) over kTable. The
// coclass still implements IUnknown (com_object.h) and I's own methods. No type information is
// served: GetTypeInfoCount gives 0.
template <typename I, const DispatchInterface& kTable>
class DispatchFromTable : public I {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_INVALIDARG;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
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
