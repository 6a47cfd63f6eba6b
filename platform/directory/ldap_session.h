// The session behind the Windows-named LDAP API (winldap_api.cpp), kept free of the LDAP
// library's headers so that the Windows declarations and libldap's never meet in one file.
// Results are Windows LDAP result codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel::directory {

class LdapSession;

struct SessionModification {
    int operation = 0;  // 0 add, 1 delete, 2 replace
    std::string type;
    std::vector<std::string> values;
};

struct SessionControl {
    std::string oid;
    std::string value;
    bool hasValue = false;
    bool critical = false;
};

// No connection is made yet; an empty host lets the locator choose at connect time.
LdapSession* SessionCreate(const std::string& host, uint16_t port);
ULONG SessionSetVersion(LdapSession* session, int version);
int SessionVersion(LdapSession* session);
// 0 seconds: the platform's connection time-out.
ULONG SessionConnect(LdapSession* session, int timeoutSeconds);
// The integrated bind: SASL GSSAPI with the credential cache, sealed.
ULONG SessionBindNegotiate(LdapSession* session);
ULONG SessionModify(LdapSession* session, const std::string& dn, const std::vector<SessionModification>& mods,
                    const std::vector<SessionControl>& controls);
std::string SessionHost(LdapSession* session);
void SessionClose(LdapSession* session);

}  // namespace lumivel::directory
