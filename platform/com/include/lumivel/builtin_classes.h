// COM classes that live inside libplatform itself (Pathname, DsDisplaySpecifier, the domain
// tree browser, ...). On Windows their servers are system modules found through the registry;
// here they are part of the platform, so CoGetClassObject asks these providers before it
// reads HKEY_CLASSES_ROOT.
#pragma once

#include "win/com.h"

namespace lumivel {

// Answers CLASS_E_CLASSNOTAVAILABLE for a CLSID it does not serve.
using BuiltinClassProvider = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

LUMIVEL_EXPORT void RegisterBuiltinClassProvider(BuiltinClassProvider provider);

// Asks every registered provider; CLASS_E_CLASSNOTAVAILABLE when none serves the class.
LUMIVEL_EXPORT HRESULT GetBuiltinClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

// Registers a provider while libplatform loads: `LUMIVEL_BUILTIN_CLASSES(MyGetClassObject);`
struct BuiltinClassRegistration {
    explicit BuiltinClassRegistration(BuiltinClassProvider provider) { RegisterBuiltinClassProvider(provider); }
};
#define LUMIVEL_BUILTIN_CLASSES(provider) \
    static ::lumivel::BuiltinClassRegistration lumivel_builtin_classes_registration_##provider(provider)

}  // namespace lumivel
