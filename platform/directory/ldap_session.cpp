// Sessions of the Windows-named LDAP API on libldap.
#include "ldap_session.h"
#include "ldap_trace.h"

#include <ldap.h>
#include <sasl/sasl.h>

#include <chrono>
#include <cstring>

#include "dc_locator.h"
#include "error_table.h"
#include "kerberos_identity.h"
#include "ldap_connection.h"
#include "win/winerror.h"

namespace lumivel::directory {

class LdapSession {
public:
    std::string host;
    uint16_t port = 389;
    int version = 2;  // the Windows client's default until the caller sets 3
    LDAP* ld = nullptr;
    std::string connectedHost;
    ~LdapSession() {
        if (ld) ldap_unbind_ext_s(ld, nullptr, nullptr);
    }
};

namespace {

int Interact(LDAP*, unsigned, void*, void* interactions) {
    for (auto* i = static_cast<sasl_interact_t*>(interactions); i && i->id != SASL_CB_LIST_END; ++i) {
        i->result = i->defresult ? i->defresult : "";
        i->len = static_cast<unsigned>(std::strlen(static_cast<const char*>(i->result)));
    }
    return LDAP_SUCCESS;
}

int TryConnect(LdapSession* s, const std::string& host, uint16_t port, int timeoutSeconds) {
    LDAP* ld = nullptr;
    const std::string uri = "ldap://" + host + ":" + std::to_string(port);
    int rc = ldap_initialize(&ld, uri.c_str());
    if (rc != LDAP_SUCCESS) return rc;
    int version = s->version;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    timeval connect{timeoutSeconds, 0};
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &connect);
    timeval operation{CurrentTimeouts().operationSeconds, 0};
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &operation);
    ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, "minssf=56");
    rc = ldap_connect(ld);
    if (rc != LDAP_SUCCESS) {
        ldap_unbind_ext_s(ld, nullptr, nullptr);
        return rc;
    }
    s->ld = ld;
    s->connectedHost = host;
    return LDAP_SUCCESS;
}

}  // namespace

LdapSession* SessionCreate(const std::string& host, uint16_t port) {
    auto* s = new LdapSession();
    s->host = host;
    s->port = port ? port : 389;
    return s;
}

ULONG SessionSetVersion(LdapSession* s, int version) {
    if (version != 2 && version != 3) return WindowsLdapCode(LDAP_PARAM_ERROR);
    s->version = version;
    if (s->ld) ldap_set_option(s->ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    return 0;
}

int SessionVersion(LdapSession* s) { return s->version; }

ULONG SessionConnect(LdapSession* s, int timeoutSeconds) {
    if (s->ld) return 0;
    if (timeoutSeconds <= 0) timeoutSeconds = CurrentTimeouts().connectSeconds;
    std::vector<SrvRecord> candidates;
    const std::string name = s->host.empty() ? DefaultDomainName() : s->host;
    if (name.empty()) return WindowsLdapCode(LDAP_CONNECT_ERROR);
    candidates = LocateDomainControllers(name);
    if (candidates.empty()) candidates.push_back(SrvRecord{0, 0, s->port, name});
    int rc = LDAP_SERVER_DOWN;
    // The locator picks the host; the port is the one the session was opened for.
    for (const auto& c : candidates) {
        rc = TryConnect(s, c.target, s->port, timeoutSeconds);
        if (rc == LDAP_SUCCESS) return 0;
    }
    return WindowsLdapCode(rc);
}

ULONG SessionBindNegotiate(LdapSession* s) {
    if (!s->ld) {
        const ULONG rc = SessionConnect(s, CurrentTimeouts().connectSeconds);
        if (rc) return rc;
    }
    if (FAILED(CheckCredentials())) return WindowsLdapCode(LDAP_INVALID_CREDENTIALS);
    // A server or a KDC that never answers must not hold the caller for the whole operation
    // time-out: the bind, Kerberos included, gets the connect time-out.
    const ConnectionTimeouts timeouts = CurrentTimeouts();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeouts.connectSeconds);
    if (FAILED(RequestServiceTicket(s->connectedHost, deadline))) return WindowsLdapCode(LDAP_TIMEOUT);
    timeval setup{SecondsLeft(deadline), 0};
    ldap_set_option(s->ld, LDAP_OPT_TIMEOUT, &setup);
    const int rc = ldap_sasl_interactive_bind_s(s->ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET, Interact,
                                                nullptr);
    timeval operation{timeouts.operationSeconds, 0};
    ldap_set_option(s->ld, LDAP_OPT_TIMEOUT, &operation);
    return WindowsLdapCode(rc);
}

ULONG SessionModify(LdapSession* s, const std::string& dn, const std::vector<SessionModification>& mods,
                    const std::vector<SessionControl>& controls) {
    if (!s->ld) return WindowsLdapCode(LDAP_SERVER_DOWN);
    std::vector<std::vector<berval>> values(mods.size());
    std::vector<std::vector<berval*>> pointers(mods.size());
    std::vector<LDAPMod> ldapMods(mods.size());
    std::vector<LDAPMod*> modList;
    for (size_t i = 0; i < mods.size(); ++i) {
        for (const auto& v : mods[i].values) values[i].push_back(berval{v.size(), const_cast<char*>(v.data())});
        for (auto& v : values[i]) pointers[i].push_back(&v);
        pointers[i].push_back(nullptr);
        ldapMods[i].mod_op = mods[i].operation | LDAP_MOD_BVALUES;
        ldapMods[i].mod_type = const_cast<char*>(mods[i].type.c_str());
        ldapMods[i].mod_bvalues = values[i].empty() ? nullptr : pointers[i].data();
        modList.push_back(&ldapMods[i]);
    }
    modList.push_back(nullptr);
    std::vector<LDAPControl> ldapControls(controls.size());
    std::vector<LDAPControl*> controlList;
    for (size_t i = 0; i < controls.size(); ++i) {
        ldapControls[i].ldctl_oid = const_cast<char*>(controls[i].oid.c_str());
        // A control without a value is sent without one, not with an empty one.
        ldapControls[i].ldctl_value = controls[i].hasValue
                                          ? berval{controls[i].value.size(), const_cast<char*>(controls[i].value.data())}
                                          : berval{0, nullptr};
        ldapControls[i].ldctl_iscritical = controls[i].critical ? 1 : 0;
        controlList.push_back(&ldapControls[i]);
    }
    controlList.push_back(nullptr);
    const int rc = ldap_modify_ext_s(s->ld, dn.c_str(), modList.data(), controlList.data(), nullptr);
    TraceChange(s->connectedHost.empty() ? s->host : s->connectedHost, "modify", dn, modList.data(), rc);
    return WindowsLdapCode(rc);
}

std::string SessionHost(LdapSession* s) { return s->connectedHost.empty() ? s->host : s->connectedHost; }

void SessionClose(LdapSession* s) { delete s; }

}  // namespace lumivel::directory
