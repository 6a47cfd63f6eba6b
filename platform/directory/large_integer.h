// IADsLargeInteger: the 64-bit values of large-integer attributes.
#pragma once

#include <cstdint>

#include "win/adsi.h"

namespace lumivel::directory {

// A new object holding value, with one reference; null when out of memory.
IDispatch* CreateLargeInteger(int64_t value);
// True when object offers IADsLargeInteger; *value is HighPart:LowPart.
bool ReadLargeInteger(IUnknown* object, int64_t* value);
HRESULT CreateLargeIntegerInstance(IUnknown* outer, REFIID riid, void** object);

}  // namespace lumivel::directory
