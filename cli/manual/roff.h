// Plain text as roff (man(7)) source: what a manual page generator needs and no more.
#pragma once

#include <string>
#include <string_view>

namespace lumivel_cli {

// The text with roff's escape character and the hyphens of option names made literal, and
// a leading "." or "'" kept from being read as a request. No line feed is added.
std::string RoffText(std::string_view text);

// Lines of prose (each already broken) as filled roff paragraphs; a line that begins with
// two spaces is kept as it stands, with the lines around it, in a no-fill block.
std::string RoffParagraphs(std::string_view text);

}  // namespace lumivel_cli
