// Path handling shared by the file functions (files area only).
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

#include "win/errors.h"
#include "win/files.h"

namespace lumivel {

// A local path for the C library: UTF-8, '\' read as '/'. Null with ERROR_INVALID_NAME when the
// text holds an unpaired surrogate (it would name another file), ERROR_PATH_NOT_FOUND when empty.
std::optional<std::string> LocalPath(LPCWSTR path, DWORD* error);
// A UNC path with every '/' turned into '\'.
std::u16string UncPath(std::u16string_view path);

// The Win32 error for a failed call on a path: ENOENT becomes ERROR_PATH_NOT_FOUND when the
// parent directory is missing too, else ERROR_FILE_NOT_FOUND.
DWORD PathError(int error, const std::string& path);

std::string ParentDirectory(const std::string& path);
// TMP, TEMP or TMPDIR, else /tmp, without a trailing '/'.
std::string TemporaryBaseFolder();
std::string_view BaseName(std::string_view path);

// Windows attributes of a file: directory, read-only when no write bit is set, else archive.
DWORD AttributesFromMode(mode_t mode);
bool IsReadOnlyMode(mode_t mode);
FILETIME FileTimeFromTimespec(const struct timespec& ts);
struct timespec TimespecFromFileTime(const FILETIME& ft);

// Sets the last error and returns the given failure value.
template <class T>
T Fail(DWORD error, T value) {
    SetLastError(error);
    return value;
}

}  // namespace lumivel
