// The icons of directory classes that this installation ships, in dsicons.so beside
// libplatform.so (internal platform interface). The display-specifier service names them for
// classes whose specifier names no icon; the schema cache takes them instead of the icon
// sources a directory names, which belong to the directory's own platform.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel::directory {

inline constexpr int kDefaultLeafIconId = 4096;
inline constexpr int kDefaultContainerIconId = 4097;

// The full path of the icon module.
LUMIVEL_EXPORT std::u16string BuiltInIconModule();

// The icon resource id of the class in that module for a state (DSGIF_ISNORMAL, DSGIF_ISOPEN
// or DSGIF_ISDISABLED, the normal icon for a class without a disabled one); 0 when the
// module has none for the class.
LUMIVEL_EXPORT int BuiltInIconId(std::u16string_view objectClass, unsigned state);

}  // namespace lumivel::directory
