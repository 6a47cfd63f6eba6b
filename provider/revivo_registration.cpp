#include "provider/revivo_registration.h"

#include "lumivel/registrar.h"
#include "provider/revivo.h"
#include "win/processes.h"
#include "win/winerror.h"

using lumivel::com::RegistrarAction;

namespace revivo {

namespace {

bool modulePath(HINSTANCE module, std::u16string* path) {
    WCHAR buffer[4096] = {};
    DWORD length = GetModuleFileNameW(module, buffer, ARRAYSIZE(buffer));
    if (length == 0 || length >= ARRAYSIZE(buffer)) return false;
    path->assign(buffer, length);
    return true;
}

}  // namespace

HRESULT RegisterServer(HINSTANCE module, UINT scriptResource) {
    std::u16string path;
    if (!modulePath(module, &path)) return SELFREG_E_CLASS;
    HRESULT result = lumivel::com::UpdateRegistryFromResource(module, MAKEINTRESOURCEW(scriptResource),
                                                              RegistrarAction::Register);
    if (FAILED(result)) return result;
    if (FAILED(lumivel::com::RegisterTypeLibraryEntries(kRevivoTypeLibrary, path.c_str()))) {
        lumivel::com::UpdateRegistryFromResource(module, MAKEINTRESOURCEW(scriptResource), RegistrarAction::Unregister);
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

HRESULT UnregisterServer(HINSTANCE module, UINT scriptResource) {
    HRESULT result = lumivel::com::UpdateRegistryFromResource(module, MAKEINTRESOURCEW(scriptResource),
                                                              RegistrarAction::Unregister);
    HRESULT library = lumivel::com::UnregisterTypeLibraryEntries(kRevivoTypeLibrary);
    return FAILED(result) ? result : FAILED(library) ? SELFREG_E_TYPELIB : S_OK;
}

}  // namespace revivo
