// The built-in system message texts (base area only).
#pragma once

#include "lumivel/system_messages.h"

namespace lumivel {
extern const SystemMessage kBuiltInMessages[];
extern const size_t kBuiltInMessageCount;
}  // namespace lumivel
