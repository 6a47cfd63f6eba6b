// Type information built from dispatch tables (COM area only).
#pragma once

#include "win/oleauto.h"

namespace lumivel::com {

// Answered by the table-built ITypeInfo objects: they are immutable, so a proxy hands them to
// the calling thread as they are.
extern const IID kIID_TableTypeInfo;

}  // namespace lumivel::com
