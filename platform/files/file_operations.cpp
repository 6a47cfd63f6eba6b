// Attributes, deletion, moving, copying and directories, local and UNC.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <vector>

#include "local_file.h"
#include "lumivel/errno_map.h"
#include "lumivel/temporary_file.h"
#include "lumivel/text.h"
#include "lumivel/unc_file_system.h"
#include "path.h"
#include "share_lock.h"
#include "win/errors.h"
#include "win/files.h"

using lumivel::Fail;

namespace {

bool IsUnc(LPCWSTR path) { return path && lumivel::IsUncPath(path); }

BOOL Result(DWORD error) {
    if (error == ERROR_SUCCESS) return TRUE;
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<lumivel::UncFileSystem> Unc(DWORD* error) {
    auto unc = lumivel::RegisteredUncFileSystem();
    if (!unc) *error = ERROR_BAD_NETPATH;
    return unc;
}

// Deleting or moving a file refuses while another opener denies deletion. A file this
// process cannot open for reading is not checked.
DWORD CheckDeleteSharing(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ERROR_SUCCESS;
    struct stat st {};
    DWORD error = (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ? lumivel::CheckDeleteAllowed(fd) : ERROR_SUCCESS;
    ::close(fd);
    return error;
}

DWORD CheckReplaceSharing(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ERROR_SUCCESS;
    struct stat st {};
    DWORD error = ERROR_SUCCESS;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        error = lumivel::CheckWriteAllowed(fd);
        if (error == ERROR_SUCCESS) error = lumivel::CheckDeleteAllowed(fd);
    }
    ::close(fd);
    return error;
}

DWORD DeleteLocal(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return lumivel::PathError(errno, path);
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (S_ISREG(st.st_mode) && lumivel::IsReadOnlyMode(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (DWORD e = CheckDeleteSharing(path)) return e;
    if (::unlink(path.c_str()) != 0) return lumivel::PathError(errno, path);
    return ERROR_SUCCESS;
}

// Copies all data between two open files.
DWORD Pump(lumivel::FileObject& from, lumivel::FileObject& to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0, put = 0;
        if (DWORD e = from.read(buffer.data(), static_cast<DWORD>(buffer.size()), &got)) return e;
        if (got == 0) return ERROR_SUCCESS;
        if (DWORD e = to.write(buffer.data(), got, &put)) return e;
        if (put != got) return ERROR_WRITE_FAULT;
    }
}

// A hidden name beside a UNC destination for the copy on its way there.
std::u16string UncTemporaryBeside(const std::u16string& target) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string suffix;
    std::random_device device;
    uint64_t random = static_cast<uint64_t>(device()) << 32 | device();
    for (int i = 0; i < 12; ++i, random >>= 4) suffix.push_back(kHex[random & 15]);
    const size_t cut = target.rfind(u'\\');
    return target.substr(0, cut + 1) + u"." + target.substr(cut + 1) + u".copy-" + suffix;
}

// Copy through file objects, for any pair that involves a UNC path. A failed copy removes
// its partial destination. On a share the data goes into a hidden file beside the destination
// first and is renamed into place, so that no reader of the share ever sees half a file.
DWORD CopyByObjects(LPCWSTR from, LPCWSTR to, bool replace) {
    std::shared_ptr<lumivel::FileObject> source, target;
    bool created = false;
    if (DWORD e = lumivel::OpenFileObject(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &source, &created))
        return e;
    std::shared_ptr<lumivel::UncFileSystem> unc;
    std::u16string final, written;
    if (IsUnc(to)) {
        DWORD error = ERROR_SUCCESS;
        unc = Unc(&error);
        if (!unc) return error;
        final = lumivel::UncPath(to);
        written = UncTemporaryBeside(final);
    } else {
        written = to;
    }
    const DWORD disposition = unc ? CREATE_NEW : replace ? CREATE_ALWAYS : CREATE_NEW;
    if (DWORD e = lumivel::OpenFileObject(written.c_str(), GENERIC_WRITE, 0, disposition, FILE_ATTRIBUTE_NORMAL,
                                          &target, &created))
        return e == ERROR_FILE_EXISTS && !replace ? ERROR_FILE_EXISTS : e;
    DWORD error = Pump(*source, *target);
    if (error == ERROR_SUCCESS) error = target->flush();
    target.reset();
    if (error == ERROR_SUCCESS && unc) {
        error = unc->rename(written, final, replace);
        if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;
        if (error == ERROR_NOT_SAME_DEVICE) {
            // A file system that cannot rename gets the data under the final name directly.
            DeleteFileW(written.c_str());
            source.reset();
            if (DWORD e = lumivel::OpenFileObject(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &source, &created))
                return e;
            written = final;
            if (DWORD e = lumivel::OpenFileObject(written.c_str(), GENERIC_WRITE, 0, replace ? CREATE_ALWAYS : CREATE_NEW,
                                                  FILE_ATTRIBUTE_NORMAL, &target, &created))
                return e;
            error = Pump(*source, *target);
            if (error == ERROR_SUCCESS) error = target->flush();
            target.reset();
        }
    }
    if (error != ERROR_SUCCESS) DeleteFileW(written.c_str());
    return error;
}

// Copies a local file into a hidden temporary beside the destination and renames it into
// place, so that no reader ever sees half a file. Mode and last-write time travel along.
DWORD CopyLocal(const std::string& to, bool replace, LPCWSTR wideFrom) {
    std::shared_ptr<lumivel::FileObject> source;
    bool created = false;
    if (DWORD e = lumivel::OpenFileObject(wideFrom, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &source, &created))
        return e;
    struct stat sourceState {};
    if (::fstat(source->descriptor(), &sourceState) != 0) return lumivel::Win32ErrorFromErrno(errno);
    if (S_ISDIR(sourceState.st_mode)) return ERROR_ACCESS_DENIED;
    struct stat targetState {};
    if (::stat(to.c_str(), &targetState) == 0) {
        if (!replace) return ERROR_FILE_EXISTS;
        if (S_ISDIR(targetState.st_mode) || lumivel::IsReadOnlyMode(targetState.st_mode)) return ERROR_ACCESS_DENIED;
        if (DWORD e = CheckReplaceSharing(to)) return e;
    }
    lumivel::ExclusiveTemporaryFile temporary;
    if (DWORD e = temporary.createBeside(to)) return e;
    int fd = temporary.descriptor();
    lumivel::LocalFile target(::dup(fd), GENERIC_WRITE, std::string());
    DWORD error = Pump(*source, target);
    if (error == ERROR_SUCCESS) {
        ::fchmod(fd, sourceState.st_mode & 07777);
        struct timespec times[2] = {sourceState.st_atim, sourceState.st_mtim};
        ::futimens(fd, times);
    }
    if (error == ERROR_SUCCESS) {
        error = temporary.commit(to, replace ? lumivel::ExistingFile::Replace : lumivel::ExistingFile::Keep);
        if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;
    }
    return error;
}

DWORD MoveLocal(const std::string& from, const std::string& to, DWORD flags, LPCWSTR wideFrom, LPCWSTR wideTo) {
    struct stat sourceState {};
    if (::lstat(from.c_str(), &sourceState) != 0) return lumivel::PathError(errno, from);
    if (S_ISREG(sourceState.st_mode))
        if (DWORD e = CheckDeleteSharing(from)) return e;
    bool replace = flags & MOVEFILE_REPLACE_EXISTING;
    struct stat targetState {};
    if (::lstat(to.c_str(), &targetState) == 0) {
        if (!replace) return ERROR_ALREADY_EXISTS;
        if (S_ISDIR(targetState.st_mode) || (S_ISREG(targetState.st_mode) && lumivel::IsReadOnlyMode(targetState.st_mode)))
            return ERROR_ACCESS_DENIED;
        if (DWORD e = CheckReplaceSharing(to)) return e;
    }
    int r = replace ? ::rename(from.c_str(), to.c_str())
                    : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (r == 0) {
        if (flags & MOVEFILE_WRITE_THROUGH) {
            int dir = ::open(lumivel::ParentDirectory(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir >= 0) ::fsync(dir), ::close(dir);
        }
        return ERROR_SUCCESS;
    }
    if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
    // The source was there a moment ago: a missing name is the target's folder.
    if (errno == ENOENT) return ::lstat(from.c_str(), &sourceState) != 0 ? lumivel::PathError(ENOENT, from) : ERROR_PATH_NOT_FOUND;
    if (errno != EXDEV) return lumivel::PathError(errno, to);
    if (!(flags & MOVEFILE_COPY_ALLOWED) || S_ISDIR(sourceState.st_mode)) return ERROR_NOT_SAME_DEVICE;
    // Across file systems: copy, then remove the original; if that fails, the copy goes again
    // so that the file exists exactly once.
    if (DWORD e = CopyLocal(to, replace, wideFrom)) return e;
    if (::unlink(from.c_str()) != 0) {
        int e = errno;
        DeleteFileW(wideTo);
        return lumivel::PathError(e, from);
    }
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    DWORD error = ERROR_SUCCESS;
    if (IsUnc(lpFileName)) {
        auto unc = Unc(&error);
        DWORD attributes = INVALID_FILE_ATTRIBUTES;
        if (unc) error = unc->getAttributes(lumivel::UncPath(lpFileName), &attributes);
        return error == ERROR_SUCCESS ? attributes : Fail(error, INVALID_FILE_ATTRIBUTES);
    }
    auto path = lumivel::LocalPath(lpFileName, &error);
    if (!path) return Fail(error, INVALID_FILE_ATTRIBUTES);
    struct stat st {};
    if (::stat(path->c_str(), &st) != 0) return Fail(lumivel::PathError(errno, *path), INVALID_FILE_ATTRIBUTES);
    return lumivel::AttributesFromMode(st.st_mode);
}

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation) {
    if (fInfoLevelId != GetFileExInfoStandard || !lpFileInformation) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
    if (IsUnc(lpFileName)) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW(lpFileName, &found);
        if (find == INVALID_HANDLE_VALUE) return FALSE;
        FindClose(find);
        *data = {found.dwFileAttributes, found.ftCreationTime, found.ftLastAccessTime, found.ftLastWriteTime,
                 found.nFileSizeHigh, found.nFileSizeLow};
        return TRUE;
    }
    DWORD error = ERROR_SUCCESS;
    auto path = lumivel::LocalPath(lpFileName, &error);
    if (!path) return Fail(error, FALSE);
    struct stat st {};
    if (::stat(path->c_str(), &st) != 0) return Fail(lumivel::PathError(errno, *path), FALSE);
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    *data = {lumivel::AttributesFromMode(st.st_mode), lumivel::FileTimeFromTimespec(st.st_ctim),
             lumivel::FileTimeFromTimespec(st.st_atim), lumivel::FileTimeFromTimespec(st.st_mtim),
             static_cast<DWORD>(size >> 32), static_cast<DWORD>(size)};
    return TRUE;
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    DWORD error = ERROR_SUCCESS;
    if (IsUnc(lpFileName)) {
        auto unc = Unc(&error);
        if (unc) error = unc->setAttributes(lumivel::UncPath(lpFileName), dwFileAttributes);
        return Result(error);
    }
    auto path = lumivel::LocalPath(lpFileName, &error);
    if (!path) return Fail(error, FALSE);
    struct stat st {};
    if (::stat(path->c_str(), &st) != 0) return Fail(lumivel::PathError(errno, *path), FALSE);
    // Only the read-only bit has a meaning here; the others are accepted and kept by nobody.
    mode_t mode = st.st_mode & 07777;
    if (dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        mode &= ~0222;
    } else if (lumivel::IsReadOnlyMode(st.st_mode)) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode |= ((mode & 0444) >> 1) & ~mask;
        mode |= 0200;
    }
    if (mode != (st.st_mode & 07777) && ::chmod(path->c_str(), mode) != 0) return Fail(lumivel::PathError(errno, *path), FALSE);
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
    DWORD error = ERROR_SUCCESS;
    if (IsUnc(lpFileName)) {
        auto unc = Unc(&error);
        if (unc) error = unc->deleteFile(lumivel::UncPath(lpFileName));
        return Result(error);
    }
    auto path = lumivel::LocalPath(lpFileName, &error);
    if (!path) return Fail(error, FALSE);
    return Result(DeleteLocal(*path));
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    if (!lpExistingFileName || !lpNewFileName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) return Fail(ERROR_NOT_SUPPORTED, FALSE);
    bool fromUnc = IsUnc(lpExistingFileName), toUnc = IsUnc(lpNewFileName);
    if (fromUnc || toUnc) {
        DWORD error = ERROR_SUCCESS;
        auto unc = Unc(&error);
        if (!unc) return Fail(error, FALSE);
        bool replace = dwFlags & MOVEFILE_REPLACE_EXISTING;
        if (fromUnc && toUnc) {
            error = unc->rename(lumivel::UncPath(lpExistingFileName), lumivel::UncPath(lpNewFileName), replace);
            if (error != ERROR_NOT_SAME_DEVICE) return Result(error);
        }
        if (!(dwFlags & MOVEFILE_COPY_ALLOWED) && !(fromUnc && toUnc)) return Fail(ERROR_NOT_SAME_DEVICE, FALSE);
        if (!replace && GetFileAttributesW(lpNewFileName) != INVALID_FILE_ATTRIBUTES) return Fail(ERROR_ALREADY_EXISTS, FALSE);
        error = CopyByObjects(lpExistingFileName, lpNewFileName, replace);
        if (error == ERROR_FILE_EXISTS) error = ERROR_ALREADY_EXISTS;
        if (error != ERROR_SUCCESS) return Fail(error, FALSE);
        if (!DeleteFileW(lpExistingFileName)) {
            DWORD e = GetLastError();
            DeleteFileW(lpNewFileName);
            return Fail(e, FALSE);
        }
        return TRUE;
    }
    DWORD error = ERROR_SUCCESS;
    auto from = lumivel::LocalPath(lpExistingFileName, &error);
    auto to = from ? lumivel::LocalPath(lpNewFileName, &error) : std::nullopt;
    if (!from || !to) return Fail(error, FALSE);
    return Result(MoveLocal(*from, *to, dwFlags, lpExistingFileName, lpNewFileName));
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    return MoveFileExW(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    if (!lpExistingFileName || !lpNewFileName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (IsUnc(lpExistingFileName) || IsUnc(lpNewFileName))
        return Result(CopyByObjects(lpExistingFileName, lpNewFileName, !bFailIfExists));
    DWORD error = ERROR_SUCCESS;
    auto from = lumivel::LocalPath(lpExistingFileName, &error);
    auto to = from ? lumivel::LocalPath(lpNewFileName, &error) : std::nullopt;
    if (!from || !to) return Fail(error, FALSE);
    return Result(CopyLocal(*to, !bFailIfExists, lpExistingFileName));
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    DWORD error = ERROR_SUCCESS;
    if (IsUnc(lpPathName)) {
        auto unc = Unc(&error);
        if (unc) error = unc->createDirectory(lumivel::UncPath(lpPathName));
        return Result(error);
    }
    auto path = lumivel::LocalPath(lpPathName, &error);
    if (!path) return Fail(error, FALSE);
    if (::mkdir(path->c_str(), 0777) == 0) return TRUE;
    int e = errno;
    return Fail(e == ENOENT ? ERROR_PATH_NOT_FOUND : lumivel::Win32ErrorFromErrno(e), FALSE);
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
    DWORD error = ERROR_SUCCESS;
    if (IsUnc(lpPathName)) {
        auto unc = Unc(&error);
        if (unc) error = unc->removeDirectory(lumivel::UncPath(lpPathName));
        return Result(error);
    }
    auto path = lumivel::LocalPath(lpPathName, &error);
    if (!path) return Fail(error, FALSE);
    if (::rmdir(path->c_str()) == 0) return TRUE;
    int e = errno;
    if (e == ENOTDIR) {
        struct stat st {};
        return Fail(::stat(path->c_str(), &st) == 0 ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND, FALSE);
    }
    if (e == EEXIST) e = ENOTEMPTY;
    return Fail(lumivel::PathError(e, *path), FALSE);
}

DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1 << 20)) return Fail(lumivel::Win32ErrorFromErrno(errno), DWORD(0));
        buffer.resize(buffer.size() * 2);
    }
    std::u16string wide = lumivel::FromUtf8(buffer.data());
    if (wide.size() + 1 > nBufferLength || !lpBuffer) return static_cast<DWORD>(wide.size() + 1);
    std::char_traits<char16_t>::copy(lpBuffer, wide.c_str(), wide.size() + 1);
    return static_cast<DWORD>(wide.size());
}

BOOL SetCurrentDirectoryW(LPCWSTR lpPathName) {
    DWORD error = ERROR_SUCCESS;
    if (IsUnc(lpPathName)) return Fail(ERROR_NOT_SUPPORTED, FALSE);
    auto path = lumivel::LocalPath(lpPathName, &error);
    if (!path) return Fail(error, FALSE);
    if (::chdir(path->c_str()) != 0) {
        int e = errno;
        return Fail(e == ENOTDIR ? ERROR_DIRECTORY : lumivel::PathError(e, *path), FALSE);
    }
    return TRUE;
}

// Makes a path absolute and removes "." and ".." without touching the file system.
DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
    if (!lpFileName || !*lpFileName) return Fail(ERROR_INVALID_NAME, DWORD(0));
    std::u16string full;
    if (IsUnc(lpFileName)) {
        full = lumivel::UncPath(lpFileName);
    } else {
        std::u16string path(lpFileName);
        for (auto& c : path)
            if (c == u'\\') c = u'/';
        if (path[0] != u'/') {
            WCHAR cwd[4096];
            DWORD n = GetCurrentDirectoryW(ARRAYSIZE(cwd), cwd);
            if (n == 0 || n >= ARRAYSIZE(cwd)) return 0;
            path = std::u16string(cwd) + u"/" + path;
        }
        std::vector<std::u16string> parts;
        size_t start = 0;
        while (start <= path.size()) {
            size_t slash = path.find(u'/', start);
            if (slash == std::u16string::npos) slash = path.size();
            std::u16string part = path.substr(start, slash - start);
            if (part == u"..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != u".") {
                parts.push_back(part);
            }
            start = slash + 1;
        }
        for (auto& part : parts) full += u"/" + part;
        if (full.empty() || path.back() == u'/') full += u"/";
    }
    if (full.size() + 1 > nBufferLength || !lpBuffer) return static_cast<DWORD>(full.size() + 1);
    std::char_traits<char16_t>::copy(lpBuffer, full.c_str(), full.size() + 1);
    if (lpFilePart) {
        size_t cut = full.find_last_of(u"/\\");
        *lpFilePart = (cut == std::u16string::npos || cut + 1 == full.size()) ? nullptr : lpBuffer + cut + 1;
    }
    return static_cast<DWORD>(full.size());
}

}  // extern "C"
