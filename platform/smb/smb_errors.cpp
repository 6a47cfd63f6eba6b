// The one errno table of the SMB area.
#include "smb_errors.h"

#include <cerrno>

#include "win/winerror.h"

namespace lumivel::smb {
namespace {

struct Row {
    int error;
    DWORD win32;
};

constexpr Row kErrors[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EEXIST, ERROR_FILE_EXISTS},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_WRITE_PROTECT},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENODEV, ERROR_BAD_NET_NAME},
    {ECONNREFUSED, ERROR_BAD_NETPATH},
    {EHOSTUNREACH, ERROR_BAD_NETPATH},
    {ENETUNREACH, ERROR_BAD_NETPATH},
    {ETIMEDOUT, ERROR_BAD_NETPATH},
    {ENXIO, ERROR_BAD_NETPATH},
    {EHOSTDOWN, ERROR_BAD_NETPATH},
    {ECONNRESET, ERROR_UNEXP_NET_ERR},
    {EPIPE, ERROR_UNEXP_NET_ERR},
    {EIO, ERROR_UNEXP_NET_ERR},
};

}  // namespace

DWORD Win32FromErrno(int error, Operation operation, const std::function<bool()>& serverResolves) {
    // An unknown server name ends in NT_STATUS_UNSUCCESSFUL (EINVAL) or ENOENT; Windows says
    // the network path was not found.
    if ((error == EINVAL || error == ENOENT) && serverResolves && !serverResolves()) return ERROR_BAD_NETPATH;
    // Creating a directory that is there already is ERROR_ALREADY_EXISTS; a new file is FILE_EXISTS.
    if (error == EEXIST && operation == Operation::CreateDirectory) return ERROR_ALREADY_EXISTS;
    // A missing parent while creating is a path that does not exist.
    if (error == ENOENT && (operation == Operation::Create || operation == Operation::CreateDirectory))
        return ERROR_PATH_NOT_FOUND;
    for (const auto& row : kErrors)
        if (row.error == error) return row.win32;
    return ERROR_GEN_FAILURE;
}

}  // namespace lumivel::smb
