// FindResourceW and friends over the registered resource tables.
#include "win/errors.h"
#include "resource_registry.h"
#include "win/resources.h"
#include "win/winerror.h"

using lumivel::ResourceEntry;

extern "C" {

HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    const ResourceEntry* entry = lumivel::FindResourceEntry(hModule, lpName, lpType);
    return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(entry));
}

// Modules carry one language, so every language finds the same resource.
HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD /*wLanguage*/) {
    return FindResourceW(hModule, lpName, lpType);
}

HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) {
    const ResourceEntry* entry = lumivel::ValidResourceEntry(hModule, hResInfo);
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<BYTE*>(entry->data);
}

LPVOID LockResource(HGLOBAL hResData) { return hResData; }

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    const ResourceEntry* entry = lumivel::ValidResourceEntry(hModule, hResInfo);
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return entry->size;
}

BOOL FreeResource(HGLOBAL /*hResData*/) { return FALSE; }

}  // extern "C"
