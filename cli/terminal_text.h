// Text from the directory on its way to a terminal or a script: it never steers the terminal,
// and TSV fields come back to the command line exactly as they were.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivel_cli {

enum class Escaping {
    // TSV: a backslash, tab, line feed and carriage return become \\ \t \n \r, every other
    // control character (U+0000-U+001F, U+007F-U+009F) \x and two hex digits. Reversible.
    Reversible,
    // Lines a person reads (tables, prompts, reports): control characters as in TSV, but a
    // backslash stays single, so that a DN shows its own escapes as the directory has them.
    Readable,
    // Message texts: Readable, with their own line feeds and tabs kept.
    ReadableLines,
};

// UTF-8 text escaped for a terminal.
std::string TerminalText(std::string_view text, Escaping escaping = Escaping::Readable);

// The text a Reversible field stands for; nothing when it holds a backslash that no escape
// of that form explains.
std::optional<std::string> UnescapeField(std::string_view field);

// A JSON string literal; control characters (C1 included) as \u escapes.
std::string JsonString(std::string_view text);

// Columns a terminal advances for UTF-8 text: two for East Asian wide and fullwidth
// characters (CJK, Hangul, most emoji, the supplementary ideographs), none for combining
// marks and zero-width characters, one for the rest.
size_t DisplayWidth(std::string_view text);

}  // namespace lumivel_cli
