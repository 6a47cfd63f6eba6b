// Which file holds a predefined registry key (for tools that report a hive that failed).
#pragma once

#include <string>

#include "win/winreg.h"

namespace lumivel {

// The hive file behind HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER (HKEY_CLASSES_ROOT: the user's,
// read first); empty for other keys, or when the user has no home folder for a hive.
LUMIVEL_EXPORT std::string RegistryHiveFile(HKEY root);

}  // namespace lumivel
