#include "provider/revivo_registration.h"

namespace revivo {

// FIXME: apply the "REGISTRY" script and the type library entries once the COM runtime's
// registrar lands.
HRESULT RegisterServer(HINSTANCE, UINT) { return E_NOTIMPL; }
HRESULT UnregisterServer(HINSTANCE, UINT) { return E_NOTIMPL; }

}  // namespace revivo
