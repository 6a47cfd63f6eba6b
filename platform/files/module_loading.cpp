// Loading shared objects as Windows loads DLLs: the dynamic loader's failures as Win32 errors
// (the one translation table for dlopen), module paths and the module of an address.
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "lumivel/module_loading.h"
#include "win/processes.h"
#include "win/winerror.h"

namespace lumivel {

namespace {

struct LoaderMessage {
    const char* fragment;
    DWORD error;
};

// Matched in order against the text dlerror() gives; glibc's wording.
constexpr LoaderMessage kLoaderMessages[] = {
    {"cannot open shared object file: No such file", ERROR_MOD_NOT_FOUND},
    {"cannot open shared object file: Permission denied", ERROR_ACCESS_DENIED},
    {"undefined symbol", ERROR_PROC_NOT_FOUND},
    {"invalid ELF header", ERROR_BAD_EXE_FORMAT},
    {"file too short", ERROR_BAD_EXE_FORMAT},
    {"wrong ELF class", ERROR_BAD_EXE_FORMAT},
    {"cannot dynamically load position-independent executable", ERROR_BAD_EXE_FORMAT},
    {"cannot dynamically load executable", ERROR_BAD_EXE_FORMAT},
    {"ELF load command", ERROR_BAD_EXE_FORMAT},
    {"No such file or directory", ERROR_MOD_NOT_FOUND},
    {"Permission denied", ERROR_ACCESS_DENIED},
    {"Is a directory", ERROR_ACCESS_DENIED},
};

}  // namespace

DWORD Win32ErrorFromLoaderMessage(const char* message) {
    if (!message) return ERROR_DLL_INIT_FAILED;
    for (const LoaderMessage& known : kLoaderMessages)
        if (std::strstr(message, known.fragment)) return known.error;
    return ERROR_DLL_INIT_FAILED;
}

DWORD OpenSharedObject(const std::string& path, void** handle, SymbolBinding binding) {
    *handle = nullptr;
    if (path.empty()) return ERROR_MOD_NOT_FOUND;
    // dlopen would load a directory's name as "Is a directory" only on some paths; answer it
    // the way LoadLibrary does.
    struct stat info;
    if (path.find('/') != std::string::npos && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return ERROR_ACCESS_DENIED;
    dlerror();
    // A relative path is resolved now, as LoadLibrary does, so that the module's file name
    // stays a full path after the process changes directory.
    int mode = (binding == SymbolBinding::Lazy ? RTLD_LAZY : RTLD_NOW) | RTLD_LOCAL;
    void* opened = ::dlopen(AbsoluteModulePath(path).c_str(), mode);
    if (!opened) return Win32ErrorFromLoaderMessage(dlerror());
    *handle = opened;
    return ERROR_SUCCESS;
}

std::string AbsoluteModulePath(const std::string& path) {
    if (path.empty() || path[0] == '/' || path.find('/') == std::string::npos) return path;
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return path;
    std::string absolute = (std::filesystem::path(cwd) / path).lexically_normal().string();
    std::free(cwd);
    return absolute;
}

HMODULE ModuleOfAddress(const void* address) {
    HMODULE module = nullptr;
    if (!address || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

}  // namespace lumivel
