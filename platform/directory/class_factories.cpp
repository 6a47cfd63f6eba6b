// Class objects of the COM classes that live inside libplatform.
#include "lumivel/builtin_classes.h"
#include "lumivel/com_object.h"

#include "admin_create_object.h"
#include "display_specifier.h"
#include "domain_tree_browser.h"
#include "large_integer.h"
#include "pathname.h"
#include "win/dsadmin.h"
#include "win/dsclient.h"

namespace {

using namespace lumivel::directory;

constexpr lumivel::com::ClassEntry kClasses[] = {
    {&CLSID_Pathname, CreatePathnameInstance},
    {&CLSID_LargeInteger, CreateLargeIntegerInstance},
    {&CLSID_DsDisplaySpecifier, CreateDisplaySpecifierInstance},
    {&CLSID_DsAdminCreateObj, CreateAdminCreateObjectInstance},
    {&CLSID_DsDomainTreeBrowser, CreateDomainTreeBrowserInstance},
};

HRESULT DirectoryGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return lumivel::com::GetClassObjectFromTable(kClasses, rclsid, riid, ppv);
}

// CoCreateInstance finds these classes here, as Windows finds them in its system modules.
LUMIVEL_BUILTIN_CLASSES(DirectoryGetClassObject);

}  // namespace
