// Type information served from dispatch tables, in place of a compiled type library.
//
// An interface's ITypeInfo describes it as a dual dispatch interface (TKIND_DISPATCH): one
// FUNCDESC per table member, the member and parameter names, the help strings, and Invoke
// through the same table. It stands alone: no base type (cImplTypes 0) and no containing
// library. A coclass's ITypeInfo lists its interfaces, the first as the default. Both are
// immutable, so any thread may use them.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "table_type_info.h"

namespace lumivel::com {

const IID kIID_TableTypeInfo = {0x6C1F4E2A, 0x93B7, 0x4D05, {0x8E, 0x21, 0x4A, 0xD3, 0x7B, 0x90, 0x5C, 0x16}};

namespace {

BSTR Copy(const WCHAR* text) { return text ? SysAllocString(text) : nullptr; }

// The interfaces and the methods neither kind of type information supports.
template <typename Derived>
class TypeInfoBase : public ComObject<Derived, ITypeInfo> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {
        InterfaceOf<Derived, ITypeInfo>(IID_ITypeInfo),
        InterfaceOf<Derived, ITypeInfo>(kIID_TableTypeInfo),
    };

    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** ppVarDesc) override {
        if (ppVarDesc) *ppVarDesc = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dll, BSTR* name, WORD* ordinal) override {
        if (dll) *dll = nullptr;
        if (name) *name = nullptr;
        if (ordinal) *ordinal = 0;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* pBstrMops) override {
        if (!pBstrMops) return E_INVALIDARG;
        *pBstrMops = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override {
        if (ppTLib) *ppTLib = nullptr;
        if (pIndex) *pIndex = 0;
        return E_NOTIMPL;
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { std::free(pTypeAttr); }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override { std::free(pFuncDesc); }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

protected:
    static HRESULT NewTypeAttr(REFGUID guid, TYPEKIND kind, TYPEATTR** result) {
        if (!result) return E_INVALIDARG;
        auto* attr = static_cast<TYPEATTR*>(std::calloc(1, sizeof(TYPEATTR)));
        *result = attr;
        if (!attr) return E_OUTOFMEMORY;
        attr->guid = guid;
        attr->memidConstructor = MEMBERID_NIL;
        attr->memidDestructor = MEMBERID_NIL;
        attr->typekind = kind;
        attr->cbAlignment = alignof(void*);
        attr->tdescAlias.vt = VT_EMPTY;
        return S_OK;
    }

};

class InterfaceTypeInfo final : public TypeInfoBase<InterfaceTypeInfo> {
public:
    explicit InterfaceTypeInfo(const DispatchInterface& table) : m_table(table) {}

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override {
        HRESULT hr = NewTypeAttr(*m_table.iid, TKIND_DISPATCH, ppTypeAttr);
        if (FAILED(hr)) return hr;
        TYPEATTR* attr = *ppTypeAttr;
        attr->cbSizeInstance = sizeof(void*);
        attr->cFuncs = static_cast<WORD>(m_table.memberCount);
        // A dispatch interface's vtable is IDispatch's seven slots.
        attr->cbSizeVft = static_cast<WORD>(7 * sizeof(void*));
        attr->wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override {
        if (!ppFuncDesc) return E_INVALIDARG;
        *ppFuncDesc = nullptr;
        if (index >= m_table.memberCount) return TYPE_E_ELEMENTNOTFOUND;
        const DispatchMember& member = m_table.members[index];
        size_t count = member.paramCount;
        // One block: the FUNCDESC, its parameters, and the targets of by-reference parameters.
        size_t bytes = sizeof(FUNCDESC) + count * (sizeof(ELEMDESC) + sizeof(TYPEDESC));
        auto* block = static_cast<BYTE*>(std::calloc(1, bytes));
        if (!block) return E_OUTOFMEMORY;
        auto* desc = reinterpret_cast<FUNCDESC*>(block);
        auto* params = reinterpret_cast<ELEMDESC*>(block + sizeof(FUNCDESC));
        auto* targets = reinterpret_cast<TYPEDESC*>(block + sizeof(FUNCDESC) + count * sizeof(ELEMDESC));
        desc->memid = member.id;
        desc->lprgelemdescParam = count ? params : nullptr;
        desc->funckind = FUNC_DISPATCH;
        desc->invkind = static_cast<INVOKEKIND>(member.kind);
        desc->callconv = CC_STDCALL;
        desc->cParams = static_cast<SHORT>(count);
        desc->elemdescFunc.tdesc.vt = member.resultType == VT_EMPTY ? VARTYPE(VT_VOID) : member.resultType;
        for (size_t p = 0; p < count; ++p) {
            const DispatchParam& param = member.params[p];
            USHORT flags = PARAMFLAG_FIN;
            if (param.type & VT_BYREF) {
                targets[p].vt = param.type & ~VT_BYREF;
                params[p].tdesc.vt = VT_PTR;
                params[p].tdesc.lptdesc = &targets[p];
                flags = PARAMFLAG_FOUT;
            } else {
                params[p].tdesc.vt = param.type;
            }
            if (param.optional) {
                flags |= PARAMFLAG_FOPT;
                ++desc->cParamsOpt;
            }
            params[p].paramdesc.wParamFlags = flags;
        }
        *ppFuncDesc = desc;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override {
        if (!rgBstrNames || !pcNames) return E_INVALIDARG;
        *pcNames = 0;
        const DispatchMember* member = Find(memid);
        if (!member) return TYPE_E_ELEMENTNOTFOUND;
        UINT written = 0;
        auto add = [&](const WCHAR* name) -> bool {
            if (written >= cMaxNames) return true;
            rgBstrNames[written] = Copy(name);
            if (!rgBstrNames[written]) return false;
            ++written;
            return true;
        };
        bool ok = add(member->name);
        for (size_t p = 0; ok && p < member->paramCount && member->params[p].name; ++p) ok = add(member->params[p].name);
        if (!ok) {
            for (UINT i = 0; i < written; ++i) SysFreeString(rgBstrNames[i]);
            return E_OUTOFMEMORY;
        }
        *pcNames = written;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE* pRefType) override {
        if (pRefType) *pRefType = 0;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT* pImplTypeFlags) override {
        if (pImplTypeFlags) *pImplTypeFlags = 0;
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override {
        return DispatchGetIDsOfNames(m_table, IID_NULL, rgszNames, cNames, pMemId);
    }

    HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (!pvInstance) return E_INVALIDARG;
        return DispatchInvoke(m_table, pvInstance, memid, IID_NULL, wFlags, pDispParams, pVarResult, pExcepInfo,
                              puArgErr);
    }

    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override {
        const WCHAR* name = m_table.name;
        const WCHAR* help = m_table.helpString;
        if (memid != MEMBERID_NIL) {
            const DispatchMember* member = Find(memid);
            if (!member) return TYPE_E_ELEMENTNOTFOUND;
            name = member->name;
            help = member->helpString;
        }
        return Document(name, help, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
    }

    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override {
        if (ppvObj) *ppvObj = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }

    static HRESULT Document(const WCHAR* name, const WCHAR* help, BSTR* pBstrName, BSTR* pBstrDocString,
                            DWORD* pdwHelpContext, BSTR* pBstrHelpFile) {
        if (pBstrName) *pBstrName = nullptr;
        if (pBstrDocString) *pBstrDocString = nullptr;
        if (pdwHelpContext) *pdwHelpContext = 0;
        if (pBstrHelpFile) *pBstrHelpFile = nullptr;
        if (pBstrName && name && !(*pBstrName = Copy(name))) return E_OUTOFMEMORY;
        if (pBstrDocString && help && !(*pBstrDocString = Copy(help))) {
            if (pBstrName) SysFreeString(*pBstrName), *pBstrName = nullptr;
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

private:
    const DispatchMember* Find(MEMBERID memid) const {
        for (size_t i = 0; i < m_table.memberCount; ++i)
            if (m_table.members[i].id == memid) return &m_table.members[i];
        return nullptr;
    }

    const DispatchInterface& m_table;
};

class CoclassTypeInfo final : public TypeInfoBase<CoclassTypeInfo> {
public:
    explicit CoclassTypeInfo(const CoclassDescription& coclass) : m_coclass(coclass) {}

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override {
        HRESULT hr = NewTypeAttr(*m_coclass.clsid, TKIND_COCLASS, ppTypeAttr);
        if (FAILED(hr)) return hr;
        (*ppTypeAttr)->cImplTypes = static_cast<WORD>(m_coclass.interfaceCount);
        (*ppTypeAttr)->wTypeFlags = TYPEFLAG_FCANCREATE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT, FUNCDESC** ppFuncDesc) override {
        if (ppFuncDesc) *ppFuncDesc = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT* pcNames) override {
        if (pcNames) *pcNames = 0;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    // The reference of implemented interface i is i itself.
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override {
        if (!pRefType) return E_INVALIDARG;
        *pRefType = 0;
        if (index >= m_coclass.interfaceCount) return TYPE_E_ELEMENTNOTFOUND;
        *pRefType = index;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override {
        if (!pImplTypeFlags) return E_INVALIDARG;
        *pImplTypeFlags = 0;
        if (index >= m_coclass.interfaceCount) return TYPE_E_ELEMENTNOTFOUND;
        if (index == 0) *pImplTypeFlags = IMPLTYPEFLAG_FDEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override {
        if (!rgszNames || !pMemId) return E_INVALIDARG;
        for (UINT i = 0; i < cNames; ++i) pMemId[i] = MEMBERID_NIL;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override {
        if (memid != MEMBERID_NIL) return TYPE_E_ELEMENTNOTFOUND;
        return InterfaceTypeInfo::Document(m_coclass.name, m_coclass.helpString, pBstrName, pBstrDocString,
                                           pdwHelpContext, pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (hRefType >= m_coclass.interfaceCount) return TYPE_E_ELEMENTNOTFOUND;
        return CreateTypeInfoFromTable(*m_coclass.interfaces[hRefType], ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) override {
        if (!ppvObj) return E_INVALIDARG;
        *ppvObj = nullptr;
        return CoCreateInstance(*m_coclass.clsid, pUnkOuter, CLSCTX_INPROC_SERVER, riid, ppvObj);
    }

private:
    const CoclassDescription& m_coclass;
};

}  // namespace

HRESULT CreateTypeInfoFromTable(const DispatchInterface& table, ITypeInfo** result) {
    if (!result) return E_INVALIDARG;
    *result = NewComObject<InterfaceTypeInfo>(table).detach();
    return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateCoclassTypeInfo(const CoclassDescription& coclass, ITypeInfo** result) {
    if (!result) return E_INVALIDARG;
    *result = NewComObject<CoclassTypeInfo>(coclass).detach();
    return *result ? S_OK : E_OUTOFMEMORY;
}

}  // namespace lumivel::com
