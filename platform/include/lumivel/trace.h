// A trace of what the platform decides on the caller's behalf (which domain controller, why),
// for an administrator who asks (`lumivel -v`) or sets LUMIVEL_TRACE=1 for any program.
#pragma once

#include <string_view>

#include "win/types.h"

namespace lumivel {

// On for the rest of the process, and for the child processes it starts.
LUMIVEL_EXPORT void EnableTrace();
LUMIVEL_EXPORT bool TraceEnabled();

// One line on stderr, "trace: AREA: TEXT", when the trace is on. The text must be printable
// already: callers pass names they have checked (DNS names) and their own words.
LUMIVEL_EXPORT void Trace(std::string_view area, std::string_view text);

}  // namespace lumivel
