// The current zone of this process, shared by the time functions (base area only).
#pragma once

#include <memory>

#include "tz_database.h"

namespace lumivel {

// TZ, else /etc/localtime, else UTC; reloaded when TZ or the file changes.
std::shared_ptr<const Zone> CurrentZone();

}  // namespace lumivel
