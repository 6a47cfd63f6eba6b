// IDsAdminCreateObj::Initialize answers from the container's allowedChildClassesEffective,
// which the server works out for the calling user from the schema and the container's ACL.
#include "admin_create_object.h"

#include <new>

#include "com_support.h"
#include "dn.h"

namespace lumivel::directory {
namespace {

class AdminCreateObject final : public IDsAdminCreateObj {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDsAdminCreateObj) {
            *object = static_cast<IDsAdminCreateObj*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.add(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = m_refs.release();
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Initialize(IADsContainer* container, IADs*, LPCWSTR className) override {
        if (!container || !className || !*className) return E_INVALIDARG;
        ComPtr<IADs> object;
        HRESULT hr = container->QueryInterface(IID_IADs, object.putVoid());
        if (FAILED(hr)) return hr;
        BSTR name = SysAllocString(u"allowedChildClassesEffective");
        VARIANT names;
        VariantInit(&names);
        names.vt = VT_BSTR;
        names.bstrVal = name;
        hr = object->GetInfoEx(names, 0);
        VARIANT allowed;
        VariantInit(&allowed);
        if (SUCCEEDED(hr)) hr = object->GetEx(name, &allowed);
        VariantClear(&names);
        if (FAILED(hr)) return hr == E_ADS_PROPERTY_NOT_FOUND ? E_ACCESSDENIED : hr;
        bool found = false;
        if (allowed.vt == (VT_ARRAY | VT_VARIANT) && allowed.parray) {
            auto* elements = static_cast<VARIANT*>(allowed.parray->pvData);
            for (ULONG i = 0; i < allowed.parray->rgsabound[0].cElements && !found; ++i)
                found = elements[i].vt == VT_BSTR && EqualsNoCase(BstrText(elements[i].bstrVal), className);
        }
        VariantClear(&allowed);
        m_initialized = found;
        return found ? S_OK : E_ACCESSDENIED;
    }

    HRESULT STDMETHODCALLTYPE CreateModal(HWND, IADs**) override {
        // The creation wizard is a dialog of the administration tools; nothing here shows it.
        return E_NOTIMPL;
    }

private:
    RefCount m_refs;
    bool m_initialized = false;
};

}  // namespace

HRESULT CreateAdminCreateObjectInstance(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) AdminCreateObject();
    if (!created) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

}  // namespace lumivel::directory
