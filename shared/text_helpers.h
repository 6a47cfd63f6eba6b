// Wide-string helpers shared by the provider, the snap-in and the control, beside the
// platform's case-insensitive comparisons (lumivel/wide_string.h), which they build on.
//
// Names, keys, class names and CLSID strings are compared without regard to case with the
// platform's case folding (lstrcmpiW's), the way the Windows shell of this system compares.
#pragma once

#include <string>
#include <string_view>

#include "lumivel/wide_string.h"
#include "win/types.h"

namespace lumivel::shared {

using WideString = std::u16string;
using WideView = std::u16string_view;

// Null counts as the empty string.
inline WideView ViewOf(LPCWSTR text) { return text ? WideView(text) : WideView(); }

bool StartsWithNoCase(WideView text, WideView prefix);
// Position of the first occurrence, or npos. Case-sensitive and case-insensitive forms.
size_t FindText(WideView text, WideView part);
size_t FindTextNoCase(WideView text, WideView part);
inline bool ContainsText(WideView text, WideView part) { return FindText(text, part) != WideView::npos; }
inline bool ContainsTextNoCase(WideView text, WideView part) { return FindTextNoCase(text, part) != WideView::npos; }

// The text after the first occurrence of the separator, or empty when there is none.
WideView TextAfter(WideView text, WideView separator);

// UTF-8 conversions for messages and the command line (no code page rules).
std::string NarrowText(WideView text);
WideString WidenText(std::string_view text);

}  // namespace lumivel::shared
