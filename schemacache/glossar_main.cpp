// Module entry points of Glossar.so: the one SchemaCache of the process, unloading and
// registration.
#include "lumivel/registrar.h"
#include "schemacache/collectors_entry.h"
#include "schemacache/index_location.h"
#include "schemacache/resource_ids.h"
#include "schemacache/schema_cache.h"

namespace {

using lumivel::com::RegistrarAction;
using lumivel::com::ThisModuleHandle;
using SchemaCacheSingleton = lumivel::com::Singleton<glossar::SchemaCache>;

constexpr lumivel::com::ClassEntry kClasses[] = {{&CLSID_SchemaCache, SchemaCacheSingleton::Create}};

HRESULT ApplyScript(RegistrarAction action) {
    return lumivel::com::UpdateRegistryFromResource(ThisModuleHandle(), MAKEINTRESOURCEW(IDR_GLOSSAR), action);
}

HRESULT RegisterCom() {
    const HRESULT result = ApplyScript(RegistrarAction::Register);
    if (FAILED(result)) return result;
    const std::u16string path = glossar::ModuleFileName(ThisModuleHandle());
    if (path.empty() || FAILED(lumivel::com::RegisterTypeLibraryEntries(glossar::kGlossarTypeLibrary, path.c_str()))) {
        ApplyScript(RegistrarAction::Unregister);
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

HRESULT UnregisterCom() {
    const HRESULT result = ApplyScript(RegistrarAction::Unregister);
    const HRESULT library = lumivel::com::UnregisterTypeLibraryEntries(glossar::kGlossarTypeLibrary);
    return FAILED(result) ? result : FAILED(library) ? SELFREG_E_TYPELIB : S_OK;
}

}  // namespace

extern "C" {

LUMIVEL_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return lumivel::com::GetClassObjectFromTable(kClasses, rclsid, riid, ppv);
}

// The cache lives as long as the module: it goes only when nothing outside holds it or
// locks the module.
LUMIVEL_EXPORT HRESULT DllCanUnloadNow() {
    if (lumivel::com::ThisModule().locks.load() > 0 || !SchemaCacheSingleton::ReleaseIfUnused()) return S_FALSE;
    return lumivel::com::CanUnloadThisModule();
}

LUMIVEL_EXPORT HRESULT DllRegisterServer() { return glossar::RegisterWithCollectorsEntry(ThisModuleHandle(), RegisterCom); }

LUMIVEL_EXPORT HRESULT DllUnregisterServer() {
    return glossar::UnregisterWithCollectorsEntry(ThisModuleHandle(), UnregisterCom);
}

}  // extern "C"
