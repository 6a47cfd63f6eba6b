// In-process servers: finding a class's module through the registry, loading it once per
// process, asking it for class objects and unloading it when it agrees.
#include <dlfcn.h>

#include <mutex>
#include <vector>

#include "apartment.h"
#include "lumivel/module_loading.h"
#include "lumivel/text.h"
#include "registry_values.h"
#include "win/com.h"

namespace lumivel::com {

namespace {

struct ServerModule {
    HMODULE base;
    void* handle;
    LPFNGETCLASSOBJECT getClassObject;
    LPFNCANUNLOADNOW canUnloadNow;
};

struct ServerTable {
    std::mutex mutex;
    std::vector<ServerModule> modules;  // a handful per process: a linear search is fine
};

ServerTable& Servers() {
    static auto* table = new ServerTable;  // outlives static destructors of loaded modules
    return *table;
}

// Loads the module (or finds it loaded) and returns its class-object entry point.
HRESULT LoadServer(const std::u16string& path, LPFNGETCLASSOBJECT* entry) {
    void* handle = nullptr;
    DWORD error = OpenSharedObject(ToUtf8(path), &handle);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(handle, "DllGetClassObject"));
    if (!getClassObject) {
        ::dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    HMODULE base = ModuleOfAddress(reinterpret_cast<const void*>(getClassObject));
    ServerTable& table = Servers();
    std::lock_guard lock(table.mutex);
    for (const ServerModule& module : table.modules) {
        if (module.base == base) {
            // Already loaded (under this or another spelling of its path): keep one reference.
            ::dlclose(handle);
            *entry = module.getClassObject;
            return S_OK;
        }
    }
    auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(handle, "DllCanUnloadNow"));
    table.modules.push_back({base, handle, getClassObject, canUnloadNow});
    *entry = getClassObject;
    return S_OK;
}

}  // namespace

}  // namespace lumivel::com

using namespace lumivel::com;

extern "C" {

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv) {
    (void)pvReserved;  // no remote servers here
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (CurrentApartment() == Apartment::None) return CO_E_NOTINITIALIZED;
    // Only in-process servers exist on this platform.
    if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return REGDB_E_CLASSNOTREG;
    std::optional<std::u16string> path =
        ReadStringValue(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(rclsid) + u"\\InprocServer32", nullptr);
    if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    HRESULT hr = LoadServer(*path, &getClassObject);
    if (FAILED(hr)) return hr;
    hr = getClassObject(rclsid, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    // COM's aggregation rule: an aggregated object can only be asked for its inner IUnknown.
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

void CoFreeUnusedLibraries() {
    ServerTable& table = Servers();
    std::vector<ServerModule> candidates;
    {
        std::lock_guard lock(table.mutex);
        for (const ServerModule& module : table.modules)
            if (module.canUnloadNow) candidates.push_back(module);
    }
    // Ask outside the lock: a module's DllCanUnloadNow may release objects of other modules.
    for (const ServerModule& candidate : candidates) {
        if (candidate.canUnloadNow() != S_OK) continue;
        bool removed = false;
        {
            std::lock_guard lock(table.mutex);
            for (auto it = table.modules.begin(); it != table.modules.end(); ++it) {
                if (it->base == candidate.base) {
                    table.modules.erase(it);
                    removed = true;
                    break;
                }
            }
        }
        if (removed) ::dlclose(candidate.handle);
    }
}

}  // extern "C"
