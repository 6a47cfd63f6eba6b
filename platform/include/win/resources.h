// Module resources: finding, loading and sizing the resources compiled into a module, and the
// string table.
//
// A module's resources are compiled from its resource source at build time
// (platform/resources/README.md) and registered under the module's handle, the ELF load base.
// A null module handle names the main program. Resource data stays valid while the module is
// loaded; LoadResource and LockResource hand out pointers into it, FreeResource does nothing.
#pragma once

#include "win/types.h"

// Standard resource types (MAKEINTRESOURCE values).
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)

#define MAKEINTRESOURCE MAKEINTRESOURCEW

extern "C" {
// lpName and lpType are MAKEINTRESOURCE numbers, names ("#123" is the number 123), compared
// without regard to case. Failure: null with ERROR_RESOURCE_DATA_NOT_FOUND (module without
// resources), ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
WINBASEAPI HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
WINBASEAPI HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
WINBASEAPI HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
WINBASEAPI LPVOID LockResource(HGLOBAL hResData);
WINBASEAPI DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
WINBASEAPI BOOL FreeResource(HGLOBAL hResData);

// Copies string uID into lpBuffer (at most cchBufferMax - 1 characters and a null) and returns
// the number of characters copied. With cchBufferMax 0, lpBuffer receives a read-only pointer
// to the string inside the resource (not null-terminated) and the result is its length.
// A missing or empty string gives 0.
WINBASEAPI int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
}
