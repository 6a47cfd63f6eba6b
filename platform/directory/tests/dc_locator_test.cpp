// SRV record ordering: priority first, then weighted choice inside a priority.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "../dc_locator.h"

using namespace lumivel::directory;

namespace {

std::vector<std::string> Targets(const std::vector<SrvRecord>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(r.target);
    return out;
}

TEST(DcLocator, LowerPriorityAlwaysFirst) {
    const std::vector<SrvRecord> records = {
        {20, 100, 389, "late"}, {10, 0, 389, "early-zero"}, {10, 50, 389, "early"}, {30, 1, 389, "last"}};
    auto ordered = OrderSrvRecords(records, [](uint32_t bound) { return bound; });
    ASSERT_EQ(ordered.size(), 4u);
    EXPECT_EQ(ordered[2].target, "late");
    EXPECT_EQ(ordered[3].target, "last");
    EXPECT_TRUE((ordered[0].target == "early" && ordered[1].target == "early-zero") ||
                (ordered[1].target == "early" && ordered[0].target == "early-zero"));
}

TEST(DcLocator, PicksFollowTheRunningSumOfWeights) {
    const std::vector<SrvRecord> records = {{0, 10, 389, "a"}, {0, 30, 389, "b"}, {0, 0, 389, "z"}, {0, 60, 389, "c"}};
    // Zero weights sit first in the working list: a pick of 0 takes them.
    EXPECT_EQ(Targets(OrderSrvRecords(records, [](uint32_t) { return 0u; })), (std::vector<std::string>{"z", "a", "b", "c"}));
    // A pick at the total takes the last record each round (the draw is 1 + random(total - 1)
    // once no zero-weight record is left).
    EXPECT_EQ(Targets(OrderSrvRecords(records, [](uint32_t bound) { return bound; })),
              (std::vector<std::string>{"c", "b", "a", "z"}));
    // 11..40 falls into b's share.
    EXPECT_EQ(OrderSrvRecords(records, [](uint32_t) { return 25u; }).front().target, "b");
    const std::vector<SrvRecord> weighted = {{0, 10, 389, "a"}, {0, 30, 389, "b"}};
    EXPECT_EQ(OrderSrvRecords(weighted, [](uint32_t) { return 0u; }).front().target, "a");   // draw 1
    EXPECT_EQ(OrderSrvRecords(weighted, [](uint32_t) { return 10u; }).front().target, "b");  // draw 11
}

TEST(DcLocator, WeightsSetTheOddsOfComingFirst) {
    const std::vector<SrvRecord> records = {{0, 1, 389, "light"}, {0, 3, 389, "heavy"}};
    std::map<std::string, int> first;
    uint32_t seed = 12345;
    auto random = [&](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % (bound + 1);
    };
    for (int i = 0; i < 4000; ++i) ++first[OrderSrvRecords(records, random).front().target];
    // Three to one, within sampling noise.
    EXPECT_GT(first["heavy"], 2800);
    EXPECT_LT(first["heavy"], 3200);
}

// A fake directory: the domain "corp.test" (DCs dc1, dc2) lies in the forest "root.test",
// whose catalog servers are gc1 and gc2.
Locator FakeLocator() {
    Locator l;
    l.domainControllers = [](const std::string& d) {
        return d == "corp.test" ? std::vector<SrvRecord>{{0, 0, 389, "dc1.corp.test"}, {0, 0, 389, "dc2.corp.test"}}
                                : std::vector<SrvRecord>{};
    };
    l.globalCatalogs = [](const std::string& f) {
        return f == "root.test" ? std::vector<SrvRecord>{{0, 0, 3268, "gc1.root.test"}, {0, 0, 3268, "gc2.root.test"}}
                                : std::vector<SrvRecord>{};
    };
    l.forestOf = [](const std::string& n) { return n == "corp.test" ? std::string("root.test") : std::string(); };
    return l;
}

TEST(DcLocator, BindCandidatesByRoleAndName) {
    struct Case {
        const char* name;
        bool named, gc;
        std::vector<std::string> targets;
    };
    const Case cases[] = {
        {"corp.test", false, false, {"dc1.corp.test", "dc2.corp.test"}},  // the default domain
        {"corp.test", true, false, {"dc1.corp.test", "dc2.corp.test"}},   // a domain by name
        {"dc2.corp.test", true, false, {"dc2.corp.test"}},                // one DC by its host name
        {"corp.test", false, true, {"gc1.root.test", "gc2.root.test"}},   // GC of the default forest
        {"corp.test", true, true, {"gc1.root.test", "gc2.root.test"}},
        // A named server answers a GC bind itself, whatever the locator would pick.
        {"dc2.corp.test", true, true, {"dc2.corp.test"}},
        {"nowhere.test", false, false, {}},
        {"nowhere.test", false, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.gc ? " gc" : " dc") + (c.named ? " named" : ""));
        EXPECT_EQ(Targets(BindCandidates(c.name, c.named, c.gc, FakeLocator())), c.targets);
    }
    // A host named by the caller keeps the role's default port.
    EXPECT_EQ(BindCandidates("dc2.corp.test", true, true, FakeLocator()).front().port, 0);
}

// The default domain is "home.test" (DC hdc1, catalog hgc1, forest "home.test"); "corp.test" lies
// in the forest "root.test". "apps.corp.test" has no DCs of its own in DNS: the home DC refers its
// DNs to "corp.test" or to a host, holds "DC=Zones" itself, and knows nothing of the rest.
Locator TwoForestLocator(std::vector<std::string>* asked) {
    Locator l = FakeLocator();
    auto corp = l.domainControllers;
    l.domainControllers = [corp](const std::string& d) {
        return d == "home.test" ? std::vector<SrvRecord>{{0, 0, 389, "hdc1.home.test"}} : corp(d);
    };
    auto catalogs = l.globalCatalogs;
    l.globalCatalogs = [catalogs](const std::string& f) {
        return f == "home.test" ? std::vector<SrvRecord>{{0, 0, 3268, "hgc1.home.test"}} : catalogs(f);
    };
    auto forest = l.forestOf;
    l.forestOf = [forest](const std::string& n) { return n == "home.test" ? std::string("home.test") : forest(n); };
    l.referralOf = [asked](const std::string& dn) {
        asked->push_back(dn);
        if (dn.find("DC=apps,DC=corp") != std::string::npos) return DnReferral{DnReferral::Kind::Referred, "corp.test"};
        if (dn.find("DC=far") != std::string::npos) return DnReferral{DnReferral::Kind::Referred, "dc9.far.test"};
        if (dn.find("DC=Zones") != std::string::npos) return DnReferral{DnReferral::Kind::HeldThere, ""};
        return DnReferral{};
    };
    return l;
}

TEST(DcLocator, ServerlessBindsGoToTheDomainTheDnNames) {
    struct Case {
        const char* dn;
        bool gc;
        std::vector<std::string> targets;
        bool referralAsked;
    };
    const Case cases[] = {
        // Objects of another domain of the forest: its own DCs, not the default domain's.
        {"CN=Deleted Objects,DC=corp,DC=test", false, {"dc1.corp.test", "dc2.corp.test"}, false},
        {"dc=CORP,dc=Test", false, {"dc1.corp.test", "dc2.corp.test"}, false},
        // The catalog of that domain's forest.
        {"OU=Sales,DC=corp,DC=test", true, {"gc1.root.test", "gc2.root.test"}, false},
        // The default domain, and names without DC= components.
        {"CN=Users,DC=home,DC=test", false, {"hdc1.home.test"}, false},
        {"", false, {"hdc1.home.test"}, false},
        {"", true, {"hgc1.home.test"}, false},
        {"CN=Partitions,CN=Configuration", false, {"hdc1.home.test"}, false},
        // A name DNS does not know: the default domain's DC refers to the domain or the host.
        {"CN=x,DC=apps,DC=corp,DC=test", false, {"dc1.corp.test", "dc2.corp.test"}, true},
        {"CN=x,DC=far,DC=test", false, {"dc9.far.test"}, true},
        // It holds the naming context itself, or cannot tell: the default domain then.
        {"DC=Zones,DC=home,DC=test", false, {"hdc1.home.test"}, true},
        {"CN=x,DC=nowhere,DC=test", false, {"hdc1.home.test"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.dn) + (c.gc ? " gc" : " dc"));
        std::vector<std::string> asked;
        EXPECT_EQ(Targets(ServerlessCandidates(c.dn, "home.test", c.gc, TwoForestLocator(&asked))), c.targets);
        EXPECT_EQ(!asked.empty(), c.referralAsked);
    }
    EXPECT_EQ(DomainOfDn("CN=a\\,DC=b,DC=Corp,DC=test", "home.test"), "corp.test");
    EXPECT_EQ(DomainOfDn("<GUID=x>", "home.test"), "home.test");
}

TEST(DcLocator, OnlyDnsNamesAreDialled) {
    for (const char* good : {"dc1.corp.test", "DC-2.Corp.TEST", "_msdcs.x", "corp"}) EXPECT_TRUE(IsDnsName(good)) << good;
    for (const char* bad : {"", "dc1 corp", "dc1/evil", "dc1:389", "h\xc3\xa9te", "a@b", "dc1.corp.test\n"})
        EXPECT_FALSE(IsDnsName(bad)) << bad;
}

TEST(DcLocator, PreferredThenSiteThenTheRestOfTheDomain) {
    const std::vector<SrvRecord> domain = {{0, 0, 389, "dc1.corp.test"}, {0, 0, 389, "dc2.corp.test"}, {10, 0, 389, "dc3.corp.test"}};
    const std::vector<SrvRecord> site = {{0, 0, 389, "DC3.corp.test"}, {0, 0, 389, "branch.corp.test"}};
    struct Case {
        const char* what;
        std::vector<SrvRecord> site;
        std::vector<std::string> preferred;
        std::vector<std::string> targets;
    };
    const Case cases[] = {
        {"no site, nothing preferred", {}, {}, {"dc1.corp.test", "dc2.corp.test", "dc3.corp.test"}},
        // The site's DCs first, each server once whatever the case of its name.
        {"site", site, {}, {"DC3.corp.test", "branch.corp.test", "dc1.corp.test", "dc2.corp.test"}},
        {"preferred", {}, {"DC2.CORP.TEST"}, {"dc2.corp.test", "dc1.corp.test", "dc3.corp.test"}},
        {"preferred before the site", site, {"dc2.corp.test"},
         {"dc2.corp.test", "DC3.corp.test", "branch.corp.test", "dc1.corp.test"}},
        // A preferred DC that this domain does not have is no reason to leave the domain.
        {"preferred elsewhere", {}, {"dc9.other.test"}, {"dc1.corp.test", "dc2.corp.test", "dc3.corp.test"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Targets(PreferredFirst(domain, c.site, c.preferred)), c.targets);
    }
}

// DNS of "corp.test" in the forest "corp.test": two DCs, dc1 in the main site and dc2 in
// "Branch", with catalog servers gc1 (main) and gc2 (Branch). The client-site answer and the
// names asked for are recorded.
struct SiteDns {
    explicit SiteDns(std::string site) : clientSite(std::move(site)) {}
    std::string clientSite;
    std::vector<std::string> asked;
    std::vector<std::string> pinged;
    SiteAwareSources Sources() {
        SiteAwareSources s;
        s.srv = [this](const std::string& name) {
            asked.push_back(name);
            const std::map<std::string, std::vector<SrvRecord>> zone = {
                {"_ldap._tcp.dc._msdcs.corp.test", {{0, 0, 389, "dc1.corp.test"}, {10, 0, 389, "dc2.corp.test"}}},
                {"_ldap._tcp.Branch._sites.dc._msdcs.corp.test", {{0, 0, 389, "dc2.corp.test"}}},
                {"_ldap._tcp.dc._msdcs.solo.test", {{0, 0, 389, "dc1.solo.test"}}},
                {"_gc._tcp.corp.test", {{0, 0, 3268, "gc1.corp.test"}, {0, 0, 0, "gc2.corp.test"}}},
                {"_gc._tcp.Branch._sites.corp.test", {{0, 0, 3268, "gc2.corp.test"}}},
            };
            auto found = zone.find(name);
            return found == zone.end() ? std::vector<SrvRecord>{} : found->second;
        };
        s.clientSite = [this](const std::string& domain, const std::vector<std::string>& hosts) {
            pinged.push_back(domain + ":" + (hosts.empty() ? std::string() : hosts.front()));
            return clientSite;
        };
        return s;
    }
};

TEST(DcLocator, TheClientsSiteComesFirst) {
    SiteDns branch{"Branch"};
    EXPECT_EQ(Targets(LocateDomainControllers("corp.test", branch.Sources())),
              (std::vector<std::string>{"dc2.corp.test", "dc1.corp.test"}));
    EXPECT_EQ(branch.pinged, (std::vector<std::string>{"corp.test:dc1.corp.test"}));

    // No site, or a site without DCs of its own: the domain's order.
    SiteDns nowhere{""};
    EXPECT_EQ(Targets(LocateDomainControllers("corp.test", nowhere.Sources())),
              (std::vector<std::string>{"dc1.corp.test", "dc2.corp.test"}));
    SiteDns empty{"Empty"};
    EXPECT_EQ(Targets(LocateDomainControllers("corp.test", empty.Sources())),
              (std::vector<std::string>{"dc1.corp.test", "dc2.corp.test"}));
    EXPECT_EQ(empty.asked.back(), "_ldap._tcp.Empty._sites.dc._msdcs.corp.test");

    // One DC leaves nothing to choose: nobody is pinged.
    SiteDns solo{"Branch"};
    EXPECT_EQ(Targets(LocateDomainControllers("solo.test", solo.Sources())), (std::vector<std::string>{"dc1.solo.test"}));
    EXPECT_TRUE(solo.pinged.empty());
}

TEST(DcLocator, CatalogsOfTheClientsSiteComeFirst) {
    SiteDns branch{"Branch"};
    const auto catalogs = LocateGlobalCatalogs("corp.test", branch.Sources());
    EXPECT_EQ(Targets(catalogs), (std::vector<std::string>{"gc2.corp.test", "gc1.corp.test"}));
    for (const auto& c : catalogs) EXPECT_EQ(c.port, 3268) << c.target;
    // The forest root's DCs are the ones asked for the site.
    EXPECT_EQ(branch.pinged, (std::vector<std::string>{"corp.test:dc1.corp.test"}));
}

TEST(DcLocator, EmptyInputs) {
    EXPECT_TRUE(OrderSrvRecords({}, [](uint32_t) { return 0u; }).empty());
    EXPECT_TRUE(LocateDomainControllers("").empty());
}

}  // namespace
