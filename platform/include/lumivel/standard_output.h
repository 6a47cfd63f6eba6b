// Whether what a command-line program printed reached its destination.
#pragma once

#include "win/types.h"

namespace lumivel {

// Flushes std::cout and stdout; the errno of a write that failed since the start (a full
// disk, a closed pipe), or 0 when everything was written.
LUMIVEL_EXPORT int FlushStandardOutput();

}  // namespace lumivel
