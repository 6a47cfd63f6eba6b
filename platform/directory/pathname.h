// The Pathname class (IADsPathname).
#pragma once

#include "win/adsi.h"

namespace lumivel::directory {
HRESULT CreatePathnameInstance(REFIID riid, void** object);
}
