// The one UTF-8/UTF-16 codec of the platform (internal, not a Windows API): the conversions
// behind WideCharToMultiByte, MultiByteToWideChar and the platform's own UTF-8 text, and the
// code-point stepping that case mapping uses. Product modules use the Windows conversion
// functions instead.
//
// One rule for broken input. In UTF-16 an unpaired surrogate stands for itself while stepping
// and is replaced (or refused) when encoding. In UTF-8 each ill-formed sequence becomes one
// U+FFFD (or is refused): a byte that cannot start a sequence, an overlong form, a surrogate
// or a value past U+10FFFF by its first byte alone, a sequence cut short as the run of bytes
// that started it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The code point at text[i], a surrogate pair joined, advancing i; an unpaired surrogate is
// returned as itself.
inline char32_t NextCodePoint(std::u16string_view text, size_t& i) {
    char16_t c = text[i++];
    if (IsHighSurrogate(c) && i < text.size() && IsLowSurrogate(text[i]))
        return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i++] - 0xDC00);
    return c;
}

// Appends one code point (at most U+10FFFF) in UTF-16.
inline void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

// Appends one code point (at most U+10FFFF, no surrogate) in UTF-8.
LUMIVEL_EXPORT void AppendUtf8(std::string& out, char32_t c);

enum class IllFormed { Replace, Refuse };

// UTF-16 to UTF-8. With Replace each unpaired surrogate becomes `replacement` and *replaced
// tells whether any did; with Refuse the result is empty (nullopt) instead.
LUMIVEL_EXPORT std::optional<std::string> Utf16ToUtf8(std::u16string_view text, IllFormed rule,
                                                      std::string_view replacement = "?", bool* replaced = nullptr);
// UTF-8 to UTF-16. With Replace each ill-formed sequence becomes U+FFFD; with Refuse the
// result is empty (nullopt) instead.
LUMIVEL_EXPORT std::optional<std::u16string> Utf8ToUtf16(std::string_view text, IllFormed rule);
inline bool IsWellFormedUtf8(std::string_view text) { return Utf8ToUtf16(text, IllFormed::Refuse).has_value(); }

// One step through UTF-8 from text[i] (i < text.size()): a code point and its length, or an
// ill-formed sequence, without a code point, as long as the rule above makes it.
struct Utf8Step {
    char32_t codePoint;
    size_t length;
    bool wellFormed;
};
LUMIVEL_EXPORT Utf8Step DecodeUtf8At(std::string_view text, size_t i);

// The platform's own UTF-8 text (its "ANSI" code page): an unpaired surrogate becomes '?'.
inline std::string ToUtf8(std::u16string_view text) { return *Utf16ToUtf8(text, IllFormed::Replace); }
inline std::string ToUtf8(const WCHAR* text) { return text ? ToUtf8(std::u16string_view(text)) : std::string(); }

// An ill-formed sequence becomes U+FFFD.
inline std::u16string FromUtf8(std::string_view text) { return *Utf8ToUtf16(text, IllFormed::Replace); }

}  // namespace lumivel
