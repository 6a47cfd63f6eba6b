#include "schemacache/image_list_files.h"

#include "schemacache/file_replacement.h"
#include "win/files.h"
#include "win/threads.h"

namespace glossar {

HRESULT ImageListFileSlot::Read(void* buffer, ULONG size, ULONG* read) {
    std::lock_guard guard(m_mutex);
    if (read) *read = 0;
    if (!buffer && size) return STG_E_INVALIDPOINTER;
    if (m_file == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    ULONG total = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(m_file, bytes + total, size - total, &got, nullptr)) {
            if (read) *read = total;
            return STG_E_READFAULT;
        }
        if (got == 0) break;
        total += got;
    }
    if (read) *read = total;
    return total == size ? S_OK : S_FALSE;
}

HRESULT ImageListFileSlot::Write(const void* data, ULONG size, ULONG* written) {
    std::lock_guard guard(m_mutex);
    if (written) *written = 0;
    if (!data && size) return STG_E_INVALIDPOINTER;
    if (m_file == INVALID_HANDLE_VALUE) return STG_E_ACCESSDENIED;
    DWORD done = 0;
    const BOOL ok = WriteFile(m_file, data, size, &done, nullptr);
    if (written) *written = done;
    if (!ok) return STG_E_WRITEFAULT;
    return done == size ? S_OK : STG_E_MEDIUMFULL;
}

HIMAGELIST ImageListFileSlot::ReadList(const std::u16string& path, IStream* stream) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    std::lock_guard guard(m_mutex);
    m_file = file;
    HIMAGELIST list = ImageList_Read(stream);
    m_file = INVALID_HANDLE_VALUE;
    CloseHandle(file);
    return list;
}

bool ImageListFileSlot::WriteList(const std::u16string& path, HIMAGELIST list, IStream* stream) {
    if (!list) return false;
    FileReplacement replacement(path);
    if (!replacement.valid()) return false;
    bool written = false;
    {
        std::lock_guard guard(m_mutex);
        m_file = replacement.handle();
        written = ImageList_Write(list, stream) != FALSE;
        m_file = INVALID_HANDLE_VALUE;
    }
    return written && replacement.commit();
}

}  // namespace glossar
