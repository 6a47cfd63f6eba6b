// DsGetDcNameW and DsGetSiteNameW on the DNS locator and the netlogon ping.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client_site.h"
#include "dc_locator.h"
#include "error_table.h"
#include "kerberos_identity.h"
#include "lumivel/text.h"
#include "lumivel/trace.h"
#include "netlogon_ping.h"
#include "win/dsapi.h"
#include "win/winerror.h"

using namespace lumivel::directory;
using lumivel::FromUtf8;
using lumivel::ToUtf8;

namespace {

constexpr ULONG kKnownFlags = DS_FORCE_REDISCOVERY | DS_DIRECTORY_SERVICE_REQUIRED | DS_DIRECTORY_SERVICE_PREFERRED |
                              DS_GC_SERVER_REQUIRED | DS_PDC_REQUIRED | DS_BACKGROUND_ONLY | DS_IP_REQUIRED |
                              DS_KDC_REQUIRED | DS_WRITABLE_REQUIRED | DS_ONLY_LDAP_NEEDED | DS_IS_DNS_NAME |
                              DS_TRY_NEXTCLOSEST_SITE | DS_RETURN_DNS_NAME | DS_RETURN_FLAT_NAME;

// Every DC the locator knows, and every one worth asking, answers within this.
constexpr int kAnswerMilliseconds = 2000;

// The reply's flags that a request flag asks for.
ULONG RequiredReplyFlags(ULONG flags) {
    ULONG required = 0;
    if (flags & DS_GC_SERVER_REQUIRED) required |= DS_GC_FLAG;
    if (flags & DS_PDC_REQUIRED) required |= DS_PDC_FLAG;
    if (flags & DS_KDC_REQUIRED) required |= DS_KDC_FLAG;
    if (flags & DS_WRITABLE_REQUIRED) required |= DS_WRITABLE_FLAG;
    if (flags & DS_DIRECTORY_SERVICE_REQUIRED) required |= DS_DS_FLAG;
    if (flags & DS_ONLY_LDAP_NEEDED) required |= DS_LDAP_FLAG;
    return required;
}

// Strings laid out behind the record in one allocation, as NetApiBufferFree frees it.
class InfoBlock {
public:
    void Add(LPWSTR* field, const std::u16string& text) { m_texts.push_back({field, text}); }

    PDOMAIN_CONTROLLER_INFOW Build(const DOMAIN_CONTROLLER_INFOW& fixed) {
        size_t size = sizeof(DOMAIN_CONTROLLER_INFOW);
        for (const auto& t : m_texts) size += (t.text.size() + 1) * sizeof(WCHAR);
        auto* info = static_cast<DOMAIN_CONTROLLER_INFOW*>(std::malloc(size));
        if (!info) return nullptr;
        *info = fixed;
        auto* next = reinterpret_cast<WCHAR*>(info + 1);
        for (const auto& t : m_texts) {
            std::memcpy(next, t.text.c_str(), (t.text.size() + 1) * sizeof(WCHAR));
            // The field's offset in the fixed record gives its place in the block's copy.
            const auto offset = reinterpret_cast<const char*>(t.field) - reinterpret_cast<const char*>(&fixed);
            *reinterpret_cast<LPWSTR*>(reinterpret_cast<char*>(info) + offset) = next;
            next += t.text.size() + 1;
        }
        return info;
    }

private:
    struct Text {
        LPWSTR* field;
        std::u16string text;
    };
    std::vector<Text> m_texts;
};

}  // namespace

extern "C" {

WINBASEAPI DWORD DsGetDcNameW(LPCWSTR ComputerName, LPCWSTR DomainName, GUID* DomainGuid, LPCWSTR SiteName, ULONG Flags,
                              PDOMAIN_CONTROLLER_INFOW* DomainControllerInfo) {
    if (!DomainControllerInfo) return ERROR_INVALID_PARAMETER;
    *DomainControllerInfo = nullptr;
    if (ComputerName && *ComputerName) return ERROR_NOT_SUPPORTED;
    if ((Flags & ~kKnownFlags) || ((Flags & DS_RETURN_DNS_NAME) && (Flags & DS_RETURN_FLAT_NAME)))
        return ERROR_INVALID_FLAGS;
    RegisterDirectoryMessages();
    std::string domain = DomainName && *DomainName ? ToUtf8(DomainName) : DefaultDomainName();
    while (!domain.empty() && domain.back() == '.') domain.pop_back();
    if (domain.empty() || !IsDnsName(domain)) return ERROR_NO_SUCH_DOMAIN;
    if (Flags & DS_FORCE_REDISCOVERY) ForgetClientSites();

    SiteAwareSources sources = SystemSiteAwareSources();
    if (SiteName && *SiteName) {
        const std::string site = ToUtf8(SiteName);
        if (!IsUsableSiteName(site)) return ERROR_INVALID_PARAMETER;
        sources.clientSite = [site](const std::string&, const std::vector<std::string>&) { return site; };
    }
    const bool catalog = Flags & DS_GC_SERVER_REQUIRED;
    const std::vector<SrvRecord> candidates =
        catalog ? LocateGlobalCatalogs(domain, sources) : LocateDomainControllers(domain, sources);
    std::vector<std::string> hosts;
    for (const auto& c : candidates) hosts.push_back(c.target);
    if (hosts.empty()) return ERROR_NO_SUCH_DOMAIN;

    // Every candidate is asked at once; the first in the locator's order that answers as
    // required is the one, so a site's DC that answers a little later still wins.
    const ULONG required = RequiredReplyFlags(Flags);
    const std::vector<PingAnswer> answers = PingDomainControllers(domain, hosts, kAnswerMilliseconds, false);
    const PingAnswer* chosen = nullptr;
    for (const PingAnswer& answer : answers) {
        if ((answer.reply.flags & required) != required) continue;
        if (DomainGuid && std::memcmp(DomainGuid, answer.reply.domainGuid, sizeof(GUID)) != 0) continue;
        chosen = &answer;
        break;
    }
    if (!chosen) {
        lumivel::Trace("locator", "DsGetDcName " + domain + ": no DC answered as required (" +
                                      std::to_string(answers.size()) + " of " + std::to_string(hosts.size()) +
                                      " answered)");
        return ERROR_NO_SUCH_DOMAIN;
    }
    const NetlogonReply& reply = chosen->reply;
    lumivel::Trace("locator", "DsGetDcName " + domain + ": " + chosen->host + " (site " +
                                  (IsUsableSiteName(reply.dcSiteName) ? reply.dcSiteName : std::string("unknown")) + ")" +
                                  ((reply.flags & DS_CLOSEST_FLAG) ? ", in this machine's site" : ""));

    DOMAIN_CONTROLLER_INFOW fixed{};
    fixed.DomainControllerAddressType = DS_INET_ADDRESS;
    std::memcpy(&fixed.DomainGuid, reply.domainGuid, sizeof(GUID));
    fixed.Flags = reply.flags | DS_DNS_CONTROLLER_FLAG | DS_DNS_DOMAIN_FLAG | DS_DNS_FOREST_FLAG;
    InfoBlock block;
    const std::string host = (Flags & DS_RETURN_FLAT_NAME) && !reply.netbiosComputerName.empty()
                                 ? reply.netbiosComputerName
                                 : (reply.dnsHostName.empty() ? chosen->host : reply.dnsHostName);
    block.Add(&fixed.DomainControllerName, u"\\\\" + FromUtf8(host));
    block.Add(&fixed.DomainControllerAddress, u"\\\\" + FromUtf8(chosen->address));
    block.Add(&fixed.DomainName, FromUtf8((Flags & DS_RETURN_FLAT_NAME) && !reply.netbiosDomainName.empty()
                                              ? reply.netbiosDomainName
                                              : (reply.dnsDomainName.empty() ? domain : reply.dnsDomainName)));
    block.Add(&fixed.DnsForestName, FromUtf8(reply.dnsForestName));
    block.Add(&fixed.DcSiteName, FromUtf8(reply.dcSiteName));
    block.Add(&fixed.ClientSiteName, FromUtf8(reply.clientSiteName));
    *DomainControllerInfo = block.Build(fixed);
    return *DomainControllerInfo ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

WINBASEAPI DWORD DsGetSiteNameW(LPCWSTR ComputerName, LPWSTR* SiteName) {
    if (!SiteName) return ERROR_INVALID_PARAMETER;
    *SiteName = nullptr;
    if (ComputerName && *ComputerName) return ERROR_NOT_SUPPORTED;
    const std::string domain = DefaultDomainName();
    if (domain.empty()) return ERROR_NO_SUCH_DOMAIN;
    std::vector<std::string> hosts;
    for (const auto& c : SystemSiteAwareSources().srv("_ldap._tcp.dc._msdcs." + domain)) hosts.push_back(c.target);
    if (hosts.empty()) return ERROR_NO_SUCH_DOMAIN;
    const ClientSite site = ClientSiteOf(domain, hosts);
    if (site.site.empty()) return site.asked || site.configured ? ERROR_NO_SITENAME : ERROR_NO_SUCH_DOMAIN;
    const std::u16string text = FromUtf8(site.site);
    auto* copy = static_cast<WCHAR*>(std::malloc((text.size() + 1) * sizeof(WCHAR)));
    if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    *SiteName = copy;
    return ERROR_SUCCESS;
}

WINBASEAPI DWORD NetApiBufferFree(LPVOID Buffer) {
    std::free(Buffer);
    return ERROR_SUCCESS;
}

}  // extern "C"
