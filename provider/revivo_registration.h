// Self-registration of RevivoProvider.so from its registrar script resource.
#pragma once

#include "provider/platform_headers.h"

namespace revivo {

HRESULT RegisterServer(HINSTANCE module, UINT scriptResource);
HRESULT UnregisterServer(HINSTANCE module, UINT scriptResource);

}  // namespace revivo
