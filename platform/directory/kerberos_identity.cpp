// Kerberos credential cache inspection.
#include "kerberos_identity.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>
#include <krb5.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "win/dserror.h"
#include "win/errors.h"

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

namespace {

// What the request thread and the waiting caller share; the thread may outlive the caller.
struct TicketRequest {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
};

// The first step of the context a SASL GSSAPI bind sets up ("ldap@host", Kerberos), which
// fetches and caches the service ticket; the context itself is thrown away.
void RequestTicket(const std::string& host) {
    OM_uint32 minor = 0;
    std::string service = "ldap@" + host;
    gss_buffer_desc serviceName{service.size(), service.data()};
    gss_name_t target = GSS_C_NO_NAME;
    if (gss_import_name(&minor, &serviceName, GSS_C_NT_HOSTBASED_SERVICE, &target) != GSS_S_COMPLETE) return;
    gss_ctx_id_t context = GSS_C_NO_CONTEXT;
    gss_buffer_desc token{0, nullptr};
    gss_init_sec_context(&minor, GSS_C_NO_CREDENTIAL, &context, target, const_cast<gss_OID>(gss_mech_krb5),
                         GSS_C_MUTUAL_FLAG | GSS_C_INTEG_FLAG | GSS_C_CONF_FLAG, 0, GSS_C_NO_CHANNEL_BINDINGS,
                         GSS_C_NO_BUFFER, nullptr, &token, nullptr, nullptr);
    gss_release_buffer(&minor, &token);
    if (context != GSS_C_NO_CONTEXT) gss_delete_sec_context(&minor, &context, GSS_C_NO_BUFFER);
    gss_release_name(&minor, &target);
}

}  // namespace

HRESULT RequestServiceTicket(const std::string& host, std::chrono::steady_clock::time_point deadline) {
    auto request = std::make_shared<TicketRequest>();
    try {
        std::thread([request, host] {
            RequestTicket(host);
            std::lock_guard lock(request->mutex);
            request->done = true;
            request->answered.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES);
    }
    std::unique_lock lock(request->mutex);
    return request->answered.wait_until(lock, deadline, [&] { return request->done; }) ? S_OK
                                                                                       : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

}  // namespace lumivel::directory
