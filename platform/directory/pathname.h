// The Pathname class (IADsPathname).
#pragma once

#include "win/adsi.h"

namespace lumivel::directory {
HRESULT CreatePathnameInstance(IUnknown* outer, REFIID riid, void** object);
}
