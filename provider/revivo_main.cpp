// Module entry points of RevivoProvider.so: the class object, unloading and registration.
#include "provider/resource_ids.h"
#include "provider/revivo.h"
#include "provider/revivo_registration.h"

namespace revivo {

namespace {

class RevivoClassFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The class object is static; it only keeps the module from unloading while held.
    STDMETHODIMP_(ULONG) AddRef() override {
        ModuleAddRef();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        ModuleRelease();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        return Revivo::CreateInstance(outer, iid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        LockModule(lock ? ModuleLock::Lock : ModuleLock::Unlock);
        return S_OK;
    }
};

RevivoClassFactory g_classFactory;

}  // namespace

}  // namespace revivo

STDAPI LUMIVEL_EXPORT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_Revivo)) return CLASS_E_CLASSNOTAVAILABLE;
    return revivo::g_classFactory.QueryInterface(iid, object);
}

STDAPI LUMIVEL_EXPORT DllCanUnloadNow() { return revivo::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI LUMIVEL_EXPORT DllRegisterServer() { return revivo::RegisterServer(revivo::ModuleInstance(), IDR_REVIVO); }

STDAPI LUMIVEL_EXPORT DllUnregisterServer() { return revivo::UnregisterServer(revivo::ModuleInstance(), IDR_REVIVO); }
