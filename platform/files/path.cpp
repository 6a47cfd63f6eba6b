// Path translation and the stat-to-Windows mappings of the file functions.
#include "path.h"

#include <algorithm>
#include <cerrno>

#include "../base/calendar.h"
#include "lumivel/errno_map.h"
#include "lumivel/text.h"
#include "lumivel/unc_file_system.h"
#include "win/errors.h"

namespace lumivel {

bool IsUncPath(std::u16string_view path) {
    auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

std::optional<std::string> LocalPath(LPCWSTR path, DWORD* error) {
    if (!path || !*path) {
        *error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    std::u16string text(path);
    std::replace(text.begin(), text.end(), u'\\', u'/');
    // A name with half a surrogate pair has no file-system form.
    std::optional<std::string> local = Utf16ToUtf8(text, IllFormed::Refuse);
    if (!local) *error = ERROR_INVALID_NAME;
    return local;
}

std::u16string UncPath(std::u16string_view path) {
    std::u16string out(path);
    for (auto& c : out)
        if (c == u'/') c = u'\\';
    return out;
}

std::string ParentDirectory(const std::string& path) {
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string_view BaseName(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

DWORD PathError(int error, const std::string& path) {
    if (error == ENOENT) {
        struct stat parent {};
        std::string dir = ParentDirectory(path);
        if (::stat(dir.c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode)) return ERROR_PATH_NOT_FOUND;
        return ERROR_FILE_NOT_FOUND;
    }
    return Win32ErrorFromErrno(error);
}

bool IsReadOnlyMode(mode_t mode) { return (mode & 0222) == 0; }

DWORD AttributesFromMode(mode_t mode) {
    DWORD attributes = S_ISDIR(mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (IsReadOnlyMode(mode)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

FILETIME FileTimeFromTimespec(const struct timespec& ts) {
    int64_t ticks = (int64_t(ts.tv_sec) + kFileTimeEpochSeconds) * kTicksPerSecond + ts.tv_nsec / 100;
    if (ticks < 0) ticks = 0;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32)};
}

struct timespec TimespecFromFileTime(const FILETIME& ft) {
    int64_t ticks = static_cast<int64_t>((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond - kFileTimeEpochSeconds);
    ts.tv_nsec = static_cast<long>(ticks % kTicksPerSecond * 100);
    return ts;
}

}  // namespace lumivel
