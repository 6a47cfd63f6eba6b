// Turns the bytes of an INF file into an InfDocument, with SetupAPI's syntax rules and error
// codes. Pure functions over memory, so that the fuzz target can drive them directly.
#pragma once

#include <string>
#include <string_view>

#include "inf_document.h"
#include "win/types.h"

namespace lumivel::setupapi {

struct InfParseResult {
    DWORD error = 0;     // 0, or an ERROR_* code of the INF parsing family
    UINT errorLine = 0;  // 1-based physical line of a syntax error, else 0
};

// FF FE selects UTF-16LE; anything else is 8-bit text in the ANSI code page (UTF-8), whose
// byte-order mark is skipped.
std::u16string DecodeInfBytes(std::string_view bytes);

InfParseResult ParseInfText(std::u16string_view text, InfDocument& document);

// The [Version] check of INF_STYLE_WIN4, plus the optional class filter: 0 or
// ERROR_WRONG_INF_STYLE / ERROR_CLASS_MISMATCH.
DWORD CheckWin4Version(const InfDocument& document, std::u16string_view infClass);

}  // namespace lumivel::setupapi
