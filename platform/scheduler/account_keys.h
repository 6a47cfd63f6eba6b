// The domain account a work item runs as (scheduler area only).
//
// The password is used once: to check it against the domain's KDC and to derive the account's
// long-term key with the salt and encryption type the KDC names. What is kept is a keytab of
// that key (MIT format 0x0502), which the service turns into a ticket in a credential cache of
// the job's own when the job starts. The password goes to no file, no command line, no other
// process, and its copies in memory are wiped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel::scheduler {

// "DOMAIN\user" (DOMAIN a DNS name, or the first label of the default realm), "user@REALM" or
// "user" (the default realm: the credential cache's, else the Kerberos default) as
// "user@REALM". HRESULT_FROM_WIN32(ERROR_INVALID_ACCOUNT_NAME) for a malformed name,
// ERROR_NO_SUCH_DOMAIN for a NetBIOS domain that is not the default realm's.
HRESULT PrincipalOfAccount(std::u16string_view account, std::string* principal);

// Checks the pair with the KDC and gives the keytab. ERROR_LOGON_FAILURE for a wrong pair,
// ERROR_NO_LOGON_SERVERS when no KDC answers (as HRESULTs), see kerberos_errors.cpp.
HRESULT DeriveKeytab(const std::string& principal, std::u16string_view password, std::vector<uint8_t>* keytab);

// Obtains a ticket-granting ticket for the principal with the keytab file and stores it in a
// new credential cache file.
HRESULT TicketFromKeytab(const std::string& principal, const std::string& keytabPath, const std::string& cachePath);

}  // namespace lumivel::scheduler
