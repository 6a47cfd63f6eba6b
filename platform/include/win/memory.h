// Local and global heap blocks (kernel32 subset). FormatMessageW with
// FORMAT_MESSAGE_ALLOCATE_BUFFER hands out LocalAlloc memory that the caller frees with LocalFree.
#pragma once

#include "win/types.h"

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

extern "C" {
WINBASEAPI HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
WINBASEAPI HLOCAL LocalFree(HLOCAL hMem);
WINBASEAPI SIZE_T LocalSize(HLOCAL hMem);

// A GMEM_FIXED block is its own handle. A GMEM_MOVEABLE block is reached through a handle
// that GlobalLock turns into the data pointer and that survives GlobalReAlloc, as on Windows.
WINBASEAPI HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
WINBASEAPI HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
WINBASEAPI HGLOBAL GlobalFree(HGLOBAL hMem);
WINBASEAPI LPVOID GlobalLock(HGLOBAL hMem);
WINBASEAPI BOOL GlobalUnlock(HGLOBAL hMem);
WINBASEAPI SIZE_T GlobalSize(HGLOBAL hMem);
}
