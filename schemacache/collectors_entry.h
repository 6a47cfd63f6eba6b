// The registration entry that records where the generator is installed: two values under
// HKEY_LOCAL_MACHINE "Software\Tarvo Software\Tarvo Halcyra\Chronik\Collectors", one named
// after the schema cache's module file and one after the generator, each holding the
// installation directory without its trailing separator. Nothing in this system reads it.
#pragma once

#include <functional>

#include "win/types.h"

namespace glossar {

inline constexpr char16_t kCollectorsKey[] = u"Software\\Tarvo Software\\Tarvo Halcyra\\Chronik\\Collectors";

// For DllRegisterServer: writes the entry when the key can be created or opened, then runs the
// COM registration, whose result is the result.
HRESULT RegisterWithCollectorsEntry(HMODULE module, const std::function<HRESULT()>& registerCom);

// For DllUnregisterServer: undoes the COM registration first and stops with its error when
// that fails; then deletes both values, keeping the key.
HRESULT UnregisterWithCollectorsEntry(HMODULE module, const std::function<HRESULT()>& unregisterCom);

}  // namespace glossar
