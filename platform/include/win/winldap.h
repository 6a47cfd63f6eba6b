// The Windows LDAP client API subset the product calls, with Windows result codes and texts.
//
// The functions are exported as lumivel_ldap_*W so that they never collide with the symbols of
// the LDAP library this platform runs on; the Windows names are macros onto them. Product code
// includes this header and never <ldap.h>. Strings are UTF-16; results are the Windows LDAP
// result codes below (ULONG), not HRESULTs.
//
// A session from ldap_init is its own connection (it does not share the ADSI connection cache).
// An empty or null host name lets the DC locator pick a domain controller of the default
// domain when ldap_connect runs. ldap_connect without a time-out still uses the platform's
// connection time-out, so an unreachable server never hangs the caller.
#pragma once

#include "win/types.h"

typedef struct ldap LDAP, *PLDAP;

typedef struct berval {
    ULONG bv_len;
    char* bv_val;
} LDAP_BERVAL, *PLDAP_BERVAL, BERVAL, *PBERVAL;

typedef struct ldapcontrolW {
    PWSTR ldctl_oid;
    struct berval ldctl_value;
    BOOLEAN ldctl_iscritical;
} LDAPControlW, *PLDAPControlW;

typedef struct ldapmodW {
    ULONG mod_op;
    PWSTR mod_type;
    union {
        PWSTR* modv_strvals;
        struct berval** modv_bvals;
    } mod_vals;
} LDAPModW, *PLDAPModW;

struct l_timeval {
    LONG tv_sec;
    LONG tv_usec;
};
typedef struct l_timeval LDAP_TIMEVAL, *PLDAP_TIMEVAL;

#define LDAP_PORT 389
#define LDAP_SSL_PORT 636
#define LDAP_GC_PORT 3268
#define LDAP_VERSION2 2
#define LDAP_VERSION3 3

#define LDAP_MOD_ADD 0x00
#define LDAP_MOD_DELETE 0x01
#define LDAP_MOD_REPLACE 0x02
#define LDAP_MOD_BVALUES 0x80

#define LDAP_AUTH_SIMPLE 0x80
#define LDAP_AUTH_SASL 0x83
#define LDAP_AUTH_OTHERKIND 0x86
#define LDAP_AUTH_NEGOTIATE (LDAP_AUTH_OTHERKIND | 0x0400)

#define LDAP_OPT_SIZELIMIT 0x03
#define LDAP_OPT_TIMELIMIT 0x04
#define LDAP_OPT_REFERRALS 0x08
#define LDAP_OPT_PROTOCOL_VERSION 0x11
#define LDAP_OPT_VERSION LDAP_OPT_PROTOCOL_VERSION
#define LDAP_OPT_HOST_NAME 0x30
#define LDAP_OPT_ERROR_NUMBER 0x31
#define LDAP_OPT_ERROR_STRING 0x32
#define LDAP_OPT_SERVER_ERROR 0x33
#define LDAP_OPT_TIMEOUT 0x5002
#define LDAP_OPT_ON ((void*)1)
#define LDAP_OPT_OFF ((void*)0)

#define LDAP_SERVER_SHOW_DELETED_OID "1.2.840.113556.1.4.417"
#define LDAP_SERVER_SHOW_DELETED_OID_W u"1.2.840.113556.1.4.417"

// Result codes as the Windows client returns them.
#define LDAP_SUCCESS 0x00
#define LDAP_OPERATIONS_ERROR 0x01
#define LDAP_PROTOCOL_ERROR 0x02
#define LDAP_TIMELIMIT_EXCEEDED 0x03
#define LDAP_SIZELIMIT_EXCEEDED 0x04
#define LDAP_COMPARE_FALSE 0x05
#define LDAP_COMPARE_TRUE 0x06
#define LDAP_AUTH_METHOD_NOT_SUPPORTED 0x07
#define LDAP_STRONG_AUTH_REQUIRED 0x08
#define LDAP_REFERRAL_V2 0x09
#define LDAP_PARTIAL_RESULTS 0x09
#define LDAP_REFERRAL 0x0a
#define LDAP_ADMIN_LIMIT_EXCEEDED 0x0b
#define LDAP_UNAVAILABLE_CRIT_EXTENSION 0x0c
#define LDAP_CONFIDENTIALITY_REQUIRED 0x0d
#define LDAP_SASL_BIND_IN_PROGRESS 0x0e
#define LDAP_NO_SUCH_ATTRIBUTE 0x10
#define LDAP_UNDEFINED_TYPE 0x11
#define LDAP_INAPPROPRIATE_MATCHING 0x12
#define LDAP_CONSTRAINT_VIOLATION 0x13
#define LDAP_ATTRIBUTE_OR_VALUE_EXISTS 0x14
#define LDAP_INVALID_SYNTAX 0x15
#define LDAP_NO_SUCH_OBJECT 0x20
#define LDAP_ALIAS_PROBLEM 0x21
#define LDAP_INVALID_DN_SYNTAX 0x22
#define LDAP_IS_LEAF 0x23
#define LDAP_ALIAS_DEREF_PROBLEM 0x24
#define LDAP_INAPPROPRIATE_AUTH 0x30
#define LDAP_INVALID_CREDENTIALS 0x31
#define LDAP_INSUFFICIENT_RIGHTS 0x32
#define LDAP_BUSY 0x33
#define LDAP_UNAVAILABLE 0x34
#define LDAP_UNWILLING_TO_PERFORM 0x35
#define LDAP_LOOP_DETECT 0x36
#define LDAP_SORT_CONTROL_MISSING 0x3C
#define LDAP_OFFSET_RANGE_ERROR 0x3D
#define LDAP_NAMING_VIOLATION 0x40
#define LDAP_OBJECT_CLASS_VIOLATION 0x41
#define LDAP_NOT_ALLOWED_ON_NONLEAF 0x42
#define LDAP_NOT_ALLOWED_ON_RDN 0x43
#define LDAP_ALREADY_EXISTS 0x44
#define LDAP_NO_OBJECT_CLASS_MODS 0x45
#define LDAP_RESULTS_TOO_LARGE 0x46
#define LDAP_AFFECTS_MULTIPLE_DSAS 0x47
#define LDAP_VIRTUAL_LIST_VIEW_ERROR 0x4c
#define LDAP_OTHER 0x50
#define LDAP_SERVER_DOWN 0x51
#define LDAP_LOCAL_ERROR 0x52
#define LDAP_ENCODING_ERROR 0x53
#define LDAP_DECODING_ERROR 0x54
#define LDAP_TIMEOUT 0x55
#define LDAP_AUTH_UNKNOWN 0x56
#define LDAP_FILTER_ERROR 0x57
#define LDAP_USER_CANCELLED 0x58
#define LDAP_PARAM_ERROR 0x59
#define LDAP_NO_MEMORY 0x5a
#define LDAP_CONNECT_ERROR 0x5b
#define LDAP_NOT_SUPPORTED 0x5c
#define LDAP_CONTROL_NOT_FOUND 0x5d
#define LDAP_NO_RESULTS_RETURNED 0x5e
#define LDAP_MORE_RESULTS_TO_RETURN 0x5f
#define LDAP_CLIENT_LOOP 0x60
#define LDAP_REFERRAL_LIMIT_EXCEEDED 0x61

extern "C" {
WINBASEAPI PLDAP lumivel_ldap_initW(PCWSTR HostName, ULONG PortNumber);
WINBASEAPI ULONG lumivel_ldap_set_optionW(PLDAP ld, int option, const void* invalue);
WINBASEAPI ULONG lumivel_ldap_get_optionW(PLDAP ld, int option, void* outvalue);
WINBASEAPI ULONG lumivel_ldap_connect(PLDAP ld, struct l_timeval* timeout);
WINBASEAPI ULONG lumivel_ldap_bind_sW(PLDAP ld, PCWSTR dn, PCWSTR cred, ULONG method);
WINBASEAPI ULONG lumivel_ldap_modify_ext_sW(PLDAP ld, PCWSTR dn, LDAPModW* mods[], PLDAPControlW* ServerControls,
                                            PLDAPControlW* ClientControls);
WINBASEAPI WCHAR* lumivel_ldap_err2stringW(ULONG err);
WINBASEAPI ULONG lumivel_ldap_unbind(PLDAP ld);
WINBASEAPI ULONG lumivel_LdapGetLastError();
WINBASEAPI ULONG lumivel_LdapMapErrorToWin32(ULONG LdapError);
}

#define ldap_init lumivel_ldap_initW
#define ldap_initW lumivel_ldap_initW
#define ldap_set_option lumivel_ldap_set_optionW
#define ldap_set_optionW lumivel_ldap_set_optionW
#define ldap_get_option lumivel_ldap_get_optionW
#define ldap_get_optionW lumivel_ldap_get_optionW
#define ldap_connect lumivel_ldap_connect
#define ldap_bind_s lumivel_ldap_bind_sW
#define ldap_bind_sW lumivel_ldap_bind_sW
#define ldap_modify_ext_s lumivel_ldap_modify_ext_sW
#define ldap_modify_ext_sW lumivel_ldap_modify_ext_sW
#define ldap_err2string lumivel_ldap_err2stringW
#define ldap_err2stringW lumivel_ldap_err2stringW
#define ldap_unbind lumivel_ldap_unbind
#define ldap_unbind_s lumivel_ldap_unbind
#define LdapGetLastError lumivel_LdapGetLastError
#define LdapMapErrorToWin32 lumivel_LdapMapErrorToWin32
#define LDAPControl LDAPControlW
#define PLDAPControl PLDAPControlW
#define LDAPMod LDAPModW
#define PLDAPMod PLDAPModW
