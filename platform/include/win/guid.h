// GUID creation and text forms (implemented in platform/base).
// StringFromCLSID/StringFromIID return task memory the caller frees with CoTaskMemFree.
#pragma once

#include "win/types.h"

extern "C" {
WINBASEAPI HRESULT CoCreateGuid(GUID* pguid);
WINBASEAPI int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
WINBASEAPI HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
WINBASEAPI HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
WINBASEAPI HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
WINBASEAPI HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
}
