// Self-registration of RevivoProvider.so from its registrar script resource.
#pragma once

#include "win/types.h"

namespace revivo {

HRESULT RegisterServer(HINSTANCE module, UINT scriptResource);
HRESULT UnregisterServer(HINSTANCE module, UINT scriptResource);

}  // namespace revivo
