// Internal text helpers for platform code (not a Windows API): UTF-8 <-> UTF-16.
// Product modules use the Windows conversion functions instead.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

// Converts UTF-16 to UTF-8; an unpaired surrogate becomes '?'.
LUMIVEL_EXPORT std::string ToUtf8(std::u16string_view text);
inline std::string ToUtf8(const WCHAR* text) { return text ? ToUtf8(std::u16string_view(text)) : std::string(); }

// Appends one code point (at most U+10FFFF, no surrogate) in UTF-8.
LUMIVEL_EXPORT void AppendUtf8(std::string& out, char32_t c);

// Converts UTF-8 to UTF-16; an invalid byte sequence becomes U+FFFD.
LUMIVEL_EXPORT std::u16string FromUtf8(std::string_view text);

}  // namespace lumivel
