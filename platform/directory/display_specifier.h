// The DsDisplaySpecifier class (IDsDisplaySpecifier).
#pragma once

#include <string>

#include "lumivel/directory_icons.h"
#include "win/dsclient.h"

namespace lumivel::directory {

HRESULT CreateDisplaySpecifierInstance(IUnknown* outer, REFIID riid, void** object);


}  // namespace lumivel::directory
