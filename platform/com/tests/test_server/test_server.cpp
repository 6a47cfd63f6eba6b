// A COM server for the runtime's tests: one aggregatable dual class, registered from its
// REGISTRY resource with a type library entry.
#include <cstdlib>
#include <string>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "lumivel/registrar.h"
#include "test_widget.h"
#include "win/processes.h"

namespace {

using namespace lumivel::com;

constexpr DispatchParam kMultiplyParams[] = {{u"a", VT_I4}, {u"b", VT_I4}};
constexpr DispatchParam kDescribeParams[] = {{u"text", VT_BSTR}};

constexpr DispatchMember kWidgetMembers[] = {
    {u"Multiply", 1, DISPATCH_METHOD, kMultiplyParams, 2, VT_I4,
     [](void* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_I4;
         return static_cast<ITestWidget*>(self)->Multiply(args[0].lVal, args[1].lVal, &result->lVal);
     },
     u"method Multiply"},
    {u"Describe", 2, DISPATCH_METHOD, kDescribeParams, 1, VT_BSTR,
     [](void* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_BSTR;
         return static_cast<ITestWidget*>(self)->Describe(args[0].bstrVal, &result->bstrVal);
     },
     u"method Describe"},
};
constexpr DispatchInterface kWidgetTable = {&IID_ITestWidget, u"ITestWidget", u"ITestWidget Interface",
                                            kWidgetMembers, std::size(kWidgetMembers)};
const DispatchInterface* const kLibraryInterfaces[] = {&kWidgetTable};
constexpr TypeLibraryInfo kLibrary = {&LIBID_TestWidgetLib, 1, 0, u"TESTWIDGETLib", u"TestWidget 1.0 Type Library",
                                      kLibraryInterfaces, 1};

class Widget : public ComObject<Widget, DispatchFromTable<ITestWidget, kWidgetTable>> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<Widget, ITestWidget>(IID_ITestWidget),
                                                     InterfaceOf<Widget, ITestWidget>(IID_IDispatch)};
    HRESULT STDMETHODCALLTYPE Multiply(LONG a, LONG b, LONG* product) override {
        if (!product) return E_POINTER;
        *product = a * b;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Describe(BSTR text, BSTR* description) override {
        if (!description) return E_POINTER;
        WCHAR path[1024];
        DWORD length = GetModuleFileNameW(ThisModuleHandle(), path, 1024);
        std::u16string name(path, length);
        name = name.substr(name.find_last_of(u'/') + 1);
        *description = SysAllocString((std::u16string(text ? text : u"") + u" from " + name).c_str());
        return *description ? S_OK : E_OUTOFMEMORY;
    }
};

constexpr ClassEntry kClasses[] = {{&CLSID_TestWidget, CreateComObject<Widget>}};

}  // namespace

extern "C" {

LUMIVEL_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return GetClassObjectFromTable(kClasses, rclsid, riid, ppv);
}

LUMIVEL_EXPORT HRESULT DllCanUnloadNow() { return CanUnloadThisModule(); }

LUMIVEL_EXPORT HRESULT DllRegisterServer() {
    // Lets the tests see how a failing registration is reported.
    if (std::getenv("LUMIVEL_TEST_SERVER_FAIL"))
        return UpdateRegistryFromScript(ThisModuleHandle(), u"HKCR { unbalanced", RegistrarAction::Register);
    HRESULT hr = UpdateRegistryFromResource(ThisModuleHandle(), MAKEINTRESOURCEW(1), RegistrarAction::Register);
    if (FAILED(hr)) return hr;
    WCHAR path[1024];
    DWORD length = GetModuleFileNameW(ThisModuleHandle(), path, 1024);
    if (length == 0 || length >= 1024) return SELFREG_E_TYPELIB;
    return FAILED(RegisterTypeLibraryEntries(kLibrary, path)) ? SELFREG_E_TYPELIB : S_OK;
}

LUMIVEL_EXPORT HRESULT DllUnregisterServer() {
    HRESULT hr = UpdateRegistryFromResource(ThisModuleHandle(), MAKEINTRESOURCEW(1), RegistrarAction::Unregister);
    HRESULT typeLibrary = UnregisterTypeLibraryEntries(kLibrary);
    if (FAILED(hr)) return hr;
    return FAILED(typeLibrary) ? SELFREG_E_TYPELIB : S_OK;
}

}  // extern "C"
