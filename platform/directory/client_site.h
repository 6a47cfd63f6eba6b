// The site this machine is in, as the domain controllers of a domain see it: the first DC to
// answer a netlogon ping names the client's site from the forest's subnets. A site named in
// the machine's configuration wins over the ping. Kept for a quarter of an hour per domain,
// as sites change rarely and a ping costs a round trip.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "netlogon_ping.h"

namespace lumivel::directory {

struct ClientSite {
    std::string site;         // empty: the DCs know no site for this client
    std::string answeredBy;   // the DC whose answer named it; empty when configured or none answered
    std::string dcSite;       // that DC's own site
    bool configured = false;  // the machine's configuration named the site
    bool asked = false;       // a DC answered (now or when the answer was kept)
    bool kept = false;        // the answer is one kept from an earlier ping
};

// What ClientSiteOf rests on, replaceable for tests.
struct ClientSiteSources {
    // The site the configuration names ("" for none; "none" turns the ping off).
    std::function<std::string()> configuredSite;
    std::function<std::vector<PingAnswer>(const std::string& domain, const std::vector<std::string>& hosts)> ping;
    std::function<std::chrono::steady_clock::time_point()> now;
};
ClientSiteSources SystemClientSiteSources();

// The client's site for a domain whose DCs (in the order they would be tried) are given.
ClientSite ClientSiteOf(const std::string& dnsDomain, const std::vector<std::string>& domainControllers,
                        const ClientSiteSources& sources);
ClientSite ClientSiteOf(const std::string& dnsDomain, const std::vector<std::string>& domainControllers);

// Drops what was kept, so that the next question pings again (DS_FORCE_REDISCOVERY).
void ForgetClientSites();

}  // namespace lumivel::directory
