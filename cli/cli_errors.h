// What a failure means to an administrator at a shell: the system's text for the code and,
// for the failures people meet, what to do about it.
#pragma once

#include <string>

#include "win/types.h"

namespace lumivel_cli {

// "The server is not operational. (0x8007203A)"; "error 0x…" when the system has no text.
std::string ErrorText(HRESULT result);

// The system's text followed by the advice for that failure, if any.
std::string ExplainedError(HRESULT result);

// Advice for a provider that could not be created: the regsvr command and the hives it must
// be run with.
std::string ProviderAdvice(HRESULT result);

// Whether the failure means that the directory refused the user (rather than that it could
// not be found or reached).
bool IsAccessDenied(HRESULT result);

// Said when a listing shows nothing, or is refused, for want of rights.
extern const char kRightsAdvice[];

}  // namespace lumivel_cli
