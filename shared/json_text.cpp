#include "shared/json_text.h"

#include "lumivel/terminal_text.h"

namespace lumivel::shared {

std::string JsonString(std::string_view text) {
    return "\"" + lumivel::TerminalText(text, lumivel::TerminalEscaping::Json) + "\"";
}

}  // namespace lumivel::shared
