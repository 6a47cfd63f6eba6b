// Kept BSTRs: one copy per process of a short text that many records carry (a record's key
// names, a class name), instead of one allocation per record. An interned BSTR is an ordinary
// BSTR to every reader (length prefix, terminator); SysFreeString leaves it alone, so whoever
// frees a record that holds one needs to know nothing of it. It must never be written to.
//
// The texts live in one fixed block of the platform library, so a process holds at most that
// much of them whatever its data: once it is full, or for a text too long, the caller is
// told to allocate as before.
#pragma once

#include <string_view>

#include "win/oleauto.h"

namespace lumivel {

// The process's one copy of the text, or null when it is not kept (too long, or no room left).
LUMIVEL_EXPORT BSTR InternedBstr(std::u16string_view text);

// The kept copy when there is one, else a fresh SysAllocStringLen (null when memory runs out).
inline BSTR SharedOrNewBstr(std::u16string_view text) {
    if (BSTR kept = InternedBstr(text)) return kept;
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// Whether the BSTR is a kept copy (SysFreeString ignores those).
LUMIVEL_EXPORT bool IsInternedBstr(const OLECHAR* text);

// Another owner of the same text: the caller frees what it gets with SysFreeString, as any
// BSTR, and the text lives until its last owner has. For texts held twice (a record's DN under
// two keys, the provider's copy of a listed record). Neither owner may write into it. Null
// gives null; a kept copy is returned as it is; null also when a copy was due and memory ran
// out. Only for BSTRs of this platform's allocation (SysAlloc*), never for a foreign block.
LUMIVEL_EXPORT BSTR ShareBstr(BSTR text);

}  // namespace lumivel
