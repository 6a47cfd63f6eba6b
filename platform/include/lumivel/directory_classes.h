// The COM classes the directory layer implements inside libplatform (Pathname, LargeInteger,
// DsDisplaySpecifier, DsAdminCreateObj). CoCreateInstance reaches them through this entry
// point rather than the registry, as they live in no separate module.
#pragma once

#include "win/com.h"

extern "C" {
// CLASS_E_CLASSNOTAVAILABLE for a CLSID that is not one of the directory classes.
WINBASEAPI HRESULT LumivelDirectoryGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
}
