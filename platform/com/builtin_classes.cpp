#include "lumivel/builtin_classes.h"

#include <mutex>
#include <vector>

namespace lumivel {

namespace {

struct Providers {
    std::mutex mutex;
    std::vector<BuiltinClassProvider> list;
};

// Never destroyed: registrations run from static initialisers in any order.
Providers& TheProviders() {
    static auto* providers = new Providers;
    return *providers;
}

}  // namespace

void RegisterBuiltinClassProvider(BuiltinClassProvider provider) {
    if (!provider) return;
    Providers& providers = TheProviders();
    std::lock_guard lock(providers.mutex);
    providers.list.push_back(provider);
}

HRESULT GetBuiltinClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    std::vector<BuiltinClassProvider> list;
    {
        Providers& providers = TheProviders();
        std::lock_guard lock(providers.mutex);
        list = providers.list;
    }
    for (BuiltinClassProvider provider : list) {
        HRESULT hr = provider(rclsid, riid, ppv);
        if (hr != CLASS_E_CLASSNOTAVAILABLE) return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace lumivel
