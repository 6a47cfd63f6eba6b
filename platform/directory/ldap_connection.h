// LDAP connections: one per server and thread, SASL GSSAPI with sealing on ldap://, connection
// and operation time-outs, and the rootDSE facts every bind needs.
#pragma once

#include <chrono>

#include <ldap.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win/types.h"

namespace lumivel::directory {

struct LdapMessageFree {
    void operator()(LDAPMessage* m) const { if (m) ldap_msgfree(m); }
};
using LdapMessagePtr = std::unique_ptr<LDAPMessage, LdapMessageFree>;

struct BervalsFree {
    void operator()(berval** v) const { if (v) ldap_value_free_len(v); }
};
using BervalsPtr = std::unique_ptr<berval*, BervalsFree>;

struct RootDseFacts {
    std::string defaultNamingContext;
    std::string configurationNamingContext;
    std::string schemaNamingContext;
    std::string rootDomainNamingContext;
    std::string dnsHostName;
    std::string subschemaSubentry;
};

struct ConnectionTimeouts {
    int connectSeconds = 10;
    int operationSeconds = 120;
};
// LUMIVEL_LDAP_CONNECT_TIMEOUT / LUMIVEL_LDAP_OPERATION_TIMEOUT (seconds) when set, else the
// machine's configuration (LdapConnectTimeout, LdapOperationTimeout), else 10 s and 120 s.
ConnectionTimeouts CurrentTimeouts();
// Whole seconds left until the deadline, at least one: libldap takes whole time-outs.
int SecondsLeft(std::chrono::steady_clock::time_point deadline);

class LdapConnection {
public:
    // Connects to host:port, binds with the credential cache and reads the rootDSE.
    static HRESULT Open(const std::string& host, uint16_t port, std::shared_ptr<LdapConnection>* connection);
    ~LdapConnection();
    LdapConnection(const LdapConnection&) = delete;
    LdapConnection& operator=(const LdapConnection&) = delete;

    LDAP* Handle() const { return m_ld; }
    // Held around every use of Handle(): objects may reach one connection from several threads.
    std::mutex& Mutex() { return m_mutex; }
    uint16_t Port() const { return m_port; }
    // The DNS name of the DC that answered (its rootDSE dnsHostName, else the host dialled).
    const std::string& ServerName() const { return m_serverName; }
    const RootDseFacts& RootDse() const { return m_rootDse; }

    // A failure that means the connection is gone; the cache then stops handing it out.
    void NoteResult(int rc);
    bool Broken() const { return m_broken; }
    // True (and from then on Broken) when the server has closed the connection: a DC stopped
    // since the last use. Costs one non-blocking peek at the socket.
    bool ServerHasClosed();

private:
    LdapConnection() = default;
    LDAP* m_ld = nullptr;
    uint16_t m_port = 0;
    std::string m_serverName;
    RootDseFacts m_rootDse;
    std::mutex m_mutex;
    std::atomic<bool> m_broken{false};
};

// The calling thread's connection for a server name (a DC's DNS name or a domain name) and
// port; GC selects global catalog servers. Without a server, the domain that objectDn (UTF-8)
// names, or the default domain when it names none. Candidates from the locator are tried in
// order until one connects.
enum class ServerRole { DomainController, GlobalCatalog };
HRESULT AcquireConnection(const std::string& server, uint16_t port, ServerRole role,
                          std::shared_ptr<LdapConnection>* connection, const std::string& objectDn = {});

// Connections this process has opened (for tests of the connection cache).
size_t ConnectionsOpened();

// Synchronous search with the operation time-out (or the one given); fills *result even on
// failure results.
int SearchSync(LdapConnection& connection, const std::string& base, int scope, const std::string& filter,
               const std::vector<std::string>& attributes, LDAPControl** serverControls, LdapMessagePtr* result,
               int timeoutSeconds = 0);

// Runs a paged search (page size 1000) and calls onEntry for every entry, under the
// connection's lock. Returns the LDAP result code of the last page.
int PagedSearch(LdapConnection& connection, const std::string& base, int scope, const std::string& filter,
                const std::vector<std::string>& attributes, const std::function<void(LDAP*, LDAPMessage*)>& onEntry,
                bool showDeleted = false);

// The values of one attribute of an entry as strings.
std::vector<std::string> EntryValues(LDAP* ld, LDAPMessage* entry, const char* attribute);
std::string EntryDn(LDAP* ld, LDAPMessage* entry);

}  // namespace lumivel::directory
