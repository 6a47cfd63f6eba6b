// The engine's byte streams on platform files, so archives may also lie on UNC paths.
#pragma once

#include <string>

#include "provider/archive/zip_format.h"
#include "win/files.h"

namespace revivo::zip {

// Owns a file handle; closes it on destruction.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }
    // False when closing failed (a late write error).
    bool Close();
    void Reset(HANDLE handle) {
        Close();
        m_handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE m_handle = nullptr;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file);
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override;
    bool SizeKnown() const { return m_sizeKnown; }

private:
    HANDLE m_file;
    uint64_t m_size = 0;
    bool m_sizeKnown = false;
};

class FileInput : public InputStream {
public:
    explicit FileInput(HANDLE file) : m_file(file) {}
    bool Read(void* buffer, size_t capacity, size_t* read) override;

private:
    HANDLE m_file;
};

class FileOutput : public ArchiveOutput {
public:
    explicit FileOutput(HANDLE file) : m_file(file) {}
    bool Write(const void* data, size_t count) override;
    uint64_t Position() const override { return m_position; }
    bool WriteAt(uint64_t offset, const void* data, size_t count) override;

private:
    bool WriteAll(const void* data, size_t count);
    bool SeekTo(uint64_t offset);

    HANDLE m_file;
    uint64_t m_position = 0;
};

}  // namespace revivo::zip
