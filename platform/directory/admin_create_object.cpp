// IDsAdminCreateObj::Initialize answers from the container's allowedChildClassesEffective,
// which the server works out for the calling user from the schema and the container's ACL.
#include "admin_create_object.h"

#include <new>

#include "com_support.h"
#include "dn.h"

namespace lumivel::directory {
namespace {

class AdminCreateObject final : public ComObject<AdminCreateObject, IDsAdminCreateObj> {
public:
    static bool Answers(REFIID riid) { return riid == IID_IDsAdminCreateObj; }


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
    bool m_initialized = false;
};

}  // namespace

HRESULT CreateAdminCreateObjectInstance(REFIID riid, void** object) { return CreateInstance<AdminCreateObject>(riid, object); }

}  // namespace lumivel::directory
