// Loading shared objects as Windows loads DLLs (internal platform interface): one place that
// turns the dynamic loader's failures into the Win32 errors a Windows caller would see.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

// Lazy binding resolves a module's imports only when they are first called, for modules loaded
// for their resources (LoadLibraryExW with DONT_RESOLVE_DLL_REFERENCES).
enum class SymbolBinding { Now, Lazy };

// dlopen(path, RTLD_NOW or RTLD_LAZY, RTLD_LOCAL). ERROR_SUCCESS with *handle set, or
// ERROR_MOD_NOT_FOUND (the file or a library it needs is missing), ERROR_BAD_EXE_FORMAT (not a
// loadable object for this machine), ERROR_PROC_NOT_FOUND (a symbol it imports is missing),
// ERROR_ACCESS_DENIED, ERROR_DLL_INIT_FAILED (anything else).
LUMIVEL_EXPORT DWORD OpenSharedObject(const std::string& path, void** handle,
                                      SymbolBinding binding = SymbolBinding::Now);

// A path with a directory part made absolute against the current directory; a bare name,
// which the loader searches for, is returned unchanged.
LUMIVEL_EXPORT std::string AbsoluteModulePath(const std::string& path);

// The Win32 error for a dlerror() text.
LUMIVEL_EXPORT DWORD Win32ErrorFromLoaderMessage(const char* message);

// The module handle (ELF load base) of the object that holds `address`; null for the main
// program, as GetModuleHandleExW gives it, and when unknown.
LUMIVEL_EXPORT HMODULE ModuleOfAddress(const void* address);

// Whether the path names a regular file directly inside this installation's program folder
// (the folder of libplatform.so), links and "..", resolved. Loading a shared object runs its
// code, so a module named by data from outside (a directory's icon paths) is loaded only
// when this holds.
LUMIVEL_EXPORT bool IsInstallationModule(std::u16string_view path);

}  // namespace lumivel
