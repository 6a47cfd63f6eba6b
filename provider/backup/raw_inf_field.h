// One field of one raw INF line, split as the INF parser splits a line of its own. Pure text
// work, so that the fuzz target can hold it against the parser.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace revivo {

// Key before the first '=' that precedes any comma, fields at commas outside quotes, quotes
// removed with "" as a literal quote, blanks around fields dropped, ';' starting a comment;
// field `index`, 0 being the key (a line of one field is its own key). `joins` are the
// positions (ascending) where a continued line was joined on: a quote that ends right before
// one is never the first half of a "" pair, as the parser never sees the two side by side.
std::optional<std::u16string> ExtractRawField(std::u16string_view line, DWORD index,
                                              const std::vector<size_t>& joins = {});

// The blanks the parser skips around fields; a NUL counts as one.
inline bool IsInfBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0; }

}  // namespace revivo
