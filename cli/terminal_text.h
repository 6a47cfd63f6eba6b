// Text from the directory on its way to a terminal or a script: it never steers the terminal,
// and TSV fields come back to the command line exactly as they were.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lumivel/terminal_text.h"

namespace lumivel_cli {

// The platform's terminal escaping, under the names the command line has always used.
using Escaping = lumivel::TerminalEscaping;
using lumivel::TerminalText;

// The text a Reversible field stands for; nothing when it holds a backslash that no escape
// of that form explains.
inline std::optional<std::string> UnescapeField(std::string_view field) { return lumivel::UnescapeTerminalText(field); }

// A JSON string literal; control characters (C1 included) as \u escapes.
std::string JsonString(std::string_view text);

// Columns a terminal advances for UTF-8 text: two for East Asian wide and fullwidth
// characters (CJK, Hangul, most emoji, the supplementary ideographs), none for combining
// marks and zero-width characters, one for the rest.
size_t DisplayWidth(std::string_view text);

}  // namespace lumivel_cli
