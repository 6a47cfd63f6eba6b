// In-process servers: finding a class's module through the registry, loading it once per
// process, asking it for class objects and unloading it when it agrees.
#include <dlfcn.h>

#include <mutex>
#include <vector>

#include "apartment.h"
#include "lumivel/builtin_classes.h"
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
    std::vector<std::u16string> paths;  // registry spellings that led here
    // Class-object requests running now, and all ever started: a module is only unloaded when
    // neither moved while it was asked whether it may go.
    int inFlight = 0;
    uint64_t requests = 0;
};

struct ServerTable {
    std::mutex mutex;
    std::vector<ServerModule> modules;  // a handful per process: a linear search is fine
};

ServerTable& Servers() {
    static auto* table = new ServerTable;  // outlives static destructors of loaded modules
    return *table;
}

ServerModule* FindByPath(ServerTable& table, const std::u16string& path) {
    for (ServerModule& module : table.modules)
        for (const std::u16string& known : module.paths)
            if (known == path) return &module;
    return nullptr;
}

// Loads the module (or finds it loaded), marks a request in flight and returns its base and
// class-object entry point.
HRESULT BeginRequest(const std::u16string& path, HMODULE* base, LPFNGETCLASSOBJECT* entry) {
    ServerTable& table = Servers();
    {
        std::lock_guard lock(table.mutex);
        if (ServerModule* module = FindByPath(table, path)) {
            ++module->inFlight;
            ++module->requests;
            *base = module->base;
            *entry = module->getClassObject;
            return S_OK;
        }
    }
    void* handle = nullptr;
    DWORD error = OpenSharedObject(ToUtf8(path), &handle);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(handle, "DllGetClassObject"));
    if (!getClassObject) {
        ::dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    HMODULE loaded = ModuleOfAddress(reinterpret_cast<const void*>(getClassObject));
    std::lock_guard lock(table.mutex);
    ServerModule* module = nullptr;
    for (ServerModule& candidate : table.modules)
        if (candidate.base == loaded) module = &candidate;
    if (module) {
        // Already loaded under another spelling of its path (or by a racing thread): keep one
        // reference.
        ::dlclose(handle);
    } else {
        auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(handle, "DllCanUnloadNow"));
        table.modules.push_back({loaded, handle, getClassObject, canUnloadNow, {}});
        module = &table.modules.back();
    }
    module->paths.push_back(path);
    ++module->inFlight;
    ++module->requests;
    *base = module->base;
    *entry = module->getClassObject;
    return S_OK;
}

void EndRequest(HMODULE base) {
    ServerTable& table = Servers();
    std::lock_guard lock(table.mutex);
    for (ServerModule& module : table.modules)
        if (module.base == base) --module.inFlight;
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
    HRESULT builtin = lumivel::GetBuiltinClassObject(rclsid, riid, ppv);
    if (builtin != CLASS_E_CLASSNOTAVAILABLE) {
        if (FAILED(builtin)) *ppv = nullptr;
        return builtin;
    }
    std::optional<std::u16string> path =
        ReadStringValue(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(rclsid) + u"\\InprocServer32", nullptr);
    if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
    HMODULE base = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    HRESULT hr = BeginRequest(*path, &base, &getClassObject);
    if (FAILED(hr)) return hr;
    hr = getClassObject(rclsid, riid, ppv);
    EndRequest(base);
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
    struct Candidate {
        HMODULE base;
        LPFNCANUNLOADNOW canUnloadNow;
        uint64_t requests;
    };
    ServerTable& table = Servers();
    std::vector<Candidate> candidates;
    {
        std::lock_guard lock(table.mutex);
        for (const ServerModule& module : table.modules)
            if (module.canUnloadNow && module.inFlight == 0)
                candidates.push_back({module.base, module.canUnloadNow, module.requests});
    }
    // Ask outside the lock: a module's DllCanUnloadNow may release objects of other modules.
    for (const Candidate& candidate : candidates) {
        if (candidate.canUnloadNow() != S_OK) continue;
        void* handle = nullptr;
        {
            std::lock_guard lock(table.mutex);
            for (auto it = table.modules.begin(); it != table.modules.end(); ++it) {
                // A request that started meanwhile may have made an object the answer missed.
                if (it->base == candidate.base && it->inFlight == 0 && it->requests == candidate.requests) {
                    handle = it->handle;
                    table.modules.erase(it);
                    break;
                }
            }
        }
        if (handle) ::dlclose(handle);
    }
}

}  // extern "C"
