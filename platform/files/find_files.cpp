// FindFirstFileW, FindNextFileW and FindClose, local and UNC.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <deque>

#include "lumivel/kernel_object.h"
#include "lumivel/text.h"
#include "lumivel/unc_file_system.h"
#include "lumivel/wide_string.h"
#include "path.h"
#include "win/errors.h"
#include "win/files.h"

namespace {

using lumivel::Fail;

// The matches are collected when the search starts, so that later changes to the directory
// cannot disturb the enumeration.
class FindObject : public lumivel::KernelObject {
public:
    std::deque<WIN32_FIND_DATAW> entries;
};

bool HasWildcard(std::u16string_view pattern) { return pattern.find_first_of(u"*?") != std::u16string_view::npos; }

// Names Windows code could not hand back to the file functions are left out: those with a '\',
// bytes that are not UTF-8, or more than MAX_PATH - 1 UTF-16 units.
bool EntryName(const char* name, std::u16string* wide) {
    std::string_view narrow(name);
    if (narrow.find('\\') != std::string_view::npos) return false;
    *wide = lumivel::FromUtf8(narrow);
    if (wide->find(u'\uFFFD') != std::u16string::npos && lumivel::ToUtf8(*wide) != narrow) return false;
    return wide->size() < MAX_PATH;
}

void FillEntry(const std::u16string& name, const struct stat& st, WIN32_FIND_DATAW* data) {
    *data = WIN32_FIND_DATAW{};
    data->dwFileAttributes = lumivel::AttributesFromMode(st.st_mode);
    data->ftCreationTime = lumivel::FileTimeFromTimespec(st.st_ctim);
    data->ftLastAccessTime = lumivel::FileTimeFromTimespec(st.st_atim);
    data->ftLastWriteTime = lumivel::FileTimeFromTimespec(st.st_mtim);
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    std::char_traits<char16_t>::copy(data->cFileName, name.data(), name.size());
}

DWORD FindLocal(LPCWSTR lpFileName, FindObject* find) {
    DWORD error = ERROR_SUCCESS;
    auto path = lumivel::LocalPath(lpFileName, &error);
    if (!path) return error;
    if (path->back() == '/') return ERROR_FILE_NOT_FOUND;
    std::string directory = lumivel::ParentDirectory(*path);
    std::u16string pattern = lumivel::FromUtf8(lumivel::BaseName(*path));
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) {
        int e = errno;
        return e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND : lumivel::PathError(e, directory);
    }
    std::string prefix = directory == "/" ? "/" : directory + "/";
    while (struct dirent* entry = ::readdir(dir)) {
        std::u16string name;
        if (!EntryName(entry->d_name, &name)) continue;
        bool matches = HasWildcard(pattern) ? lumivel::MatchWildcard(pattern, name) : lumivel::EqualsNoCase(pattern, name);
        if (!matches) continue;
        struct stat st {};
        if (::stat((prefix + entry->d_name).c_str(), &st) != 0 && ::lstat((prefix + entry->d_name).c_str(), &st) != 0)
            continue;
        WIN32_FIND_DATAW data;
        FillEntry(name, st, &data);
        find->entries.push_back(data);
    }
    ::closedir(dir);
    return find->entries.empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

DWORD FindUnc(LPCWSTR lpFileName, FindObject* find) {
    auto unc = lumivel::RegisteredUncFileSystem();
    if (!unc) return ERROR_BAD_NETPATH;
    std::u16string path = lumivel::UncPath(lpFileName);
    size_t slash = path.rfind(u'\\');
    // "\\server\share" itself has nothing to list by pattern.
    if (slash == std::u16string::npos || slash < 2 || path.find(u'\\', 2) == slash) return ERROR_BAD_NETPATH;
    std::u16string directory = path.substr(0, slash), pattern = path.substr(slash + 1);
    std::unique_ptr<lumivel::UncDirectoryListing> listing;
    if (DWORD e = unc->listDirectory(directory, &listing)) return e;
    WIN32_FIND_DATAW data;
    DWORD e;
    while ((e = listing->next(&data)) == ERROR_SUCCESS) {
        data.cFileName[MAX_PATH - 1] = 0;
        std::u16string_view name(data.cFileName);
        if (HasWildcard(pattern) ? lumivel::MatchWildcard(pattern, name) : lumivel::EqualsNoCase(pattern, name))
            find->entries.push_back(data);
    }
    if (e != ERROR_NO_MORE_FILES) return e;
    return find->entries.empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

}  // namespace

extern "C" {

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (!lpFindFileData) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    auto find = std::make_shared<FindObject>();
    DWORD error = (lpFileName && lumivel::IsUncPath(lpFileName)) ? FindUnc(lpFileName, find.get())
                                                                 : FindLocal(lpFileName, find.get());
    if (error != ERROR_SUCCESS) return Fail(error, INVALID_HANDLE_VALUE);
    *lpFindFileData = find->entries.front();
    find->entries.pop_front();
    HANDLE handle = lumivel::InsertHandle(find);
    return handle ? handle : INVALID_HANDLE_VALUE;
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    auto find = lumivel::LookupHandleAs<FindObject>(hFindFile);
    if (!find) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpFindFileData) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (find->entries.empty()) return Fail(ERROR_NO_MORE_FILES, FALSE);
    *lpFindFileData = find->entries.front();
    find->entries.pop_front();
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
    if (!lumivel::LookupHandleAs<FindObject>(hFindFile)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    lumivel::RemoveHandle(hFindFile);
    return TRUE;
}

}  // extern "C"
