// CreateFileW and the functions on file handles.
#include <mutex>

#include "local_file.h"
#include "path.h"
#include "win/errors.h"
#include "win/files.h"

using lumivel::Fail;
using lumivel::FileObject;

namespace {

std::shared_ptr<FileObject> FileOf(HANDLE handle) {
    auto file = lumivel::LookupHandleAs<FileObject>(handle);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

BOOL Result(DWORD error) {
    if (error == ERROR_SUCCESS) return TRUE;
    SetLastError(error);
    return FALSE;
}

}  // namespace

extern "C" {

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    std::shared_ptr<FileObject> file;
    bool created = false;
    DWORD error = lumivel::OpenFileObject(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                                          dwFlagsAndAttributes, &file, &created);
    if (error != ERROR_SUCCESS) return Fail(error, INVALID_HANDLE_VALUE);
    HANDLE handle = lumivel::InsertHandle(std::move(file));
    if (!handle) return INVALID_HANDLE_VALUE;
    // An existing file opened by CREATE_ALWAYS or OPEN_ALWAYS reports ERROR_ALREADY_EXISTS.
    bool always = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(always && !created ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!lpBuffer && nNumberOfBytesToRead) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    if (!lpNumberOfBytesRead && !lpOverlapped) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (lpOverlapped) {
        LONGLONG at = (LONGLONG(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset;
        if (DWORD e = file->seek(at, FILE_BEGIN, nullptr)) return Result(e);
    }
    DWORD done = 0;
    DWORD error = file->read(lpBuffer, nNumberOfBytesToRead, &done);
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    if (lpOverlapped) lpOverlapped->InternalHigh = done;
    return Result(error);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!lpBuffer && nNumberOfBytesToWrite) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    if (!lpNumberOfBytesWritten && !lpOverlapped) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (lpOverlapped) {
        LONGLONG at = (LONGLONG(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset;
        if (DWORD e = file->seek(at, FILE_BEGIN, nullptr)) return Result(e);
    }
    DWORD done = 0;
    DWORD error = file->write(lpBuffer, nNumberOfBytesToWrite, &done);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    if (lpOverlapped) lpOverlapped->InternalHigh = done;
    return Result(error);
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    auto file = FileOf(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    LONGLONG distance = lpDistanceToMoveHigh
                            ? static_cast<LONGLONG>((uint64_t(uint32_t(*lpDistanceToMoveHigh)) << 32) | uint32_t(lDistanceToMove))
                            : LONGLONG(lDistanceToMove);
    ULONGLONG position = 0;
    DWORD error = file->seek(distance, dwMoveMethod, &position);
    if (error != ERROR_SUCCESS) return Fail(error, INVALID_SET_FILE_POINTER);
    // Without a high part the position must fit in 32 bits.
    if (!lpDistanceToMoveHigh && position > 0xFFFFFFFEull) return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                      DWORD dwMoveMethod) {
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    ULONGLONG position = 0;
    DWORD error = file->seek(liDistanceToMove.QuadPart, dwMoveMethod, &position);
    if (error == ERROR_SUCCESS && lpNewFilePointer) lpNewFilePointer->QuadPart = static_cast<LONGLONG>(position);
    return Result(error);
}

BOOL SetEndOfFile(HANDLE hFile) {
    auto file = FileOf(hFile);
    return file ? Result(file->setEnd()) : FALSE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto file = FileOf(hFile);
    if (!file) return INVALID_FILE_SIZE;
    ULONGLONG size = 0;
    DWORD error = file->size(&size);
    if (error != ERROR_SUCCESS) return Fail(error, INVALID_FILE_SIZE);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!lpFileSize) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    ULONGLONG size = 0;
    DWORD error = file->size(&size);
    if (error == ERROR_SUCCESS) lpFileSize->QuadPart = static_cast<LONGLONG>(size);
    return Result(error);
}

BOOL FlushFileBuffers(HANDLE hFile) {
    auto file = FileOf(hFile);
    return file ? Result(file->flush()) : FALSE;
}

BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!lpFileInformation) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return Result(file->information(lpFileInformation));
}

BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime, LPFILETIME lpLastWriteTime) {
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    BY_HANDLE_FILE_INFORMATION info;
    if (DWORD e = file->information(&info)) return Result(e);
    if (lpCreationTime) *lpCreationTime = info.ftCreationTime;
    if (lpLastAccessTime) *lpLastAccessTime = info.ftLastAccessTime;
    if (lpLastWriteTime) *lpLastWriteTime = info.ftLastWriteTime;
    return TRUE;
}

BOOL SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                 const FILETIME* lpLastWriteTime) {
    auto file = FileOf(hFile);
    return file ? Result(file->setTimes(lpCreationTime, lpLastAccessTime, lpLastWriteTime)) : FALSE;
}

DWORD GetFileType(HANDLE hFile) {
    auto file = FileOf(hFile);
    if (!file) return FILE_TYPE_UNKNOWN;
    SetLastError(ERROR_SUCCESS);
    return file->fileType();
}

HANDLE GetStdHandle(DWORD nStdHandle) {
    static std::once_flag once;
    static HANDLE handles[3];
    std::call_once(once, [] {
        handles[0] = lumivel::InsertHandle(lumivel::StandardStream(0, GENERIC_READ));
        handles[1] = lumivel::InsertHandle(lumivel::StandardStream(1, GENERIC_WRITE));
        handles[2] = lumivel::InsertHandle(lumivel::StandardStream(2, GENERIC_WRITE));
    });
    switch (nStdHandle) {
        case STD_INPUT_HANDLE: return handles[0];
        case STD_OUTPUT_HANDLE: return handles[1];
        case STD_ERROR_HANDLE: return handles[2];
        default: return Fail(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
    }
}

}  // extern "C"
