// Module entry points of RevivoSnapin.so: the class object, unloading and registration.
#include "lumivel/com_object.h"
#include "snapin/snapin_data.h"
#include "snapin/snapin_module.h"
#include "snapin/snapin_registration.h"

namespace {

constexpr lumivel::com::ClassEntry kClasses[] = {{&CLSID_RevivoSnapin, snapin::SnapinData::CreateInstance}};

}  // namespace

STDAPI LUMIVEL_EXPORT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    snapin::StartModule();
    if (!object) return IsEqualCLSID(clsid, CLSID_RevivoSnapin) ? E_FAIL : CLASS_E_CLASSNOTAVAILABLE;
    return lumivel::com::GetClassObjectFromTable(kClasses, clsid, iid, object);
}

STDAPI LUMIVEL_EXPORT DllCanUnloadNow() {
    HRESULT hr = lumivel::com::CanUnloadThisModule();
    if (hr == S_OK) snapin::StopModule();
    return hr;
}

STDAPI LUMIVEL_EXPORT DllRegisterServer() { return snapin::RegisterSnapin(); }

STDAPI LUMIVEL_EXPORT DllUnregisterServer() { return snapin::UnregisterSnapin(); }
