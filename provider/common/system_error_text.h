// The text a message box of the provider shows for an error code.
#pragma once

#include <string>

#include "win/types.h"

namespace revivo {

// The system's text for a Win32 error or an HRESULT, at most 260 characters, without its line
// end; a code without a text, or with one too long for the box, reads as its code.
std::u16string SystemErrorText(DWORD error);

}  // namespace revivo
