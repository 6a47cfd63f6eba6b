#include "schemacache/index_location.h"

#include "lumivel/machine_config.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/guid.h"
#include "win/processes.h"
#include "win/threads.h"

namespace glossar {
namespace {

constexpr char16_t kMachineCache[] = u"/var/cache/lumivel/";
constexpr DWORD kLongestPath = 32768;

std::u16string Environment(const char16_t* name) {
    std::u16string value(256, u'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) return {};
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        if (length > kLongestPath) return {};
        value.resize(length);
    }
}

std::u16string WithSeparator(std::u16string directory) {
    if (!directory.empty() && directory.back() != u'/' && directory.back() != u'\\') directory.push_back(u'/');
    return directory;
}

std::u16string WithoutSeparator(std::u16string directory) {
    while (directory.size() > 1 && (directory.back() == u'/' || directory.back() == u'\\')) directory.pop_back();
    return directory;
}

bool IsDirectory(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates the directory and any missing parent; true when it is there afterwards.
bool EnsureDirectory(const std::u16string& directory) {
    std::vector<std::u16string> missing;
    for (std::u16string path = WithoutSeparator(directory); !path.empty(); path = WithoutSeparator(DirectoryOf(path))) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        missing.push_back(path);
        if (path.size() <= 1) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (!CreateDirectoryW(it->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    return IsDirectory(directory);
}

// Whether this process can create a file in the directory: it tries, with a name of its own
// that goes again when the handle closes.
bool CanCreateFilesIn(const std::u16string& directory) {
    GUID random{};
    CoCreateGuid(&random);
    WCHAR text[40] = {};
    StringFromGUID2(random, text, 40);
    const std::u16string probe = directory + u".probe-" + std::u16string(text);
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace

std::u16string ModuleFileName(HMODULE module) {
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= kLongestPath) return {};
        path.resize(path.size() * 2);
    }
}

std::u16string DirectoryOf(std::u16string_view path) {
    const size_t cut = path.find_last_of(u"/\\");
    return cut == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, cut + 1));
}

std::u16string ModuleDirectoryOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return {};
    return DirectoryOf(ModuleFileName(module));
}

std::vector<std::u16string> FileLocationCandidates(std::u16string_view moduleDirectory) {
    std::vector<std::u16string> candidates{std::u16string(moduleDirectory)};
    const std::u16string machine = Environment(u"LUMIVEL_MACHINE_CACHE");
    candidates.push_back(machine.empty() ? std::u16string(kMachineCache) : WithSeparator(machine));
    // A relative value is ignored, as the XDG base directory rules ask.
    std::u16string user = Environment(u"XDG_CACHE_HOME");
    if (user.empty() || user.front() != u'/') {
        const std::u16string home = Environment(u"HOME");
        user = home.empty() ? std::u16string() : WithSeparator(home) + u".cache";
    }
    if (!user.empty()) candidates.push_back(WithSeparator(user) + u"lumivel/");
    return candidates;
}

std::u16string FileLocation(std::u16string_view moduleDirectory) {
    const auto candidates = FileLocationCandidates(moduleDirectory);
    for (size_t i = 0; i < candidates.size(); ++i) {
        const std::u16string& directory = candidates[i];
        // The module's own directory is never created; an empty one is the current directory.
        // Installed software is the package manager's: even root writes nothing there.
        if (i == 0 && lumivel::IsSoftwareFolder(directory)) continue;
        if (i > 0 && !EnsureDirectory(directory)) continue;
        if (CanCreateFilesIn(directory.empty() ? std::u16string(u"./") : directory)) return directory;
    }
    return std::u16string(moduleDirectory);
}

}  // namespace glossar
