#include "provider/revivo_dispatch.h"

#include "provider/revivo.h"

namespace revivo {

// FIXME: answer from the COM runtime's static dispatch table once it lands.
STDMETHODIMP Revivo::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return E_NOTIMPL;
}
STDMETHODIMP Revivo::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
STDMETHODIMP Revivo::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
STDMETHODIMP Revivo::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) { return E_NOTIMPL; }

}  // namespace revivo
