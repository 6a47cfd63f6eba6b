// A second module that creates the test widget through COM, as one product module creates
// another's classes.
#include "win/com.h"

extern "C" LUMIVEL_EXPORT HRESULT TestClientCreate(LPCOLESTR progId, REFCLSID clsid, REFIID riid, void** object) {
    CLSID resolved = clsid;
    if (progId) {
        HRESULT hr = CLSIDFromProgID(progId, &resolved);
        if (FAILED(hr)) return hr;
    }
    return CoCreateInstance(resolved, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}
