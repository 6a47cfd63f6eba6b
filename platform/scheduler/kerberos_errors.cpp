#include "kerberos_errors.h"

#include <cerrno>

#include "win/winerror.h"

namespace lumivel::scheduler {
namespace {

struct KerberosError {
    krb5_error_code code;
    DWORD win32;
};

// A wrong password and an unknown account read the same, as a Windows logon keeps them apart
// from nobody.
constexpr KerberosError kErrors[] = {
    {KRB5KDC_ERR_PREAUTH_FAILED, ERROR_LOGON_FAILURE},
    {KRB5KRB_AP_ERR_BAD_INTEGRITY, ERROR_LOGON_FAILURE},
    {KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN, ERROR_LOGON_FAILURE},
    {KRB5_PREAUTH_FAILED, ERROR_LOGON_FAILURE},
    {KRB5KDC_ERR_CLIENT_REVOKED, ERROR_ACCOUNT_DISABLED},
    {KRB5KDC_ERR_KEY_EXP, ERROR_PASSWORD_EXPIRED},
    {KRB5KDC_ERR_POLICY, ERROR_ACCOUNT_RESTRICTION},
    {KRB5KRB_AP_ERR_SKEW, ERROR_TIME_SKEW},
    {KRB5_KDC_UNREACH, ERROR_NO_LOGON_SERVERS},
    {KRB5_REALM_UNKNOWN, ERROR_NO_LOGON_SERVERS},
    {KRB5_REALM_CANT_RESOLVE, ERROR_NO_LOGON_SERVERS},
    {KRB5_PARSE_MALFORMED, ERROR_INVALID_ACCOUNT_NAME},
    {KRB5_KT_NOTFOUND, ERROR_LOGON_FAILURE},
    {KRB5_KT_BADNAME, ERROR_FILE_NOT_FOUND},
    {KRB5_KT_FORMAT, ERROR_BAD_FORMAT},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
};

}  // namespace

HRESULT HresultFromKerberos(krb5_error_code code) {
    if (code == 0) return S_OK;
    if (code == ENOMEM) return E_OUTOFMEMORY;
    for (const KerberosError& error : kErrors)
        if (error.code == code) return HRESULT_FROM_WIN32(error.win32);
    return E_FAIL;
}

}  // namespace lumivel::scheduler
