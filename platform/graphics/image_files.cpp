// Reading picture files through the platform's file functions, so UNC paths work as well.
#include "image_files.h"

#include "win/errors.h"
#include "win/files.h"
#include "win/threads.h"
#include "win/winerror.h"

namespace lumivel::gfx {

std::optional<std::vector<BYTE>> ReadImageFile(LPCWSTR path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    struct Closer {
        HANDLE handle;
        ~Closer() { CloseHandle(handle); }
    } closer{file};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return std::nullopt;
    if (size.QuadPart < 0 || size.QuadPart > kMaxImageFileBytes) {
        SetLastError(ERROR_INVALID_DATA);
        return std::nullopt;
    }
    std::vector<BYTE> bytes(size_t(size.QuadPart));
    size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + filled, DWORD(bytes.size() - filled), &read, nullptr)) return std::nullopt;
        if (read == 0) break;  // the file shrank meanwhile
        filled += read;
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace lumivel::gfx
