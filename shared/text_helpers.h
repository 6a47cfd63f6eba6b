// Wide-string helpers shared by the provider, the snap-in and the control.
//
// Names, keys, class names and CLSID strings are compared without regard to case with the
// platform's case folding (lstrcmpiW), the way the Windows shell of this system compares.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

using WideString = std::u16string;
using WideView = std::u16string_view;

// Null-safe length of a null-terminated wide string.
inline size_t WideLength(LPCWSTR text) { return text ? std::char_traits<char16_t>::length(text) : 0; }
inline WideView ViewOf(LPCWSTR text) { return text ? WideView(text) : WideView(); }

// <0, 0, >0 as lstrcmpiW; null counts as the empty string.
int CompareNoCase(WideView left, WideView right);
inline bool EqualsNoCase(WideView left, WideView right) {
    return left.size() == right.size() && CompareNoCase(left, right) == 0;
}
bool StartsWithNoCase(WideView text, WideView prefix);
// Position of the first occurrence, or npos. Case-sensitive and case-insensitive forms.
size_t FindText(WideView text, WideView part);
size_t FindTextNoCase(WideView text, WideView part);
inline bool ContainsText(WideView text, WideView part) { return FindText(text, part) != WideView::npos; }
inline bool ContainsTextNoCase(WideView text, WideView part) { return FindTextNoCase(text, part) != WideView::npos; }

// The text after the first occurrence of the separator, or empty when there is none.
WideView TextAfter(WideView text, WideView separator);
// The GUID text of a tombstone's mangled name, after its last "DEL:" (the name before it may
// hold "DEL:" too); empty without one.
WideView MangledGuidText(WideView name);

// UTF-8 conversions for messages and the command line (no code page rules).
std::string NarrowText(WideView text);
WideString WidenText(std::string_view text);

}  // namespace lumivel
