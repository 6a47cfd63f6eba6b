// FIXME: local declarations of base functions until the base headers land; replace with
// their includes.
#pragma once

#include "win/types.h"

#define NORM_IGNORECASE 0x00000001
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
#define CP_UTF8 65001
#ifndef LOCALE_INVARIANT
#define LOCALE_INVARIANT 0x007f
#endif

extern "C" {
int CompareStringW(LCID Locale, DWORD dwCmpFlags, PCWSTR lpString1, int cchCount1, PCWSTR lpString2, int cchCount2);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar);
}
