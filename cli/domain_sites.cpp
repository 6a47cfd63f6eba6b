#include "cli/domain_sites.h"

#include "lumivel/wide_string.h"
#include "win/dsapi.h"
#include "win/winerror.h"

namespace lumivel_cli {

DomainSites SitesOf(const std::u16string& domain, const std::u16string& controller) {
    DomainSites sites;
    if (domain.empty()) return sites;
    PDOMAIN_CONTROLLER_INFOW located = nullptr;
    if (DsGetDcNameW(nullptr, domain.c_str(), nullptr, nullptr, DS_RETURN_DNS_NAME, &located) == ERROR_SUCCESS) {
        if (located->ClientSiteName) sites.clientSite = located->ClientSiteName;
        NetApiBufferFree(located);
    }
    if (controller.empty()) return sites;
    // The DC's site as the directory lists it: the server object's site, which holds also
    // for a DC that the ping above did not pick.
    HANDLE ds = nullptr;
    if (DsBindW(controller.c_str(), nullptr, &ds) != ERROR_SUCCESS) return sites;
    DWORD count = 0;
    void* info = nullptr;
    if (DsGetDomainControllerInfoW(ds, domain.c_str(), 1, &count, &info) == ERROR_SUCCESS) {
        auto* rows = static_cast<DS_DOMAIN_CONTROLLER_INFO_1W*>(info);
        for (DWORD i = 0; i < count; ++i)
            if (rows[i].DnsHostName && rows[i].SiteName && lumivel::EqualsNoCase(rows[i].DnsHostName, controller))
                sites.controllerSite = rows[i].SiteName;
        DsFreeDomainControllerInfoW(1, count, info);
    }
    DsUnBindW(&ds);
    return sites;
}

}  // namespace lumivel_cli
