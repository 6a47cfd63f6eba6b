// Text from outside (the directory, a script, a stored file) on its way to a terminal, a log
// line or a file that a person may print: the one place that decides what could steer a
// terminal or forge a line, and how each kind of output spells it instead.
//
// What is escaped: the C0 controls and DEL, the C1 controls U+0080-U+009F (some terminals act
// on them as on escape sequences), the bidirectional embeddings, overrides and isolates
// U+202A-U+202E and U+2066-U+2069 (they reorder what is shown after them), and bytes that are
// no UTF-8 (a lone 0x9B is an escape sequence to an 8-bit terminal).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

enum class TerminalEscaping {
    // TSV fields and stored values: a backslash, tab, line feed and carriage return become
    // \\ \t \n \r, a control character \x and two hex digits, a bidirectional control \u and
    // four, a byte that is no UTF-8 \udc and two (as a lone low surrogate would stand for it).
    // UnescapeTerminalText gives back exactly the bytes escaped.
    Reversible,
    // Lines a person reads (tables, prompts, reports): as Reversible, but a backslash stays
    // single, so that a DN shows its own escapes as the directory has them, and a byte that is
    // no UTF-8 is \x and two hex digits.
    Readable,
    // Message texts: Readable, with their own line feeds and tabs kept and a carriage return
    // before a line feed left out.
    ReadableLines,
    // The inside of a JSON string literal: " and \ escaped, \n \r \t, every other escaped
    // character as \u and four hex digits, an ill-formed sequence as U+FFFD.
    Json,
};

// UTF-8 text (ill-formed sequences included) made harmless.
LUMIVEL_EXPORT std::string TerminalText(std::string_view text, TerminalEscaping escaping = TerminalEscaping::Readable);
// The same, added to the end of `out`: a listing of many rows makes no text per field.
LUMIVEL_EXPORT void AppendTerminalText(std::string_view text, TerminalEscaping escaping, std::string* out);

// The bytes a Reversible text stands for; nothing when it holds a backslash that no escape of
// that form explains. Control characters written as \x and two hex digits of either case are
// read as well, as older stored files have them.
LUMIVEL_EXPORT std::optional<std::string> UnescapeTerminalText(std::string_view text);

}  // namespace lumivel
