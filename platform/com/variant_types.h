// Which VARTYPEs a VARIANT or a SAFEARRAY may hold, and their element sizes.
#pragma once

#include "win/oleauto.h"

namespace lumivel::com {

// True for a base type (without VT_ARRAY/VT_BYREF) that a VARIANT can carry by value.
bool IsValueType(VARTYPE base);

// Checks the whole tag of a VARIANT: a value type, optionally with VT_ARRAY and/or VT_BYREF;
// VT_VARIANT only by reference or as an array.
bool IsValidVariantType(VARTYPE vt);

// Size of one element of a SAFEARRAY of this type, or 0 when arrays of it are not supported.
ULONG ElementSize(VARTYPE vt);

}  // namespace lumivel::com
