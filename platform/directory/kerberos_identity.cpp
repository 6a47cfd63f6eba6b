// Kerberos credential cache inspection.
#include "kerberos_identity.h"

#include <krb5.h>

#include <algorithm>
#include <ctime>

#include "win/dserror.h"

namespace lumivel::directory {
namespace {

struct Context {
    krb5_context context = nullptr;
    Context() {
        if (krb5_init_context(&context) != 0) context = nullptr;
    }
    ~Context() {
        if (context) krb5_free_context(context);
    }
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::string DefaultDomainName() {
    Context k;
    if (!k.context) return {};
    std::string realm;
    krb5_ccache cache = nullptr;
    if (krb5_cc_default(k.context, &cache) == 0) {
        krb5_principal principal = nullptr;
        if (krb5_cc_get_principal(k.context, cache, &principal) == 0) {
            realm.assign(principal->realm.data, principal->realm.length);
            krb5_free_principal(k.context, principal);
        }
        krb5_cc_close(k.context, cache);
    }
    if (realm.empty()) {
        char* defaultRealm = nullptr;
        if (krb5_get_default_realm(k.context, &defaultRealm) == 0 && defaultRealm) {
            realm = defaultRealm;
            krb5_free_default_realm(k.context, defaultRealm);
        }
    }
    return Lower(realm);
}

HRESULT CheckCredentials() {
    Context k;
    if (!k.context) return SEC_E_NO_CREDENTIALS;
    krb5_ccache cache = nullptr;
    if (krb5_cc_default(k.context, &cache) != 0) return SEC_E_NO_CREDENTIALS;
    HRESULT result = SEC_E_NO_CREDENTIALS;
    krb5_principal principal = nullptr;
    krb5_cc_cursor cursor;
    if (krb5_cc_get_principal(k.context, cache, &principal) == 0 &&
        krb5_cc_start_seq_get(k.context, cache, &cursor) == 0) {
        const krb5_timestamp now = static_cast<krb5_timestamp>(std::time(nullptr));
        krb5_creds creds;
        while (krb5_cc_next_cred(k.context, cache, &cursor, &creds) == 0) {
            const krb5_principal server = creds.server;
            const bool isTgt = server && server->length == 2 && server->data[0].length == 6 &&
                               std::string(server->data[0].data, 6) == "krbtgt";
            if (isTgt) {
                // Compare as unsigned: krb5 timestamps wrap in 2038 by design.
                const bool valid = static_cast<uint32_t>(creds.times.endtime) > static_cast<uint32_t>(now);
                if (valid) result = S_OK;
                else if (result != S_OK) result = SEC_E_CONTEXT_EXPIRED;
            }
            krb5_free_cred_contents(k.context, &creds);
        }
        krb5_cc_end_seq_get(k.context, cache, &cursor);
    }
    if (principal) krb5_free_principal(k.context, principal);
    krb5_cc_close(k.context, cache);
    return result;
}

}  // namespace lumivel::directory
