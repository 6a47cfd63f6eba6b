// Module handles, module file names and library loading.
//
// An HMODULE is the load address of an ELF object (dladdr's dli_fbase); the main program is
// null. Loaded objects are found with dl_iterate_phdr, whose load bias plus the lowest PT_LOAD
// address is that same base.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/module_loading.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"
#include "path.h"
#include "win/errors.h"
#include "win/processes.h"

using lumivel::Fail;

namespace {

struct LoadedObject {
    uintptr_t base;
    std::string path;
};

std::vector<LoadedObject> LoadedObjects() {
    std::vector<LoadedObject> objects;
    dl_iterate_phdr(
        [](struct dl_phdr_info* info, size_t, void* data) {
            uintptr_t lowest = UINTPTR_MAX;
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest)
                    lowest = info->dlpi_phdr[i].p_vaddr;
            if (lowest == UINTPTR_MAX) lowest = 0;
            auto* list = static_cast<std::vector<LoadedObject>*>(data);
            list->push_back({info->dlpi_addr + lowest, info->dlpi_name ? info->dlpi_name : ""});
            return 0;
        },
        &objects);
    return objects;
}

std::string ExecutablePath() {
    std::vector<char> buffer(PATH_MAX);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

// The main program's own base, which maps to the null handle.
uintptr_t MainProgramBase() {
    static uintptr_t base = [] {
        auto objects = LoadedObjects();
        return objects.empty() ? uintptr_t(0) : objects.front().base;
    }();
    return base;
}

HMODULE HandleFromBase(uintptr_t base) {
    return base == MainProgramBase() ? nullptr : reinterpret_cast<HMODULE>(base);
}

// dlopen handles of the libraries LoadLibraryExW loaded, by base, with their counts.
struct LoadedLibraries {
    std::mutex mutex;
    std::map<uintptr_t, std::vector<void*>> handles;
};

LoadedLibraries& Libraries() {
    static LoadedLibraries* libraries = new LoadedLibraries;
    return *libraries;
}

std::string WithSuffix(const std::string& path, std::string_view from, std::string_view to) {
    if (path.size() >= from.size()) {
        std::u16string tail = lumivel::FromUtf8(path.substr(path.size() - from.size()));
        if (lumivel::AsciiEqualsNoCase(tail, lumivel::FromUtf8(from))) return path.substr(0, path.size() - from.size()) + std::string(to);
    }
    return {};
}

bool SameModuleName(const std::string& loadedPath, std::u16string_view wanted) {
    std::u16string name = lumivel::FromUtf8(lumivel::BaseName(loadedPath));
    if (lumivel::AsciiEqualsNoCase(name, wanted)) return true;
    std::string narrow = lumivel::ToUtf8(wanted);
    for (auto [from, to] : {std::pair<std::string_view, std::string_view>{".dll", ".so"}, {".exe", ""}}) {
        std::string mapped = WithSuffix(narrow, from, to);
        if (mapped.empty()) continue;
        if (lumivel::AsciiEqualsNoCase(name, lumivel::FromUtf8(mapped))) return true;
        if (from == ".dll" && lumivel::AsciiEqualsNoCase(name, u"lib" + lumivel::FromUtf8(mapped))) return true;
    }
    // "X" without an extension names "X.so" or "libX.so".
    return lumivel::AsciiEqualsNoCase(name, std::u16string(wanted) + u".so") ||
           lumivel::AsciiEqualsNoCase(name, u"lib" + std::u16string(wanted) + u".so");
}

// The rich-edit modules only register window classes that libplatform always has, so a
// load by their bare name yields libplatform itself.
constexpr std::u16string_view kPlatformModuleNames[] = {u"riched32.dll", u"riched20.dll"};

bool IsPlatformModuleName(const std::string& path) {
    std::u16string name = lumivel::FromUtf8(path);
    for (std::u16string_view known : kPlatformModuleNames)
        if (lumivel::AsciiEqualsNoCase(name, known)) return true;
    return false;
}

}  // namespace

namespace lumivel {
// The directory of libplatform.so (the installation's program folder).
std::string PlatformDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&PlatformDirectory), &info) && info.dli_fname)
        return ParentDirectory(info.dli_fname[0] == '/' ? std::string(info.dli_fname) : ExecutablePath());
    return ParentDirectory(ExecutablePath());
}

bool IsInstallationModule(std::u16string_view path) {
    if (path.empty()) return false;
    const std::u16string text(path);
    DWORD error = ERROR_SUCCESS;
    const auto local = LocalPath(text.c_str(), &error);
    if (!local) return false;
    auto canonical = [](const std::string& name) -> std::optional<std::string> {
        char* resolved = ::realpath(name.c_str(), nullptr);
        if (!resolved) return std::nullopt;
        std::string result = resolved;
        std::free(resolved);
        return result;
    };
    const auto file = canonical(*local);
    const auto folder = canonical(PlatformDirectory());
    struct stat status {};
    if (!file || !folder || ::stat(file->c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    return ParentDirectory(*file) == *folder;
}
}  // namespace lumivel

extern "C" {

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, lpModuleName, &module);
    return module;
}

BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    if (!phModule) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *phModule = nullptr;
    if (!lpModuleName) return TRUE;
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<const void*>(lpModuleName), &info) || !info.dli_fbase)
            return Fail(ERROR_MOD_NOT_FOUND, FALSE);
        *phModule = HandleFromBase(reinterpret_cast<uintptr_t>(info.dli_fbase));
        return TRUE;
    }
    std::u16string_view wanted(lpModuleName);
    for (const auto& object : LoadedObjects()) {
        std::string path = object.path.empty() ? ExecutablePath() : object.path;
        if (SameModuleName(path, wanted) || lumivel::FromUtf8(path) == wanted) {
            *phModule = HandleFromBase(object.base);
            return TRUE;
        }
    }
    return Fail(ERROR_MOD_NOT_FOUND, FALSE);
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (!lpFilename && nSize) return Fail(ERROR_INVALID_PARAMETER, DWORD(0));
    std::string path;
    auto base = reinterpret_cast<uintptr_t>(hModule);
    if (!hModule || base == MainProgramBase()) {
        path = ExecutablePath();
    } else {
        for (const auto& object : LoadedObjects())
            if (object.base == base) path = object.path.empty() ? ExecutablePath() : object.path;
        if (path.empty()) return Fail(ERROR_MOD_NOT_FOUND, DWORD(0));
    }
    if (path.empty()) return Fail(ERROR_GEN_FAILURE, DWORD(0));
    std::u16string wide = lumivel::FromUtf8(path);
    if (nSize == 0) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD(0));
    if (wide.size() + 1 > nSize) {
        std::char_traits<char16_t>::copy(lpFilename, wide.data(), nSize - 1);
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::char_traits<char16_t>::copy(lpFilename, wide.c_str(), wide.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}

HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE, DWORD dwFlags) {
    DWORD error = ERROR_SUCCESS;
    auto path = lumivel::LocalPath(lpLibFileName, &error);
    if (!path) return Fail(error, HMODULE(nullptr));
    auto binding = (dwFlags & (DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
                       ? lumivel::SymbolBinding::Lazy
                       : lumivel::SymbolBinding::Now;
    void* handle = nullptr;
    if (IsPlatformModuleName(*path)) {
        // Another reference to libplatform itself, so that FreeLibrary stays balanced.
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&LoadLibraryExW), &info) || !info.dli_fname)
            return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
        handle = ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
        if (!handle) return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
    } else {
        error = lumivel::OpenSharedObject(*path, &handle, binding);
        std::string mapped = WithSuffix(*path, ".dll", ".so");
        if (error == ERROR_MOD_NOT_FOUND && !mapped.empty())
            error = lumivel::OpenSharedObject(mapped, &handle, binding);
        if (error != ERROR_SUCCESS) return Fail(error, HMODULE(nullptr));
    }
    struct link_map* map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) {
        ::dlclose(handle);
        return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
    }
    uintptr_t base = 0;
    Dl_info info{};
    if (map->l_ld && dladdr(map->l_ld, &info) && info.dli_fbase) base = reinterpret_cast<uintptr_t>(info.dli_fbase);
    if (!base) {
        ::dlclose(handle);
        return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
    }
    auto& libraries = Libraries();
    std::lock_guard lock(libraries.mutex);
    libraries.handles[base].push_back(handle);
    return HandleFromBase(base);
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) { return LoadLibraryExW(lpLibFileName, nullptr, 0); }

BOOL FreeLibrary(HMODULE hLibModule) {
    auto base = reinterpret_cast<uintptr_t>(hLibModule);
    void* handle = nullptr;
    {
        auto& libraries = Libraries();
        std::lock_guard lock(libraries.mutex);
        auto it = libraries.handles.find(base);
        if (it == libraries.handles.end() || it->second.empty()) return Fail(ERROR_MOD_NOT_FOUND, FALSE);
        handle = it->second.back();
        it->second.pop_back();
        if (it->second.empty()) libraries.handles.erase(it);
    }
    ::dlclose(handle);
    return TRUE;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!lpProcName || reinterpret_cast<uintptr_t>(lpProcName) <= 0xFFFF)
        return Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    void* handle = nullptr;
    if (!hModule) {
        handle = ::dlopen(nullptr, RTLD_LAZY);
    } else {
        WCHAR name[4096];
        DWORD n = GetModuleFileNameW(hModule, name, ARRAYSIZE(name));
        if (n == 0 || n >= ARRAYSIZE(name)) return Fail(ERROR_MOD_NOT_FOUND, FARPROC(nullptr));
        handle = ::dlopen(lumivel::ToUtf8(name).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    }
    if (!handle) return Fail(ERROR_MOD_NOT_FOUND, FARPROC(nullptr));
    void* symbol = ::dlsym(handle, lpProcName);
    ::dlclose(handle);
    if (!symbol) return Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    return reinterpret_cast<FARPROC>(symbol);
}

}  // extern "C"
