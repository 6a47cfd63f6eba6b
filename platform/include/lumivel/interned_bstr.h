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

}  // namespace lumivel
