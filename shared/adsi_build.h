// The list builders of the ADSI helper family.
#pragma once

#include "win/oleauto.h"

// FIXME: local declarations until the COM runtime's header with the ADSI array builders
// lands; replace this block with that include.
extern "C" {
HRESULT ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar);
HRESULT ADsBuildVarArrayInt(LPDWORD lpdwObjectTypes, DWORD dwObjectTypes, VARIANT* pVar);
HRESULT ADsBuildVarArrayInt64(LONG64* lpObjectTypes, DWORD dwObjectTypes, VARIANT* pVar);
}
