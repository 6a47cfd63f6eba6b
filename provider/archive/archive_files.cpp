#include "provider/archive/archive_files.h"

#include <algorithm>

#include "win/threads.h"

namespace revivo::zip {

namespace {
constexpr size_t kMaxTransfer = 1 << 30;
}

bool FileHandle::Close() {
    if (!m_handle) return true;
    BOOL closed = CloseHandle(m_handle);
    m_handle = nullptr;
    return closed != FALSE;
}

FileSource::FileSource(HANDLE file) : m_file(file) {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 0) {
        m_size = static_cast<uint64_t>(size.QuadPart);
        m_sizeKnown = true;
    }
}

bool FileSource::ReadAt(uint64_t offset, void* buffer, size_t count) {
    if (offset > m_size || count > m_size - offset) return false;
    auto out = static_cast<char*>(buffer);
    while (count > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD want = static_cast<DWORD>(std::min(count, kMaxTransfer));
        DWORD got = 0;
        if (!ReadFile(m_file, out, want, &got, &at) || got == 0) return false;
        out += got;
        offset += got;
        count -= got;
    }
    return true;
}

bool FileInput::Read(void* buffer, size_t capacity, size_t* read) {
    DWORD got = 0;
    if (!ReadFile(m_file, buffer, static_cast<DWORD>(std::min(capacity, kMaxTransfer)), &got, nullptr)) return false;
    *read = got;
    return true;
}

bool FileOutput::WriteAll(const void* data, size_t count) {
    auto in = static_cast<const char*>(data);
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(m_file, in, static_cast<DWORD>(std::min(count, kMaxTransfer)), &written, nullptr) ||
            written == 0) {
            return false;
        }
        in += written;
        count -= written;
    }
    return true;
}

bool FileOutput::SeekTo(uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN) != FALSE;
}

bool FileOutput::Write(const void* data, size_t count) {
    if (!WriteAll(data, count)) return false;
    m_position += count;
    return true;
}

bool FileOutput::WriteAt(uint64_t offset, const void* data, size_t count) {
    return SeekTo(offset) && WriteAll(data, count) && SeekTo(m_position);
}

}  // namespace revivo::zip
