// char16_t string helpers for platform and product code (internal names, no clash with the C
// library's wchar_t functions, which are 32-bit here).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

// Unicode simple case folding of one code point (U+0000..U+10FFFF), from the Unicode
// character database; unchanged when it has no folding.
LUMIVEL_EXPORT char32_t FoldCase(char32_t c);
LUMIVEL_EXPORT char32_t ToUpperCase(char32_t c);
LUMIVEL_EXPORT char32_t ToLowerCase(char32_t c);
// Whole strings, surrogate pairs respected; unpaired surrogates are kept.
LUMIVEL_EXPORT std::u16string FoldCase(std::u16string_view text);
LUMIVEL_EXPORT std::u16string ToUpperCase(std::u16string_view text);
LUMIVEL_EXPORT std::u16string ToLowerCase(std::u16string_view text);

// <0, 0, >0 by code point after folding.
LUMIVEL_EXPORT int CompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool EqualsNoCase(std::u16string_view a, std::u16string_view b) { return CompareNoCase(a, b) == 0; }
// Only A-Z and a-z are folded: for protocol keywords and other ASCII-defined text.
LUMIVEL_EXPORT int AsciiCompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool AsciiEqualsNoCase(std::u16string_view a, std::u16string_view b) { return AsciiCompareNoCase(a, b) == 0; }
// Case-insensitive (Unicode folding) substring search; npos when absent.
LUMIVEL_EXPORT size_t FindNoCase(std::u16string_view haystack, std::u16string_view needle);

// C-string forms for code that holds WCHAR pointers. Null pointers count as empty strings.
inline size_t WideLength(const WCHAR* s) { return s ? std::char_traits<char16_t>::length(s) : 0; }
inline const WCHAR* WideFind(const WCHAR* s, WCHAR c) {
    for (; s && *s; ++s)
        if (*s == c) return s;
    return (s && c == 0) ? s : nullptr;
}
inline const WCHAR* WideFindLast(const WCHAR* s, WCHAR c) {
    const WCHAR* found = nullptr;
    for (; s && *s; ++s)
        if (*s == c) found = s;
    return c == 0 ? (s ? s : nullptr) : found;
}
LUMIVEL_EXPORT const WCHAR* WideFindString(const WCHAR* haystack, const WCHAR* needle);
LUMIVEL_EXPORT int WideCompare(const WCHAR* a, const WCHAR* b);
LUMIVEL_EXPORT int WideCompareN(const WCHAR* a, const WCHAR* b, size_t n);
LUMIVEL_EXPORT int WideCompareNoCase(const WCHAR* a, const WCHAR* b);
LUMIVEL_EXPORT int WideCompareNoCaseN(const WCHAR* a, const WCHAR* b, size_t n);
LUMIVEL_EXPORT int WideAsciiCompareNoCase(const WCHAR* a, const WCHAR* b);
LUMIVEL_EXPORT int WideAsciiCompareNoCaseN(const WCHAR* a, const WCHAR* b, size_t n);

// The Windows wildcard match of FindFirstFileW: '*' any run, '?' one character, case folded;
// "*.*" matches names without a dot too, and a trailing ".*" or '?' may match nothing.
LUMIVEL_EXPORT bool MatchWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace lumivel
