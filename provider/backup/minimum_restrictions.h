// The attributes no backup ever writes, whatever the configuration file says or whether it is
// there at all: secrets a directory read may return to an administrator, and values the
// directory computes on every read. Backups lie on a share every domain user can read.
#pragma once

#include <string_view>

namespace revivo {

// Compared without regard to case.
bool IsAlwaysRestricted(std::u16string_view attribute);

}  // namespace revivo
