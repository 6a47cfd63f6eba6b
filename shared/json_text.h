// JSON string literals for text from the directory, the one writer every module uses.
#pragma once

#include <string>
#include <string_view>

namespace lumivel::shared {

// A JSON string literal of UTF-8 text; control characters (C1 included) and bidirectional
// controls as \u escapes, so that the literal is harmless on a terminal too.
std::string JsonString(std::string_view text);

}  // namespace lumivel::shared
