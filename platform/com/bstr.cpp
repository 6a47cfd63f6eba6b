// BSTR allocation.
//
// ABI: a BSTR points at the first UTF-16 unit of a block that starts 4 bytes earlier with the
// string's length in bytes (not counting the terminator) and ends with a 16-bit null, as on
// Windows. Because the length is stored, embedded nulls survive and odd byte lengths
// (SysAllocStringByteLen) are kept exactly. Blocks come from malloc so that any module can
// free any BSTR; the process's kept copies (lumivel/interned_bstr.h) are the one exception,
// and SysFreeString knows them.
// Before the length the block holds a reference count, so that one text can be held by several
// owners (lumivel::ShareBstr); SysFreeString frees the block when the last one lets go.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "lumivel/interned_bstr.h"
#include "win/oleauto.h"

namespace {

constexpr size_t kPrefixBytes = sizeof(uint32_t);
// The reference count and the length; the text starts 8-aligned.
constexpr size_t kHeaderBytes = 2 * sizeof(uint32_t);
// Windows refuses lengths whose byte count does not fit the 32-bit prefix.
constexpr size_t kMaxByteLength = 0x7FFFFFF0u;
// Past this many owners a share is a copy instead, so the count can never wrap.
constexpr uint32_t kMaxReferences = 0x7FFFFFFFu;

uint32_t* PrefixOf(BSTR text) { return reinterpret_cast<uint32_t*>(reinterpret_cast<BYTE*>(text) - kPrefixBytes); }
BYTE* BlockOf(BSTR text) { return reinterpret_cast<BYTE*>(text) - kHeaderBytes; }
std::atomic_ref<uint32_t> ReferencesOf(BSTR text) { return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(BlockOf(text))); }

// Allocates room for byteLength bytes plus the terminator, copies source when given and zeroes
// the rest; the terminator always follows the data, also for odd lengths.
BSTR AllocateBytes(const void* source, size_t byteLength) {
    if (byteLength > kMaxByteLength) return nullptr;
    // An odd length still needs a whole 16-bit null after its last byte.
    size_t total = kHeaderBytes + byteLength + sizeof(OLECHAR) + 1;
    auto* block = static_cast<BYTE*>(std::malloc(total));
    if (!block) return nullptr;
    const uint32_t header[2] = {1, static_cast<uint32_t>(byteLength)};
    std::memcpy(block, header, kHeaderBytes);
    BYTE* data = block + kHeaderBytes;
    if (source)
        std::memcpy(data, source, byteLength);
    else
        std::memset(data, 0, byteLength);
    std::memset(data + byteLength, 0, total - kHeaderBytes - byteLength);
    return reinterpret_cast<BSTR>(data);
}

size_t LengthOf(const OLECHAR* text) {
    size_t length = 0;
    while (text[length]) ++length;
    return length;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return AllocateBytes(psz, LengthOf(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    if (ui > kMaxByteLength / sizeof(OLECHAR)) return nullptr;
    return AllocateBytes(strIn, size_t(ui) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) { return AllocateBytes(psz, len); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return FALSE;
    // The new text may live inside the old block, so copy before freeing.
    BSTR fresh = psz ? SysAllocString(psz) : nullptr;
    if (psz && !fresh) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr) return FALSE;
    BSTR fresh = SysAllocStringLen(psz, len);
    if (!fresh) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

void SysFreeString(BSTR bstrString) {
    // A kept copy belongs to the process, not to the record that let go of it.
    if (!bstrString || lumivel::IsInternedBstr(bstrString)) return;
    // The last owner's release must see every write the others made before theirs.
    if (ReferencesOf(bstrString).fetch_sub(1, std::memory_order_acq_rel) == 1) std::free(BlockOf(bstrString));
}

UINT SysStringLen(BSTR pbstr) { return pbstr ? *PrefixOf(pbstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? *PrefixOf(bstr) : 0; }

}  // extern "C"

namespace lumivel {

BSTR ShareBstr(BSTR text) {
    if (!text || IsInternedBstr(text)) return text;
    std::atomic_ref<uint32_t> references = ReferencesOf(text);
    uint32_t now = references.load(std::memory_order_relaxed);
    do {
        if (now >= kMaxReferences) return AllocateBytes(text, SysStringByteLen(text));
    } while (!references.compare_exchange_weak(now, now + 1, std::memory_order_relaxed));
    return text;
}

}  // namespace lumivel
