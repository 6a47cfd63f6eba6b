// INF files (setupapi subset): open a WIN4-style INF, count and index the lines of a section
// and read string fields.
//
// Field numbering is SetupAPI's: field 0 is the key (the text left of the first '=' that comes
// before any comma), fields 1..n the comma-separated values. A line without '=' has no key,
// except that a line of exactly one field answers that field as its key too. Double quotes
// are removed from field text ("" inside quotes is a literal quote), text after ';' outside
// quotes is a comment, a trailing '\' continues a line, and section names compare without
// regard to case; sections of the same name are merged. Files are UTF-16LE when they start
// with FF FE, else 8-bit text in the ANSI code page (UTF-8 here). %strkey% tokens are not
// substituted: field text is delivered as written, of any length.
#pragma once

#include "win/types.h"

#define INF_STYLE_NONE 0x00000000
#define INF_STYLE_OLDNT 0x00000001
#define INF_STYLE_WIN4 0x00000002

#define MAX_INF_STRING_LENGTH 4096
#define MAX_SECT_NAME_LEN 255

#ifndef ERROR_CLASS_MISMATCH
#define ERROR_CLASS_MISMATCH 0xE0000201L
#endif

typedef struct _INFCONTEXT {
    PVOID Inf;
    PVOID CurrentInf;
    UINT Section;
    UINT Line;
} INFCONTEXT, *PINFCONTEXT;

extern "C" {
// INF_STYLE_WIN4 files need a [Version] section whose Signature is "$Windows NT$",
// "$Chicago$" or "$Windows 95$". On failure returns INVALID_HANDLE_VALUE; *ErrorLine is the
// 1-based line of a syntax error, 0 otherwise.
WINBASEAPI HINF SetupOpenInfFileW(PCWSTR FileName, PCWSTR InfClass, DWORD InfStyle, PUINT ErrorLine);
WINBASEAPI void SetupCloseInfFile(HINF InfHandle);
// -1 with ERROR_SECTION_NOT_FOUND when the section does not exist.
WINBASEAPI LONG SetupGetLineCountW(HINF InfHandle, PCWSTR Section);
// ERROR_LINE_NOT_FOUND for a missing section or an index past the last line.
WINBASEAPI BOOL SetupGetLineByIndexW(HINF InfHandle, PCWSTR Section, DWORD Index, PINFCONTEXT Context);
// *RequiredSize receives the length including the terminating null. A buffer that is too
// small fails with ERROR_INSUFFICIENT_BUFFER and is left untouched; a null buffer only asks
// for the size. A field the line does not have fails with ERROR_INVALID_PARAMETER.
WINBASEAPI BOOL SetupGetStringFieldW(PINFCONTEXT Context, DWORD FieldIndex, PWSTR ReturnBuffer,
                                     DWORD ReturnBufferSize, PDWORD RequiredSize);
}
