// The thread's last-error value and system message texts.
#pragma once

#include <cstdarg>

#include "win/memory.h"
#include "win/winerror.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#ifndef LANG_ENGLISH
#define LANG_ENGLISH 0x09
#endif
#ifndef SUBLANG_DEFAULT
#define SUBLANG_DEFAULT 0x01
#endif
#ifndef SUBLANG_ENGLISH_US
#define SUBLANG_ENGLISH_US 0x01
#endif

extern "C" {
WINBASEAPI DWORD GetLastError();
WINBASEAPI void SetLastError(DWORD dwErrCode);

// FROM_SYSTEM gives the English Windows texts, each ending in ".\r\n" as Windows has them.
// Arguments is a va_list* or, with FORMAT_MESSAGE_ARGUMENT_ARRAY, an array of DWORD_PTR.
WINBASEAPI DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                LPWSTR lpBuffer, DWORD nSize, va_list* Arguments);
}
