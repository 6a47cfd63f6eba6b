// What the details pane shows of a directory value. Values come from the directory and from
// backup archives, either of which someone else may have written: nothing of them may hide,
// reorder or fake the text around it, and no value, however large, fills the pane.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "win/adsi.h"

namespace revivo {

// Characters of one value shown at most; the rest is said as a count.
inline constexpr size_t kMostValueCharacters = 200;
// Bytes of a binary value shown in hexadecimal at most.
inline constexpr size_t kMostValueBytes = 32;
// Values of one attribute shown at most; the rest is said as a count.
inline constexpr size_t kMostShownValues = 8;

// The text with every character that could steer what the pane shows (C0 and C1 controls,
// line and paragraph separators, bidirectional controls, zero-width and other format
// characters) written as "<U+XXXX>", an unpaired surrogate as U+FFFD, and a text longer than
// `most` characters cut there with its length said.
std::u16string HarmlessText(std::u16string_view text, size_t most = kMostValueCharacters);

// A binary value: a GUID's text for a 16-byte value of an attribute named like a GUID, a SID's
// text for a well-formed SID of an attribute named like one, a security descriptor by its
// size, anything else as upper-case hexadecimal (cut after kMostValueBytes bytes).
std::u16string ByteValueText(std::u16string_view attribute, const unsigned char* bytes, size_t count);

// The shown texts of a search column's values, at most `most` of them.
std::vector<std::u16string> ColumnValueTexts(const ADS_SEARCH_COLUMN& column, size_t most = kMostShownValues);

}  // namespace revivo
