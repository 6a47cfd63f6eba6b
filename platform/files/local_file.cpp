// Local files: descriptors with Windows open semantics, share modes and read-only rules.
#include "local_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lumivel/errno_map.h"
#include "lumivel/unc_file_system.h"
#include "path.h"
#include "share_lock.h"
#include "win/errors.h"

namespace lumivel {
namespace {

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;

int OpenFlags(bool read, bool write) {
    if (read && write) return O_RDWR;
    if (write) return O_WRONLY;
    return O_RDONLY;
}

}  // namespace

LocalFile::~LocalFile() {
    if (!m_deleteOnClose.empty()) ::unlink(m_deleteOnClose.c_str());
    if (m_ownsDescriptor && m_fd >= 0) ::close(m_fd);
}

bool LocalFile::canRead() const { return m_access & kReadRights; }
bool LocalFile::canWrite() const { return m_access & kWriteRights; }

DWORD LocalFile::read(void* buffer, DWORD size, DWORD* done) {
    *done = 0;
    if (!canRead()) return ERROR_ACCESS_DENIED;
    auto* bytes = static_cast<char*>(buffer);
    while (*done < size) {
        ssize_t n = ::read(m_fd, bytes + *done, size - *done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Win32ErrorFromErrno(errno);
        }
        if (n == 0) break;
        *done += static_cast<DWORD>(n);
        // A pipe or terminal hands out what it has; a regular file is read to the full count.
        if (fileType() != FILE_TYPE_DISK) break;
    }
    return ERROR_SUCCESS;
}

DWORD LocalFile::write(const void* buffer, DWORD size, DWORD* done) {
    *done = 0;
    if (!canWrite()) return ERROR_ACCESS_DENIED;
    const auto* bytes = static_cast<const char*>(buffer);
    while (*done < size) {
        ssize_t n = ::write(m_fd, bytes + *done, size - *done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Win32ErrorFromErrno(errno);
        }
        *done += static_cast<DWORD>(n);
    }
    return ERROR_SUCCESS;
}

DWORD LocalFile::seek(LONGLONG distance, DWORD method, ULONGLONG* position) {
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) return ERROR_INVALID_PARAMETER;
    if (whence == SEEK_SET && distance < 0) return ERROR_NEGATIVE_SEEK;
    off_t result = ::lseek(m_fd, distance, whence);
    if (result < 0) return errno == EINVAL ? ERROR_NEGATIVE_SEEK : Win32ErrorFromErrno(errno);
    if (position) *position = static_cast<ULONGLONG>(result);
    return ERROR_SUCCESS;
}

DWORD LocalFile::size(ULONGLONG* bytes) {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return Win32ErrorFromErrno(errno);
    *bytes = static_cast<ULONGLONG>(st.st_size);
    return ERROR_SUCCESS;
}

DWORD LocalFile::flush() {
    if (!canWrite()) return ERROR_ACCESS_DENIED;
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) return Win32ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD LocalFile::information(BY_HANDLE_FILE_INFORMATION* info) {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return Win32ErrorFromErrno(errno);
    *info = BY_HANDLE_FILE_INFORMATION{};
    info->dwFileAttributes = AttributesFromMode(st.st_mode);
    info->ftCreationTime = FileTimeFromTimespec(st.st_ctim);
    info->ftLastAccessTime = FileTimeFromTimespec(st.st_atim);
    info->ftLastWriteTime = FileTimeFromTimespec(st.st_mtim);
    info->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
    info->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    info->nFileSizeLow = static_cast<DWORD>(st.st_size);
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    info->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
    info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
    return ERROR_SUCCESS;
}

DWORD LocalFile::setEnd() {
    if (!canWrite()) return ERROR_ACCESS_DENIED;
    off_t at = ::lseek(m_fd, 0, SEEK_CUR);
    if (at < 0 || ::ftruncate(m_fd, at) != 0) return Win32ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD LocalFile::setTimes(const FILETIME*, const FILETIME* access, const FILETIME* write) {
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (access && (access->dwLowDateTime || access->dwHighDateTime)) times[0] = TimespecFromFileTime(*access);
    if (write && (write->dwLowDateTime || write->dwHighDateTime)) times[1] = TimespecFromFileTime(*write);
    if (::futimens(m_fd, times) != 0) return Win32ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD LocalFile::fileType() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return FILE_TYPE_UNKNOWN;
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

std::shared_ptr<LocalFile> StandardStream(int fd, DWORD access) {
    auto file = std::make_shared<LocalFile>(fd, access, std::string());
    file->m_ownsDescriptor = false;
    return file;
}

DWORD OpenFileObject(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes,
                     std::shared_ptr<FileObject>* file, bool* created) {
    *created = false;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return ERROR_INVALID_PARAMETER;
    if (disposition == TRUNCATE_EXISTING && !(access & kWriteRights)) return ERROR_INVALID_PARAMETER;
    if (path && IsUncPath(path)) {
        auto unc = RegisteredUncFileSystem();
        if (!unc) return ERROR_BAD_NETPATH;
        return unc->openFile(UncPath(path), access, share, disposition, flagsAndAttributes, file);
    }
    DWORD error = ERROR_SUCCESS;
    auto local = LocalPath(path, &error);
    if (!local) return error;

    bool read = access & kReadRights;
    bool write = access & kWriteRights;
    struct stat existing {};
    bool exists = ::stat(local->c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        // Directories open only for their attributes and times, as with backup semantics.
        if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || write ||
            (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS))
            return ERROR_ACCESS_DENIED;
        int fd = ::open(local->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return PathError(errno, *local);
        *file = std::make_shared<LocalFile>(fd, access & ~kWriteRights, std::string());
        return ERROR_SUCCESS;
    }
    if (exists && disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        return PathError(ENOENT, *local);
    }
    // The read-only attribute refuses writers and replacement, even to root.
    bool replaces = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (exists && IsReadOnlyMode(existing.st_mode) && (write || replaces)) return ERROR_ACCESS_DENIED;

    // Opening never waits, as CreateFileW does not: a FIFO would block until its other end is
    // opened. Reads and writes wait as usual afterwards.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;
    if (disposition == CREATE_NEW || (!exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)))
        flags |= O_CREAT | O_EXCL;
    // Readable descriptors can hold the share markers, so writers open read-write when allowed.
    // Truncation waits until the share check has passed.
    int fd = -1;
    bool readable = true;
    bool needWriteDescriptor = write || replaces;
    if (needWriteDescriptor) {
        fd = ::open(local->c_str(), flags | O_RDWR, 0666);
        if (fd < 0 && errno == EACCES && !read) {
            fd = ::open(local->c_str(), flags | O_WRONLY, 0666);
            readable = false;
        }
    } else {
        fd = ::open(local->c_str(), flags | OpenFlags(true, false), 0666);
    }
    if (fd < 0) {
        if (errno == EEXIST) return disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_SHARING_VIOLATION;
        return PathError(errno, *local);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bool madeNew = (flags & O_CREAT) != 0;
    DWORD shareError = AcquireShare(fd, ShareRequestFrom(access, share), readable);
    if (shareError != ERROR_SUCCESS) {
        ::close(fd);
        if (madeNew) ::unlink(local->c_str());
        return shareError;
    }
    if (replaces && ::ftruncate(fd, 0) != 0) {
        int e = errno;
        ::close(fd);
        return Win32ErrorFromErrno(e);
    }
    if (madeNew && (flagsAndAttributes & FILE_ATTRIBUTE_READONLY)) {
        struct stat st {};
        if (::fstat(fd, &st) == 0) ::fchmod(fd, st.st_mode & ~0222);
    }
    std::string deleteOnClose = (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) ? *local : std::string();
    *file = std::make_shared<LocalFile>(fd, access, deleteOnClose);
    *created = madeNew;
    return ERROR_SUCCESS;
}

}  // namespace lumivel
