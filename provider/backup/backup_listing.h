// Command 314: the backup folder's archives, as records, for callers outside the console.
#pragma once

#include <string>

#include "shared/property_set.h"
#include "win/oleauto.h"

namespace revivo {

// The backup section an object is filed under: from a GUID (registry form, with or without
// braces, or 32 digits in storage order), a tombstone's DN, or a live object's DN (read from
// the directory through the server). Empty, with the failure in *result, when it cannot be
// told.
std::u16string SectionOfObject(std::u16string_view object, std::u16string_view server, HRESULT* result);

// Lists the folder of the request's "FocusedDC" into *result as described with
// kCommandListBackups.
HRESULT ListBackups(const PropertySet* request, VARIANT* result);

}  // namespace revivo
