// Class objects of the COM classes that live inside libplatform.
#include "lumivel/builtin_classes.h"
#include "lumivel/directory_classes.h"

#include <new>

#include "admin_create_object.h"
#include "com_support.h"
#include "display_specifier.h"
#include "large_integer.h"
#include "pathname.h"
#include "win/dsadmin.h"
#include "win/dsclient.h"

namespace lumivel::directory {
namespace {

using CreateFunction = HRESULT (*)(REFIID, void**);

// Static class objects: they live as long as the library, so reference counts are cosmetic.
class ClassFactory final : public IClassFactory {
public:
    explicit constexpr ClassFactory(CreateFunction create) : m_create(create) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return m_create(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    CreateFunction m_create;
};

ClassFactory g_pathname(CreatePathnameInstance);
ClassFactory g_largeInteger(CreateLargeIntegerInstance);
ClassFactory g_displaySpecifier(CreateDisplaySpecifierInstance);
ClassFactory g_adminCreateObject(CreateAdminCreateObjectInstance);

}  // namespace
}  // namespace lumivel::directory

extern "C" WINBASEAPI HRESULT LumivelDirectoryGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    using namespace lumivel::directory;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    if (rclsid == CLSID_Pathname) factory = &g_pathname;
    else if (rclsid == CLSID_LargeInteger) factory = &g_largeInteger;
    else if (rclsid == CLSID_DsDisplaySpecifier) factory = &g_displaySpecifier;
    else if (rclsid == CLSID_DsAdminCreateObj) factory = &g_adminCreateObject;
    if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(riid, ppv);
}

// CoCreateInstance finds these classes here, as Windows finds them in its system modules.
LUMIVEL_BUILTIN_CLASSES(LumivelDirectoryGetClassObject);
