// Wide formatted output in the Microsoft CRT dialect.
//
// In these W functions %s and %c take a wide string / WCHAR and %S / %C a narrow (UTF-8) one;
// %hs, %ls and %ws are explicit. Integer sizes follow Windows, not this platform's C library:
// %d, %ld, %lu, %lx take 32 bits (LONG is 32-bit); %I64d, %lld, %llu take 64 bits; %Id, %Iu,
// %zd, %zu take pointer size. %p prints 16 upper-case hex digits. A null string prints "(null)".
//
// Overflow: swprintf_s and vswprintf_s return -1 and leave an empty string (the CRT's
// behaviour when its invalid-parameter handler returns); _snwprintf_s with count _TRUNCATE
// truncates and returns -1. wsprintfW writes at most 1024 characters, as on Windows.
#pragma once

#include <cstdarg>

#include "win/types.h"

#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif

extern "C" {
WINBASEAPI int swprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, ...);
WINBASEAPI int vswprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, va_list argptr);
WINBASEAPI int _snwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format, ...);
WINBASEAPI int _vsnwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format,
                             va_list argptr);
// Plain _snwprintf: writes at most count characters, no terminator when it fills them all,
// and returns -1 on truncation.
WINBASEAPI int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
WINBASEAPI int _scwprintf(const WCHAR* format, ...);
WINBASEAPI int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
WINBASEAPI int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
}
