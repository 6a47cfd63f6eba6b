// Kerberos library errors as the HRESULTs a Windows logon gives (scheduler area only).
#pragma once

#include <krb5.h>

#include "win/types.h"

namespace lumivel::scheduler {

HRESULT HresultFromKerberos(krb5_error_code code);

}  // namespace lumivel::scheduler
