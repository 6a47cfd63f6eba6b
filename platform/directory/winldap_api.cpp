// The Windows-named LDAP functions, translating UTF-16 arguments for the session layer.
#include "win/winldap.h"

#include <cctype>
#include <new>
#include <string>
#include <vector>

#include "error_table.h"
#include "ldap_session.h"
#include "lumivel/text.h"

using namespace lumivel::directory;

// The Windows LDAP handle is opaque to callers; here it is one session.
struct ldap {
    LdapSession* session;
};

namespace {

thread_local ULONG t_lastError = LDAP_SUCCESS;

ULONG Result(ULONG code) {
    t_lastError = code;
    return code;
}

std::string Utf8(PCWSTR text) { return text ? lumivel::ToUtf8(text) : std::string(); }

}  // namespace

extern "C" {

WINBASEAPI PLDAP lumivel_ldap_initW(PCWSTR HostName, ULONG PortNumber) {
    RegisterDirectoryMessages();
    std::string host = Utf8(HostName);
    // A port written into the host name ("dc1:389") wins over the argument, as on Windows.
    uint16_t port = static_cast<uint16_t>(PortNumber ? PortNumber : LDAP_PORT);
    if (const size_t colon = host.rfind(':'); colon != std::string::npos) {
        port = static_cast<uint16_t>(std::atoi(host.c_str() + colon + 1));
        host.resize(colon);
    }
    for (char c : host) {
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
        if (!ok) {
            Result(LDAP_PARAM_ERROR);
            return nullptr;
        }
    }
    auto* handle = new (std::nothrow) ldap{SessionCreate(host, port)};
    Result(handle ? LDAP_SUCCESS : LDAP_NO_MEMORY);
    return handle;
}

WINBASEAPI ULONG lumivel_ldap_set_optionW(PLDAP ld, int option, const void* invalue) {
    if (!ld) return Result(LDAP_PARAM_ERROR);
    switch (option) {
        case LDAP_OPT_PROTOCOL_VERSION:
            if (!invalue) return Result(LDAP_PARAM_ERROR);
            return Result(SessionSetVersion(ld->session, *static_cast<const int*>(invalue)));
        case LDAP_OPT_REFERRALS:
        case LDAP_OPT_SIZELIMIT:
        case LDAP_OPT_TIMELIMIT:
            // Modify and bind are the only operations: limits and referrals do not apply.
            return Result(LDAP_SUCCESS);
        default:
            return Result(LDAP_PARAM_ERROR);
    }
}

WINBASEAPI ULONG lumivel_ldap_get_optionW(PLDAP ld, int option, void* outvalue) {
    if (!ld || !outvalue) return Result(LDAP_PARAM_ERROR);
    switch (option) {
        case LDAP_OPT_PROTOCOL_VERSION:
            *static_cast<int*>(outvalue) = SessionVersion(ld->session);
            return Result(LDAP_SUCCESS);
        case LDAP_OPT_ERROR_NUMBER:
            *static_cast<ULONG*>(outvalue) = t_lastError;
            return Result(LDAP_SUCCESS);
        default:
            return Result(LDAP_PARAM_ERROR);
    }
}

WINBASEAPI ULONG lumivel_ldap_connect(PLDAP ld, struct l_timeval* timeout) {
    if (!ld) return Result(LDAP_PARAM_ERROR);
    // Without a time-out the platform's own bounds the wait, so nothing can hang.
    return Result(SessionConnect(ld->session, timeout && timeout->tv_sec > 0 ? timeout->tv_sec : 0));
}

WINBASEAPI ULONG lumivel_ldap_bind_sW(PLDAP ld, PCWSTR dn, PCWSTR cred, ULONG method) {
    if (!ld) return Result(LDAP_PARAM_ERROR);
    if (method != LDAP_AUTH_NEGOTIATE) return Result(LDAP_AUTH_METHOD_NOT_SUPPORTED);
    // Explicit credentials are not supported: only the logged-on user's ticket exists.
    if ((dn && *dn) || cred) return Result(LDAP_INVALID_CREDENTIALS);
    return Result(SessionBindNegotiate(ld->session));
}

WINBASEAPI ULONG lumivel_ldap_modify_ext_sW(PLDAP ld, PCWSTR dn, LDAPModW* mods[], PLDAPControlW* ServerControls,
                                            PLDAPControlW*) {
    if (!ld || !dn || !mods) return Result(LDAP_PARAM_ERROR);
    std::vector<SessionModification> list;
    for (LDAPModW** m = mods; *m; ++m) {
        SessionModification mod;
        mod.operation = static_cast<int>((*m)->mod_op & ~LDAP_MOD_BVALUES);
        if (mod.operation > LDAP_MOD_REPLACE || !(*m)->mod_type) return Result(LDAP_PARAM_ERROR);
        mod.type = Utf8((*m)->mod_type);
        if ((*m)->mod_op & LDAP_MOD_BVALUES) {
            for (berval** v = (*m)->mod_vals.modv_bvals; v && *v; ++v)
                mod.values.emplace_back((*v)->bv_val ? (*v)->bv_val : "", (*v)->bv_len);
        } else {
            for (PWSTR* v = (*m)->mod_vals.modv_strvals; v && *v; ++v) mod.values.push_back(Utf8(*v));
        }
        list.push_back(std::move(mod));
    }
    std::vector<SessionControl> controls;
    for (PLDAPControlW* c = ServerControls; c && *c; ++c) {
        if (!(*c)->ldctl_oid) return Result(LDAP_PARAM_ERROR);
        SessionControl control;
        control.oid = Utf8((*c)->ldctl_oid);
        if ((*c)->ldctl_value.bv_val) {
            control.value.assign((*c)->ldctl_value.bv_val, (*c)->ldctl_value.bv_len);
            control.hasValue = true;
        }
        control.critical = (*c)->ldctl_iscritical != 0;
        controls.push_back(std::move(control));
    }
    return Result(SessionModify(ld->session, Utf8(dn), list, controls));
}

WINBASEAPI WCHAR* lumivel_ldap_err2stringW(ULONG err) {
    return const_cast<WCHAR*>(WindowsLdapText(err));
}

WINBASEAPI ULONG lumivel_ldap_unbind(PLDAP ld) {
    if (!ld) return Result(LDAP_PARAM_ERROR);
    SessionClose(ld->session);
    delete ld;
    return Result(LDAP_SUCCESS);
}

WINBASEAPI ULONG lumivel_LdapGetLastError() { return t_lastError; }

WINBASEAPI ULONG lumivel_LdapMapErrorToWin32(ULONG LdapError) { return Win32FromWindowsLdap(LdapError); }

}
