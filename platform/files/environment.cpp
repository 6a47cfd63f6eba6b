// Environment variables and %VAR% expansion.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "lumivel/text.h"
#include "lumivel/wide_string.h"
#include "path.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/processes.h"
#include "win/threads.h"

extern char** environ;
using lumivel::Fail;

namespace {

// setenv and getenv are not safe against each other; every access here takes this lock.
std::mutex g_environmentMutex;

bool ValidName(std::u16string_view name) { return !name.empty() && name.find(u'=') == std::u16string_view::npos; }

// The exact name first, then any variable whose name differs only in case, as Windows
// names compare.
std::optional<std::string> Lookup(std::u16string_view name) {
    std::lock_guard lock(g_environmentMutex);
    std::string narrow = lumivel::ToUtf8(name);
    if (const char* value = std::getenv(narrow.c_str())) return std::string(value);
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        size_t equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        if (lumivel::EqualsNoCase(lumivel::FromUtf8(text.substr(0, equals)), name))
            return std::string(text.substr(equals + 1));
    }
    return std::nullopt;
}

std::optional<std::u16string> WindowsDefault(std::u16string_view name) {
    auto is = [&](std::u16string_view n) { return lumivel::AsciiEqualsNoCase(name, n); };
    if (is(u"SystemRoot") || is(u"windir")) {
        WCHAR buffer[4096];
        UINT n = GetWindowsDirectoryW(buffer, ARRAYSIZE(buffer));
        if (n && n < ARRAYSIZE(buffer)) return std::u16string(buffer, n);
    } else if (is(u"USERPROFILE")) {
        if (auto home = Lookup(u"HOME")) return lumivel::FromUtf8(*home);
        if (struct passwd* pw = getpwuid(getuid())) return lumivel::FromUtf8(pw->pw_dir);
    } else if (is(u"LOCALAPPDATA")) {
        // Per-user data of this computer that may be rebuilt: the user's cache folder.
        if (auto cache = Lookup(u"XDG_CACHE_HOME"); cache && !cache->empty() && (*cache)[0] == '/')
            return lumivel::FromUtf8(*cache);
        if (auto profile = WindowsDefault(u"USERPROFILE")) return *profile + u"/.cache";
    } else if (is(u"USERNAME")) {
        if (struct passwd* pw = getpwuid(getuid())) return lumivel::FromUtf8(pw->pw_name);
    } else if (is(u"COMPUTERNAME")) {
        char host[256] = {};
        if (gethostname(host, sizeof(host) - 1) == 0) return lumivel::FromUtf8(host);
    } else if (is(u"TEMP") || is(u"TMP")) {
        WCHAR buffer[4096];
        DWORD n = GetTempPathW(ARRAYSIZE(buffer), buffer);
        if (n > 1 && n < ARRAYSIZE(buffer)) return std::u16string(buffer, n - 1);
    }
    return std::nullopt;
}

std::u16string Expand(std::u16string_view source) {
    std::u16string out;
    size_t i = 0;
    while (i < source.size()) {
        size_t open = source.find(u'%', i);
        if (open == std::u16string_view::npos) {
            out.append(source.substr(i));
            break;
        }
        out.append(source.substr(i, open - i));
        size_t close = source.find(u'%', open + 1);
        if (close == std::u16string_view::npos) {
            out.append(source.substr(open));
            break;
        }
        std::u16string_view name = source.substr(open + 1, close - open - 1);
        std::optional<std::u16string> value;
        if (ValidName(name)) {
            if (auto found = Lookup(name)) value = lumivel::FromUtf8(*found);
            else value = WindowsDefault(name);
        }
        if (value) {
            out += *value;
            i = close + 1;
        } else {
            // Unknown: keep the first '%' and the name; the closing '%' may open the next one.
            out.append(source.substr(open, close - open));
            i = close;
        }
    }
    return out;
}

}  // namespace

extern "C" {

DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    if (!lpName || !ValidName(lpName)) return Fail(ERROR_ENVVAR_NOT_FOUND, DWORD(0));
    auto value = Lookup(lpName);
    if (!value) return Fail(ERROR_ENVVAR_NOT_FOUND, DWORD(0));
    std::u16string wide = lumivel::FromUtf8(*value);
    if (wide.size() + 1 > nSize || !lpBuffer) return static_cast<DWORD>(wide.size() + 1);
    std::char_traits<char16_t>::copy(lpBuffer, wide.c_str(), wide.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}

BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
    if (!lpName || !ValidName(lpName)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::string name = lumivel::ToUtf8(lpName);
    std::lock_guard lock(g_environmentMutex);
    int r = lpValue ? ::setenv(name.c_str(), lumivel::ToUtf8(lpValue).c_str(), 1) : ::unsetenv(name.c_str());
    return r == 0 ? TRUE : Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
}

DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
    if (!lpSrc) return Fail(ERROR_INVALID_PARAMETER, DWORD(0));
    std::u16string expanded = Expand(lpSrc);
    DWORD needed = static_cast<DWORD>(expanded.size() + 1);
    if (lpDst && nSize >= needed) std::char_traits<char16_t>::copy(lpDst, expanded.c_str(), needed);
    else if (lpDst && nSize) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return needed;
}

BOOL ExpandEnvironmentStringsForUserW(HANDLE hToken, LPCWSTR lpSrc, LPWSTR lpDest, DWORD dwSize) {
    if (hToken && hToken != GetCurrentProcess()) return Fail(ERROR_NO_TOKEN, FALSE);
    if (!lpSrc || !lpDest) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::u16string expanded = Expand(lpSrc);
    if (expanded.size() + 1 > dwSize) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::char_traits<char16_t>::copy(lpDest, expanded.c_str(), expanded.size() + 1);
    return TRUE;
}

}  // extern "C"
