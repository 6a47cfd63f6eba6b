// DC locator on DNS SRV records.
#include "dc_locator.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <random>
#include <set>

#include "client_site.h"
#include "dn.h"
#include "lumivel/dns_name.h"
#include "lumivel/machine_config.h"
#include "lumivel/text.h"
#include "lumivel/trace.h"

namespace lumivel::directory {

bool IsDnsName(std::string_view name) { return IsDnsNameText(name, true); }

std::vector<SrvRecord> OrderSrvRecords(std::vector<SrvRecord> records,
                                       const std::function<uint32_t(uint32_t bound)>& random) {
    std::stable_sort(records.begin(), records.end(),
                     [](const SrvRecord& a, const SrvRecord& b) { return a.priority < b.priority; });
    std::vector<SrvRecord> ordered;
    ordered.reserve(records.size());
    size_t groupStart = 0;
    while (groupStart < records.size()) {
        size_t groupEnd = groupStart;
        while (groupEnd < records.size() && records[groupEnd].priority == records[groupStart].priority) ++groupEnd;
        std::vector<SrvRecord> group(records.begin() + groupStart, records.begin() + groupEnd);
        // Zero weights first in the working list, as RFC 2782 asks, so that they can still be
        // chosen when the random pick is 0.
        std::stable_partition(group.begin(), group.end(), [](const SrvRecord& r) { return r.weight == 0; });
        while (!group.empty()) {
            uint32_t total = 0;
            for (const auto& r : group) total += r.weight;
            // RFC 2782 draws from [0, total]; without zero-weight records a 0 would favour the
            // first record, so the draw then starts at 1 and the odds follow the weights.
            const bool zeroWeights = group.front().weight == 0;
            const uint32_t pick = zeroWeights || total == 0 ? random(total) : 1 + random(total - 1);
            uint32_t running = 0;
            size_t chosen = group.size() - 1;
            for (size_t i = 0; i < group.size(); ++i) {
                running += group[i].weight;
                if (running >= pick) {
                    chosen = i;
                    break;
                }
            }
            ordered.push_back(group[chosen]);
            group.erase(group.begin() + chosen);
        }
        groupStart = groupEnd;
    }
    return ordered;
}

std::vector<SrvRecord> QuerySrv(const std::string& name) {
    std::vector<SrvRecord> records;
    struct __res_state state {};
    if (res_ninit(&state) != 0) return records;
    // A dead name server must not hold a bind for long.
    state.retrans = 2;
    state.retry = 2;
    std::vector<unsigned char> answer(65536);
    const int length = res_nquery(&state, name.c_str(), ns_c_in, ns_t_srv, answer.data(), static_cast<int>(answer.size()));
    if (length > 0) {
        ns_msg message;
        if (ns_initparse(answer.data(), length, &message) == 0) {
            const int count = ns_msg_count(message, ns_s_an);
            for (int i = 0; i < count; ++i) {
                ns_rr rr;
                if (ns_parserr(&message, ns_s_an, i, &rr) != 0 || ns_rr_type(rr) != ns_t_srv) continue;
                if (ns_rr_rdlen(rr) < 7) continue;
                const unsigned char* data = ns_rr_rdata(rr);
                SrvRecord record;
                record.priority = ns_get16(data);
                record.weight = ns_get16(data + 2);
                record.port = ns_get16(data + 4);
                char target[NS_MAXDNAME];
                if (ns_name_uncompress(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0)
                    continue;
                record.target = target;
                while (!record.target.empty() && record.target.back() == '.') record.target.pop_back();
                // "." as target means the service is decidedly not available there.
                if (!record.target.empty()) records.push_back(std::move(record));
            }
        }
    }
    res_nclose(&state);
    return records;
}

namespace {

uint32_t RandomUpTo(uint32_t bound) {
    thread_local std::mt19937 generator{std::random_device{}()};
    return std::uniform_int_distribution<uint32_t>(0, bound)(generator);
}

std::string Targets(const std::vector<SrvRecord>& records) {
    std::string text;
    for (const auto& r : records) text += (text.empty() ? "" : ", ") + r.target;
    return text.empty() ? "none" : text;
}

std::vector<std::string> Hosts(const std::vector<SrvRecord>& records) {
    std::vector<std::string> hosts;
    for (const auto& r : records) hosts.push_back(r.target);
    return hosts;
}

// The servers of `all` (records of `serviceName` under DOMAIN) put in the client's order;
// `siteName` makes the name of the site's records from a site. `pingDomain` is the domain
// whose DCs are asked for the site, and `pingHosts` those DCs.
std::vector<SrvRecord> InClientOrder(const std::string& what, std::vector<SrvRecord> all, const std::string& pingDomain,
                                     const std::vector<std::string>& pingHosts,
                                     const std::function<std::string(const std::string& site)>& siteName,
                                     const SiteAwareSources& sources) {
    Trace("locator", what + ": " + (all.empty() ? std::string("none in DNS") : std::to_string(all.size()) + " in DNS: " + Targets(all)));
    const std::vector<std::string> preferred = sources.preferred ? sources.preferred() : std::vector<std::string>{};
    // With one server (or none) there is nothing to choose, and no reason to ask for the site.
    if (all.size() < 2) return all;
    std::vector<SrvRecord> inSite;
    const std::string site = sources.clientSite ? sources.clientSite(pingDomain, pingHosts) : std::string();
    if (!site.empty()) {
        inSite = sources.srv(siteName(site));
        Trace("locator", what + ": site " + site + " has " + Targets(inSite));
    }
    std::vector<SrvRecord> ordered = PreferredFirst(all, inSite, preferred);
    if (!preferred.empty() || !inSite.empty()) Trace("locator", what + ": tried in the order " + Targets(ordered));
    return ordered;
}

}  // namespace

std::vector<SrvRecord> PreferredFirst(const std::vector<SrvRecord>& domainServers,
                                      const std::vector<SrvRecord>& siteServers,
                                      const std::vector<std::string>& preferred) {
    std::vector<SrvRecord> ordered;
    std::set<std::string> taken;
    auto take = [&](const SrvRecord& r) {
        if (taken.insert(LowerAsciiUtf8(r.target)).second) ordered.push_back(r);
    };
    for (const std::string& name : preferred) {
        const std::string wanted = LowerAsciiUtf8(name);
        for (const auto& list : {&siteServers, &domainServers})
            for (const auto& r : *list)
                if (LowerAsciiUtf8(r.target) == wanted) take(r);
    }
    for (const auto& r : siteServers) take(r);
    for (const auto& r : domainServers) take(r);
    return ordered;
}

SiteAwareSources SystemSiteAwareSources() {
    SiteAwareSources sources;
    sources.srv = [](const std::string& name) { return OrderSrvRecords(QuerySrv(name), RandomUpTo); };
    sources.clientSite = [](const std::string& domain, const std::vector<std::string>& hosts) {
        const ClientSite site = ClientSiteOf(domain, hosts);
        if (site.configured)
            Trace("locator", domain + ": the configuration puts this machine in site " + site.site);
        else if (!site.asked)
            Trace("locator", domain + ": no DC answered the site ping; the domain's order stands");
        else if (site.kept)
            Trace("locator", domain + ": this machine is in site " + (site.site.empty() ? std::string("none") : site.site) +
                                 ", as " + site.answeredBy + " said at the last ping");
        else if (site.site.empty())
            Trace("locator", domain + ": " + site.answeredBy + " knows no site for this machine (no subnet holds its address)");
        else
            Trace("locator", domain + ": " + site.answeredBy + " (site " + (site.dcSite.empty() ? "unknown" : site.dcSite) +
                                 ") puts this machine in site " + site.site);
        return site.site;
    };
    sources.preferred = [] { return MachineNameList("PreferredDomainControllers"); };
    return sources;
}

std::vector<SrvRecord> LocateDomainControllers(const std::string& dnsDomain, const SiteAwareSources& sources) {
    if (dnsDomain.empty()) return {};
    std::vector<SrvRecord> all = sources.srv("_ldap._tcp.dc._msdcs." + dnsDomain);
    const std::vector<std::string> hosts = Hosts(all);
    return InClientOrder(
        "domain controllers of " + dnsDomain, std::move(all), dnsDomain, hosts,
        [&](const std::string& site) { return "_ldap._tcp." + site + "._sites.dc._msdcs." + dnsDomain; }, sources);
}

std::vector<SrvRecord> LocateDomainControllers(const std::string& dnsDomain) {
    return LocateDomainControllers(dnsDomain, SystemSiteAwareSources());
}

std::vector<SrvRecord> LocateGlobalCatalogs(const std::string& forestDnsName, const SiteAwareSources& sources) {
    if (forestDnsName.empty()) return {};
    std::vector<SrvRecord> all = sources.srv("_gc._tcp." + forestDnsName);
    std::vector<SrvRecord> ordered;
    if (all.size() < 2) {
        ordered = std::move(all);
    } else {
        // The forest root's DCs know the client's site as well as any, and answer a ping for
        // the forest's name, which a catalog server of another domain would not.
        const std::vector<std::string> rootDcs = Hosts(sources.srv("_ldap._tcp.dc._msdcs." + forestDnsName));
        ordered = InClientOrder(
            "global catalogs of " + forestDnsName, std::move(all), forestDnsName, rootDcs,
            [&](const std::string& site) { return "_gc._tcp." + site + "._sites." + forestDnsName; }, sources);
    }
    for (auto& r : ordered)
        if (r.port == 0) r.port = 3268;
    return ordered;
}

std::vector<SrvRecord> LocateGlobalCatalogs(const std::string& forestDnsName) {
    return LocateGlobalCatalogs(forestDnsName, SystemSiteAwareSources());
}

std::vector<SrvRecord> BindCandidates(const std::string& name, bool named, bool globalCatalog,
                                      const Locator& locator) {
    if (name.empty()) return {};
    const std::vector<SrvRecord> controllers = locator.domainControllers(name);
    std::vector<SrvRecord> candidates;
    if (!globalCatalog) {
        candidates = controllers;
    } else if (!named || !controllers.empty()) {
        // Catalog servers register under the forest root's name only.
        std::string forest = locator.forestOf(name);
        if (forest.empty()) forest = name;
        candidates = locator.globalCatalogs(forest);
    }
    if (candidates.empty() && named) candidates.push_back(SrvRecord{0, 0, 0, name});
    return candidates;
}

std::string DomainOfDn(const std::string& dn, const std::string& defaultDomain) {
    std::string domain = ToUtf8(LowerAscii(DnToDnsName(FromUtf8(dn))));
    return domain.empty() ? defaultDomain : domain;
}

std::vector<SrvRecord> ServerlessCandidates(const std::string& dn, const std::string& defaultDomain,
                                            bool globalCatalog, const Locator& locator) {
    const std::string domain = DomainOfDn(dn, defaultDomain);
    if (domain == defaultDomain) return BindCandidates(defaultDomain, false, globalCatalog, locator);
    std::vector<SrvRecord> controllers = locator.domainControllers(domain);
    if (!controllers.empty()) {
        if (!globalCatalog) return controllers;
        std::vector<SrvRecord> catalogs = BindCandidates(domain, false, true, locator);
        if (!catalogs.empty()) return catalogs;
    }
    // An application partition, or a domain whose DNS zone this client cannot see: the default
    // domain's DCs know every naming context of the forest and refer to the one that holds it.
    const DnReferral referral = locator.referralOf ? locator.referralOf(dn) : DnReferral{};
    if (referral.kind == DnReferral::Kind::Referred && !referral.host.empty())
        return BindCandidates(referral.host, true, globalCatalog, locator);
    return BindCandidates(defaultDomain, false, globalCatalog, locator);
}

}  // namespace lumivel::directory
