// LoadStringW over string-table blocks: block n + 1 holds strings 16n .. 16n + 15, each a
// 16-bit length followed by that many UTF-16 units, as Windows stores them.
#include <cstring>

#include "win/errors.h"
#include "lumivel/resource_lookup.h"
#include "win/resources.h"
#include "win/winerror.h"

namespace {

struct StringSlice {
    const WCHAR* text;
    int length;
};

// Walks the block to the entry; a block cut short is treated as ending there.
StringSlice FindString(HINSTANCE instance, UINT id) {
    auto block = lumivel::FindResourceData(instance, MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING);
    if (!block) return {nullptr, 0};
    const BYTE* cursor = block->data;
    const BYTE* end = block->data + block->size;
    for (UINT index = 0; index <= (id & 15); ++index) {
        if (end - cursor < 2) return {nullptr, 0};
        WORD length;
        std::memcpy(&length, cursor, 2);
        cursor += 2;
        if (size_t(end - cursor) < size_t(length) * 2) return {nullptr, 0};
        if (index == (id & 15)) return {reinterpret_cast<const WCHAR*>(cursor), length};
        cursor += size_t(length) * 2;
    }
    return {nullptr, 0};
}

}  // namespace

extern "C" int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    StringSlice found = FindString(hInstance, uID);
    if (found.length == 0) {
        if (cchBufferMax > 0) lpBuffer[0] = 0;
        if (found.text != nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (cchBufferMax == 0) {
        std::memcpy(lpBuffer, &found.text, sizeof(found.text));
        return found.length;
    }
    int copied = found.length < cchBufferMax - 1 ? found.length : cchBufferMax - 1;
    std::memcpy(lpBuffer, found.text, size_t(copied) * sizeof(WCHAR));
    lpBuffer[copied] = 0;
    return copied;
}
