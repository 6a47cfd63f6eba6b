// WideCharToMultiByte and MultiByteToWideChar for the UTF-8 code pages of this platform.
#include <optional>
#include <string>

#include "lumivel/text.h"
#include "win/errors.h"
#include "win/strings.h"

namespace {

bool IsUtf8CodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

// Copies a converted result into the caller's buffer with the Windows size rules.
template <class Out, class Char>
int Deliver(const Out& converted, Char* buffer, int capacity) {
    if (converted.size() > static_cast<size_t>(INT32_MAX)) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    int needed = static_cast<int>(converted.size());
    if (capacity == 0) return needed;
    if (needed > capacity) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(converted.begin(), converted.end(), buffer);
    return needed;
}

}  // namespace

extern "C" {

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) ||
        (cbMultiByte > 0 && reinterpret_cast<const void*>(lpWideCharStr) == lpMultiByteStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!IsUtf8CodePage(CodePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const bool utf8 = CodePage == CP_UTF8;
    if (utf8 && (lpDefaultChar || lpUsedDefaultChar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwFlags & ~(WC_ERR_INVALID_CHARS | WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t length = cchWideChar < 0 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1 : size_t(cchWideChar);
    // UTF-8 writes U+FFFD for an unpaired surrogate; the "ANSI" code pages their default character.
    const std::string defaultText = utf8 ? std::string("\xEF\xBF\xBD") : lpDefaultChar ? std::string(lpDefaultChar) : "?";
    bool usedDefault = false;
    std::optional<std::string> out =
        lumivel::Utf16ToUtf8(std::u16string_view(lpWideCharStr, length),
                             (dwFlags & WC_ERR_INVALID_CHARS) ? lumivel::IllFormed::Refuse : lumivel::IllFormed::Replace,
                             defaultText, &usedDefault);
    if (!out) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return Deliver(*out, lpMultiByteStr, cbMultiByte);
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) ||
        (cchWideChar > 0 && reinterpret_cast<const void*>(lpMultiByteStr) == lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!IsUtf8CodePage(CodePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwFlags & ~(MB_ERR_INVALID_CHARS | MB_PRECOMPOSED)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t length = cbMultiByte < 0 ? std::char_traits<char>::length(lpMultiByteStr) + 1 : size_t(cbMultiByte);
    std::optional<std::u16string> out =
        lumivel::Utf8ToUtf16(std::string_view(lpMultiByteStr, length),
                             (dwFlags & MB_ERR_INVALID_CHARS) ? lumivel::IllFormed::Refuse : lumivel::IllFormed::Replace);
    if (!out) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return Deliver(*out, lpWideCharStr, cchWideChar);
}

UINT GetACP() { return CP_UTF8; }
UINT GetOEMCP() { return CP_UTF8; }

}  // extern "C"
