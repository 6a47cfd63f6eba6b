// LDAP connection set-up, the per-thread connection cache and search helpers.
#include "ldap_connection.h"
#include "ldap_trace.h"

#include <sasl/sasl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>

#include "dc_locator.h"
#include "dn.h"
#include "error_table.h"
#include "kerberos_identity.h"
#include "lumivel/machine_config.h"
#include "lumivel/system_messages.h"
#include "lumivel/text.h"
#include "lumivel/trace.h"
#include "win/dserror.h"

namespace lumivel::directory {
namespace {

std::atomic<size_t> g_connectionsOpened{0};

int SaslInteract(LDAP*, unsigned, void*, void* interactions) {
    // GSSAPI asks nothing we could answer; take the library's defaults.
    for (auto* i = static_cast<sasl_interact_t*>(interactions); i && i->id != SASL_CB_LIST_END; ++i) {
        i->result = i->defresult ? i->defresult : "";
        i->len = static_cast<unsigned>(std::strlen(static_cast<const char*>(i->result)));
    }
    return LDAP_SUCCESS;
}

std::string FirstValue(LDAP* ld, LDAPMessage* entry, const char* attribute) {
    auto values = EntryValues(ld, entry, attribute);
    return values.empty() ? std::string() : values.front();
}

struct ThreadCache {
    std::map<std::string, std::shared_ptr<LdapConnection>> byHost;  // "host:port"
    std::map<std::string, std::string> aliases;                      // "name:port:role" -> host key
};

ThreadCache& Cache() {
    thread_local ThreadCache cache;
    return cache;
}

std::string HostKey(const std::string& host, uint16_t port) { return LowerAsciiUtf8(host) + ":" + std::to_string(port); }

DnReferral AskForReferral(const std::string& defaultDomain, const std::string& dn);

}  // namespace

int SecondsLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::seconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::seconds::rep>(left.count(), 1));
}

ConnectionTimeouts CurrentTimeouts() {
    ConnectionTimeouts t;
    t.connectSeconds = MachineNumber("LdapConnectTimeout", "LUMIVEL_LDAP_CONNECT_TIMEOUT").value;
    t.operationSeconds = MachineNumber("LdapOperationTimeout", "LUMIVEL_LDAP_OPERATION_TIMEOUT").value;
    return t;
}

HRESULT LdapConnection::Open(const std::string& host, uint16_t port, std::shared_ptr<LdapConnection>* connection) {
    const HRESULT credentials = CheckCredentials();
    if (FAILED(credentials)) return credentials;

    std::shared_ptr<LdapConnection> c(new LdapConnection());
    c->m_port = port;
    const std::string uri = "ldap://" + host + ":" + std::to_string(port);
    int rc = ldap_initialize(&c->m_ld, uri.c_str());
    if (rc != LDAP_SUCCESS || !c->m_ld) {
        c->m_ld = nullptr;
        return HresultFromLdap(rc ? rc : LDAP_LOCAL_ERROR);
    }
    const ConnectionTimeouts timeouts = CurrentTimeouts();
    // Until the connection is set up a server that does not answer is as good as absent: the
    // whole set-up, Kerberos included, gets the connect time-out rather than the longer
    // operation one.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeouts.connectSeconds);
    const HRESULT ticket = RequestServiceTicket(host, deadline);
    if (FAILED(ticket)) return ticket;
    int version = LDAP_VERSION3;
    ldap_set_option(c->m_ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(c->m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    timeval connectTimeout{SecondsLeft(deadline), 0};
    ldap_set_option(c->m_ld, LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout);
    timeval setupTimeout{SecondsLeft(deadline), 0};
    ldap_set_option(c->m_ld, LDAP_OPT_TIMEOUT, &setupTimeout);
    ldap_set_option(c->m_ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    // Sealing: AD refuses simple and unprotected SASL binds on ldap://.
    ldap_set_option(c->m_ld, LDAP_OPT_X_SASL_SECPROPS, "minssf=56");

    rc = ldap_sasl_interactive_bind_s(c->m_ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET, SaslInteract,
                                      nullptr);
    if (rc != LDAP_SUCCESS) {
        char* diagnostic = nullptr;
        ldap_get_option(c->m_ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic);
        const HRESULT hr = HresultFromBindFailure(rc, diagnostic ? diagnostic : "");
        if (diagnostic) ldap_memfree(diagnostic);
        return hr;
    }

    LdapMessagePtr result;
    rc = SearchSync(*c, "", LDAP_SCOPE_BASE, "(objectClass=*)",
                    {"defaultNamingContext", "configurationNamingContext", "schemaNamingContext",
                     "rootDomainNamingContext", "dnsHostName", "subschemaSubentry"},
                    nullptr, &result, SecondsLeft(deadline));
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    timeval operationTimeout{timeouts.operationSeconds, 0};
    ldap_set_option(c->m_ld, LDAP_OPT_TIMEOUT, &operationTimeout);
    if (LDAPMessage* entry = ldap_first_entry(c->m_ld, result.get())) {
        c->m_rootDse.defaultNamingContext = FirstValue(c->m_ld, entry, "defaultNamingContext");
        c->m_rootDse.configurationNamingContext = FirstValue(c->m_ld, entry, "configurationNamingContext");
        c->m_rootDse.schemaNamingContext = FirstValue(c->m_ld, entry, "schemaNamingContext");
        c->m_rootDse.rootDomainNamingContext = FirstValue(c->m_ld, entry, "rootDomainNamingContext");
        c->m_rootDse.dnsHostName = FirstValue(c->m_ld, entry, "dnsHostName");
        c->m_rootDse.subschemaSubentry = FirstValue(c->m_ld, entry, "subschemaSubentry");
    }
    c->m_serverName = c->m_rootDse.dnsHostName.empty() ? host : c->m_rootDse.dnsHostName;
    ++g_connectionsOpened;
    *connection = std::move(c);
    return S_OK;
}

LdapConnection::~LdapConnection() {
    if (m_ld) ldap_unbind_ext_s(m_ld, nullptr, nullptr);
}

void LdapConnection::NoteResult(int rc) {
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR) m_broken = true;
}

bool LdapConnection::ServerHasClosed() {
    if (m_broken) return true;
    std::lock_guard<std::mutex> lock(m_mutex);
    int socket = -1;
    if (ldap_get_option(m_ld, LDAP_OPT_DESC, &socket) != LDAP_OPT_SUCCESS || socket < 0) return false;
    char byte = 0;
    const ssize_t peeked = recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) m_broken = true;
    return m_broken;
}

HRESULT AcquireConnection(const std::string& server, uint16_t port, ServerRole role,
                          std::shared_ptr<LdapConnection>* connection, const std::string& objectDn) {
    ThreadCache& cache = Cache();
    const bool gc = role == ServerRole::GlobalCatalog;
    const uint16_t defaultPort = gc ? 3268 : 389;
    const std::string defaultDomain = server.empty() ? DefaultDomainName() : std::string();
    std::string name = server.empty() ? DomainOfDn(objectDn, defaultDomain) : server;
    if (name.empty()) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
    const std::string aliasKey = LowerAsciiUtf8(name) + ":" + std::to_string(port) + (gc ? ":gc" : ":dc");

    // A DC stopped since the connection's last use is passed over for the next candidate at once,
    // rather than failing the caller's first operation.
    if (auto alias = cache.aliases.find(aliasKey); alias != cache.aliases.end()) {
        auto found = cache.byHost.find(alias->second);
        if (found != cache.byHost.end() && !found->second->ServerHasClosed()) {
            *connection = found->second;
            return S_OK;
        }
    }

    Locator locator;
    locator.domainControllers = [](const std::string& domain) { return LocateDomainControllers(domain); };
    locator.globalCatalogs = [](const std::string& forest) { return LocateGlobalCatalogs(forest); };
    locator.forestOf = [](const std::string& domain) {
        std::shared_ptr<LdapConnection> dc;
        if (FAILED(AcquireConnection(domain, 0, ServerRole::DomainController, &dc))) return std::string();
        return ToUtf8(DnToDnsName(FromUtf8(dc->RootDse().rootDomainNamingContext)));
    };
    locator.referralOf = [&defaultDomain](const std::string& dn) { return AskForReferral(defaultDomain, dn); };
    const std::vector<SrvRecord> candidates = server.empty() ? ServerlessCandidates(objectDn, defaultDomain, gc, locator)
                                                             : BindCandidates(name, true, gc, locator);
    if (candidates.empty()) return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);

    HRESULT last = HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN);
    for (const auto& candidate : candidates) {
        const uint16_t candidatePort = port ? port : (candidate.port ? candidate.port : defaultPort);
        const std::string key = HostKey(candidate.target, candidatePort);
        if (auto found = cache.byHost.find(key); found != cache.byHost.end() && !found->second->ServerHasClosed()) {
            cache.aliases[aliasKey] = key;
            *connection = found->second;
            return S_OK;
        }
        std::shared_ptr<LdapConnection> opened;
        last = LdapConnection::Open(candidate.target, candidatePort, &opened);
        if (TraceEnabled()) {
            Trace("ldap", (SUCCEEDED(last) ? "bound to " : "could not bind to ") + candidate.target + ":" +
                              std::to_string(candidatePort) + " for " + (server.empty() ? "a serverless bind" : name) +
                              (SUCCEEDED(last) ? std::string() : ": " + ToUtf8(SystemMessageText(static_cast<DWORD>(last)))));
        }
        if (SUCCEEDED(last)) {
            cache.byHost[key] = opened;
            cache.byHost[HostKey(opened->ServerName(), candidatePort)] = opened;
            cache.aliases[aliasKey] = key;
            *connection = std::move(opened);
            return S_OK;
        }
        // Only an unreachable server lets the next candidate try; a refused bind would be
        // refused by every DC of the domain alike.
        if (last != HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN) && last != HRESULT_FROM_WIN32(ERROR_TIMEOUT)) break;
    }
    return last;
}

size_t ConnectionsOpened() { return g_connectionsOpened.load(); }

int SearchSync(LdapConnection& connection, const std::string& base, int scope, const std::string& filter,
               const std::vector<std::string>& attributes, LDAPControl** serverControls, LdapMessagePtr* result,
               int timeoutSeconds) {
    std::vector<char*> names;
    for (const auto& a : attributes) names.push_back(const_cast<char*>(a.c_str()));
    names.push_back(nullptr);
    timeval timeout{timeoutSeconds > 0 ? timeoutSeconds : CurrentTimeouts().operationSeconds, 0};
    LDAPMessage* message = nullptr;
    const int rc = ldap_search_ext_s(connection.Handle(), base.c_str(), scope, filter.c_str(),
                                     attributes.empty() ? nullptr : names.data(), 0, serverControls, nullptr,
                                     &timeout, LDAP_NO_LIMIT, &message);
    result->reset(message);
    connection.NoteResult(rc);
    TraceSearch(connection.ServerName(), base, scope, filter, rc);
    return rc;
}

int PagedSearch(LdapConnection& connection, const std::string& base, int scope, const std::string& filter,
                const std::vector<std::string>& attributes, const std::function<void(LDAP*, LDAPMessage*)>& onEntry,
                bool showDeleted) {
    std::lock_guard<std::mutex> lock(connection.Mutex());
    LDAP* ld = connection.Handle();
    berval cookie{0, nullptr};
    berval* nextCookie = nullptr;
    int rc = LDAP_SUCCESS;
    char showDeletedOid[] = "1.2.840.113556.1.4.417";
    LDAPControl showDeletedControl{showDeletedOid, {0, nullptr}, 1};
    do {
        LDAPControl* page = nullptr;
        rc = ldap_create_page_control(ld, 1000, &cookie, 0, &page);
        if (rc != LDAP_SUCCESS) break;
        LDAPControl* controls[3] = {page, showDeleted ? &showDeletedControl : nullptr, nullptr};
        LdapMessagePtr result;
        rc = SearchSync(connection, base, scope, filter, attributes, controls, &result);
        ldap_control_free(page);
        if (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED) break;
        for (LDAPMessage* e = ldap_first_entry(ld, result.get()); e; e = ldap_next_entry(ld, e)) onEntry(ld, e);
        LDAPControl** responseControls = nullptr;
        int code = 0;
        if (ldap_parse_result(ld, result.get(), &code, nullptr, nullptr, nullptr, &responseControls, 0) != LDAP_SUCCESS)
            break;
        if (cookie.bv_val) ber_memfree(cookie.bv_val);
        cookie = {0, nullptr};
        if (LDAPControl* response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, responseControls, nullptr)) {
            ber_int_t estimate = 0;
            if (ldap_parse_pageresponse_control(ld, response, &estimate, &cookie) != LDAP_SUCCESS) cookie = {0, nullptr};
        }
        ldap_controls_free(responseControls);
        rc = code;
        (void)nextCookie;
    } while (rc == LDAP_SUCCESS && cookie.bv_len > 0);
    if (cookie.bv_val) ber_memfree(cookie.bv_val);
    return rc;
}

std::vector<std::string> EntryValues(LDAP* ld, LDAPMessage* entry, const char* attribute) {
    std::vector<std::string> out;
    BervalsPtr values(ldap_get_values_len(ld, entry, attribute));
    if (!values) return out;
    for (berval** v = values.get(); *v; ++v) out.emplace_back((*v)->bv_val, (*v)->bv_len);
    return out;
}

std::string EntryDn(LDAP* ld, LDAPMessage* entry) {
    char* dn = ldap_get_dn(ld, entry);
    std::string out = dn ? dn : "";
    if (dn) ldap_memfree(dn);
    return out;
}

namespace {

// A base read of the DN on a DC of the default domain, referrals not chased: a DC answers for
// the naming contexts it holds and refers to a DC of the domain that holds any other one.
DnReferral AskForReferral(const std::string& defaultDomain, const std::string& dn) {
    DnReferral answer;
    std::shared_ptr<LdapConnection> dc;
    if (defaultDomain.empty() || FAILED(AcquireConnection(defaultDomain, 0, ServerRole::DomainController, &dc)))
        return answer;
    std::lock_guard<std::mutex> lock(dc->Mutex());
    LdapMessagePtr result;
    const int rc = SearchSync(*dc, dn, LDAP_SCOPE_BASE, "(objectClass=*)", {"1.1"}, nullptr, &result,
                              CurrentTimeouts().connectSeconds);
    if (rc == LDAP_SUCCESS) {
        answer.kind = DnReferral::Kind::HeldThere;
        return answer;
    }
    if (rc != LDAP_REFERRAL || !result) return answer;
    char** referrals = nullptr;
    int code = LDAP_SUCCESS;
    if (ldap_parse_result(dc->Handle(), result.get(), &code, nullptr, nullptr, &referrals, nullptr, 0) != LDAP_SUCCESS)
        return answer;
    for (char** url = referrals; url && *url && answer.host.empty(); ++url) {
        LDAPURLDesc* parsed = nullptr;
        if (ldap_url_parse(*url, &parsed) != LDAP_URL_SUCCESS) continue;
        // A referral names a DNS host or domain; anything else in it is not followed.
        if (parsed->lud_host && *parsed->lud_host && IsDnsName(parsed->lud_host)) answer.host = LowerAsciiUtf8(parsed->lud_host);
        ldap_free_urldesc(parsed);
    }
    if (referrals) ldap_memvfree(reinterpret_cast<void**>(referrals));
    if (!answer.host.empty()) answer.kind = DnReferral::Kind::Referred;
    return answer;
}

}  // namespace

}  // namespace lumivel::directory
