// Where a domain node's controller stands: its site, and the site this machine is in as the
// domain's controllers see it, so that `domains` shows whether the locator kept to the site.
#pragma once

#include <string>

namespace lumivel_cli {

struct DomainSites {
    std::u16string controllerSite;  // empty when the directory lists the DC in no site
    std::u16string clientSite;      // empty when no DC knows a site for this machine
};

// The sites for a domain (its DNS name) and one of its DCs (DNS name).
DomainSites SitesOf(const std::u16string& domain, const std::u16string& controller);

}  // namespace lumivel_cli
