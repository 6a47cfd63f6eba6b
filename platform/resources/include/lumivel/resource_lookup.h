// Internal resource lookup shared by the resource, graphics and UI areas.
#pragma once

#include <optional>

#include "win/types.h"

namespace lumivel {

struct ResourceData {
    const BYTE* data;
    DWORD size;
};

// The handle under which the main program's resources are registered; a null HMODULE means
// this module.
LUMIVEL_EXPORT HMODULE MainProgramHandle();

// Finds a resource as FindResourceW does and returns its bytes; on failure sets the last error
// (ERROR_RESOURCE_DATA_NOT_FOUND, _TYPE_NOT_FOUND or _NAME_NOT_FOUND) and returns nothing.
LUMIVEL_EXPORT std::optional<ResourceData> FindResourceData(HMODULE module, LPCWSTR name, LPCWSTR type);

}  // namespace lumivel
