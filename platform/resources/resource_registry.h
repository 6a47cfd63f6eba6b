// Entry-level lookup for the resource API in this folder.
#pragma once

#include "lumivel/resource_table.h"

namespace lumivel {

// The entry of a resource, or null with the last error set as FindResourceW sets it.
const ResourceEntry* FindResourceEntry(HMODULE module, LPCWSTR name, LPCWSTR type);

// The entry behind an HRSRC, or null when the handle does not belong to the module's table.
const ResourceEntry* ValidResourceEntry(HMODULE module, HRSRC handle);

}  // namespace lumivel
