// Further system message texts for FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM) (internal).
//
// The base area carries the file, registry, COM and automation texts; other areas (the
// directory area's ERROR_DS_*, E_ADS_* and LDAP texts) register their own tables at start-up.
// A code is looked up exactly first; an HRESULT of FACILITY_WIN32 then falls back to the text
// of its Win32 code. Texts end in "\r\n" as Windows gives them.
#pragma once

#include <cstddef>
#include <string>

#include "win/types.h"

namespace lumivel {

struct SystemMessage {
    DWORD code;
    const char16_t* text;
};

// The table must live as long as the process (a static array). Later tables win over earlier
// ones and over the built-in texts.
LUMIVEL_EXPORT void RegisterSystemMessages(const SystemMessage* table, size_t count);

// The text for a code, or null.
LUMIVEL_EXPORT const char16_t* FindSystemMessage(DWORD code);

// The text for a code without its line end, as a message box, a description or a terminal
// line shows it; empty when the system has none.
LUMIVEL_EXPORT std::u16string SystemMessageText(DWORD code);

}  // namespace lumivel
