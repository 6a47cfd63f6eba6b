// Module entry points of Panorel.so: the class object, unloading and registration.
#include "lumivel/registrar.h"
#include "resultpane/panorel.h"
#include "resultpane/resource_ids.h"
#include "win/processes.h"

namespace {

using lumivel::com::RegistrarAction;
using lumivel::com::ThisModuleHandle;

constexpr lumivel::com::ClassEntry kClasses[] = {{&CLSID_Panorel, panorel::Panorel::CreateInstance}};

HRESULT ApplyScript(RegistrarAction action) {
    return lumivel::com::UpdateRegistryFromResource(ThisModuleHandle(), MAKEINTRESOURCEW(IDR_PANOREL), action);
}

}  // namespace

STDAPI LUMIVEL_EXPORT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return lumivel::com::GetClassObjectFromTable(kClasses, clsid, iid, object);
}

STDAPI LUMIVEL_EXPORT DllCanUnloadNow() { return lumivel::com::CanUnloadThisModule(); }

STDAPI LUMIVEL_EXPORT DllRegisterServer() {
    WCHAR path[4096] = {};
    const DWORD length = GetModuleFileNameW(ThisModuleHandle(), path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) return SELFREG_E_CLASS;
    HRESULT result = ApplyScript(RegistrarAction::Register);
    if (FAILED(result)) return result;
    if (FAILED(lumivel::com::RegisterTypeLibraryEntries(panorel::kPanorelTypeLibrary, path))) {
        ApplyScript(RegistrarAction::Unregister);
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

STDAPI LUMIVEL_EXPORT DllUnregisterServer() {
    const HRESULT result = ApplyScript(RegistrarAction::Unregister);
    const HRESULT library = lumivel::com::UnregisterTypeLibraryEntries(panorel::kPanorelTypeLibrary);
    return FAILED(result) ? result : FAILED(library) ? SELFREG_E_TYPELIB : S_OK;
}
