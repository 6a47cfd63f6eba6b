// Module entry points of RevivoProvider.so: the class object, unloading and registration.
#include "lumivel/com_object.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/revivo_registration.h"

namespace {

constexpr lumivel::com::ClassEntry kClasses[] = {{&CLSID_Revivo, revivo::Revivo::CreateInstance}};

}  // namespace

STDAPI LUMIVEL_EXPORT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return lumivel::com::GetClassObjectFromTable(kClasses, clsid, iid, object);
}

STDAPI LUMIVEL_EXPORT DllCanUnloadNow() { return lumivel::com::CanUnloadThisModule(); }

STDAPI LUMIVEL_EXPORT DllRegisterServer() {
    return revivo::RegisterServer(lumivel::com::ThisModuleHandle(), IDR_REVIVO);
}

STDAPI LUMIVEL_EXPORT DllUnregisterServer() {
    return revivo::UnregisterServer(lumivel::com::ThisModuleHandle(), IDR_REVIVO);
}
