// Finding domain controllers: DNS SRV records ordered by priority and weight (RFC 2782), and
// the default domain of the logged-on user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivel::directory {

// True for a name made of DNS host-name characters only (letters, digits, ".", "-", "_"), as
// servers named by a caller or by the directory must be before they are dialled.
bool IsDnsName(std::string_view name);

struct SrvRecord {
    uint16_t priority = 0;
    uint16_t weight = 0;
    uint16_t port = 0;
    std::string target;  // DNS name without the trailing dot
};

// Lowest priority first; inside one priority a weighted random order in which a record's
// chance to come next is its weight over the remaining total (weight-0 records last but
// possible). `random` returns a value in [0, bound].
std::vector<SrvRecord> OrderSrvRecords(std::vector<SrvRecord> records,
                                       const std::function<uint32_t(uint32_t bound)>& random);

// Queries `name` (for example "_ldap._tcp.dc._msdcs.example.test") with the system resolver,
// with a bounded time-out; an empty list when there is no answer.
std::vector<SrvRecord> QuerySrv(const std::string& name);

// The servers of a domain for a client: those the machine's configuration prefers, in its
// order, when the domain has them; then the ones registered for the client's site; then the
// rest of the domain's, in their own order. Each server once (names compared without regard
// to case).
std::vector<SrvRecord> PreferredFirst(const std::vector<SrvRecord>& domainServers,
                                      const std::vector<SrvRecord>& siteServers,
                                      const std::vector<std::string>& preferred);

// What the site-aware look-ups rest on, replaceable for tests.
struct SiteAwareSources {
    // SRV records of a name, in the order RFC 2782 gives.
    std::function<std::vector<SrvRecord>(const std::string& name)> srv;
    // The client's site in a domain's forest; the hosts are the domain's DCs to ask.
    std::function<std::string(const std::string& domain, const std::vector<std::string>& hosts)> clientSite;
    // DNS names of the DCs the machine's configuration prefers.
    std::function<std::vector<std::string>()> preferred;
};
SiteAwareSources SystemSiteAwareSources();

// The domain controllers of a DNS domain in the order they should be tried: with more than
// one to choose from, a DC is asked for the client's site, and that site's DCs
// (_ldap._tcp.SITE._sites.dc._msdcs.DOMAIN) come before the domain's others.
std::vector<SrvRecord> LocateDomainControllers(const std::string& dnsDomain, const SiteAwareSources& sources);
std::vector<SrvRecord> LocateDomainControllers(const std::string& dnsDomain);
// Global catalog servers of a forest (port 3268 unless the record says otherwise), those of
// the client's site (_gc._tcp.SITE._sites.FOREST) first.
std::vector<SrvRecord> LocateGlobalCatalogs(const std::string& forestDnsName, const SiteAwareSources& sources);
std::vector<SrvRecord> LocateGlobalCatalogs(const std::string& forestDnsName);

// What a DC of the default domain answers for a DN: it holds the object's naming context
// itself, it refers the caller to another server (a DC of a domain it knows in the forest),
// or it cannot tell (no such object, or no DC answered).
struct DnReferral {
    enum class Kind { Unknown, HeldThere, Referred };
    Kind kind = Kind::Unknown;
    std::string host;  // Referred: the host name of the referral's URL
};

// The lookups BindCandidates rests on, replaceable for tests.
struct Locator {
    std::function<std::vector<SrvRecord>(const std::string& dnsDomain)> domainControllers;
    std::function<std::vector<SrvRecord>(const std::string& forestDnsName)> globalCatalogs;
    // The forest root's DNS name for a domain or DC name; empty when it cannot be found out.
    std::function<std::string(const std::string& name)> forestOf;
    // A DC of the default domain asked about a DN (UTF-8).
    std::function<DnReferral(const std::string& dn)> referralOf;
};

// The servers a bind tries, in order. `name` is what the caller named (a DC's host name or a
// domain name) or, when `named` is false, the default domain. A name that has no domain
// controllers of its own is a host and is asked itself; a global catalog bind to a domain goes
// to the catalog servers of that domain's forest. Port 0 means the role's default port.
std::vector<SrvRecord> BindCandidates(const std::string& name, bool named, bool globalCatalog,
                                      const Locator& locator);

// The domain a bind without a server goes to for an object: the one its DN's DC= components
// name (lower case), or the default domain when the DN names none (a GUID, the rootDSE).
std::string DomainOfDn(const std::string& dn, const std::string& defaultDomain);

// The servers a bind without a server tries for the object named by a DN (UTF-8; empty for a
// GUID or the rootDSE): the DCs (or the forest's catalog servers) of the domain the DN names,
// whatever the default domain is; where DNS knows no DCs of that name, the server that a DC of
// the default domain refers the DN to; else the default domain's servers.
std::vector<SrvRecord> ServerlessCandidates(const std::string& dn, const std::string& defaultDomain,
                                            bool globalCatalog, const Locator& locator);

}  // namespace lumivel::directory
