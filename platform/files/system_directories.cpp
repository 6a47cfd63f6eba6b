// The temporary, Windows and system directories of this platform.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "lumivel/temporary_file.h"
#include "lumivel/text.h"
#include "path.h"
#include "win/errors.h"
#include "win/datetime.h"
#include "win/files.h"
#include "win/threads.h"

namespace lumivel {
std::string PlatformDirectory();
}

using lumivel::Fail;

namespace {

UINT CopyOut(const std::u16string& text, LPWSTR buffer, UINT size) {
    if (!buffer || text.size() + 1 > size) return static_cast<UINT>(text.size() + 1);
    std::char_traits<char16_t>::copy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

std::u16string WindowsDirectory() {
    const char* overridden = std::getenv("LUMIVEL_WINDOWS_DIR");
    std::string dir = overridden && *overridden ? std::string(overridden) : lumivel::PlatformDirectory();
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return lumivel::FromUtf8(dir);
}

}  // namespace

extern "C" {

// A shared folder such as /tmp lets anyone plant names or links for the files written there,
// so the path handed out is a private folder of this process inside it unless the folder is
// the user's own; a folder that does not exist is named as it is, as Windows does.
DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    std::string dir;
    if (DWORD e = lumivel::TemporaryPathFolder(&dir)) return Fail(e, DWORD(0));
    if (dir.back() != '/') dir += '/';
    return CopyOut(lumivel::FromUtf8(dir), lpBuffer, nBufferLength);
}

UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName) {
    if (!lpPathName || !lpTempFileName) return Fail(ERROR_INVALID_PARAMETER, UINT(0));
    std::u16string base(lpPathName);
    if (!base.empty() && base.back() != u'/' && base.back() != u'\\') base += u'/';
    std::u16string prefix = lpPrefixString ? std::u16string(lpPrefixString).substr(0, 3) : std::u16string();
    auto name = [&](UINT number) {
        WCHAR hex[9];
        static const char16_t kDigits[] = u"0123456789ABCDEF";
        int n = 0;
        char16_t digits[8];
        do digits[n++] = kDigits[number & 0xF], number >>= 4;
        while (number && n < 8);
        for (int i = 0; i < n; ++i) hex[i] = digits[n - 1 - i];
        return base + prefix + std::u16string(hex, static_cast<size_t>(n)) + u".TMP";
    };
    auto store = [&](const std::u16string& path) -> bool {
        if (path.size() >= MAX_PATH) return false;
        std::char_traits<char16_t>::copy(lpTempFileName, path.c_str(), path.size() + 1);
        return true;
    };
    if (uUnique != 0) {
        if (!store(name(uUnique & 0xFFFF))) return Fail(ERROR_BUFFER_OVERFLOW, UINT(0));
        return uUnique & 0xFFFF;
    }
    UINT start = static_cast<UINT>(GetTickCount64() ^ static_cast<UINT>(getpid())) & 0xFFFF;
    for (UINT i = 0; i < 0x10000; ++i) {
        UINT number = ((start + i) & 0xFFFF) ? (start + i) & 0xFFFF : 1;
        std::u16string path = name(number);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            if (!store(path)) return Fail(ERROR_BUFFER_OVERFLOW, UINT(0));
            return number;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return 0;
    }
    return Fail(ERROR_FILE_EXISTS, UINT(0));
}

UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) { return CopyOut(WindowsDirectory(), lpBuffer, uSize); }

UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return CopyOut(WindowsDirectory() + u"/System32", lpBuffer, uSize);
}

}  // extern "C"
