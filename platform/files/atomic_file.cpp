#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "lumivel/errno_map.h"
#include "path.h"

namespace lumivel {

DWORD WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode, ExistingFile existing) {
    const std::string directory = ParentDirectory(path);
    std::string temporary = directory + "/." + std::string(BaseName(path)) + ".new-XXXXXX";
    // mkostemp creates with O_EXCL and mode 0600, so nobody else can open the file meanwhile.
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return PathError(errno, path);
    DWORD error = ERROR_SUCCESS;
    if (::fchmod(fd, mode) != 0) error = Win32ErrorFromErrno(errno);
    for (size_t done = 0; error == ERROR_SUCCESS && done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? Win32ErrorFromErrno(errno) : ERROR_WRITE_FAULT;
        else done += static_cast<size_t>(n);
    }
    if (error == ERROR_SUCCESS && ::fsync(fd) != 0) error = Win32ErrorFromErrno(errno);
    if (::close(fd) != 0 && error == ERROR_SUCCESS) error = Win32ErrorFromErrno(errno);
    if (error == ERROR_SUCCESS) {
        int renamed = existing == ExistingFile::Replace
                          ? ::rename(temporary.c_str(), path.c_str())
                          : ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
        if (renamed != 0) error = errno == EEXIST ? ERROR_FILE_EXISTS : PathError(errno, path);
    }
    if (error != ERROR_SUCCESS) {
        ::unlink(temporary.c_str());
        return error;
    }
    int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) ::fsync(dir), ::close(dir);
    return ERROR_SUCCESS;
}

}  // namespace lumivel
