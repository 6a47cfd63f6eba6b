// IDsAdminCreateObj::Initialize answers from the container's allowedChildClassesEffective,
// which the server works out for the calling user from the schema and the container's ACL.
#include "admin_create_object.h"

#include <new>
#include <string>
#include <vector>

#include "dn.h"
#include "lumivel/com_object.h"
#include "lumivel/unique_bstr.h"

namespace lumivel::directory {
namespace {

class AdminCreateObject final : public com::ComObject<AdminCreateObject, IDsAdminCreateObj> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<AdminCreateObject, IDsAdminCreateObj>(IID_IDsAdminCreateObj),
    };


    HRESULT STDMETHODCALLTYPE Initialize(IADsContainer* container, IADs*, LPCWSTR className) override {
        if (!container || !className || !*className) return E_INVALIDARG;
        ComPtr<IADs> object;
        HRESULT hr = container->QueryInterface(IID_IADs, object.putVoid());
        if (FAILED(hr)) return hr;
        // Callers ask class after class for one container: its list is read once.
        BSTR path = nullptr;
        hr = object->get_ADsPath(&path);
        if (FAILED(hr)) return hr;
        const std::u16string containerPath = BstrText(path);
        SysFreeString(path);
        if (!m_listRead || containerPath != m_containerPath) {
            hr = ReadAllowedClasses(object.get(), &m_allowed);
            if (FAILED(hr)) {
                m_listRead = false;
                return hr;
            }
            m_containerPath = containerPath;
            m_listRead = true;
        }
        for (const auto& allowed : m_allowed)
            if (EqualsNoCase(allowed, className)) return S_OK;
        return E_ACCESSDENIED;
    }

    HRESULT STDMETHODCALLTYPE CreateModal(HWND, IADs**) override {
        // The creation wizard is a dialog of the administration tools; nothing here shows it.
        return E_NOTIMPL;
    }

private:
    // The classes the calling user may create in the container; none is an empty list.
    static HRESULT ReadAllowedClasses(IADs* container, std::vector<std::u16string>* classes) {
        classes->clear();
        BSTR name = SysAllocString(u"allowedChildClassesEffective");
        if (!name) return E_OUTOFMEMORY;
        VARIANT names;
        VariantInit(&names);
        names.vt = VT_BSTR;
        names.bstrVal = name;
        HRESULT hr = container->GetInfoEx(names, 0);
        VARIANT allowed;
        VariantInit(&allowed);
        if (SUCCEEDED(hr)) hr = container->GetEx(name, &allowed);
        VariantClear(&names);
        if (hr == E_ADS_PROPERTY_NOT_FOUND) return S_OK;
        if (FAILED(hr)) return hr;
        if (allowed.vt == (VT_ARRAY | VT_VARIANT) && allowed.parray) {
            auto* elements = static_cast<VARIANT*>(allowed.parray->pvData);
            for (ULONG i = 0; i < allowed.parray->rgsabound[0].cElements; ++i)
                if (elements[i].vt == VT_BSTR) classes->push_back(BstrText(elements[i].bstrVal));
        }
        VariantClear(&allowed);
        return S_OK;
    }

    std::u16string m_containerPath;
    std::vector<std::u16string> m_allowed;
    bool m_listRead = false;
};

}  // namespace

HRESULT CreateAdminCreateObjectInstance(IUnknown* outer, REFIID riid, void** object) {
    return com::CreateComObject<AdminCreateObject, com::Aggregation::Refused>(outer, riid, object);
}

}  // namespace lumivel::directory
