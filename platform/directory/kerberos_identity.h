// The logged-on user as this platform sees it: the Kerberos credential cache.
#pragma once

#include <string>

#include "win/types.h"

namespace lumivel::directory {

// The DNS name (lower case) of the default domain: the realm of the credential cache's
// principal, else the Kerberos default realm; empty when there is neither.
std::string DefaultDomainName();

// S_OK when the credential cache holds a ticket-granting ticket that has not expired;
// SEC_E_NO_CREDENTIALS without one, SEC_E_CONTEXT_EXPIRED when it has expired.
HRESULT CheckCredentials();

}  // namespace lumivel::directory
