// Heap blocks: the COM task allocator and the Local/Global heaps.
//
// Local and global blocks carry a small header (size, kind, lock count) so that LocalSize,
// GlobalSize and GlobalUnlock can answer and a foreign pointer is refused instead of freed.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "win/com.h"
#include "win/errors.h"
#include "win/memory.h"

namespace {

constexpr uint32_t kLocalMagic = 0x4C4F4341;   // "LOCA"
constexpr uint32_t kGlobalMagic = 0x474C4F42;  // "GLOB"

struct alignas(16) BlockHeader {
    size_t size;
    uint32_t magic;
    LONG locks;
};

BlockHeader* HeaderOf(void* block, uint32_t magic) {
    if (!block || (reinterpret_cast<uintptr_t>(block) % alignof(BlockHeader)) != 0) return nullptr;
    auto* header = static_cast<BlockHeader*>(block) - 1;
    return header->magic == magic ? header : nullptr;
}

void* Allocate(size_t bytes, bool zero, uint32_t magic) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* raw = zero ? std::calloc(1, sizeof(BlockHeader) + bytes) : std::malloc(sizeof(BlockHeader) + bytes);
    if (!raw) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* header = new (raw) BlockHeader{bytes, magic, 0};
    return header + 1;
}

// Returns null on success, the block itself on failure, as LocalFree and GlobalFree do.
void* Free(void* block, uint32_t magic) {
    if (!block) return nullptr;
    BlockHeader* header = HeaderOf(block, magic);
    if (!header) {
        SetLastError(ERROR_INVALID_HANDLE);
        return block;
    }
    header->magic = 0;
    std::free(header);
    return nullptr;
}

// A GMEM_MOVEABLE block is reached through a handle that stays the same when the block
// grows, as on Windows: callers (a stream over a caller's block) keep the handle they gave.
struct MoveableBlock {
    void* data;
    size_t size;
    LONG locks;
};

std::mutex& MoveableMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<MoveableBlock*>& MoveableBlocks() {
    static auto* blocks = new std::unordered_set<MoveableBlock*>;
    return *blocks;
}

// Only called with the mutex held.
MoveableBlock* FindMoveable(HGLOBAL handle) {
    auto* block = static_cast<MoveableBlock*>(handle);
    return MoveableBlocks().count(block) ? block : nullptr;
}

}  // namespace

extern "C" {

LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (cb == 0) {
        std::free(pv);
        return nullptr;
    }
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) { return Allocate(uBytes, uFlags & LMEM_ZEROINIT, kLocalMagic); }

HLOCAL LocalFree(HLOCAL hMem) { return Free(hMem, kLocalMagic); }

SIZE_T LocalSize(HLOCAL hMem) {
    BlockHeader* header = HeaderOf(hMem, kLocalMagic);
    if (!header) SetLastError(ERROR_INVALID_HANDLE);
    return header ? header->size : 0;
}

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if (!(uFlags & GMEM_MOVEABLE)) return Allocate(dwBytes, uFlags & GMEM_ZEROINIT, kGlobalMagic);
    auto* block = new (std::nothrow) MoveableBlock{nullptr, dwBytes, 0};
    if (block) block->data = (uFlags & GMEM_ZEROINIT) ? std::calloc(1, dwBytes ? dwBytes : 1) : std::malloc(dwBytes ? dwBytes : 1);
    if (!block || !block->data) {
        delete block;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(MoveableMutex());
    MoveableBlocks().insert(block);
    return block;
}

HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
    {
        std::lock_guard<std::mutex> lock(MoveableMutex());
        if (MoveableBlock* block = FindMoveable(hMem)) {
            void* grown = std::realloc(block->data, dwBytes ? dwBytes : 1);
            if (!grown) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            if ((uFlags & GMEM_ZEROINIT) && dwBytes > block->size)
                std::memset(static_cast<BYTE*>(grown) + block->size, 0, dwBytes - block->size);
            block->data = grown;
            block->size = dwBytes;
            return hMem;
        }
    }
    BlockHeader* header = HeaderOf(hMem, kGlobalMagic);
    if (!header) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    size_t old = header->size;
    if (dwBytes > SIZE_MAX - sizeof(BlockHeader)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* grown = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + dwBytes));
    if (!grown) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    grown->size = dwBytes;
    if ((uFlags & GMEM_ZEROINIT) && dwBytes > old) std::memset(reinterpret_cast<BYTE*>(grown + 1) + old, 0, dwBytes - old);
    return grown + 1;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    {
        std::lock_guard<std::mutex> lock(MoveableMutex());
        if (MoveableBlock* block = FindMoveable(hMem)) {
            MoveableBlocks().erase(block);
            std::free(block->data);
            delete block;
            return nullptr;
        }
    }
    return Free(hMem, kGlobalMagic);
}

LPVOID GlobalLock(HGLOBAL hMem) {
    {
        std::lock_guard<std::mutex> lock(MoveableMutex());
        if (MoveableBlock* block = FindMoveable(hMem)) {
            ++block->locks;
            return block->data;
        }
    }
    BlockHeader* header = HeaderOf(hMem, kGlobalMagic);
    if (!header) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    __atomic_add_fetch(&header->locks, 1, __ATOMIC_SEQ_CST);
    return hMem;
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    {
        std::lock_guard<std::mutex> lock(MoveableMutex());
        if (MoveableBlock* block = FindMoveable(hMem)) {
            if (block->locks == 0) {
                SetLastError(ERROR_NOT_LOCKED);
                return FALSE;
            }
            if (--block->locks == 0) SetLastError(NO_ERROR);
            return block->locks > 0;
        }
    }
    BlockHeader* header = HeaderOf(hMem, kGlobalMagic);
    if (!header) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    LONG left = __atomic_sub_fetch(&header->locks, 1, __ATOMIC_SEQ_CST);
    if (left < 0) {
        __atomic_store_n(&header->locks, 0, __ATOMIC_SEQ_CST);
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (left == 0) SetLastError(NO_ERROR);
    return left > 0;
}

SIZE_T GlobalSize(HGLOBAL hMem) {
    {
        std::lock_guard<std::mutex> lock(MoveableMutex());
        if (MoveableBlock* block = FindMoveable(hMem)) return block->size;
    }
    BlockHeader* header = HeaderOf(hMem, kGlobalMagic);
    if (!header) SetLastError(ERROR_INVALID_HANDLE);
    return header ? header->size : 0;
}

}  // extern "C"
