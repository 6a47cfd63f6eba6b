// Local files behind HANDLEs and the opening of files by path (files area only).
#pragma once

#include <memory>
#include <string>

#include "lumivel/kernel_object.h"

namespace lumivel {

class LocalFile : public FileObject {
public:
    LocalFile(int fd, DWORD access, std::string deleteOnClose)
        : m_fd(fd), m_access(access), m_deleteOnClose(std::move(deleteOnClose)) {}
    ~LocalFile() override;

    DWORD read(void* buffer, DWORD size, DWORD* done) override;
    DWORD write(const void* buffer, DWORD size, DWORD* done) override;
    DWORD seek(LONGLONG distance, DWORD method, ULONGLONG* position) override;
    DWORD size(ULONGLONG* bytes) override;
    DWORD flush() override;
    DWORD information(BY_HANDLE_FILE_INFORMATION* info) override;
    DWORD setEnd() override;
    DWORD setTimes(const FILETIME* creation, const FILETIME* access, const FILETIME* write) override;
    DWORD fileType() const override;
    int descriptor() const override { return m_fd; }

    bool canRead() const;
    bool canWrite() const;

private:
    int m_fd;
    DWORD m_access;
    std::string m_deleteOnClose;
    bool m_ownsDescriptor = true;

    friend std::shared_ptr<LocalFile> StandardStream(int fd, DWORD access);
};

// A standard stream (0, 1, 2) that is not closed with its handle.
std::shared_ptr<LocalFile> StandardStream(int fd, DWORD access);

// Opens a file by path, local or UNC, with CreateFileW's parameters. On success *created tells
// whether the file was made anew.
DWORD OpenFileObject(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes,
                     std::shared_ptr<FileObject>* file, bool* created);

}  // namespace lumivel
