#include "client_site.h"

#include <map>
#include <mutex>

#include "dn.h"
#include "lumivel/machine_config.h"
#include "lumivel/trace.h"

namespace lumivel::directory {

namespace {

constexpr auto kKeptFor = std::chrono::minutes(15);

struct KeptSite {
    ClientSite site;
    std::chrono::steady_clock::time_point until;
};

std::mutex& KeptMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, KeptSite>& Kept() {
    static std::map<std::string, KeptSite> kept;
    return kept;
}

}  // namespace

ClientSiteSources SystemClientSiteSources() {
    ClientSiteSources sources;
    sources.configuredSite = [] {
        const std::optional<ConfigValue> site = MachineSetting("Site");
        return site ? site->value : std::string();
    };
    sources.ping = [](const std::string& domain, const std::vector<std::string>& hosts) {
        // Pinged DCs answer within milliseconds; a DC that does not answer UDP at all (a
        // firewall) must not slow every program start by more than this (1.5 s by default).
        return PingDomainControllers(domain, hosts, MachineNumber("SitePingTimeout", nullptr).value, true);
    };
    sources.now = [] { return std::chrono::steady_clock::now(); };
    return sources;
}

ClientSite ClientSiteOf(const std::string& dnsDomain, const std::vector<std::string>& domainControllers,
                        const ClientSiteSources& sources) {
    ClientSite result;
    const std::string configured = sources.configuredSite ? sources.configuredSite() : std::string();
    if (LowerAsciiUtf8(configured) == "none") return result;
    if (!configured.empty()) {
        result.site = configured;
        result.configured = true;
        return result;
    }
    const std::string key = LowerAsciiUtf8(dnsDomain);
    const auto now = sources.now();
    {
        std::lock_guard<std::mutex> lock(KeptMutex());
        auto found = Kept().find(key);
        if (found != Kept().end() && found->second.until > now) {
            ClientSite kept = found->second.site;
            kept.kept = true;
            return kept;
        }
    }
    if (domainControllers.empty()) return result;
    for (const PingAnswer& answer : sources.ping(dnsDomain, domainControllers)) {
        result.asked = true;
        result.answeredBy = answer.host;
        if (IsUsableSiteName(answer.reply.dcSiteName)) result.dcSite = answer.reply.dcSiteName;
        if (IsUsableSiteName(answer.reply.clientSiteName)) {
            result.site = answer.reply.clientSiteName;
        } else if (!answer.reply.clientSiteName.empty()) {
            Trace("locator", dnsDomain + ": " + answer.host + " names a client site that is no DNS label; it is not used");
        }
        break;
    }
    // Nobody answering is not kept: the next bind may find a DC that is up again.
    if (result.asked) {
        std::lock_guard<std::mutex> lock(KeptMutex());
        Kept()[key] = KeptSite{result, now + kKeptFor};
    }
    return result;
}

ClientSite ClientSiteOf(const std::string& dnsDomain, const std::vector<std::string>& domainControllers) {
    return ClientSiteOf(dnsDomain, domainControllers, SystemClientSiteSources());
}

void ForgetClientSites() {
    std::lock_guard<std::mutex> lock(KeptMutex());
    Kept().clear();
}

}  // namespace lumivel::directory
