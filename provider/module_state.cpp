// What the module keeps across objects: live objects, server locks, its own handle.
#include <atomic>

#include "provider/revivo.h"

namespace revivo {

namespace {
std::atomic<LONG> g_liveObjects{0};
std::atomic<LONG> g_serverLocks{0};
}  // namespace

void ModuleAddRef() { ++g_liveObjects; }
void ModuleRelease() { --g_liveObjects; }

void LockModule(ModuleLock lock) {
    if (lock == ModuleLock::Lock)
        ++g_serverLocks;
    else
        --g_serverLocks;
}

LONG ModuleLockCount() { return g_liveObjects + g_serverLocks; }

HINSTANCE ModuleInstance() {
    static HMODULE module = [] {
        HMODULE handle = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&ModuleInstance), &handle);
        return handle;
    }();
    return module;
}

}  // namespace revivo
