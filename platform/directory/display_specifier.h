// The DsDisplaySpecifier class (IDsDisplaySpecifier) and its built-in icon table.
#pragma once

#include <string>

#include "win/dsclient.h"

namespace lumivel::directory {

HRESULT CreateDisplaySpecifierInstance(IUnknown* outer, REFIID riid, void** object);

// Icon resource ids in dsicons.so, the platform's icon module beside libplatform.so, for classes whose display specifier
// names no icon (state: DSGIF_ISNORMAL, DSGIF_ISOPEN or DSGIF_ISDISABLED); 0 when the class
// has none.
int BuiltInIconId(std::u16string_view objectClass, unsigned state);
inline constexpr int kDefaultLeafIconId = 4096;
inline constexpr int kDefaultContainerIconId = 4097;

}  // namespace lumivel::directory
