// Wide strings: lengths, copies, comparisons and code-page conversion (kernel32/shlwapi subset).
//
// Case-insensitive comparison comes in two flavours:
//  - lstrcmpiW, CompareStringW(NORM_IGNORECASE), StrCmpIW, StrCmpNIW, StrStrIW fold case with
//    the full Unicode simple case folding and then compare by code point;
//  - lumivel::AsciiCompareNoCase (lumivel/wide_string.h) folds only A-Z, for protocol text.
// lstrcmpW and CompareStringW without flags order case-insensitively first and put a
// lower-case letter before its upper-case form on a tie, as Windows' word sort does; they
// answer "equal" only for identical strings.
//
// The ANSI code page of this platform is UTF-8 (65001): CP_ACP, CP_OEMCP and CP_THREAD_ACP are
// UTF-8. Converting to CP_ACP turns an unpaired surrogate into lpDefaultChar (default "?") and
// sets *lpUsedDefaultChar; converting to CP_UTF8 turns it into U+FFFD as Windows does (or fails
// with ERROR_NO_UNICODE_TRANSLATION under WC_ERR_INVALID_CHARS).
#pragma once

#include "win/types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

#define NORM_IGNORECASE 0x00000001
#define NORM_IGNORENONSPACE 0x00000002
#define NORM_IGNORESYMBOLS 0x00000004
#define NORM_IGNOREKANATYPE 0x00010000
#define NORM_IGNOREWIDTH 0x00020000
#define LINGUISTIC_IGNORECASE 0x00000010
#define SORT_STRINGSORT 0x00001000
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
#ifndef LOCALE_USER_DEFAULT
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_INVARIANT 0x007f
#endif

extern "C" {
WINBASEAPI int lstrlenW(LPCWSTR lpString);
WINBASEAPI LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
WINBASEAPI LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
WINBASEAPI LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
WINBASEAPI int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
WINBASEAPI int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);

// cchCount -1 means null-terminated. Returns CSTR_* or 0 (GetLastError) on bad arguments.
WINBASEAPI int CompareStringW(LCID Locale, DWORD dwCmpFlags, PCWSTR lpString1, int cchCount1, PCWSTR lpString2,
                              int cchCount2);
WINBASEAPI int CompareStringOrdinal(LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2, int cchCount2,
                                    BOOL bIgnoreCase);

// shlwapi string helpers (case folding as lstrcmpiW).
WINBASEAPI int StrCmpIW(LPCWSTR psz1, LPCWSTR psz2);
WINBASEAPI int StrCmpNIW(LPCWSTR psz1, LPCWSTR psz2, int nChar);
WINBASEAPI int StrCmpNW(LPCWSTR psz1, LPCWSTR psz2, int nChar);
WINBASEAPI LPWSTR StrStrW(LPCWSTR pszFirst, LPCWSTR pszSrch);
WINBASEAPI LPWSTR StrStrIW(LPCWSTR pszFirst, LPCWSTR pszSrch);
WINBASEAPI LPWSTR StrChrW(LPCWSTR pszStart, WCHAR wMatch);
WINBASEAPI LPWSTR StrRChrW(LPCWSTR pszStart, LPCWSTR pszEnd, WCHAR wMatch);

WINBASEAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                   LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                   LPBOOL lpUsedDefaultChar);
WINBASEAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                   LPWSTR lpWideCharStr, int cchWideChar);
WINBASEAPI UINT GetACP();
WINBASEAPI UINT GetOEMCP();
}
