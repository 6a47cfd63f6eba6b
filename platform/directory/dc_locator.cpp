// DC locator on DNS SRV records.
#include "dc_locator.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <random>

#include "dn.h"
#include "lumivel/text.h"

namespace lumivel::directory {

bool IsDnsName(std::string_view name) {
    if (name.empty()) return false;
    for (char ch : name) {
        const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '.' ||
                        ch == '-' || ch == '_';
        if (!ok) return false;
    }
    return true;
}

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

}  // namespace

std::vector<SrvRecord> LocateDomainControllers(const std::string& dnsDomain) {
    if (dnsDomain.empty()) return {};
    return OrderSrvRecords(QuerySrv("_ldap._tcp.dc._msdcs." + dnsDomain), RandomUpTo);
}

std::vector<SrvRecord> LocateGlobalCatalogs(const std::string& forestDnsName) {
    if (forestDnsName.empty()) return {};
    auto records = OrderSrvRecords(QuerySrv("_gc._tcp." + forestDnsName), RandomUpTo);
    for (auto& r : records)
        if (r.port == 0) r.port = 3268;
    return records;
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
