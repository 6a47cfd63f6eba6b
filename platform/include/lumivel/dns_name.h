// Text that may go into a DNS name as it stands.
#pragma once

#include <string_view>

#include "win/types.h"

namespace lumivel {

// Not empty, and only letters, digits, "-", "_" and (when dots are allowed) "."; such text
// is also shown on a terminal as it is.
LUMIVEL_EXPORT bool IsDnsNameText(std::string_view text, bool dotsAllowed);

}  // namespace lumivel
