// The logged-on user as this platform sees it: the Kerberos credential cache.
#pragma once

#include <chrono>
#include <string>

#include "win/types.h"

namespace lumivel::directory {

// The DNS name (lower case) of the default domain: the realm of the credential cache's
// principal, else the Kerberos default realm; empty when there is neither.
std::string DefaultDomainName();

// S_OK when the credential cache holds a ticket-granting ticket that has not expired;
// SEC_E_NO_CREDENTIALS without one, SEC_E_CONTEXT_EXPIRED when it has expired.
HRESULT CheckCredentials();

// Asks the KDC for the service ticket that a GSSAPI bind to `host` needs, and waits for its
// answer until the deadline at most. The library's own waits for a KDC that does not answer
// (half a minute and more) know no time-out, so the request runs on a thread of its own that
// is left to finish by itself when the deadline passes; the ticket it gets lands in the
// credential cache, where the bind then finds it. S_OK once the KDC has answered, whatever the
// answer (a refusal is for the bind to report); HRESULT_FROM_WIN32(ERROR_TIMEOUT) otherwise.
HRESULT RequestServiceTicket(const std::string& host, std::chrono::steady_clock::time_point deadline);

}  // namespace lumivel::directory
