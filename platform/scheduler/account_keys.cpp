#include "account_keys.h"

#include <krb5.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>

#include "../directory/kerberos_identity.h"
#include "lumivel/temporary_file.h"
#include "kerberos_errors.h"
#include "keytab_file.h"
#include "lumivel/temporary_file.h"
#include "lumivel/text.h"
#include "win/winerror.h"


namespace lumivel::scheduler {
namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Text that holds secrets is wiped before its memory goes back.
class SecretText {
public:
    explicit SecretText(std::u16string_view text) : m_text(ToUtf8(text)) {}
    ~SecretText() { if (!m_text.empty()) explicit_bzero(m_text.data(), m_text.size()); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    const char* c_str() const { return m_text.c_str(); }
    krb5_data data() { return krb5_data{KV5M_DATA, static_cast<unsigned int>(m_text.size()), m_text.data()}; }

private:
    std::string m_text;
};

class Kerberos {
public:
    Kerberos() : m_error(krb5_init_context(&m_context)) {}
    ~Kerberos() {
        if (m_options) krb5_get_init_creds_opt_free(m_context, m_options);
        if (m_client) krb5_free_principal(m_context, m_client);
        if (m_context) krb5_free_context(m_context);
    }
    Kerberos(const Kerberos&) = delete;
    Kerberos& operator=(const Kerberos&) = delete;

    krb5_error_code start(const std::string& principal) {
        if (m_error) return m_error;
        if (krb5_error_code e = krb5_parse_name(m_context, principal.c_str(), &m_client)) return e;
        if (krb5_error_code e = krb5_get_init_creds_opt_alloc(m_context, &m_options)) return e;
        // The ticket is for the job alone: nothing to forward or hand on.
        krb5_get_init_creds_opt_set_forwardable(m_options, 0);
        krb5_get_init_creds_opt_set_proxiable(m_options, 0);
        return 0;
    }
    krb5_context context() const { return m_context; }
    krb5_principal client() const { return m_client; }
    krb5_get_init_creds_opt* options() const { return m_options; }

private:
    krb5_context m_context = nullptr;
    krb5_error_code m_error;
    krb5_principal m_client = nullptr;
    krb5_get_init_creds_opt* m_options = nullptr;
};

// Obtains the credentials with the keytab, so that a key that does not work is found out when
// the account is set rather than when the job should run.
krb5_error_code CredentialsFromKeytab(Kerberos& k, const std::string& keytabPath, krb5_creds* creds) {
    krb5_keytab keytab = nullptr;
    if (krb5_error_code e = krb5_kt_resolve(k.context(), ("FILE:" + keytabPath).c_str(), &keytab)) return e;
    krb5_error_code e = krb5_get_init_creds_keytab(k.context(), creds, k.client(), keytab, 0, nullptr, k.options());
    krb5_kt_close(k.context(), keytab);
    return e;
}

}  // namespace

HRESULT PrincipalOfAccount(std::u16string_view account, std::string* principal) {
    const std::string text = ToUtf8(account);
    const auto invalid = HRESULT_FROM_WIN32(ERROR_INVALID_ACCOUNT_NAME);
    std::string user = text, realm;
    if (size_t at = text.rfind('@'); at != std::string::npos) {
        user = text.substr(0, at);
        realm = Upper(text.substr(at + 1));
        if (realm.empty()) return invalid;
    } else if (size_t slash = text.find('\\'); slash != std::string::npos) {
        user = text.substr(slash + 1);
        std::string domain = Upper(text.substr(0, slash));
        if (domain.find('.') != std::string::npos) {
            realm = domain;
        } else {
            realm = Upper(directory::DefaultDomainName());
            if (realm.substr(0, realm.find('.')) != domain || domain.empty())
                return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
        }
    } else {
        realm = Upper(directory::DefaultDomainName());
        if (realm.empty()) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
    }
    // Only plain user names: a '/' or '@' would name a service or another realm, and a
    // backslash or control character has no place in a logon name.
    if (user.empty()) return invalid;
    for (unsigned char c : user + realm)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '@' || c == '\\') return invalid;
    *principal = user + "@" + realm;
    return S_OK;
}

HRESULT DeriveKeytab(const std::string& principal, std::u16string_view password, std::vector<uint8_t>* keytab) {
    Kerberos k;
    if (krb5_error_code e = k.start(principal)) return HresultFromKerberos(e);
    SecretText secret(password);
    krb5_creds creds{};
    krb5_error_code e = krb5_get_init_creds_password(k.context(), &creds, k.client(), secret.c_str(), nullptr, nullptr,
                                                     0, nullptr, k.options());
    if (e) return HresultFromKerberos(e);
    krb5_free_cred_contents(k.context(), &creds);

    // The key the KDC checks: its preferred encryption type with the account's own salt.
    krb5_enctype type = 0;
    krb5_data salt{}, parameters{};
    if ((e = krb5_get_etype_info(k.context(), k.client(), k.options(), &type, &salt, &parameters)))
        return HresultFromKerberos(e);
    krb5_keyblock key{};
    krb5_data passwordData = secret.data();
    e = krb5_c_string_to_key_with_params(k.context(), type, &passwordData, &salt,
                                         parameters.length ? &parameters : nullptr, &key);
    krb5_free_data_contents(k.context(), &salt);
    krb5_free_data_contents(k.context(), &parameters);
    if (e) return HresultFromKerberos(e);

    KeytabEntry entry;
    entry.realm.assign(k.client()->realm.data, k.client()->realm.length);
    for (krb5_int32 i = 0; i < k.client()->length; ++i)
        entry.components.emplace_back(k.client()->data[i].data, k.client()->data[i].length);
    entry.nameType = static_cast<uint32_t>(k.client()->type);
    entry.timestamp = static_cast<uint32_t>(std::time(nullptr));
    entry.version = 1;
    entry.encryptionType = key.enctype;
    entry.key.assign(key.contents, key.contents + key.length);
    krb5_free_keyblock_contents(k.context(), &key);
    std::vector<uint8_t> bytes = EncodeKeytab({entry});
    if (!entry.key.empty()) explicit_bzero(entry.key.data(), entry.key.size());

    DWORD error = ERROR_SUCCESS;
    auto scratch = PrivateTempDirectory::Create(u"lumivel-keytab-", &error);
    if (!scratch) {
        if (!bytes.empty()) explicit_bzero(bytes.data(), bytes.size());
        return HRESULT_FROM_WIN32(error);
    }
    const std::string file = ToUtf8(scratch->PathOf(u"keytab"));
    error = WriteFileAtomically(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), 0600,
                                ExistingFile::Keep);
    HRESULT hr = HRESULT_FROM_WIN32(error);
    if (error == ERROR_SUCCESS) {
        krb5_creds check{};
        hr = HresultFromKerberos(CredentialsFromKeytab(k, file, &check));
        if (SUCCEEDED(hr)) krb5_free_cred_contents(k.context(), &check);
    }
    if (FAILED(hr)) {
        if (!bytes.empty()) explicit_bzero(bytes.data(), bytes.size());
        return hr;
    }
    *keytab = std::move(bytes);
    return S_OK;
}

HRESULT TicketFromKeytab(const std::string& principal, const std::string& keytabPath, const std::string& cachePath) {
    Kerberos k;
    if (krb5_error_code e = k.start(principal)) return HresultFromKerberos(e);
    krb5_creds creds{};
    if (krb5_error_code e = CredentialsFromKeytab(k, keytabPath, &creds)) return HresultFromKerberos(e);
    krb5_ccache cache = nullptr;
    krb5_error_code e = krb5_cc_resolve(k.context(), ("FILE:" + cachePath).c_str(), &cache);
    if (!e) e = krb5_cc_initialize(k.context(), cache, k.client());
    if (!e) e = krb5_cc_store_cred(k.context(), cache, &creds);
    if (cache) krb5_cc_close(k.context(), cache);
    krb5_free_cred_contents(k.context(), &creds);
    return HresultFromKerberos(e);
}

}  // namespace lumivel::scheduler
