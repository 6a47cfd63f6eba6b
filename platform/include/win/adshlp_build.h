// The ADSI helpers that build VARIANT arrays (implemented by the COM runtime).
//
// Each builds a one-dimensional VT_ARRAY|VT_VARIANT array with lower bound 0, one element per
// input value, into *pVar (which is overwritten, not cleared). The 64-bit twin exists because
// addresses travel pointer-sized on this platform: its elements are VT_I8.
#pragma once

#include "win/oleauto.h"

extern "C" {
WINBASEAPI HRESULT ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar);
WINBASEAPI HRESULT ADsBuildVarArrayInt(LPDWORD lpdwObjectTypes, DWORD dwObjectTypes, VARIANT* pVar);
WINBASEAPI HRESULT ADsBuildVarArrayInt64(LONG64* lpObjectTypes, DWORD dwObjectTypes, VARIANT* pVar);
}
