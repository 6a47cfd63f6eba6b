// The hand-off of UNC paths from the file functions to the SMB area (internal).
//
// Paths that start with two separators of either kind are UNC. The file functions pass them
// on normalised: every '/' turned into '\', so "//srv/share/a" arrives as "\\srv\share\a".
// Every method returns a Win32 error code; ERROR_SUCCESS on success.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "lumivel/kernel_object.h"

namespace lumivel {

// One directory listing in progress. next() fills name, attributes, size and times of the next
// entry and returns ERROR_NO_MORE_FILES at the end. The file functions do the wildcard matching.
class UncDirectoryListing {
public:
    virtual ~UncDirectoryListing() = default;
    virtual DWORD next(WIN32_FIND_DATAW* entry) = 0;
};

class UncFileSystem {
public:
    virtual ~UncFileSystem() = default;

    virtual DWORD createDirectory(std::u16string_view path) = 0;
    virtual DWORD removeDirectory(std::u16string_view path) { (void)path; return ERROR_NOT_SUPPORTED; }
    // access, share, disposition and flags as CreateFileW received them.
    virtual DWORD openFile(std::u16string_view path, DWORD access, DWORD share, DWORD disposition,
                           DWORD flagsAndAttributes, std::shared_ptr<FileObject>* file) = 0;
    virtual DWORD deleteFile(std::u16string_view path) = 0;
    virtual DWORD getAttributes(std::u16string_view path, DWORD* attributes) = 0;
    virtual DWORD setAttributes(std::u16string_view path, DWORD attributes) {
        (void)path, (void)attributes;
        return ERROR_NOT_SUPPORTED;
    }
    // Lists a directory ("\\srv\share\dir"); FindFirstFileW filters the entries by its pattern.
    virtual DWORD listDirectory(std::u16string_view directory, std::unique_ptr<UncDirectoryListing>* listing) = 0;
    // The owner of a file or folder as its security descriptor names it: a SID in text form
    // ("S-1-5-21-...-1104"), as GetNamedSecurityInfoW with OWNER_SECURITY_INFORMATION reads it.
    virtual DWORD ownerSid(std::u16string_view path, std::u16string* sid) {
        (void)path, (void)sid;
        return ERROR_NOT_SUPPORTED;
    }
    // A rename within one share. ERROR_NOT_SAME_DEVICE makes MoveFileExW copy and delete instead.
    virtual DWORD rename(std::u16string_view from, std::u16string_view to, bool replaceExisting) {
        (void)from, (void)to, (void)replaceExisting;
        return ERROR_NOT_SAME_DEVICE;
    }
};

// Registers the UNC file system (one per process; a later call replaces it, null removes it).
LUMIVEL_EXPORT void RegisterUncFileSystem(std::shared_ptr<UncFileSystem> fileSystem);
LUMIVEL_EXPORT std::shared_ptr<UncFileSystem> RegisteredUncFileSystem();

// True when a path starts with two separators of either kind.
LUMIVEL_EXPORT bool IsUncPath(std::u16string_view path);

}  // namespace lumivel
